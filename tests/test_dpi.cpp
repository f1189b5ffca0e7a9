// The real halvren.exe on a 144 dpi screen: the windows grow with the DPI, and every control
// of the main window (after a scan), the settings dialog and the restore window lies inside
// its parent and overlaps no sibling, save the pairs the design lays over each other.
// HALVREN_TEST_DPI runs it at another DPI by hand. Then a window moved to a screen of twice
// the DPI, in this process.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "tests/support/TestSupport.h"
#include "ui/Form.h"
#include "ui/Controls.h"
#include "ui/Dpi.h"

using namespace testing_support;

namespace {

const char kDesktop[] = "Control Panel\\Desktop";

int TestDpi() {
    const char* v = std::getenv("HALVREN_TEST_DPI");
    return v && std::atoi(v) > 0 ? std::atoi(v) : 144;
}

std::wstring Text(HWND w) {
    wchar_t t[256] = {};
    GetWindowTextW(w, t, 256);
    return t;
}

std::wstring Describe(HWND w) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    return std::wstring(cls) + L" #" + std::to_wstring(GetDlgCtrlID(w)) + L" \"" + Text(w) + L"\"";
}

RECT InParent(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Pairs of control ids allowed to overlap; a pair (id, 0) lets the control run past its
// parent's edge, as the design has it.
using Allowed = std::set<std::pair<int, int>>;

// The visible controls under `parent`, each inside its parent's client area and clear of
// its siblings; the grouping frames are walked into.
void CheckLayout(HWND parent, const Allowed& allowed) {
    RECT client;
    GetClientRect(parent, &client);
    std::vector<HWND> kids;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c)) kids.push_back(c);
    for (size_t i = 0; i < kids.size(); ++i) {
        RECT r = InParent(kids[i]);
        int id = GetDlgCtrlID(kids[i]);
        EXPECT_TRUE(allowed.count({id, 0}) ||
                    (r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom))
            << Describe(kids[i]) << " lies outside " << Describe(parent);
        for (size_t j = 0; j < i; ++j) {
            RECT o = InParent(kids[j]), x;
            int other = GetDlgCtrlID(kids[j]);
            if (allowed.count({id, other}) || allowed.count({other, id})) continue;
            EXPECT_FALSE(IntersectRect(&x, &r, &o)) << Describe(kids[i]) << " overlaps " << Describe(kids[j]);
        }
        wchar_t cls[32] = {};
        GetClassNameW(kids[i], cls, 32);
        if (!lstrcmpW(cls, L"HalvrenFrame")) CheckLayout(kids[i], allowed);
    }
}

// The client area the design gives, in pixels at the test's DPI.
void CheckClientSize(HWND w, int widthTwips, int heightTwips, int dpi) {
    RECT r;
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, MulDiv(widthTwips, dpi, 1440)) << Describe(w);
    EXPECT_EQ(r.bottom, MulDiv(heightTwips, dpi, 1440)) << Describe(w);
}

class Dpi : public ::testing::Test {
protected:
    void SetUp() override {
        UseEnglish();
        DWORD size = sizeof(oldDpi_);
        hadDpi_ = SHGetValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", nullptr, &oldDpi_, &size) == ERROR_SUCCESS;
        SetDword(HKEY_CURRENT_USER, kDesktop, "LogPixels", static_cast<DWORD>(TestDpi()));
        // One backup file, so that the restore window has a row and stays open.
        CreateFolderTree(DataFolder() + "\\RegBackups");
        hadIgnore_ = FileExists(DataFolder() + "\\Ignore.txt");
        WriteFileBytes(backup_, "REGEDIT4\r\n\r\n");
    }
    void TearDown() override {
        if (hadDpi_)
            SetDword(HKEY_CURRENT_USER, kDesktop, "LogPixels", oldDpi_);
        else
            SHDeleteValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels");
        DeleteFileA(backup_.c_str());
        if (!hadIgnore_) DeleteFileA((DataFolder() + "\\Ignore.txt").c_str());
    }

    SettingGuard lang_{"curLang"};
    DWORD oldDpi_ = 96;
    bool hadDpi_ = false, hadIgnore_ = false;
    std::string backup_ = DataFolder() + "\\RegBackups\\dpi-test.reg";
};

TEST_F(Dpi, WindowsHoldTheirLayout) {
    // The test program carries the program's manifest: it must get common controls 6, the
    // side-by-side copy, not the one in the system folder.
    wchar_t comctl[MAX_PATH] = {};
    GetModuleFileNameW(LoadLibraryW(L"comctl32.dll"), comctl, MAX_PATH);
    CharLowerW(comctl);
    EXPECT_NE(std::wstring(comctl).find(L"common-controls_6595b64144ccf1df_6."), std::wstring::npos) << ToAnsi(comctl);

    const int dpi = TestDpi();
    // The program carries its manifest and its icon in three sizes.
    const std::string exe = ProgramFolder() + "\\halvren.exe";
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    EXPECT_NE(FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);  // RT_MANIFEST
    HRSRC icons = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));      // RT_GROUP_ICON
    ASSERT_NE(icons, nullptr);
    EXPECT_EQ(static_cast<const WORD*>(LockResource(LoadResource(image, icons)))[2], 3);  // the entry count
    FreeLibrary(image);

    StartedProgram p;
    ASSERT_TRUE(p.Start(exe));
    // The splash carries the same title, but no title bar.
    HWND main = WaitForWindow(p.pi.dwProcessId, L"HalvrenForm", AppTitleW);
    ASSERT_NE(main, nullptr);
    CheckClientSize(main, 9120, 6450, dpi);

    PostMessageW(main, WM_COMMAND, frmMain::mnuStartStop, 0);
    HWND button = FindWindowExW(main, nullptr, L"Button", nullptr);
    for (int i = 0; i < 1200 && Text(button) != LangText(201); ++i) Sleep(50);
    ASSERT_EQ(Text(button), LangText(201)) << "the scan did not end";
    // The banner runs past the right edge and the current-key label past the bottom one; the
    // version stands on the banner.
    CheckLayout(main, {{10, 0}, {15, 0}, {10, 11}});

    struct Dialog {
        int command;
        std::wstring title;
        int width, height;
    };
    for (const Dialog& d : {Dialog{frmMain::mnuOptions, LangText(181), 6600, 5880},
                            Dialog{frmMain::mnuRestore, LangText(191), 6675, 4215}}) {
        PostMessageW(main, WM_COMMAND, d.command, 0);
        HWND w = WaitForWindow(p.pi.dwProcessId, L"HalvrenForm", d.title);
        ASSERT_NE(w, nullptr) << "no window \"" << ToAnsi(d.title) << "\"";
        CheckClientSize(w, d.width, d.height, dpi);
        CheckLayout(w, {});
        PostMessageW(w, WM_CLOSE, 0, 0);
        for (int i = 0; i < 100 && IsWindowVisible(w); ++i) Sleep(50);
    }
}

struct Laid {
    HWND hwnd;
    RECT rect;
    int fontHeight;
};

std::vector<Laid> Controls(HWND form) {
    std::vector<Laid> all;
    for (HWND c = GetWindow(form, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
        all.push_back({c, InParent(c), lf.lfHeight});
    }
    return all;
}

TEST(DpiChange, WindowsFollowTheirScreen) {
    UseEnglish();
    SettingGuard lang("curLang");
    MessageBoxCapture boxes;
    ui::SetEndProgramHook([] {});  // closing the main window would end the test program
    struct Case {
        ui::Form& form;
        int width, height;
        Allowed allowed;
    };
    for (const Case& k : {Case{frmMain::Get(), 9120, 6450, {{10, 0}, {15, 0}, {10, 11}}},
                          Case{frmIgnore::Get(), 6600, 5880, {}}}) {
        ASSERT_TRUE(k.form.Load());
        HWND w = k.form.hwnd();
        HICON stock = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), reinterpret_cast<LONG_PTR>(stock)) << "no icon of its own";
        const int from = ui::SystemDpi(), to = 2 * from;
        std::vector<Laid> before = Controls(w);
        RECT r, client;
        GetWindowRect(w, &r);
        GetClientRect(w, &client);
        r.right += client.right;
        r.bottom += client.bottom;
        SendMessageW(w, ui::kWmDpiChanged, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&r));

        CheckClientSize(w, k.width, k.height, to);
        CheckLayout(w, k.allowed);
        for (const Laid& b : before) {
            Laid a = Controls(w)[&b - &before[0]];
            EXPECT_EQ(a.rect.left, 2 * b.rect.left) << Describe(b.hwnd);
            EXPECT_EQ(a.rect.bottom, 2 * b.rect.bottom) << Describe(b.hwnd);
            EXPECT_EQ(a.fontHeight, 2 * b.fontHeight) << Describe(b.hwnd);
        }
        k.form.Unload();
    }
    ui::SetEndProgramHook(nullptr);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace
