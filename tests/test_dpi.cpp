// The real halvren.exe on a 144 dpi screen: the windows grow with the DPI, and every control
// of the main window (after a scan), the settings dialog and the restore window lies inside
// its parent and overlaps no sibling, save the pairs the design lays over each other.
// HALVREN_TEST_DPI runs it at another DPI by hand.
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
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char kDesktop[] = "Control Panel\\Desktop";

int TestDpi() {
    const char* v = std::getenv("HALVREN_TEST_DPI");
    return v && std::atoi(v) > 0 ? std::atoi(v) : 144;
}

struct Process {
    PROCESS_INFORMATION pi = {};
    ~Process() {
        if (!pi.hProcess) return;
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

struct Find {
    DWORD pid;
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK FindForm(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<Find*>(p);
    DWORD pid = 0;
    wchar_t cls[32] = {}, title[128] = {};
    GetWindowThreadProcessId(w, &pid);
    GetClassNameW(w, cls, 32);
    GetWindowTextW(w, title, 128);
    // The splash carries the program's title too, but no title bar.
    bool captioned = (GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
    if (pid == f->pid && IsWindowVisible(w) && captioned && !lstrcmpW(cls, L"HalvrenForm") && f->title == title)
        f->found = w;
    return !f->found;
}

HWND WaitForForm(DWORD pid, const std::wstring& title) {
    Find f{pid, title};
    for (int i = 0; i < 300 && !f.found; ++i) {
        EnumWindows(FindForm, reinterpret_cast<LPARAM>(&f));
        if (!f.found) Sleep(50);
    }
    return f.found;
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
    std::string exe = ProgramFolder() + "\\halvren.exe", cmd = "\"" + exe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    Process p;
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, ProgramFolder().c_str(), &si,
                               &p.pi));
    HWND main = WaitForForm(p.pi.dwProcessId, AppTitleW);
    ASSERT_NE(main, nullptr);
    EXPECT_NE(GetClassLongPtrW(main, GCLP_HICON), reinterpret_cast<LONG_PTR>(LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION))));
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
        HWND w = WaitForForm(p.pi.dwProcessId, d.title);
        ASSERT_NE(w, nullptr) << "no window \"" << ToAnsi(d.title) << "\"";
        CheckClientSize(w, d.width, d.height, dpi);
        CheckLayout(w, {});
        PostMessageW(w, WM_CLOSE, 0, 0);
        for (int i = 0; i < 100 && IsWindowVisible(w); ++i) Sleep(50);
    }
}

}  // namespace
