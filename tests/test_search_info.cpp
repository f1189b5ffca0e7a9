// The detail view, the missing-file search over the prefix's drive C:, the tray-code rules of the
// main window and the pop-up notice, driven through their real windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
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
frmMain& Main() { return frmMain::Get(); }
frmSearch& S() { return frmSearch::Get(); }

void AddRow(const std::string& key, const std::string& data) {
    Main().cReg_SearchFound("HKEY_CURRENT_USER", key, data, 2, "PATH");
}
// A row put straight into the list, as the judgement would list it.
void Put(const std::string& data) {
    ui::ListView& list = Main().lvwRegErrors;
    const int row = list.AddRow(L"VALUE VALUE");
    const std::wstring cells[] = {L"HKEY_CURRENT_USER", L"K\\PATH", FromAnsi(data)};
    for (int c = 1; c < 4; ++c) list.SetCell(row, c, cells[c - 1]);
}
void Select(int row) {
    ListView_SetItemState(Main().lvwRegErrors.hwnd, -1, 0, LVIS_SELECTED);
    if (row >= 0) ListView_SetItemState(Main().lvwRegErrors.hwnd, row, LVIS_SELECTED, LVIS_SELECTED);
}
std::vector<std::wstring> Items() {
    std::vector<std::wstring> v;
    for (int i = 0; i < S().lstFiles.Count(); ++i) v.push_back(S().lstFiles.Item(i));
    return v;
}
// Runs a search in the shown window; returns its message texts.
std::vector<std::wstring> Search(const std::string& pattern) {
    S().Show();
    S().txtFile.SetText(FromAnsi(pattern));
    MessageBoxCapture boxes;
    S().cmdSearch_Click();
    std::vector<std::wstring> texts;
    for (auto& b : boxes.boxes) texts.push_back(b.text);
    return texts;
}

bool g_popup = false;
std::wstring g_seen;
void CALLBACK ClosePopup(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup && IsWindowVisible(popup)) g_popup = true, EndMenu();
}
void CALLBACK ReadNameAndClose(HWND, UINT, UINT_PTR, DWORD) {
    if (!S().IsVisible()) return;
    g_seen = S().txtFile.Text();
    PostMessageW(S().hwnd(), WM_CLOSE, 0, 0);
}
bool PopsUp(const std::function<void()>& action) {
    g_popup = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 30, ClosePopup);
    action();
    KillTimer(nullptr, timer);
    return g_popup;
}

class SearchInfo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook([] {});
        lang_ = std::make_unique<SettingGuard>("curLang");
        UseEnglish();
        CreateFolderTree(DataFolder());
        ASSERT_TRUE(Main().Load());
        Main().Show();
        RemoveFolderTree(Tree);
        for (const char* d : {"\\a\\b\\c\\hlvq7Target.dll", "\\dest"}) CreateFolderTree(Tree + d);
        WriteFileBytes(Tree + "\\a\\hlvq7Target.Dll", "abc");
        WriteFileBytes(Tree + "\\a\\b\\HLVQ7TARGET.DLL", std::string(70000, '\x7f') + "end");
        WriteFileBytes(Tree + "\\a\\b\\c\\hlvq7target.dll.bak", "x");
        WriteFileBytes(Tree + "\\a\\b\\c\\hlvq7tarxet.dll", "12345");
        // 5,000,000,000 bytes that take no disk space: the file's end moved out past 4 GB.
        HANDLE big = CreateFileA((Tree + "\\a\\hlvq7big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                 nullptr);
        LARGE_INTEGER end;
        end.QuadPart = 5000000000LL;
        ASSERT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big));
        CloseHandle(big);
    }
    static void TearDownTestSuite() {
        for (ui::Form* f : std::initializer_list<ui::Form*>{&S(), &frmInfo::Get(), &Main()})
            if (f->IsLoaded()) f->Unload();
        RemoveFolderTree(Tree);
        RemoveFolderTree(BackupFolder());
        DeleteTree(HKEY_CURRENT_USER, "Software\\HalvrenTest\\Info");
        lang_.reset();
    }
    void SetUp() override {
        Main().lvwRegErrors.Clear();
        Main().bRecommended = false;
    }
    static inline std::unique_ptr<SettingGuard> lang_;
};

}  // namespace

