// The detail view, the missing-file search over the prefix's drive C:, the tray-code rules of the
// main window and the pop-up notice, driven through their real windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <set>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "scan/frmInfo.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "scan/frmSearch.h"
#include "scan/mdlMain.h"
#include "shell/cAlert.h"
#include "shell/frmNewAlert.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const std::string Tree = "C:\\hlvq7";  // every seeded name holds "hlvq7", found nowhere else
SettingGuard g_lang("curLang");
frmMain& Main() { return frmMain::Get(); }
frmSearch& S() { return frmSearch::Get(); }

void AddRow(const std::string& key, const std::string& data) {
    Main().cReg_SearchFound("HKEY_CURRENT_USER", key, data, 2, "PATH");
}
void Select(int row) {
    ListView_SetItemState(Main().lvwRegErrors.hwnd, -1, 0, LVIS_SELECTED);
    if (row >= 0) ListView_SetItemState(Main().lvwRegErrors.hwnd, row, LVIS_SELECTED, LVIS_SELECTED);
}
std::multiset<std::wstring> Items() {
    std::multiset<std::wstring> v;
    for (int i = 0; i < S().lstFiles.Count(); ++i) v.insert(S().lstFiles.Item(i));
    return v;
}
// Runs a search in the shown window; returns its messages.
std::vector<CapturedBox> Search(const std::string& pattern) {
    S().Show();
    S().txtFile.SetText(FromAnsi(pattern));
    MessageBoxCapture boxes;
    S().cmdSearch_Click();
    return boxes.boxes;
}

// Closes what pops up: a menu, noted in g_popup, or the search window, its file name kept in g_seen.
bool g_popup = false;
std::wstring g_seen;
void CALLBACK ClosePopup(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup && IsWindowVisible(popup)) g_popup = true, EndMenu();
    if (!S().IsVisible()) return;
    g_seen = S().txtFile.Text();
    PostMessageW(S().hwnd(), WM_CLOSE, 0, 0);
}
// A menu that opens announces itself to its owner. The window manager may still be activating
// a restored window and close the menu before the timer sees it; the announcement counts.
LRESULT CALLBACK NoteMenuOpen(HWND w, UINT m, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (m == WM_INITMENUPOPUP) g_popup = true;
    return DefSubclassProc(w, m, wp, lp);
}
bool PopsUp(const std::function<void()>& action) {
    g_popup = false;
    HWND main = Main().hwnd();
    SetWindowSubclass(main, NoteMenuOpen, 78, 0);
    UINT_PTR timer = SetTimer(nullptr, 0, 30, ClosePopup);
    action();
    KillTimer(nullptr, timer);
    if (IsWindow(main)) RemoveWindowSubclass(main, NoteMenuOpen, 78);
    return g_popup;
}

class SearchInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook([] {});
        UseEnglish();
        CreateFolderTree(DataFolder());
        ASSERT_TRUE(Main().Load());
        Main().Show();
        RemoveFolderTree(Tree);
        for (const char* d : {"\\a\\b\\c\\hlvq7Target.dll", "\\dest"}) CreateFolderTree(Tree + d);
        WriteFileBytes(Tree + "\\a\\hlvq7Target.Dll", "abc");
        WriteFileBytes(Tree + "\\a\\b\\HLVQ7TARGET.DLL", "12345");
        WriteFileBytes(Tree + "\\a\\b\\c\\hlvq7target.dll.bak", "x");
        WriteFileBytes(Tree + "\\a\\b\\c\\hlvq7tarxet.dll", std::string(70000, '\x7f') + "end");
        HANDLE big = CreateFileA((Tree + "\\a\\hlvq7big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                 nullptr);
        const LARGE_INTEGER end = {{705032704, 1}};  // 5,000,000,000 bytes that take no disk space
        ASSERT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big));
        CloseHandle(big);
    }
    static void TearDownTestSuite() {
        for (ui::Form* f : std::initializer_list<ui::Form*>{&S(), &frmInfo::Get(), &Main()})
            if (f->IsLoaded()) f->Unload();
        RemoveFolderTree(Tree);
        RemoveFolderTree(BackupFolder());
    }
    void SetUp() override { Main().lvwRegErrors.Clear(); }
};

}  // namespace

