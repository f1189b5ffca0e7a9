// The real halvren.exe on a 144 dpi screen: every control of the main window (after a scan),
// the settings dialog and the restore window lies inside its parent and overlaps no sibling,
// save the pairs the design lays over each other.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <set>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/frmSearch.h"
#include "shell/FrmAbout.h"
#include "ui/Dpi.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Pairs of control ids that may overlap; (id, 0) lets a control run past its parent's edge.
using Allowed = std::set<std::pair<int, int>>;

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

// The visible controls lie inside their parent and clear of their siblings, and so do the
// controls of each frame.
void CheckLayout(HWND parent, const Allowed& allowed) {
    RECT client, x;
    GetClientRect(parent, &client);
    std::vector<HWND> kids;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c)) kids.push_back(c);
    for (size_t i = 0; i < kids.size(); ++i) {
        const int id = GetDlgCtrlID(kids[i]);
        const RECT r = InParent(kids[i]);
        EXPECT_TRUE(allowed.count({id, 0}) || (r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                                                r.bottom <= client.bottom))
            << Describe(kids[i]) << " lies outside " << Describe(parent);
        for (size_t j = 0; j < i; ++j) {
            const int other = GetDlgCtrlID(kids[j]);
            const RECT o = InParent(kids[j]);
            EXPECT_TRUE(allowed.count({id, other}) || allowed.count({other, id}) || !IntersectRect(&x, &r, &o))
                << Describe(kids[i]) << " overlaps " << Describe(kids[j]);
        }
        if (GetWindowLongW(kids[i], GWL_EXSTYLE) & WS_EX_CONTROLPARENT) CheckLayout(kids[i], allowed);
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
    // The program carries its manifest and an icon of three sizes.
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
    // The banner runs past the right edge and the current-key label past the bottom one; the
    // version label stands on the banner. Then the settings dialog and the restore window.
    CheckLayout(main, {{10, 0}, {15, 0}, {10, 11}});
    for (const auto& d : {std::make_pair(frmMain::mnuOptions, 181), std::make_pair(frmMain::mnuRestore, 191)}) {
        PostMessageW(main, WM_COMMAND, d.first, 0);
        HWND w = WaitForWindow(p.pi.dwProcessId, L"HalvrenForm", LangText(d.second));
        ASSERT_NE(w, nullptr) << d.second;
        CheckLayout(w, {});
        PostMessageW(w, WM_CLOSE, 0, 0);
        for (int i = 0; i < 100 && IsWindowVisible(w); ++i) Sleep(50);
    }
    DeleteFileA(backup.c_str());
}

// Moved to a screen of twice the DPI, the main window, the settings dialog, the search window and
// the about box double every control's place and font, and keep an icon of their own; the search
// window lays itself out again at the new DPI and a hovered link of the about box keeps its size.
TEST(Dpi, WindowsFollowTheirScreen) {
    UseEnglish();
    SettingGuard lang("curLang");
    MessageBoxCapture boxes;
    ui::SetEndProgramHook([] {});  // closing the main window would end the test program
    auto measures = [](HWND form) {
        std::vector<int> all;
        for (HWND c = GetWindow(form, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            LOGFONTW lf = {};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
            all.insert(all.end(), {static_cast<int>(InParent(c).left), static_cast<int>(InParent(c).bottom),
                                   static_cast<int>(lf.lfHeight)});
        }
        return all;
    };
    const int to = 2 * ui::SystemDpi();
    for (ui::Form* form : {static_cast<ui::Form*>(&frmMain::Get()), static_cast<ui::Form*>(&frmIgnore::Get()),
                           static_cast<ui::Form*>(&frmSearch::Get()), static_cast<ui::Form*>(&FrmAbout::Get())}) {
        ASSERT_TRUE(form->Load());
        HWND w = form->hwnd();
        const HICON stock = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
        EXPECT_NE(GetClassLongPtrW(w, GCLP_HICON), reinterpret_cast<LONG_PTR>(stock)) << "no icon of its own";
        std::vector<int> twice = measures(w);
        for (int& m : twice) m *= 2;
        RECT r, client;
        GetWindowRect(w, &r);
        GetClientRect(w, &client);
        r.right += client.right;  // the system's suggestion: the client area doubles
        r.bottom += client.bottom;
        SendMessageW(w, ui::kWmDpiChanged, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&r));
        EXPECT_EQ(measures(w), twice);
        CheckLayout(w, form == &frmMain::Get() ? Allowed{{10, 0}, {15, 0}, {10, 11}} : Allowed{});
        if (form == &FrmAbout::Get()) {
            FrmAbout::Get().Label15_MouseMove(), FrmAbout::Get().Label16_MouseMove();
            EXPECT_EQ(measures(w), twice) << "a hovered link";
        }
        if (form == &frmIgnore::Get()) {  // the row under the pointer at the new DPI
            ui::ListBox& list = frmIgnore::Get().lstIgnore;
            for (const wchar_t* item : {L"a", L"b", L"c", L"d", L"e"}) list.Add(item);
            SendMessageW(list.hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, MulDiv(360, to, 1440)));
            SendMessageW(list.hwnd, WM_RBUTTONUP, 0, MAKELPARAM(5, MulDiv(360, to, 1440)));
            EXPECT_EQ(list.ListIndex(), 1);
        }
        if (form == &frmSearch::Get()) {  // a resize by the user afterwards
            SetWindowPos(w, nullptr, 0, 0, r.right - r.left + 30, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
            CheckLayout(w, {});
        }
        form->Unload();
    }
    ui::SetEndProgramHook(nullptr);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

}  // namespace
