// The real halvren.exe on a 144 dpi screen: every control of the main window (after a scan),
// the settings dialog and the restore window lies inside its parent and overlaps no sibling,
// save the pairs the design lays over each other. Then windows of this process moved to a
// screen of twice the DPI.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <set>
#include <utility>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "tests/support/TestSupport.h"
#include "ui/Dpi.h"

using namespace testing_support;

namespace {

// Pairs of control ids that may overlap; (id, 0) lets a control run past its parent's edge.
// The main window's banner runs past the right edge, the current-key label past the bottom
// one, and the version label stands on the banner.
using Allowed = std::set<std::pair<int, int>>;
const Allowed kMainAllowed = {{10, 0}, {15, 0}, {10, 11}};

std::wstring Text(HWND w) {
    wchar_t t[256] = {};
    GetWindowTextW(w, t, 256);
    return t;
}

std::string Describe(HWND w) { return "#" + std::to_string(GetDlgCtrlID(w)) + " \"" + ToAnsi(Text(w)) + "\""; }

RECT InParent(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The client area is the design's at `dpi`; the visible controls lie inside their parent and
// clear of their siblings, and so do the controls of each frame.
void CheckLayout(HWND parent, int widthTwips, int heightTwips, int dpi, const Allowed& allowed) {
    RECT client, r, o, x;
    GetClientRect(parent, &client);
    if (widthTwips) {  // a window, not a frame
        EXPECT_EQ(client.right, MulDiv(widthTwips, dpi, 1440)) << Describe(parent);
        EXPECT_EQ(client.bottom, MulDiv(heightTwips, dpi, 1440)) << Describe(parent);
    }
    std::vector<HWND> kids;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c)) kids.push_back(c);
    for (size_t i = 0; i < kids.size(); ++i) {
        int id = GetDlgCtrlID(kids[i]);
        r = InParent(kids[i]);
        EXPECT_TRUE(allowed.count({id, 0}) || (r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                                                r.bottom <= client.bottom))
            << Describe(kids[i]) << " lies outside " << Describe(parent);
        for (size_t j = 0; j < i; ++j) {
            int other = GetDlgCtrlID(kids[j]);
            o = InParent(kids[j]);
            EXPECT_TRUE(allowed.count({id, other}) || allowed.count({other, id}) || !IntersectRect(&x, &r, &o))
                << Describe(kids[i]) << " overlaps " << Describe(kids[j]);
        }
        if (GetWindowLongW(kids[i], GWL_EXSTYLE) & WS_EX_CONTROLPARENT) CheckLayout(kids[i], 0, 0, dpi, allowed);
    }
}

// The screen's DPI as Wine reads it when a program starts, put back afterwards.
struct ScreenDpi {
    const char* key = "Control Panel\\Desktop";
    DWORD old = 0, size = sizeof(old);
    bool had = !SHGetValueA(HKEY_CURRENT_USER, key, "LogPixels", nullptr, &old, &size);
    explicit ScreenDpi(DWORD dpi) { SetDword(HKEY_CURRENT_USER, key, "LogPixels", dpi); }
    ~ScreenDpi() {
        if (had) SetDword(HKEY_CURRENT_USER, key, "LogPixels", old);
        if (!had) SHDeleteValueA(HKEY_CURRENT_USER, key, "LogPixels");
    }
};

TEST(Dpi, WindowsHoldTheirLayoutAt144) {
    // The test program carries the program's manifest: it gets common controls 6, the
    // side-by-side copy. The program carries the manifest and an icon of three sizes.
    wchar_t comctl[MAX_PATH] = {};
    GetModuleFileNameW(LoadLibraryW(L"comctl32.dll"), comctl, MAX_PATH);
    EXPECT_NE(std::wstring(CharLowerW(comctl)).find(L"common-controls_6595b64144ccf1df_6."), std::wstring::npos);
    const std::string exe = ProgramFolder() + "\\halvren.exe";
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);  // the manifest
    HRSRC icons = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));      // the icon group
    ASSERT_NE(icons, nullptr);
    EXPECT_EQ(static_cast<const WORD*>(LockResource(LoadResource(image, icons)))[2], 3);  // its entry count
    FreeLibrary(image);

    UseEnglish();
    SettingGuard lang("curLang");
    ScreenDpi dpi(144);
    // One backup file, so that the restore window has a row and stays open.
    const std::string backup = DataFolder() + "\\RegBackups\\dpi-test.reg";
    CreateFolderTree(DataFolder() + "\\RegBackups");
    WriteFileBytes(backup, "REGEDIT4\r\n\r\n");
    StartedProgram p;
    ASSERT_TRUE(p.Start(exe));
    HWND main = WaitForWindow(p.pi.dwProcessId, L"HalvrenForm", AppTitleW);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, frmMain::mnuStartStop, 0);
    HWND button = FindWindowExW(main, nullptr, L"Button", nullptr);
    for (int i = 0; i < 1200 && Text(button) != LangText(201); ++i) Sleep(50);
    EXPECT_EQ(Text(button), LangText(201)) << "the scan did not end";
    CheckLayout(main, 9120, 6450, 144, kMainAllowed);

    struct Dialog {
        int command, caption, width, height;
    };
    for (const Dialog& d : {Dialog{frmMain::mnuOptions, 181, 6600, 5880},  // the settings dialog
                            Dialog{frmMain::mnuRestore, 191, 6675, 4215}}) {
        PostMessageW(main, WM_COMMAND, d.command, 0);
        HWND w = WaitForWindow(p.pi.dwProcessId, L"HalvrenForm", LangText(d.caption));
        ASSERT_NE(w, nullptr) << d.caption;
        CheckLayout(w, d.width, d.height, 144, {});
        PostMessageW(w, WM_CLOSE, 0, 0);
        for (int i = 0; i < 100 && IsWindowVisible(w); ++i) Sleep(50);
    }
    DeleteFileA(backup.c_str());
}

// Each control's left and bottom edges and font height.
std::vector<int> Measures(HWND form) {
    std::vector<int> all;
    for (HWND c = GetWindow(form, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        all.insert(all.end(), {static_cast<int>(InParent(c).left), static_cast<int>(InParent(c).bottom), lf.lfHeight});
    }
    return all;
}

TEST(Dpi, WindowsFollowTheirScreen) {
    UseEnglish();
    SettingGuard lang("curLang");
    MessageBoxCapture boxes;
    ui::SetEndProgramHook([] {});  // closing the main window would end the test program
    const int from = ui::SystemDpi(), to = 2 * from;
    for (ui::Form* form : {static_cast<ui::Form*>(&frmMain::Get()), static_cast<ui::Form*>(&frmIgnore::Get())}) {
        ASSERT_TRUE(form->Load());
        HWND w = form->hwnd();
        HICON stock = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), reinterpret_cast<LONG_PTR>(stock)) << "no icon of its own";
        std::vector<int> twice = Measures(w);
        for (int& m : twice) m *= 2;
        RECT r, client;
        GetWindowRect(w, &r);
        GetClientRect(w, &client);
        r.right += client.right;  // the system's suggestion: the client area doubles
        r.bottom += client.bottom;
        SendMessageW(w, ui::kWmDpiChanged, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&r));
        EXPECT_EQ(Measures(w), twice);
        if (form == &frmMain::Get())
            CheckLayout(w, 9120, 6450, to, kMainAllowed);
        else
            CheckLayout(w, 6600, 5880, to, {});
        form->Unload();
    }
    ui::SetEndProgramHook(nullptr);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace
