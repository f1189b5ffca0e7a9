#include "shell/frmNewAlert.h"

#include <cmath>

#include "core/App.h"
#include "ui/Dpi.h"

namespace {

enum : int { kLabel1 = 10, kLblTitle, kLblAlert };

constexpr int kWidth = 2775, kHeight = 2175, kStep = 30;
constexpr BYTE kCharset = 238;
const COLORREF kBand = RGB(0xFF, 0x45, 0x00);  // orange-red

std::vector<std::unique_ptr<frmNewAlert>>& Notices() {
    static std::vector<std::unique_ptr<frmNewAlert>> notices;
    return notices;
}

}  // namespace

frmNewAlert* frmNewAlert::Create() {
    auto& notices = Notices();
    for (size_t i = notices.size(); i-- > 0;)
        if (!notices[i]->IsLoaded()) notices.erase(notices.begin() + static_cast<std::ptrdiff_t>(i));
    std::unique_ptr<frmNewAlert> notice(new frmNewAlert());
    if (!notice->Load()) return nullptr;
    notices.push_back(std::move(notice));
    return notices.back().get();
}

const std::vector<std::unique_ptr<frmNewAlert>>& frmNewAlert::Instances() { return Notices(); }

ui::Form::Design frmNewAlert::GetDesign() {
    Design d;
    d.clientWidth = kWidth;
    d.clientHeight = kHeight;
    d.style = WS_POPUP;
    // No taskbar button; above the taskbar, which it passes over.
    d.exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.charset = kCharset;
    return d;
}

void frmNewAlert::CreateControls() {
    AddLabel(Label1, kLabel1, 240, 120, 2535, 255, AppTitleW);
    Label1.SetFont(ui::GetFont(L"Calibri", 11.25, true, false, kCharset));
    Label1.SetForeColor(RGB(255, 255, 255));
    Add(lblTitle, L"STATIC", kLblTitle, 120, 600, 2535, 255, L"", SS_CENTER | SS_NOPREFIX);
    lblTitle.SetFont(ui::GetFont(L"Calibri", 9.75, true, false, kCharset));
    Add(lblAlert, L"STATIC", kLblAlert, 240, 840, 2295, 1215, L"Your text here", SS_CENTER | SS_NOPREFIX | SS_NOTIFY);
    AddTimer(Timer1, 1, true);
    AddTimer(Timer2, 5000, false);
    AddTimer(Timer3, 1, false);
}

void frmNewAlert::Form_Load() {
    StartLeft = static_cast<int>(std::lround(ui::ScreenWidthTwips() - static_cast<double>(WidthTwips())));
    StartTop = ui::ScreenHeightTwips();
    MoveTo(StartTop);
}

void frmNewAlert::MoveTo(int top) {
    top_ = top;
    Move(StartLeft, top_);
}

// A transparent label leaves its old text on the window: the window and its labels are
// painted again.
void frmNewAlert::SetTitle(const std::wstring& text) {
    lblTitle.SetText(text);
    if (hwnd()) RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void frmNewAlert::SetMessage(const std::wstring& text) {
    lblAlert.SetText(text);
    if (hwnd()) RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void frmNewAlert::ShowNotice() {
    if (hwnd()) ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
}

void frmNewAlert::Timer1_Timer() {
    MoveTo(top_ - kStep);
    // Strictly past the height: the bottom edge ends a step above the screen's.
    if (top_ < StartTop - HeightTwips()) {
        Timer1.SetEnabled(false);
        Timer2.SetEnabled(true);
    }
}

void frmNewAlert::Timer2_Timer() {
    Timer2.SetEnabled(false);
    Timer3.SetEnabled(true);
}

void frmNewAlert::Timer3_Timer() {
    MoveTo(top_ + kStep);
    if (top_ == StartTop) {
        Timer3.SetEnabled(false);
        Unload();
    }
}

void frmNewAlert::OnTimer(ui::Timer& timer) {
    if (&timer == &Timer1)
        Timer1_Timer();
    else if (&timer == &Timer2)
        Timer2_Timer();
    else if (&timer == &Timer3)
        Timer3_Timer();
}

void frmNewAlert::OnCommand(int id, int code) {
    if (id == kLblAlert && code == STN_CLICKED) lblAlert_Click();
}

void frmNewAlert::Paint(HDC dc) {
    RECT all;
    GetClientRect(hwnd(), &all);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // The header band: a 262 x 41 pixel picture placed at (-120, -130) twips, so that its lower
    // part shows across the top.
    auto px = [this](int twips) { return ui::TwipsToPixels(hwnd(), twips); };  // at the window's DPI
    RECT band = {px(-120), px(-130), px(-120 + 3930), px(-130 + 615)};
    HBRUSH brush = CreateSolidBrush(kBand);
    FillRect(dc, &band, brush);
    DeleteObject(brush);
    HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    const int y = px(480);
    MoveToEx(dc, 0, y, nullptr);
    LineTo(dc, px(2760), y);
    // The outline round the whole window.
    HGDIOBJ fill = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 0, 0, all.right, all.bottom);
    SelectObject(dc, fill);
    SelectObject(dc, pen);
}

LRESULT frmNewAlert::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        Paint(dc);
        EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        // The labels are transparent over the white window and the band.
        HDC dc = reinterpret_cast<HDC>(wParam);
        ui::Control* c = ui::Control::FromHwnd(reinterpret_cast<HWND>(lParam));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, c && c->ForeColor() != CLR_INVALID ? c->ForeColor() : RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_MOUSEACTIVATE:
        // Clicks do nothing, and do not take the focus either.
        return MA_NOACTIVATE;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
