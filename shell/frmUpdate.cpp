#include "shell/frmUpdate.h"

#include <commctrl.h>

#include "core/App.h"
#include "core/modLanguage.h"

namespace {
// IDCANCEL, so that Esc cancels too.
enum : int { kLblInfo = 10, kPB1, kCmdCanc = IDCANCEL };
}

frmUpdate& frmUpdate::Get() {
    static frmUpdate form;
    return form;
}

ui::Form::Design frmUpdate::GetDesign() {
    Design d;
    d.caption = AppTitleW;
    d.clientWidth = 4815;
    d.clientHeight = 1575;
    d.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.charset = 238;
    d.centred = true;
    return d;
}

void frmUpdate::CreateControls() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    AddLabel(lblInfo[0], kLblInfo, 120, 120, 4575, 495);
    Add(PB1, PROGRESS_CLASSW, kPB1, 120, 720, 4575, 255);
    AddButton(cmdCanc, kCmdCanc, 3480, 1080, 1215, 375);
    AddTimer(Timer1, 900, true);
    AddTimer(Timer2, 700, true);
}

void frmUpdate::Form_Load() {
    ResetCheck();
    SetCaption(AppTitleW);
    lblInfo[0].SetText(LangText(145));
    cmdCanc.SetText(LangText(147));
    PB1.SetRange(0, 100);
}

void frmUpdate::Timer1_Timer() { BeginCheck(); }

void frmUpdate::Timer2_Timer() {
    if (PB1.Value() >= 100)
        Timer2.SetEnabled(false);
    else
        PB1.SetValue(PB1.Value() + 10);
}

void frmUpdate::cmdCanc_Click() {
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
    Unload();
}

void frmUpdate::OnCommand(int id, int code) {
    if (id == kCmdCanc && code == BN_CLICKED) cmdCanc_Click();
}

void frmUpdate::OnTimer(ui::Timer& timer) {
    if (&timer == &Timer1)
        Timer1_Timer();
    else if (&timer == &Timer2)
        Timer2_Timer();
}