// The detail view follows the main window's selection each time it is activated again, and after a
// fix, which changes only the type column; the search opens modal with the row's file name.
TEST_F(SearchInfo, DetailViewAndSearchFollowTheSelectedRow) {
    const char* data[] = {"C:\\PROGRAM FILES\\APP\\MAIN.EXE", "\"C:\\MISSING\\B.DLL\" /x"};
    for (int i = 0; i < 2; ++i) AddRow("K" + std::to_string(i) + "\\PATH", data[i]);
    frmInfo& info = frmInfo::Get();
    for (int step = 0; step < 3; ++step) {
        const int row = step == 0 ? 0 : 1;
        Select(row);
        SetForegroundWindow(Main().hwnd());
        PumpFor(60);
        if (step == 2) {  // the same row after a fix (the row names no value, so it is marked gone)
            Main().lvwRegErrors.SetChecked(1, true);
            MessageBoxCapture boxes;
            Main().mnuFix_Click();
            EXPECT_EQ(LangText(250), Main().lvwRegErrors.Cell(1, 0));
        }
        Main().mnuInfo_Click();
        PumpFor(60);
        EXPECT_EQ(L"HKEY_CURRENT_USER|K" + std::to_wstring(row) + L"\\PATH|" + FromAnsi(data[row]),
                  info.txtRootKey.Text() + L"|" + info.txtSubKey.Text() + L"|" + info.txtValue.Text());
    }
    info.Command1_Click();
    Select(0);
    PopsUp([] { Main().mnuSearch_Click(); });
    EXPECT_EQ(L"MAIN.EXE", g_seen);
}

