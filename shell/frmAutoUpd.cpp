#include "shell/frmAutoUpd.h"

#include "core/App.h"

frmAutoUpd& frmAutoUpd::Get() {
    static frmAutoUpd form;
    return form;
}

ui::Form::Design frmAutoUpd::GetDesign() {
    Design d;
    d.caption = AppTitleW;
    d.clientWidth = 0;
    d.clientHeight = 0;
    d.style = WS_POPUP;
    return d;
}

void frmAutoUpd::CreateControls() { AddTimer(Timer1, 600, true); }

void frmAutoUpd::Form_Load() {
    ResetCheck();
    // Height 0, width 0, then the left edge far off the screen: nothing of it is ever seen.
    RECT r;
    GetWindowRect(hwnd(), &r);
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(hwnd(), nullptr, r.left, r.top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    Move(-40000, ui::PixelsToTwipsY(r.top));
}

// Open, the gate runs the check once per loading: the answer's question, or nothing for a
// failed fetch or an up-to-date version, and then the window unloads.
void frmAutoUpd::Timer1_Timer() {
    if (bAutoCheck) BeginCheck();
}

void frmAutoUpd::OnTimer(ui::Timer& timer) {
    if (&timer == &Timer1) Timer1_Timer();
}
