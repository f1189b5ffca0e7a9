// The main window driven in-process: scans of a seeded registry subtree with real files,
// stopping and closing during a scan, an unreadable ignore list and real message boxes.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "scan/mdlMain.h"
#include "tests/support/IgnoreMatcherCheck.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const std::string Base = "Software\\HalvrenTest\\Main", Files = "C:\\halvren-test\\main";
const std::string Missing = Files + "\\missing\\", CU = "HKEY_CURRENT_USER";
int g_endProgramCalls = 0;

// "type|key below Base" of the rows from the seeded subtree; the rest of the prefix may list some too.
std::vector<std::string> SeededRows() {
    std::vector<std::string> rows;
    ui::ListView& list = frmMain::Get().lvwRegErrors;
    const std::wstring prefix = FromAnsi(Base) + L"\\";
    for (int i = 0; i < list.Count(); ++i)
        if (list.Cell(i, 1) == L"HKEY_CURRENT_USER" && list.Cell(i, 2).compare(0, prefix.size(), prefix) == 0)
            rows.push_back(ToAnsi(list.Cell(i, 0)) + "|" + ToAnsi(list.Cell(i, 2).substr(prefix.size())));
    return rows;
}

bool Has(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

std::wstring Count(int n) { return L"(" + std::to_wstring(n) + L" " + LangText(210) + L")"; }

// Scans, running `action` once from what the window sends a control: when the first row of key A
// is listed, or (atKeyA false) as soon as the current-key label shows a key, early in the walk.
std::function<void(UINT, LPARAM)> g_hook;
LRESULT CALLBACK HookProc(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
    LRESULT result = DefSubclassProc(h, m, w, l);
    g_hook(m, l);
    return result;
}
bool ScanActingAt(frmMain& f, bool atKeyA, std::function<void()> action) {
    const std::wstring keyA = FromAnsi(Base + "\\A\\");
    bool done = false;
    g_hook = [&](UINT m, LPARAM lp) {
        const wchar_t* text = nullptr;
        // A row is added with its texts left for the window to supply: read the new row's key.
        std::wstring key;
        if (atKeyA && m == LVM_INSERTITEMW) {
            key = f.lvwRegErrors.Cell(f.lvwRegErrors.Count() - 1, 2);
            text = key.c_str();
        }
        if (!atKeyA && m == WM_SETTEXT) text = reinterpret_cast<const wchar_t*>(lp);
        if (done || !text || (atKeyA ? std::wstring(text).compare(0, keyA.size(), keyA) != 0 : !*text)) return;
        done = true;
        action();
    };
    HWND control = atKeyA ? f.lvwRegErrors.hwnd : f.lblCurrentKey.hwnd;
    SetWindowSubclass(control, HookProc, 77, 0);
    f.cmdStartStop_Click();
    if (IsWindow(control)) RemoveWindowSubclass(control, HookProc, 77);
    return done;
}

// A click on Start, as the user's, taken at the walk's next yield. The walk lets the window
// events run at most every 10 ms; waiting that long here makes the next key's yield run them.
void PostStartClick() {
    HWND button = frmMain::Get().cmdStartStop.hwnd;
    PostMessageW(frmMain::Get().hwnd(), WM_COMMAND, GetDlgCtrlID(button), reinterpret_cast<LPARAM>(button));
    Sleep(30);
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook([] { ++g_endProgramCalls; });
        ClearLanguageTable();
        LoadLanguageFile(ProgramFolder() + "\\languages\\English\\English.txt");
        CreateFolderTree(DataFolder());
        DeleteTree(HKEY_CURRENT_USER, Base);
        RemoveFolderTree(Files);
        CreateFolderTree(Files + "\\present");
        WriteFileBytes(Files + "\\present\\tool.exe", "MZ");
        const struct { const char *key, *name; std::string data; DWORD type; } values[] = {
            {"A", "Missing", Missing + "gone.exe /s", REG_SZ}, {"A", "Text", "\"" + Missing + "notes.txt\",1", REG_SZ},
            {"A", "Filter", Missing + "codec.ax", REG_SZ}, {"A", "Present", Files + "\\present\\tool.exe -run", REG_SZ},
            {"A", "Folder", Files + "\\present", REG_SZ}, {"A", "Skipped", Missing + "skipme\\tool.exe", REG_SZ},
            {"A", "Expand", Missing + "expand.exe", REG_EXPAND_SZ}, {"A", "", Missing + "default.ocx", REG_SZ},
            {"A\\HideThisKey", "Any", Missing + "hidden.exe", REG_SZ}, {"B", "Later", Missing + "later.exe", REG_SZ}};
        for (const auto& v : values) SetString(HKEY_CURRENT_USER, Base + "\\" + v.key, v.name, v.data, v.type);
        SetString(HKEY_CURRENT_USER, Base + "\\A", Missing + "named.dll", Missing + "named.dll");
    }

    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        DeleteTree(HKEY_CURRENT_USER, Base);
        RemoveFolderTree(Files);
        ui::SetEndProgramHook(nullptr);
    }

    void SetUp() override {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        g_endProgramCalls = 0;
        UseIgnoreList("SKIPME\r\nHIDETHISKEY\r\n");
        SaveSetting("Recommended", "0");
    }

    // Puts `content` in Ignore.txt; the next scan reads it again.
    void UseIgnoreList(const std::string& content) {
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        WriteFileBytes(ignore_.path, content);
    }

    static frmMain& LoadMain() {
        EXPECT_TRUE(frmMain::Get().Load());
        frmMain::Get().Show();
        PumpFor(20);
        return frmMain::Get();
    }

    SettingGuard recommended_{"Recommended"};
    FileGuard ignore_{DataFolder() + "\\Ignore.txt"};
    MessageBoxCapture boxes_;
};

TEST(ExtractFilePath, CutsThePathOutOfDataTexts) {
    const std::pair<const char*, const char*> cases[] = {
        {"*", "C:\\"}, {"no drive here", "C:\\"}, {"C:\\", "C:\\"},
        {"c:\\windows\\app.exe /s", "C:\\WINDOWS\\APP.EXE"}, {"C:\\Tools\\run %1", "C:\\TOOLS\\RUN"},
        {"\"C:\\Program Files\\App\\app.exe\" %1", "C:\\PROGRAM FILES\\APP\\APP.EXE"},
        {"C:\\A\\lib.dll,1", "C:\\A\\LIB.DLL"}, {"C:\\Data\\a.txt,1", "C:\\DATA\\A.TXT"},
        {"C:\\Prog (x86)\\a.exe", "C:\\PROG "}, {"C:\\x.axd\\y.exe", "C:\\X.AX"}, {"C:\\A B:\\C", "C:\\A B"},
        {"rundll32 c:\\win\\shell.dll,Control", "C:\\WIN\\SHELL.DLL"}, {"D:\\x;C:\\y\\z.sys more", "C:\\Y\\Z.SYS"},
        {"C:\\a\\b.txt|x", "C:\\A\\B.TXT"}, {"C:\\a %1 %1\\b", "C:\\A\\B"}, {"C:\\a % %11", "C:\\A %1"},
        {"C:\\dir\\file.ext ", "C:\\DIR\\FILE.EXT "},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtractFilePath(c.first), c.second) << c.first;
    // The file is asked for as the data writes it, where the data holds the path in one piece.
    for (const char* data : {"\"c:\\Program Files\\App\\app.exe\" %1", "C:\\a %1 %1\\b"}) {
        const std::string upper = UpperAnsi(data), path = ExtractFilePathUpper(upper);
        EXPECT_EQ(UpperAnsi(PathAsWritten(data, upper, path)), path) << data;
        EXPECT_EQ(PathAsWritten(data, upper, path) != path, data[0] == '"') << data;
    }
}