// With several rows selected, the detail view and the search take the row the user clicked
// last, which holds the focus, not the lowest selected one.
TEST_F(SearchInfo, SeveralSelectedRowsActOnTheFocusedOne) {
    for (const char* name : {"ONE", "TWO", "THREE"}) AddRow(std::string("K\\") + name, std::string("C:\\GONE\\") + name + ".EXE");
    Select(0);
    ListView_SetItemState(Main().lvwRegErrors.hwnd, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    frmInfo& info = frmInfo::Get();
    Main().mnuInfo_Click();
    PumpFor(60);
    EXPECT_EQ(L"K\\THREE", info.txtSubKey.Text());
    info.Command1_Click();
    PopsUp([] { Main().mnuSearch_Click(); });
    EXPECT_EQ(L"THREE.EXE", g_seen);
}

// Wildcards, a folder whose name matches, names in their stored letter case, sizes past 32 bits;
// Stop ends the walk at once with the messages of what was reached, closing the window in silence.
TEST_F(SearchInfo, ListsExactlyTheMatchesStopsAndCloses) {
    const std::wstring a = FromAnsi(Tree) + L"\\a\\", b = a + L"b\\", c = b + L"c\\";
    const struct { const char* pattern; std::multiset<std::wstring> found; const wchar_t* size; } cases[] = {
        {"hlvq7tar?et.dll",
         {a + L"hlvq7Target.Dll", b + L"HLVQ7TARGET.DLL", c + L"hlvq7Target.dll", c + L"hlvq7tarxet.dll"},
         L"70,011"},
        {"hlvq7*.b??", {a + L"hlvq7big.bin", c + L"hlvq7target.dll.bak"}, L"5,000,000,001"},
        {"HLVQ7target.DLL", {a + L"hlvq7Target.Dll", b + L"HLVQ7TARGET.DLL", c + L"hlvq7Target.dll"}, L"8"}};
    for (const auto& k : cases) {
        const std::vector<CapturedBox> boxes = Search(k.pattern);
        EXPECT_EQ(k.found, Items());
        ASSERT_EQ(2u, boxes.size());
        EXPECT_EQ(0u, boxes[0].text.find(std::to_wstring(k.found.size()) + L" Files found in "));
        EXPECT_EQ(L"Size of files found under C:\\ = " + std::wstring(k.size) + L" Bytes", boxes[1].text);
    }
    const size_t all = (Search("*"), Items().size());
    PostMessageW(S().cmdSearch.hwnd, BM_CLICK, 0, 0);
    const std::vector<CapturedBox> boxes = Search("*");
    ASSERT_EQ(2u, boxes.size());
    EXPECT_LT(Items().size(), all);
    EXPECT_EQ(std::to_wstring(Items().size()) + L" Files", boxes[0].text.substr(0, boxes[0].text.find(L" found")));
    PostMessageW(S().hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(Search("*").empty());
    EXPECT_FALSE(S().IsLoaded());
}

// The pop-up over the found list; the copy over an old file, to a missing folder and onto a folder
// it cannot replace, leaving no temporary; a double-click opens the folder.
TEST_F(SearchInfo, PopupCopyAndOpenFolder) {
    const POINT at = {300, 300};
    Search("hlvq7none");
    EXPECT_FALSE(PopsUp([&] { S().lstFiles_MouseUp(2, at); }));
    AddRow("K\\A", "\"" + Tree + "\\dest\\MAIN.EXE\" -x");
    AddRow("K\\B", Tree + "\\nowhere\\MAIN.EXE");
    AddRow("K\\C", Tree + "\\a\\b\\c\\hlvq7Target.dll");  // a folder of that name stands there
    WriteFileBytes(Tree + "\\dest\\MAIN.EXE", "old and longer than the source? no.");
    Search("hlvq7tarxet.dll");
    ASSERT_EQ(1, S().lstFiles.Count());
    EXPECT_FALSE(PopsUp([&] { S().lstFiles_MouseUp(1, at); }));
    EXPECT_TRUE(PopsUp([&] { S().lstFiles_MouseUp(2, at); }));
    for (int row : {0, 1, 2}) {
        Select(row);
        S().lstFiles.SetListIndex(0);
        MessageBoxCapture boxes;
        S().mnuUse_Click();
        ASSERT_EQ(row == 0 ? 0u : 1u, boxes.boxes.size()) << row;
    }
    EXPECT_TRUE(ReadFileBytes(Tree + "\\a\\b\\c\\hlvq7tarxet.dll") == ReadFileBytes(Tree + "\\dest\\MAIN.EXE"));
    EXPECT_TRUE(GetFileAttributesA((Tree + "\\a\\b\\c\\hlvq7Target.dll").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    WIN32_FIND_DATAA fd;
    for (const char* dir : {"\\dest\\*.tmp", "\\a\\b\\c\\*.tmp"})
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((Tree + dir).c_str(), &fd)) << dir;
    static std::pair<std::wstring, int> started;
    SetStartProgramHook([](const std::wstring& line, int show, DWORD*) { return started = {line, show}, true; });
    S().lstFiles_DblClick();
    SetStartProgramHook(nullptr);
    EXPECT_EQ(std::make_pair(FromAnsi("explorer.exe " + Tree + "\\a\\b\\c"), int(SW_SHOWMAXIMIZED)), started);
}

// The walk enters every folder but a mount point, junction or symbolic link: a folder of another reparse point, such as
// a cloud-file placeholder, is searched. The drive's link back to its parent comes as a symbolic link.
TEST_F(SearchInfo, EntersEveryFolderButLinks) {
    WIN32_FIND_DATAA up = {};
    HANDLE find = FindFirstFileA("C:\\halvren-loop\\up", &up);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    FindClose(find);
    EXPECT_FALSE(EntersFolder(up, "C:\\halvren-loop\\up")) << std::hex << up.dwFileAttributes << " " << up.dwReserved0;
    const DWORD dir = FILE_ATTRIBUTE_DIRECTORY, reparse = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const struct { DWORD attributes, tag; bool enters; } cases[] = {
        {dir, 0, true}, {FILE_ATTRIBUTE_ARCHIVE, 0, false}, {reparse, IO_REPARSE_TAG_MOUNT_POINT, false},
        {reparse, IO_REPARSE_TAG_SYMLINK, false}, {reparse, IO_REPARSE_TAG_CLOUD, true},
        {reparse, IO_REPARSE_TAG_CLOUD_6, true}, {reparse | FILE_ATTRIBUTE_OFFLINE, 0x9000701A, true}, {reparse, 0, false},
        {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_CLOUD, false}};
    for (const auto& c : cases) {
        WIN32_FIND_DATAA fd = {};
        fd.dwFileAttributes = c.attributes, fd.dwReserved0 = c.tag;
        EXPECT_EQ(c.enters, EntersFolder(fd, "")) << std::hex << c.attributes << " " << c.tag;
    }
    // The whole drive is walked in a finite time: the link is not followed round.
    PumpFor(50);  // what the tests before left posted
    const std::vector<CapturedBox> boxes = Search("hlvq7big.bin");
    EXPECT_EQ(1, S().lstFiles.Count());
    ASSERT_EQ(2u, boxes.size());
}

// Codes 515 and 517 act only when handed to TrayIconMouseMove, not as plain moves over the window.
// The notice takes 73 steps up and 73 down for 2175 twips and for 2160; two run side by side and go.
TEST_F(SearchInfo, TrayCodesAndNotices) {
    HWND w = Main().hwnd();
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_FALSE(PopsUp([&] { SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(517, 5)); }));
    SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(515, 5));
    EXPECT_TRUE(IsIconic(w));
    TrayIconMouseMove(515 * 15.0f);
    EXPECT_FALSE(IsIconic(w));
    EXPECT_TRUE(PopsUp([] { TrayIconMouseMove(517 * 15.0f); }));
    for (int height : {2175, 2160}) {
        cAlert alert;
        alert.FlatStyle();
        frmNewAlert& n = *frmNewAlert::Instances().back();
        SetWindowPos(n.hwnd(), nullptr, 0, 0, ui::TwipsToPixelsX(2775), ui::TwipsToPixelsY(height),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        int up = 0, down = 0;
        while (!n.Timer2.Enabled() && up < 200) n.Timer1_Timer(), ++up;
        EXPECT_EQ(73, up);
        EXPECT_EQ(n.StartTop - 2190, n.Top());
        n.Timer2_Timer();
        while (n.IsLoaded() && down < 200) n.Timer3_Timer(), ++down;
        EXPECT_EQ(73, down);
    }
    cAlert a, b;
    for (cAlert* alert : {&a, &b}) alert->FlatStyle();
    const auto& all = frmNewAlert::Instances();
    ASSERT_EQ(2u, all.size());
    for (auto& n : all) n->Timer2.SetInterval(50);
    EXPECT_TRUE(PumpUntil([&] { return !all[0]->IsLoaded() && !all[1]->IsLoaded(); }, 15000));
}