// The detail view follows the main window's selection each time it is activated again, and a
// fix, which changes only the type column, leaves its texts as they were.
TEST_F(SearchInfo, DetailViewFollowsTheSelectedRow) {
    AddRow("Software\\HalvrenTest\\Info\\PATH", "C:\\MISSING\\A.EXE");
    AddRow("Software\\HalvrenTest\\Info2\\PATH", "\"C:\\MISSING\\B.DLL\" /x");
    frmInfo& info = frmInfo::Get();
    const std::vector<std::vector<std::wstring>> shown = {
        {L"", L"", L""},
        {L"HKEY_CURRENT_USER", L"Software\\HalvrenTest\\Info\\PATH", L"C:\\MISSING\\A.EXE"},
        {L"HKEY_CURRENT_USER", L"Software\\HalvrenTest\\Info2\\PATH", L"\"C:\\MISSING\\B.DLL\" /x"}};
    for (int step = 0; step < 4; ++step) {
        const int row = step == 3 ? -1 : step == 0 ? 0 : 1;
        SCOPED_TRACE(step);
        Select(row);
        SetForegroundWindow(Main().hwnd());
        PumpFor(60);
        if (step == 2) {  // the same row once fixed
            Main().lvwRegErrors.SetChecked(1, true);
            MessageBoxCapture boxes;
            Main().mnuFix_Click();
            EXPECT_EQ(LangText(218), Main().lvwRegErrors.Cell(1, 0));
        }
        Main().mnuInfo_Click();
        PumpFor(60);
        const std::vector<std::wstring> got = {info.txtRootKey.Text(), info.txtSubKey.Text(), info.txtValue.Text()};
        EXPECT_EQ(shown[row + 1], got);
    }
    EXPECT_EQ(LangText(186), info.Caption());
    EXPECT_EQ(LangText(190), info.lblValue.Text());
    EXPECT_EQ(L"", info.txtFoundAt.Text());
    info.Command1_Click();
    EXPECT_FALSE(info.IsLoaded());
}

// The opener puts the missing file's name in the box and shows the window modal.
TEST_F(SearchInfo, OpensWithTheMissingFilesName) {
    AddRow("K\\A", "C:\\PROGRAM FILES\\APP\\MAIN.EXE");
    AddRow("K\\B", "C:\\APP\\");
    for (const auto& c : std::vector<std::pair<int, std::wstring>>{{0, L"MAIN.EXE"}, {1, L"APP"}, {-1, L""}}) {
        Select(c.first);
        g_seen = L"?";
        UINT_PTR t = SetTimer(nullptr, 0, 50, ReadNameAndClose);
        Main().mnuSearch_Click();
        KillTimer(nullptr, t);
        EXPECT_EQ(c.second, g_seen);
        EXPECT_FALSE(S().IsLoaded());
    }
}

// Wildcards, a folder whose name matches, names in their stored letter case, sizes past 32 bits.
TEST_F(SearchInfo, ListsExactlyTheMatchesWithCountsAndTotal) {
    const std::string a = Tree + "\\a\\", b = a + "b\\", c = b + "c\\";
    const struct { const char* pattern; std::vector<std::string> found; const char* size; } cases[] = {
        {"hlvq7target.dll", {a + "hlvq7Target.Dll", b + "HLVQ7TARGET.DLL", c + "hlvq7Target.dll"}, "70,006"},
        {"hlvq7tar?et.dll", {a + "hlvq7Target.Dll", b + "HLVQ7TARGET.DLL", c + "hlvq7Target.dll", c + "hlvq7tarxet.dll"},
         "70,011"},
        {"hlvq7*.b??", {a + "hlvq7big.bin", c + "hlvq7target.dll.bak"}, "5,000,000,001"},
        {"hlvq7none", {}, "0"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.pattern);
        const std::vector<std::wstring> texts = Search(k.pattern);
        const std::vector<std::wstring> items = Items();
        std::set<std::wstring> want, got(items.begin(), items.end());
        for (const auto& f : k.found) want.insert(FromAnsi(f));
        EXPECT_EQ(want, got);
        EXPECT_EQ(k.found.size(), items.size());
        ASSERT_EQ(2u, texts.size());
        const std::wstring head = std::to_wstring(k.found.size()) + L" Files found in ";
        EXPECT_EQ(head, texts[0].substr(0, head.size()));
        EXPECT_GT(std::stoi(texts[0].substr(head.size())), 6);
        EXPECT_EQ(L"Size of files found under C:\\ = " + FromAnsi(k.size) + L" Bytes", texts[1]);
        EXPECT_EQ(L"&Search", S().cmdSearch.Text());
    }
}

// Stop ends the walk at once with the messages of what was reached; closing the window ends it
// without a word; a name with a folder in it is refused.
TEST_F(SearchInfo, StopCloseAndBadNames) {
    const size_t all = (Search("*"), Items().size());
    PostMessageW(S().cmdSearch.hwnd, BM_CLICK, 0, 0);
    std::vector<std::wstring> texts = Search("*");
    ASSERT_EQ(2u, texts.size());
    EXPECT_LT(Items().size(), all);
    EXPECT_EQ(std::to_wstring(Items().size()) + L" Files", texts[0].substr(0, texts[0].find(L" found")));
    PostMessageW(S().hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(Search("*").empty());
    EXPECT_FALSE(S().IsLoaded());
    for (const char* bad : {"", "a\\hlvq7big.bin", "C:hlvq7big.bin"}) {
        texts = Search(bad);
        ASSERT_EQ(1u, texts.size());
        EXPECT_EQ(0, S().lstFiles.Count());
    }
}

// The pop-up, the copy into place and the double-click on a match.
TEST_F(SearchInfo, PopupCopyAndOpenFolder) {
    Search("hlvq7target.dll");
    const POINT at = {300, 300};
    EXPECT_FALSE(PopsUp([&] { S().lstFiles_MouseUp(1, at); }));
    EXPECT_TRUE(PopsUp([&] { S().lstFiles_MouseUp(2, at); }));
    EXPECT_TRUE(S().menu.Visible(frmSearch::mnuUse));
    // A right-button release that arrives inside the walk, which is then stopped.
    EXPECT_FALSE(PopsUp([] {
        PostMessageW(S().lstFiles.hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(S().lstFiles.hwnd), MAKELPARAM(300, 300));
        PostMessageW(S().cmdSearch.hwnd, BM_CLICK, 0, 0);
        Search("hlvq7target.dll");
    }));
    Search("hlvq7none");
    EXPECT_FALSE(PopsUp([&] { S().lstFiles_MouseUp(2, at); }));
    Search("hlvq7target.dll");

    // The copy: into place over an old file, to a missing folder, onto a folder it cannot replace.
    const std::string source = Tree + "\\a\\b\\HLVQ7TARGET.DLL";
    const std::vector<std::wstring> items = Items();
    const int index = static_cast<int>(std::find(items.begin(), items.end(), FromAnsi(source)) - items.begin());
    ASSERT_LT(index, S().lstFiles.Count());
    WriteFileBytes(Tree + "\\dest\\MAIN.EXE", "old and longer than the source? no.");
    const struct { const char* target; bool ok; } copies[] = {
        {"\\dest\\MAIN.EXE", true}, {"\\nowhere\\MAIN.EXE", false}, {"\\a\\b\\c\\hlvq7Target.dll", false}};
    for (const auto& c : copies) {
        SCOPED_TRACE(c.target);
        Put("\"" + Tree + c.target + "\" -x");
        Select(Main().lvwRegErrors.Count() - 1);
        S().lstFiles.SetListIndex(index);
        MessageBoxCapture boxes;
        S().mnuUse_Click();
        ASSERT_EQ(c.ok ? 0u : 1u, boxes.boxes.size()) << (boxes.boxes.empty() ? "" : ToAnsi(boxes.boxes[0].text));
        if (c.ok) {
            EXPECT_TRUE(ReadFileBytes(source) == ReadFileBytes(Tree + c.target));
        } else if (!boxes.boxes.empty()) {
            EXPECT_EQ(0u, boxes.boxes[0].text.find(L"An error occured. Maybe the folder doesn't exist"));
        }
    }
    EXPECT_TRUE(GetFileAttributesA((Tree + "\\a\\b\\c\\hlvq7Target.dll").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    WIN32_FIND_DATAA fd;
    for (const char* dir : {"\\dest\\*.tmp", "\\a\\b\\c\\*.tmp"})
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((Tree + dir).c_str(), &fd)) << dir;

    static std::vector<std::pair<std::string, int>> started;
    SetStartProgramHook([](const std::string& line, int show, DWORD*) { return started.push_back({line, show}), true; });
    for (const wchar_t* item : {L"C:\\DIR\\FILE.EXE", L"C:\\X.TXT"}) {
        S().lstFiles.Add(item);
        S().lstFiles.SetListIndex(S().lstFiles.Count() - 1);
        S().lstFiles_DblClick();
    }
    SetStartProgramHook(nullptr);
    const std::vector<std::pair<std::string, int>> want = {{"explorer.exe C:\\DIR", SW_SHOWMAXIMIZED},
                                                           {"explorer.exe C:", SW_SHOWMAXIMIZED}};
    EXPECT_EQ(want, started);
    S().Unload();
}

// Codes 515 and 517 act only when handed to TrayIconMouseMove; ordinary moves over the window at
// those pixel columns do nothing.
TEST_F(SearchInfo, TrayCodes) {
    HWND w = Main().hwnd();
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_FALSE(PopsUp([&] { SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(517, 5)); }));
    SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(515, 5));
    EXPECT_TRUE(IsIconic(w));
    EXPECT_FALSE(PopsUp([] { TrayIconMouseMove(516 * 15.0f); }));
    TrayIconMouseMove(515 * 15.0f);
    EXPECT_FALSE(IsIconic(w));
    EXPECT_TRUE(PopsUp([] { TrayIconMouseMove(517 * 15.0f); }));
}

