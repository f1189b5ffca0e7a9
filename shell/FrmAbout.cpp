#include "shell/FrmAbout.h"

#include <shellapi.h>

#include "core/App.h"
#include "core/Text.h"
#include "core/modLanguage.h"
#include "shell/modCursor.h"
#include "shell/modLinki.h"
#include "ui/Dpi.h"

namespace {

enum : int {
    kImage4 = 10, kLabel88, kLabel86, kLabel1, kLabel81, kLabel14, kLabel79, kLabel78, kLabel5, kLabel4,
    kLabel6, kLabel7, kLabel15, kLabel8, kLabel16, kLabel9, kLabel17,
    kCommand3 = IDOK,  // Enter and Esc close the box as OK does
};

const wchar_t kFontFace[] = L"Calibri";
constexpr double kFontSize = 9.75;
constexpr BYTE kCharset = 238;
const COLORREF kLinkColor = RGB(0, 0, 192);

HFONT LabelFont(bool bold, bool underline) { return ui::GetFont(kFontFace, kFontSize, bold, underline, kCharset); }

// The program's own icon when it carries one, else the system's application icon.
HICON ProgramIcon() {
    static HICON icon = [] {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        HICON h = n && n < MAX_PATH ? ExtractIconA(GetModuleHandleA(nullptr), path, 0) : nullptr;
        if (reinterpret_cast<UINT_PTR>(h) <= 1) h = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        return h;
    }();
    return icon;
}

}  // namespace

FrmAbout& FrmAbout::Get() {
    static FrmAbout form;
    return form;
}

ui::Form::Design FrmAbout::GetDesign() {
    Design d;
    d.clientWidth = 6615;
    d.clientHeight = 3105;
    d.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    d.fontFace = kFontFace;
    d.fontSize = kFontSize;
    d.charset = kCharset;
    d.centred = true;
    return d;
}

void FrmAbout::CreateControls() {
    Add(Image4, L"STATIC", kImage4, 240, 240, 480, 480, L"", SS_ICON);
    if (Image4.hwnd) SendMessageW(Image4.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(ProgramIcon()), 0);
    AddLabel(Label88, kLabel88, 960, 360, 2895, 255, AppTitleW);
    // Each caption on the left of its value.
    struct Row { ui::Label* caption; int captionId; ui::Label* value; int valueId; };
    const Row rows[] = {{&Label86, kLabel86, &Label1, kLabel1},
                        {&Label81, kLabel81, &Label14, kLabel14},
                        {&Label79, kLabel79, &Label78, kLabel78},
                        {&Label5, kLabel5, &Label4, kLabel4}};
    int top = 1020;
    for (const Row& r : rows) {
        AddLabel(*r.caption, r.captionId, 240, top, 1215, 255);
        AddLabel(*r.value, r.valueId, 1500, top, 2355, 255);
        top += 330;
    }
    Label14.SetText(FromAnsi(WebHost));
    Label78.SetText(L"Quorvane");
    // The support group on the right: each caption with its link on the line beneath.
    AddLabel(Label6, kLabel6, 4080, 240, 2295, 255);
    Label6.SetFont(LabelFont(true, false));
    const Row links[] = {{&Label7, kLabel7, &Label15, kLabel15},
                         {&Label8, kLabel8, &Label16, kLabel16},
                         {&Label9, kLabel9, &Label17, kLabel17}};
    top = 600;
    for (const Row& r : links) {
        AddLabel(*r.caption, r.captionId, 4080, top, 2295, 255);
        AddLabel(*r.value, r.valueId, 4080, top + 240, 2295, 255);
        top += 600;
    }
    for (ui::Label* link : {&Label14, &Label15, &Label16, &Label17}) link->SetForeColor(kLinkColor);
    AddButton(Command3, kCommand3, 5160, 2580, 1215, 375, L"&OK");
    AddTimer(Timer1, 100, true);
}