// The ignore test against FindAnsi (the comparison is shared with the multi-byte run).
TEST(AnsiMatcher, FindsWhatFindAnsiFinds) {
    ExpectIgnoreMatcherFindsWhatFindAnsiFinds();
    // An entry the code page cannot hold occurs in no text; an empty one in every text.
    AnsiMatcher matcher;
    matcher.Build({L"\x65E5\x672C"});
    EXPECT_TRUE(matcher.Empty());
    EXPECT_FALSE(matcher.FoundIn("??"));
    matcher.Build({L"ZZ", L""});
    EXPECT_TRUE(matcher.FoundIn(""));
}

TEST_F(MainWindow, ReadsRecommendedOnce) {
    // No value, or anything but "0"/"1", is a first start: no filter now, "1" for the next run.
    const struct { const char* stored; bool filter; const char* after; } cases[] = {
        {"", false, "1"}, {"0", false, "0"}, {"1", true, "1"}, {"yes", false, "1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        PutSetting("Recommended", c.stored);
        frmMain& f = LoadMain();
        EXPECT_EQ(f.bRecommended, c.filter);
        EXPECT_EQ(GetSetting("Recommended").str(), c.after);
        f.Unload();
    }
}

// The one whole scan of the file, with the filter on.
TEST_F(MainWindow, ScansListMissingFiles) {
    SaveSetting("Recommended", "1");
    frmMain& f = LoadMain();
    f.cmdStartStop_Click();
    EXPECT_FALSE(f.Scanning());
    // Existing files, ignored entries, non-program files and REG_EXPAND_SZ data are not listed.
    const std::vector<std::string> expected = {
        "VALUE VALUE|A\\Missing", "VALUE VALUE|A\\Filter", "VALUE VALUE|A\\", "VALUE NAME|A\\" + Missing + "named.dll",
        "VALUE VALUE|A\\" + Missing + "named.dll", "VALUE VALUE|B\\Later"};
    std::vector<std::string> rows = SeededRows();
    EXPECT_EQ(rows.size(), expected.size());
    for (const std::string& e : expected) EXPECT_TRUE(Has(rows, e)) << e;
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(205));
    EXPECT_EQ(f.Label1.Text(), LangText(209) + L" " + Count(f.lvwRegErrors.Count()));
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));
    // Fitted row by row as the list grew, the columns are as wide as fitting them over all rows.
    int fitted[4];
    for (int c = 0; c < 4; ++c) fitted[c] = f.lvwRegErrors.ColumnWidthPixels(c);
    AutoSizeColumns(f.lvwRegErrors);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(fitted[c], f.lvwRegErrors.ColumnWidthPixels(c)) << c;
}

// Row and header clicks, a real click on a check box, and the right button popping Repair up
// only while that menu is shown.
bool g_popupSeen = false;
void CALLBACK ClosePopup(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup && IsWindowVisible(popup)) g_popupSeen = true, EndMenu();
}
TEST_F(MainWindow, ListCommands) {
    frmMain& f = LoadMain();
    for (int i = 0; i < 4; ++i) f.cReg_SearchFound(CU, "K\\v" + std::to_string(i), Missing + "f.exe", 2, "v");
    ui::ListView& list = f.lvwRegErrors;
    auto checks = [&] {
        std::string s;
        for (int i = 0; i < list.Count(); ++i) s += list.Checked(i) ? '1' : '0';
        return s;
    };
    f.lvwRegErrors_ItemClick(2);
    EXPECT_EQ(checks(), "0010");
    f.lvwRegErrors_ColumnClick();
    EXPECT_EQ(checks(), "1111");

    f.mnuUncheckAll_Click();
    RECT icon = {LVIR_ICON, 0, 0, 0};
    SendMessageW(list.hwnd, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&icon));
    POINT box = {icon.left - 8, (icon.top + icon.bottom) / 2};
    PostMessageW(list.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(box.x, box.y));
    SendMessageW(list.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(box.x, box.y));
    PumpFor(20);
    EXPECT_EQ(checks(), "0001");

    UINT_PTR timer = SetTimer(nullptr, 0, 50, ClosePopup);
    f.lvwRegErrors_MouseUp(2, 0, 20, 20);
    EXPECT_FALSE(g_popupSeen);
    f.menu.SetVisible(frmMain::mnuRepair, true);
    f.menu.Apply(f.hwnd());
    f.lvwRegErrors_MouseUp(1, 0, 20, 20);
    EXPECT_FALSE(g_popupSeen);
    f.lvwRegErrors_MouseUp(2, 0, 20, 20);
    EXPECT_TRUE(g_popupSeen);
    KillTimer(nullptr, timer);
}

