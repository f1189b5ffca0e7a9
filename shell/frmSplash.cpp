#include "shell/frmSplash.h"

#include <commctrl.h>

#include "core/App.h"
#include "core/modDir.h"
#include "core/modFileExist.h"
#include "core/modLanguage.h"
#include "scan/frmMain.h"

namespace {

enum : int { idImage39 = 1001, idLabel2, idLine1 };

// The copy that runs first holds this mutex; its name is not the application title, because
// the mutex of that name is made later, when the splash loads, and nothing may test it.
const char kInstanceMutex[] = "Halvren.Instance";

const COLORREF kBackColor = RGB(255, 255, 255);
const COLORREF kTitleColor = RGB(0x1F, 0x3A, 0x6E);
const COLORREF kTextColor = RGB(0x40, 0x40, 0x40);

}  // namespace

frmSplash& frmSplash::Get() {
    static frmSplash form;
    return form;
}

ui::Form::Design frmSplash::GetDesign() {
    Design d;
    d.caption = AppTitleW;  // shown only on the taskbar button
    d.clientWidth = 6000;
    d.clientHeight = 3000;
    d.style = WS_POPUP | WS_BORDER;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.charset = EASTEUROPE_CHARSET;
    d.centred = true;
    return d;
}

void frmSplash::CreateControls() {
    Add(Image39, L"STATIC", idImage39, 0, 540, 6000, 1140, AppTitleW, SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX);
    Image39.SetFont(ui::GetFont(L"Calibri", 36, true, false, EASTEUROPE_CHARSET));
    Image39.SetForeColor(kTitleColor);
    Add(Line1, L"STATIC", idLine1, 1200, 1800, 3600, 30, L"", SS_ETCHEDHORZ);
    Add(Label2, L"STATIC", idLabel2, 240, 2040, 5520, 330, L"", SS_CENTER | SS_NOPREFIX);
    Label2.SetForeColor(kTextColor);
    AddTimer(tmrTime, 900, true);
}

bool frmSplash::Form_Initialize() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    if (!InitCommonControlsEx(&icc)) InitCommonControls();
    // The mark is made before anything can stop to wait for the user (the language load may
    // show its error), so that a copy started meanwhile sees this one running.
    bool another = false;
    if (!hInstanceGuard) {
        HANDLE guard = CreateMutexA(nullptr, FALSE, kInstanceMutex);
        another = guard && GetLastError() == ERROR_ALREADY_EXISTS;
        // Without a mutex at all the test cannot tell, and the copy runs.
        if (another)
            CloseHandle(guard);
        else
            hInstanceGuard = guard;
    }
    // The refusal is shown in the user's language, so the table is loaded first.
    // Without even the English texts every caption would be empty: the user has been told, and
    // the program ends.
    if (!LoadLanguage()) return false;
    if (another) {
        ui::MsgBox(LangText(101), MB_ICONERROR | MB_OK);
        return false;
    }
    return true;
}

void frmSplash::Form_Load() {
    // Neither stored nor closed: the mutex lasts as long as the process.
    CreateMutexA(nullptr, FALSE, AppTitle);
    Label2.SetText(LangText(100));
    tmrTime.SetInterval(300);
    tmrTime.SetEnabled(true);
    SplashTicks = 0;

    std::string ignoreList = DataFolder() + "\\Ignore.txt";
    if (!FileExist(ignoreList)) {
        CreateFolderTree(BackupFolder());
        if (CopyFileA((ProgramFolder() + "\\bkp\\Ignore.txt").c_str(), ignoreList.c_str(), TRUE)) {
            // An installed default may be read-only; the user's own copy must take the OK button's writes.
            DWORD attributes = GetFileAttributesA(ignoreList.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(ignoreList.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
    }
}

void frmSplash::tmrTime_Timer() {
    ++SplashTicks;
    if (SplashTicks != 3) return;
    Unload();
    frmMain& main = frmMain::Get();
    main.Load();
    main.Timer3.SetEnabled(true);
    main.Show();
}

void frmSplash::OnTimer(ui::Timer& timer) {
    if (&timer == &tmrTime) tmrTime_Timer();
}

LRESULT frmSplash::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd(), &r);
        HBRUSH brush = CreateSolidBrush(kBackColor);
        FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
        DeleteObject(brush);
        return 1;
    }
    case WM_CTLCOLORSTATIC: {
        static HBRUSH back = CreateSolidBrush(kBackColor);
        HDC dc = reinterpret_cast<HDC>(wParam);
        ui::Control* c = ui::Control::FromHwnd(reinterpret_cast<HWND>(lParam));
        SetBkColor(dc, kBackColor);
        if (c && c->ForeColor() != CLR_INVALID) SetTextColor(dc, c->ForeColor());
        return reinterpret_cast<LRESULT>(back);
    }
    case WM_CLOSE:
        // Closed by the user before the hand-over (Alt+F4): no window would be left and the
        // timer would be gone, so the program ends instead of running on unseen.
        if (SplashTicks < 3) PostQuitMessage(0);
        break;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