// 73 steps up and 73 down for 2175 twips and for 2160; two notices run side by side and go.
TEST_F(SearchInfo, NoticeRisesHoldsFallsAndCloses) {
    for (int height : {2175, 2160}) {
        cAlert alert;
        alert.FlatStyle();
        frmNewAlert& n = *frmNewAlert::Instances().back();
        n.Timer1.SetEnabled(false);
        SetWindowPos(n.hwnd(), nullptr, 0, 0, ui::TwipsToPixelsX(2775), ui::TwipsToPixelsY(height),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(ui::ScreenWidthTwips() - 2775, n.StartLeft);
        int up = 0, down = 0;
        while (!n.Timer2.Enabled() && up < 200) n.Timer1_Timer(), ++up;
        EXPECT_EQ(73, up);
        EXPECT_EQ(n.StartTop - 2190, n.Top());
        n.Timer2_Timer();
        n.Timer3.SetEnabled(false);
        while (n.IsLoaded() && down < 200) n.Timer3_Timer(), ++down;
        EXPECT_EQ(73, down);
        EXPECT_EQ(n.StartTop, n.Top());
    }
    cAlert a, b;
    a.Title = L"One";
    a.FlatStyle();
    b.FlatStyle();
    const auto& all = frmNewAlert::Instances();
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ(L"One", all[0]->lblTitle.Text());
    EXPECT_EQ(L"", all[1]->lblAlert.Text());
    for (auto& n : all) n->Timer2.SetInterval(50);
    DWORD start = GetTickCount();
    while ((all[0]->IsLoaded() || all[1]->IsLoaded()) && GetTickCount() - start < 15000) PumpFor(20);
    EXPECT_FALSE(all[0]->IsLoaded() || all[1]->IsLoaded());
    EXPECT_EQ(all[0]->StartTop, all[0]->Top());
}