TEST_F(MainWindow, StopAndCloseDuringAScan) {
    frmMain& f = LoadMain();
    // A Start click during the walk only stops it; the rows so far stay.
    ASSERT_TRUE(ScanActingAt(f, true, PostStartClick));
    EXPECT_FALSE(f.Scanning());
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(201));
    std::vector<std::string> rows = SeededRows();
    EXPECT_TRUE(Has(rows, "VALUE VALUE|A\\Missing"));
    EXPECT_TRUE(Has(rows, "VALUE VALUE|A\\Filter"));  // the stopped key's values are all judged
    EXPECT_FALSE(Has(rows, "VALUE VALUE|B\\Later"));
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));

    // Closing the window inside a yield ends the program; the unwinding walk touches nothing freed.
    ASSERT_TRUE(ScanActingAt(f, false, [&] { PostMessageW(f.hwnd(), WM_CLOSE, 0, 0); }));
    EXPECT_EQ(g_endProgramCalls, 1);
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_FALSE(f.Scanning());
}

std::string Utf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}

// Edits of the ignore list during a scan count from the next report on: made in the hidden dialog,
// or in the dialog opened from the menu and closed with OK. Ignore.txt is UTF-16 here.
void CALLBACK AddLaterAndSave(HWND, UINT, UINT_PTR timer, DWORD) {
    frmIgnore& dlg = frmIgnore::Get();
    if (!dlg.IsVisible()) return;
    KillTimer(nullptr, timer);
    dlg.txtString.SetText(L"later");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
}
TEST_F(MainWindow, IgnoreListEditedDuringAScan) {
    frmMain& f = LoadMain();
    frmIgnore& dlg = frmIgnore::Get();
    for (bool fromMenu : {false, true}) {
        SCOPED_TRACE(fromMenu ? "opened from the menu" : "hidden");
        UseIgnoreList(Utf16(L"SkipMe\r\nHIDETHISKEY\r\n"));
        ASSERT_TRUE(ScanActingAt(f, true, [&] {
            if (fromMenu) {
                Sleep(20);  // the walk lets the window events run at its next key
                PostMessageW(f.hwnd(), WM_COMMAND, frmMain::mnuOptions, 0);
                SetTimer(nullptr, 0, 10, AddLaterAndSave);
                return;
            }
            dlg.txtString.SetText(L"later");
            dlg.cmdAdd_Click();
            dlg.lstIgnore.SetListIndex(1);
            dlg.cmdRemove_Click();
        }));
        const std::vector<std::string> rows = SeededRows();
        EXPECT_FALSE(Has(rows, "VALUE VALUE|A\\Skipped"));
        EXPECT_EQ(Has(rows, "VALUE VALUE|A\\HideThisKey\\Any"), !fromMenu);
        EXPECT_FALSE(Has(rows, "VALUE VALUE|B\\Later"));
        EXPECT_TRUE(Has(rows, "VALUE VALUE|A\\Missing"));
        EXPECT_EQ(ReadFileBytes(ignore_.path),
                  Utf16(fromMenu ? L"SKIPME\r\nHIDETHISKEY\r\nLATER\r\n" : L"SkipMe\r\nHIDETHISKEY\r\n"));
    }
}

// An ignore list that cannot be read starts no scan, and stops one whose dialog was closed.
TEST_F(MainWindow, UnreadableIgnoreListListsNothing) {
    frmMain& f = LoadMain();
    HANDLE lock = CreateFileA(ignore_.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    f.cmdStartStop_Click();
    CloseHandle(lock);
    EXPECT_FALSE(f.Scanning());
    EXPECT_EQ(f.lvwRegErrors.Count(), 0);
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(242));
    EXPECT_EQ(f.lblStatus.Text(), LangText(240));
    EXPECT_FALSE(frmIgnore::Get().IsLoaded());  // the next start reads the file again

    ASSERT_TRUE(ScanActingAt(f, true, [&] {
        frmIgnore::Get().Unload();
        lock = CreateFileA(ignore_.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }));
    CloseHandle(lock);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    EXPECT_EQ(SeededRows().size(), 1u);  // only the row listed before the list went

    ASSERT_EQ(boxes_.boxes.size(), 2u);
    for (const CapturedBox& box : boxes_.boxes) {
        EXPECT_NE(box.text.find(FromAnsi(ignore_.path)), std::wstring::npos) << box.text;
        EXPECT_NE(box.text.find(SystemErrorText(ERROR_SHARING_VIOLATION)), std::wstring::npos) << box.text;
    }
}

// NULs in Ignore.txt hide what the entries name and nothing else. A list whose ignore test cannot
// be built (memory runs out) starts no scan, and stops one that meets it, saying why.
TEST_F(MainWindow, IgnoreListThatCannotServeSaysSo) {
    frmMain& f = LoadMain();
    UseIgnoreList(std::string("SKIPME\r\n\0\0X\r\nHIDETHISKEY\r\n\0\0\0\0", 30));
    f.cmdStartStop_Click();
    std::vector<std::string> rows = SeededRows();
    EXPECT_TRUE(Has(rows, "VALUE VALUE|A\\Missing"));
    EXPECT_FALSE(Has(rows, "VALUE VALUE|A\\Skipped"));
    EXPECT_FALSE(Has(rows, "VALUE VALUE|A\\HideThisKey\\Any"));
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(205));

    const int found = f.lvwRegErrors.Count();
    AnsiMatcher::SetNodeLimitHook(5);
    f.cmdStartStop_Click();
    AnsiMatcher::SetNodeLimitHook(0);
    EXPECT_FALSE(f.Scanning());
    EXPECT_EQ(f.lvwRegErrors.Count(), found);
    frmIgnore& dlg = frmIgnore::Get();
    ASSERT_TRUE(ScanActingAt(f, true, [&] {
        AnsiMatcher::SetNodeLimitHook(5);
        dlg.txtString.SetText(L"later");
        dlg.cmdAdd_Click();
    }));
    AnsiMatcher::SetNodeLimitHook(0);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    EXPECT_EQ(SeededRows().size(), 1u);  // only the row listed before the list grew
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    for (int outcome : {277, 278}) {
        const std::wstring& text = boxes_.boxes[outcome - 277].text;
        EXPECT_NE(text.find(LangText(301)), std::wstring::npos) << text;
        EXPECT_NE(text.find(FromAnsi(ignore_.path)), std::wstring::npos) << text;
        EXPECT_NE(text.find(SystemErrorText(ERROR_NOT_ENOUGH_MEMORY)), std::wstring::npos) << text;
        EXPECT_NE(text.find(LangText(outcome)), std::wstring::npos) << text;
    }
}

// Scans after scans: Enter on the focused Scan button starts one. A lower-case ignore entry never
// matches and an empty one matches everything; each scan clears the rows of the one before, and
// one that finds nothing hides Repair again. A Stop click made as the walk ends starts nothing,
// and a start refused for an unreadable ignore list keeps the rows of the last scan.
TEST_F(MainWindow, ScanAfterScan) {
    frmMain& f = LoadMain();
    UseIgnoreList("SKIPME\r\n");
    ASSERT_TRUE(frmIgnore::Get().Load());
    frmIgnore::Get().lstIgnore.Add(L"hidethiskey");
    int ends = 0;
    g_hook = [&](UINT m, LPARAM lp) {
        if (m != WM_SETTEXT || reinterpret_cast<const wchar_t*>(lp) != LangText(205) || ends++) return;
        f.lvwRegErrors.SetChecked(0, true);  // the user's mark on a row just found
        PostStartClick();
    };
    SetWindowSubclass(f.lblCurrentKey.hwnd, HookProc, 77, 0);
    f.cmdStartStop.Focus();
    PostMessageW(f.cmdStartStop.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    PumpFor(100);
    RemoveWindowSubclass(f.lblCurrentKey.hwnd, HookProc, 77);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(205));
    const std::vector<std::string> rows = SeededRows();
    EXPECT_TRUE(Has(rows, "VALUE VALUE|A\\HideThisKey\\Any"));
    EXPECT_FALSE(Has(rows, "VALUE VALUE|A\\Skipped"));
    ASSERT_GT(f.lvwRegErrors.Count(), 0);
    EXPECT_TRUE(f.lvwRegErrors.Checked(0));
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));

    const int found = f.lvwRegErrors.Count();
    const std::wstring summary = f.Label1.Text();
    UseIgnoreList("SKIPME\r\n");
    HANDLE lock = CreateFileA(ignore_.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    f.cmdStartStop_Click();
    CloseHandle(lock);
    EXPECT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(f.lvwRegErrors.Count(), found);
    EXPECT_EQ(f.Label1.Text(), summary);
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));

    ASSERT_TRUE(frmIgnore::Get().Load());
    frmIgnore::Get().lstIgnore.Add(L"");
    f.cmdStartStop_Click();
    EXPECT_EQ(f.lvwRegErrors.Count(), 0);
    EXPECT_FALSE(f.menu.Visible(frmMain::mnuRepair));
    EXPECT_EQ(f.Label1.Text(), LangText(209) + L" " + Count(0));
}

// Real message boxes: while one is up the main window is disabled and a real click on Scan
// does nothing, so the fix deletes what its backup holds.
struct BoxWatch {
    HWND main = nullptr, box = nullptr;
    POINT scan = {};
    int boxes = 0, disabled = 0, ticks = 0;
    bool scanned = false;
} g_watch;

BOOL CALLBACK FindThreadBox(HWND w, LPARAM p) {
    wchar_t cls[16] = {};
    if (!IsWindowVisible(w) || !GetClassNameW(w, cls, 16) || lstrcmpW(cls, L"#32770")) return TRUE;
    *reinterpret_cast<HWND*>(p) = w;
    return FALSE;
}

void CALLBACK WatchBoxes(HWND, UINT, UINT_PTR, DWORD) {
    BoxWatch& w = g_watch;
    w.scanned = w.scanned || frmMain::Get().Scanning();
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindThreadBox, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    if (box != w.box) {
        w.box = box, w.ticks = 0, ++w.boxes;
        if (!IsWindowEnabled(w.main)) ++w.disabled;
        SetCursorPos(w.scan.x, w.scan.y);
        mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
        mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    } else if (++w.ticks >= 5 && (!HIWORD(GetQueueStatus(QS_MOUSEBUTTON)) || w.ticks > 50)) {  // click spent
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

TEST_F(MainWindow, MessageBoxesAreModal) {
    frmMain& f = LoadMain();
    const std::string key = Base + "\\Fix";
    SetString(HKEY_CURRENT_USER, key, "Gone", Missing + "fix.exe");
    f.cReg_SearchFound(CU, key + "\\Gone", Missing + "fix.exe", 2, "Gone");
    f.mnuCheckAll_Click();
    // The window in the screen's corner, its Scan button away from the boxes in the middle.
    f.Move(ui::ScreenWidthTwips() - f.WidthTwips(), ui::ScreenHeightTwips() - f.HeightTwips());
    PumpFor(100);
    RECT r;
    GetWindowRect(f.cmdStartStop.hwnd, &r);
    g_watch = BoxWatch{f.hwnd(), nullptr, {(r.left + r.right) / 2, (r.top + r.bottom) / 2}};
    ASSERT_EQ(WindowFromPoint(g_watch.scan), f.cmdStartStop.hwnd);

    SetMessageBoxHook(nullptr);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, WatchBoxes);
    f.mnuFix_Click();
    KillTimer(nullptr, timer);
    PumpFor(100);
    EXPECT_EQ(g_watch.boxes, 2);  // the backup's path, then the closing count
    EXPECT_EQ(g_watch.disabled, 2);
    EXPECT_FALSE(g_watch.scanned || f.Scanning());
    EXPECT_TRUE(IsWindowEnabled(f.hwnd()));
    EXPECT_EQ(f.lvwRegErrors.Cell(0, 0), LangText(218));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "Gone"));
    RemoveFolderTree(BackupFolder());
}