void FrmAbout::Form_Load() {
    pressed_ = nullptr;
    SetCaption(LangText(118));
    Label86.SetText(LangText(119));
    Label81.SetText(LangText(120));
    Label79.SetText(LangText(121));
    Label5.SetText(LangText(122));
    Label6.SetText(LangText(125));
    Label7.SetText(LangText(126));
    Label8.SetText(LangText(127));
    Label9.SetText(LangText(128));
    for (ui::Label* link : {&Label15, &Label16, &Label17}) link->SetText(LangText(135));
    char name[256] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);  // a failure leaves the name empty
    Label1.SetText(FromAnsi(VersionText()));
    Label4.SetText(FromAnsi(name));
}

std::string FrmAbout::UserName() const {
    char name[255] = {};
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) return std::string();
    return std::string(name);  // the reported length counts the terminating NUL
}

DWORD FrmAbout::ThreadID() const { return GetCurrentThreadId(); }
DWORD FrmAbout::ProcessID() const { return GetCurrentProcessId(); }

void FrmAbout::Command3_Click() { Unload(); }
void FrmAbout::Label1_Click() { Unload(); }
void FrmAbout::Label14_Click() { OpenHomePage(); }
void FrmAbout::Label15_Click() { OpenSupportPage(); }
void FrmAbout::Label16_Click() { OpenForumPage(); }
void FrmAbout::Label17_Click() { OpenContactPage(); }
void FrmAbout::Label14_MouseMove() { HoverLink(Label14); }
void FrmAbout::Label15_MouseMove() { HoverLink(Label15); }
void FrmAbout::Label16_MouseMove() { HoverLink(Label16); }
void FrmAbout::Label17_MouseMove() { HoverLink(Label17); }

// The underline stays on the last link the pointer crossed: the background does not clear it.
void FrmAbout::Form_MouseMove() { ResetLinkCursor(); }

void FrmAbout::HoverLink(ui::Label& link) {
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // the hand
    for (ui::Label* l : {&Label14, &Label15, &Label16, &Label17})
        if (Underlined(*l) != (l == &link)) l->SetFont(ui::FontForForm(hwnd(), LabelFont(false, l == &link)));
}

bool FrmAbout::Underlined(const ui::Label& link) const {
    HFONT font = link.hwnd ? reinterpret_cast<HFONT>(SendMessageW(link.hwnd, WM_GETFONT, 0, 0)) : nullptr;
    LOGFONTW lf = {};
    return font && GetObjectW(font, sizeof lf, &lf) && lf.lfUnderline;
}

// Labels let the pointer through to the window, which finds the label under it.
ui::Label* FrmAbout::LabelAt(int x, int y) {
    for (ui::Label* l : {&Label1, &Label14, &Label15, &Label16, &Label17}) {
        RECT r;
        if (!l->hwnd || !GetWindowRect(l->hwnd, &r)) continue;
        MapWindowPoints(HWND_DESKTOP, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return l;
    }
    return nullptr;
}

void FrmAbout::OnMouse(UINT message, int x, int y, WPARAM /*keys*/) {
    ui::Label* l = LabelAt(x, y);
    switch (message) {
    case WM_MOUSEMOVE:
        if (l == &Label14) Label14_MouseMove();
        else if (l == &Label15) Label15_MouseMove();
        else if (l == &Label16) Label16_MouseMove();
        else if (l == &Label17) Label17_MouseMove();
        else if (!l) Form_MouseMove();
        break;
    case WM_LBUTTONDOWN:
        pressed_ = l;
        break;
    case WM_LBUTTONUP: {
        // A click is a press and a release over the same label.
        ui::Label* clicked = l == pressed_ ? l : nullptr;
        pressed_ = nullptr;
        if (clicked == &Label1) Label1_Click();
        else if (clicked == &Label14) Label14_Click();
        else if (clicked == &Label15) Label15_Click();
        else if (clicked == &Label16) Label16_Click();
        else if (clicked == &Label17) Label17_Click();
        break;
    }
    }
}

void FrmAbout::OnCommand(int id, int code) {
    if ((id == kCommand3 && code == BN_CLICKED) || id == IDCANCEL) Command3_Click();
}

LRESULT FrmAbout::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETCURSOR && LOWORD(lParam) == HTCLIENT) {
        // Over a link the hand that its mouse-move handler set stays; elsewhere the arrow.
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(hwnd(), &p);
        ui::Label* l = LabelAt(p.x, p.y);
        if (l && l != &Label1) return TRUE;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