// The settings and restore windows have no owner: a click on the main window while one is up,
// which the window manager answers by raising the main window over it, brings it forward again.
std::function<void()> g_whileModal;
void CALLBACK WhileModal(HWND, UINT, UINT_PTR id, DWORD) { KillTimer(nullptr, id), g_whileModal(); }
bool Above(HWND a, HWND b) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == a || w == b) return w == a;
    return false;
}

TEST_F(MainWindow, AClickOnTheMainWindowBringsTheModalWindowForward) {
    frmMain& f = LoadMain();
    f.Move(0, 0);
    CreateFolderTree(BackupFolder());
    ASSERT_TRUE(WriteFileBytes(BackupFolder() + "\\Backup (01-02-2020 03;04;05).reg", "REGEDIT4\r\n"));
    for (ui::Form* modal : std::initializer_list<ui::Form*>{&frmIgnore::Get(), &frmRestore::Get()}) {
        std::string seen;
        g_whileModal = [&] {
            HWND m = modal->hwnd();
            RECT banner, over;
            GetWindowRect(f.Image1.hwnd, &banner), GetWindowRect(m, &over);
            const POINT at = {banner.left + 20, banner.top + 20};
            SetWindowPos(f.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            PumpFor(50);
            seen += PtInRect(&over, at) || Above(m, f.hwnd()) ? "?" : "behind ";
            SetCursorPos(at.x, at.y);
            mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
            mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
            PumpUntil([&] { return Above(m, f.hwnd()); }, 1000);
            seen += Above(m, f.hwnd()) && GetForegroundWindow() == m ? "in front" : "still behind";
            PostMessageW(m, WM_CLOSE, 0, 0);
        };
        SetTimer(nullptr, 0, 300, WhileModal);
        modal == &frmIgnore::Get() ? f.mnuOptions_Click() : f.mnuRestore_Click();
        EXPECT_EQ(seen, "behind in front") << ToAnsi(modal->Caption());
    }
    RemoveFolderTree(BackupFolder());
}

// Closing the restore window while its file-name message is up starts no registry editor.
TEST_F(MainWindow, RestoreClosedDuringItsMessageStartsNothing) {
    CreateFolderTree(BackupFolder());
    ASSERT_TRUE(WriteFileBytes(BackupFolder() + "\\Backup (01-02-2020 03;04;05).reg", "REGEDIT4\r\n"));
    frmRestore& w = frmRestore::Get();
    w.Show();
    ASSERT_TRUE(PumpUntil([&] { return w.lvwRegBackups.Count() > 0; }, 2000));
    for (int i = 0; i < w.lvwRegBackups.Count(); ++i) w.lvwRegBackups.SetChecked(i, true);
    static int starts = 0;
    SetStartProgramHook([](const std::wstring&, int, DWORD*) { return ++starts, true; });
    SetMessageBoxHook([&](const std::wstring&, const std::wstring&, unsigned) {
        if (w.IsLoaded()) w.mnuClose_Click();
        return IDOK;
    });
    w.mnuRestore_Click();
    SetStartProgramHook(nullptr);
    EXPECT_EQ(starts, 0);
    RemoveFolderTree(BackupFolder());
}

}  // namespace
