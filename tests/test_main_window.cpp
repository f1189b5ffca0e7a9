// The main window driven in-process: loading, scans of the prefix registry with a seeded
// subtree and real files, the judgement of reports, stopping and closing during a scan,
// and the list commands.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/mdlMain.h"
#include "shell/frmAutoUpd.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";
const char Base[] = "Software\\HalvrenTest\\Main";
const char Files[] = "C:\\halvren-test\\main";
const std::string Missing = "C:\\halvren-test\\main\\missing\\";

int g_endProgramCalls = 0;
void CountEndProgram() { ++g_endProgramCalls; }

struct Row {
    std::wstring type, root, key, data;
    bool checked;
};

// The rows that come from the seeded subtree; the rest of the prefix registry may list some too.
std::vector<Row> SeededRows() {
    std::vector<Row> rows;
    ui::ListView& list = frmMain::Get().lvwRegErrors;
    const std::wstring prefix = FromAnsi(Base) + L"\\";
    for (int i = 0; i < list.Count(); ++i) {
        Row r{list.Cell(i, 0), list.Cell(i, 1), list.Cell(i, 2), list.Cell(i, 3), list.Checked(i)};
        if (r.root == L"HKEY_CURRENT_USER" && r.key.compare(0, prefix.size(), prefix) == 0) rows.push_back(r);
    }
    return rows;
}

bool HasRow(const std::vector<Row>& rows, const std::wstring& type, const std::string& keyBelowBase) {
    for (const Row& r : rows)
        if (r.type == type && r.key == FromAnsi(std::string(Base) + "\\" + keyBelowBase)) return true;
    return false;
}

std::wstring Count(int n) { return L"(" + std::to_wstring(n) + L" " + LangText(210) + L")"; }

// Watches what the window sends one of its controls, in order to act at a chosen point of a scan.
struct Spy {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR ref) {
        LRESULT result = DefSubclassProc(h, m, w, l);
        reinterpret_cast<Spy*>(ref)->hook(m, w, l);
        return result;
    }
    Spy(HWND h, std::function<void(UINT, WPARAM, LPARAM)> f) : hwnd(h), hook(std::move(f)) {
        SetWindowSubclass(hwnd, Proc, 77, reinterpret_cast<DWORD_PTR>(this));
    }
    ~Spy() {
        if (IsWindow(hwnd)) RemoveWindowSubclass(hwnd, Proc, 77);
    }
    Spy(const Spy&) = delete;
    Spy& operator=(const Spy&) = delete;
    HWND hwnd;
    std::function<void(UINT, WPARAM, LPARAM)> hook;
};

bool g_popupSeen = false;
// Runs inside a pop-up menu's loop: notes the menu and closes it.
void CALLBACK ClosePopup(HWND, UINT, UINT_PTR, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup && IsWindowVisible(popup)) {
        g_popupSeen = true;
        EndMenu();
    }
}

// The key column's text when a message sets a row's key cell.
std::wstring KeyCellText(UINT m, LPARAM l) {
    if (m != LVM_SETITEMTEXTW) return L"";
    auto* item = reinterpret_cast<LVITEMW*>(l);
    return item->iSubItem == 2 && item->pszText ? item->pszText : L"";
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(&CountEndProgram);
        ClearLanguageTable();
        LoadLanguageFile(ProgramFolder() + "\\languages\\English\\English.txt");
        savedRecFound_ = ReadRaw(HKEY_CURRENT_USER, SettingsKey, "Recommended", savedRecType_, savedRec_);
        ignorePath_ = DataFolder() + "\\Ignore.txt";
        CreateFolderTree(DataFolder());
        hadIgnore_ = FileExists(ignorePath_);
        if (hadIgnore_) savedIgnore_ = ReadFileBytes(ignorePath_);
        Seed();
    }

    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        if (savedRecFound_)
            SetBinary(HKEY_CURRENT_USER, SettingsKey, "Recommended", savedRec_, savedRecType_);
        else
            DeleteRegSetting("Halvren", "Settings", "Recommended", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
        if (hadIgnore_)
            WriteFileBytes(ignorePath_, savedIgnore_);
        else
            DeleteFileA(ignorePath_.c_str());
        DeleteTree(HKEY_CURRENT_USER, Base);
        RemoveFolderTree(Files);
        ui::SetEndProgramHook(nullptr);
    }

    static void Seed() {
        DeleteTree(HKEY_CURRENT_USER, Base);
        RemoveFolderTree(Files);
        CreateFolderTree(std::string(Files) + "\\present");
        WriteFileBytes(std::string(Files) + "\\present\\tool.exe", "MZ");
        const std::string a = std::string(Base) + "\\A";
        SetString(HKEY_CURRENT_USER, a, "Missing", Missing + "gone.exe /s");
        SetString(HKEY_CURRENT_USER, a, "Text", "\"" + Missing + "notes.txt\",1");
        SetString(HKEY_CURRENT_USER, a, "Filter", Missing + "codec.ax");
        SetString(HKEY_CURRENT_USER, a, "Present", std::string(Files) + "\\present\\tool.exe -run");
        SetString(HKEY_CURRENT_USER, a, "Folder", std::string(Files) + "\\present");
        SetString(HKEY_CURRENT_USER, a, "Skipped", Missing + "skipme\\tool.exe");
        SetString(HKEY_CURRENT_USER, a, "Expand", Missing + "expand.exe", REG_EXPAND_SZ);
        SetString(HKEY_CURRENT_USER, a, Missing + "named.dll", Missing + "named.dll");
        SetString(HKEY_CURRENT_USER, a, "", Missing + "default.ocx");
        SetString(HKEY_CURRENT_USER, a + "\\HideThisKey", "Any", Missing + "hidden.exe");
        SetString(HKEY_CURRENT_USER, std::string(Base) + "\\B", "Later", Missing + "later.exe");
    }

    void SetUp() override {
        frmMain& f = frmMain::Get();
        if (f.IsLoaded()) f.Unload();
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        g_endProgramCalls = 0;
        WriteIgnore("SKIPME\r\nHIDETHISKEY\r\n");
        SaveSetting("Recommended", "0");
    }

    void TearDown() override {
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
    }

    static void WriteIgnore(const std::string& content) { WriteFileBytes(ignorePath_, content); }

    static frmMain& LoadMain() {
        frmMain& f = frmMain::Get();
        EXPECT_TRUE(f.Load());
        f.Show();
        DoEvents();
        return f;
    }

    static void DoEvents() { PumpFor(20); }

    static std::string StoredRecommended() {
        DWORD type;
        std::string bytes;
        if (!ReadRaw(HKEY_CURRENT_USER, SettingsKey, "Recommended", type, bytes)) return "<missing>";
        return std::string(bytes.c_str());
    }

    MessageBoxCapture boxes_;
    static bool savedRecFound_, hadIgnore_;
    static DWORD savedRecType_;
    static std::string savedRec_, savedIgnore_, ignorePath_;
};

bool MainWindow::savedRecFound_ = false;
bool MainWindow::hadIgnore_ = false;
DWORD MainWindow::savedRecType_ = 0;
std::string MainWindow::savedRec_, MainWindow::savedIgnore_, MainWindow::ignorePath_;

TEST(ExtractFilePath, CutsThePathOutOfDataTexts) {
    struct Case {
        const char* data;
        const char* path;
    } cases[] = {
        {"*", "C:\\"},
        {"no drive here", "C:\\"},
        {"C:\\", "C:\\"},
        {"c:\\windows\\app.exe /s", "C:\\WINDOWS\\APP.EXE"},
        {"\"C:\\Program Files\\App\\app.exe\" %1", "C:\\PROGRAM FILES\\APP\\APP.EXE"},
        {"C:\\Tools\\run %1", "C:\\TOOLS\\RUN"},
        {"C:\\A\\lib.dll,1", "C:\\A\\LIB.DLL"},
        {"C:\\Data\\a.txt,1", "C:\\DATA\\A.TXT"},
        {"C:\\Prog (x86)\\a.exe", "C:\\PROG "},
        {"C:\\x.axd\\y.exe", "C:\\X.AX"},
        {"C:\\A B:\\C", "C:\\A B"},
        {"rundll32 c:\\win\\shell.dll,Control", "C:\\WIN\\SHELL.DLL"},
        {"D:\\x;C:\\y\\z.sys more", "C:\\Y\\Z.SYS"},
        {"C:\\a\\b.txt|x", "C:\\A\\B.TXT"},
        {"C:\\a %1 %1\\b", "C:\\A\\B"},
        {"C:\\a % %11", "C:\\A %1"},
        {"C:\\dir\\file.ext ", "C:\\DIR\\FILE.EXT "},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractFilePath(c.data), c.path) << c.data;
    std::string data = "c:\\keep.exe";
    ExtractFilePath(data);
    EXPECT_EQ(data, "c:\\keep.exe");
}

TEST_F(MainWindow, RemoveDuplicateItemsKeepsFirstOccurrences) {
    frmIgnore& dlg = frmIgnore::Get();
    ASSERT_TRUE(dlg.Load());
    ui::ListBox& list = dlg.lstIgnore;
    list.Clear();
    for (const wchar_t* s : {L"abc", L"X", L"ABC", L"Abc", L"x", L"\u00e9t\u00e9", L"\u00c9T\u00c9", L"y"}) list.Add(s);
    RemoveDuplicateItems(list);
    std::vector<std::wstring> items;
    for (int i = 0; i < list.Count(); ++i) items.push_back(list.Item(i));
    EXPECT_EQ(items, (std::vector<std::wstring>{L"abc", L"X", L"\u00e9t\u00e9", L"y"}));
    list.Clear();
    list.Add(L"one");
    RemoveDuplicateItems(list);
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(MainWindow, LoadsItsDesignAndReadsRecommendedOnce) {
    DeleteRegSetting("Halvren", "Settings", "Recommended", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    frmMain& f = LoadMain();
    // First start: "1" is stored for the next run, this run does not filter.
    EXPECT_EQ(StoredRecommended(), "1");
    EXPECT_FALSE(f.bRecommended);

    EXPECT_EQ(f.Caption(), L"Halvren");
    EXPECT_EQ(f.ScaleWidthTwips(), 9120);
    EXPECT_EQ(f.ScaleHeightTwips(), 6450);
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(242));
    EXPECT_EQ(f.lblStatus.Text(), LangText(240));
    EXPECT_EQ(f.Label1.Text(), LangText(241));
    EXPECT_EQ(f.Label25.Text(), LangText(119) + L" " + FromAnsi(VersionText()));
    EXPECT_FALSE(f.Timer3.Enabled());
    EXPECT_TRUE(f.tmrScheduled.Enabled());
    EXPECT_EQ(f.tmrScheduled.interval, 60000u);

    // Menus: captions from the language table, Repair hidden, the search item and its separator always.
    EXPECT_EQ(f.menu.Caption(frmMain::mnuFile), LangText(221));
    EXPECT_EQ(f.menu.Caption(frmMain::mnuStartStop), LangText(222));
    EXPECT_EQ(f.menu.Caption(frmMain::mnuFix), LangText(228));
    EXPECT_EQ(f.menu.Caption(frmMain::mnuAbout), LangText(239));
    EXPECT_FALSE(f.menu.Visible(frmMain::mnuRepair));
    EXPECT_FALSE(f.menu.Visible(frmMain::mnuSearch));
    EXPECT_FALSE(f.menu.Visible(frmMain::mnuSep4));
    HMENU bar = GetMenu(f.hwnd());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetMenuItemCount(bar), 3);  // File, Settings, Help

    ASSERT_EQ(f.lvwRegErrors.ColumnCount(), 4);
    HWND header = reinterpret_cast<HWND>(SendMessageW(f.lvwRegErrors.hwnd, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < 4; ++c) {
        wchar_t text[128] = {};
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(header, HDM_GETITEMW, c, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(text), LangText(212 + c));
    }
    EXPECT_TRUE(SendMessageW(f.lvwRegErrors.hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_CHECKBOXES);

    // "0": off, nothing written. "1": on.
    f.Unload();
    EXPECT_EQ(g_endProgramCalls, 1);
    SaveSetting("Recommended", "0");
    LoadMain();
    EXPECT_FALSE(f.bRecommended);
    EXPECT_EQ(StoredRecommended(), "0");
    f.Unload();
    SaveSetting("Recommended", "1");
    LoadMain();
    EXPECT_TRUE(f.bRecommended);
    f.Unload();
    SaveSetting("Recommended", "yes");
    LoadMain();
    EXPECT_FALSE(f.bRecommended);
    EXPECT_EQ(StoredRecommended(), "1");

    // Timer3 loads the hidden automatic update window and stops.
    f.Timer3.SetEnabled(true);
    f.Timer3_Timer();
    EXPECT_TRUE(frmAutoUpd::Get().IsLoaded());
    EXPECT_FALSE(frmAutoUpd::Get().IsVisible());
    EXPECT_FALSE(f.Timer3.Enabled());
    RECT r;
    GetWindowRect(frmAutoUpd::Get().hwnd(), &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_LT(r.left, -2000);
    frmAutoUpd::Get().Unload();
}

TEST_F(MainWindow, JudgesReports) {
    frmMain& f = LoadMain();
    WriteIgnore("SKIPME\r\nHIDETHISKEY\r\n");
    ASSERT_TRUE(frmIgnore::Get().Load());
    frmIgnore::Get().lstIgnore.Add(L"lower");
    const std::string cu = "HKEY_CURRENT_USER";
    auto report = [&](const std::string& key, const std::string& data, int found = 2) {
        size_t slash = key.rfind('\\');
        f.cReg_SearchFound(cu, key, data, found, found == 0 ? "" : key.substr(slash + 1));
    };

    report("K\\Present", std::string(Files) + "\\present\\tool.exe /x");
    report("K\\NoDrive", "D:\\nothing.exe");
    report("K\\Key", "*", 0);
    report("K\\Skipped", Missing + "SkipMe\\a.exe");
    report("K\\HideThisKey\\v", Missing + "a.exe");
    EXPECT_EQ(f.lvwRegErrors.Count(), 0);
    EXPECT_EQ(f.Label1.Text(), LangText(241));  // a dropped report leaves no trace

    report("K\\Lower", Missing + "lower.exe");  // a lower-case entry never matches
    ASSERT_EQ(f.lvwRegErrors.Count(), 1);
    EXPECT_EQ(f.Label1.Text(), Count(1));
    EXPECT_EQ(f.lblStatus.Text(), LangText(211) + L"\r\n" + Count(1));

    f.bRecommended = true;
    report("K\\Txt", Missing + "a.txt");
    report("K\\Ax", Missing + "b.ax");
    report("K\\Paren", "C:\\Prog (x86)\\missing.exe");
    report("K\\Sys", Missing + "drv.sys,2");
    f.bRecommended = false;
    report("K\\Txt2", Missing + "a.txt");
    report("Software\\App\\", Missing + "default.ocx");
    f.cReg_SearchFound(cu, "K\\" + Missing + "n.dll", Missing + "n.dll", 1, Missing + "n.dll");

    ASSERT_EQ(f.lvwRegErrors.Count(), 6);
    EXPECT_EQ(f.lvwRegErrors.Cell(1, 2), L"K\\Ax");
    EXPECT_EQ(f.lvwRegErrors.Cell(2, 2), L"K\\Sys");
    EXPECT_EQ(f.lvwRegErrors.Cell(3, 2), L"K\\Txt2");
    EXPECT_EQ(f.lvwRegErrors.Cell(4, 0), L"VALUE VALUE");
    EXPECT_EQ(f.lvwRegErrors.Cell(4, 1), L"HKEY_CURRENT_USER");
    EXPECT_EQ(f.lvwRegErrors.Cell(4, 2), L"Software\\App\\");
    EXPECT_EQ(f.lvwRegErrors.Cell(4, 3), FromAnsi(Missing + "default.ocx"));
    EXPECT_EQ(f.RowRef(4).keyPath, "Software\\App");
    EXPECT_EQ(f.RowRef(4).valueName, "");
    EXPECT_EQ(f.lvwRegErrors.Cell(5, 0), L"VALUE NAME");
    EXPECT_EQ(f.RowRef(5).keyPath, "K");
    EXPECT_EQ(f.RowRef(5).valueName, Missing + "n.dll");
    EXPECT_EQ(f.RowRef(5).rootKey, cu);
    for (int i = 0; i < 6; ++i) EXPECT_FALSE(f.lvwRegErrors.Checked(i));
    EXPECT_EQ(f.Label1.Text(), Count(6));

    // An empty entry matches every report; a list reloaded from the file takes effect at once.
    frmIgnore::Get().lstIgnore.Add(L"");
    report("K\\Other", Missing + "other.exe");
    EXPECT_EQ(f.lvwRegErrors.Count(), 6);
    frmIgnore::Get().Unload();
    WriteIgnore("OTHER\r\n");
    report("K\\Other", Missing + "other.exe");
    EXPECT_EQ(f.lvwRegErrors.Count(), 6);
    EXPECT_TRUE(frmIgnore::Get().IsLoaded());
    report("K\\Third", Missing + "x.exe");
    EXPECT_EQ(f.lvwRegErrors.Count(), 7);
}

TEST_F(MainWindow, ListCommands) {
    frmMain& f = LoadMain();
    WriteIgnore("");
    for (int i = 0; i < 4; ++i)
        f.cReg_SearchFound("HKEY_CURRENT_USER", "K\\v" + std::to_string(i), Missing + "f.exe", 2, "v");
    ui::ListView& list = f.lvwRegErrors;
    auto checks = [&] {
        std::string s;
        for (int i = 0; i < list.Count(); ++i) s += list.Checked(i) ? '1' : '0';
        return s;
    };
    f.mnuCheckAll_Click();
    EXPECT_EQ(checks(), "1111");
    f.mnuUncheckAll_Click();
    EXPECT_EQ(checks(), "0000");
    f.lvwRegErrors_ItemClick(2);
    EXPECT_EQ(checks(), "0010");
    f.lvwRegErrors_ItemClick(2);
    EXPECT_EQ(checks(), "0000");
    f.lvwRegErrors_ColumnClick();
    EXPECT_EQ(checks(), "1111");

    // Real clicks: on a row's text the row toggles once; on its check box, once as well.
    f.mnuUncheckAll_Click();
    RECT label = {LVIR_LABEL, 0, 0, 0};
    SendMessageW(list.hwnd, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&label));
    RECT icon = {LVIR_ICON, 0, 0, 0};
    SendMessageW(list.hwnd, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&icon));
    auto click = [&](int x, int y) {
        LPARAM at = MAKELPARAM(x, y);
        PostMessageW(list.hwnd, WM_LBUTTONUP, 0, at);
        SendMessageW(list.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        DoEvents();
    };
    click(label.left + 10, (label.top + label.bottom) / 2);
    EXPECT_EQ(checks(), "0100");
    bool onBox = false;
    POINT box = {icon.left - 8, (icon.top + icon.bottom) / 2};
    ASSERT_EQ(list.HitTest(box, &onBox), 3);
    ASSERT_TRUE(onBox);
    click(box.x, box.y);
    EXPECT_EQ(checks(), "0101");

    // A column click on an empty list does nothing; the right button pops Repair up only when shown.
    list.Clear();
    f.lvwRegErrors_ColumnClick();
    EXPECT_EQ(list.Count(), 0);
    g_popupSeen = false;
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

    f.mnuExit_Click();
    EXPECT_EQ(g_endProgramCalls, 1);
}

TEST_F(MainWindow, ThrottlesTheCurrentKeyLabel) {
    frmMain& f = LoadMain();
    Sleep(150);
    f.cReg_SearchKeyChanged("HKEY_CURRENT_USER\\One");
    EXPECT_EQ(f.lblCurrentKey.Text(), L"HKEY_CURRENT_USER\\One");
    ShowWindow(f.hwnd(), SW_MINIMIZE);
    DoEvents();
    Sleep(150);
    f.cReg_SearchKeyChanged("HKEY_CURRENT_USER\\Two");
    EXPECT_EQ(f.lblCurrentKey.Text(), L"HKEY_CURRENT_USER\\One");
    ShowWindow(f.hwnd(), SW_RESTORE);
    DoEvents();
    Sleep(150);
    f.cReg_SearchKeyChanged("HKEY_CURRENT_USER\\Three");
    EXPECT_EQ(f.lblCurrentKey.Text(), L"HKEY_CURRENT_USER\\Three");
}

// A first-start scan (no filter), then one with the filter, then one that finds nothing.
TEST_F(MainWindow, ScansListMissingFilesAndKeepTheLabelsExact) {
    DeleteRegSetting("Halvren", "Settings", "Recommended", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    frmMain& f = LoadMain();
    std::vector<std::wstring> counts, status;
    Spy spy(f.Label1.hwnd, [&](UINT m, WPARAM, LPARAM l) {
        if (m == WM_SETTEXT) counts.push_back(reinterpret_cast<const wchar_t*>(l));
    });
    Spy spyStatus(f.lblStatus.hwnd, [&](UINT m, WPARAM, LPARAM l) {
        if (m == WM_SETTEXT) status.push_back(reinterpret_cast<const wchar_t*>(l));
    });
    f.cmdStartStop_Click();
    EXPECT_FALSE(f.Scanning());

    std::vector<Row> rows = SeededRows();
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Missing"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Text"));  // no filter on the first run
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Filter"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\"));
    EXPECT_TRUE(HasRow(rows, L"VALUE NAME", "A\\" + Missing + "named.dll"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\" + Missing + "named.dll"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "B\\Later"));
    EXPECT_EQ(rows.size(), 7u);
    for (const Row& r : rows) EXPECT_FALSE(r.checked);
    for (const Row& r : rows) {
        if (r.key == FromAnsi(std::string(Base) + "\\A\\Missing")) {
            EXPECT_EQ(r.data, FromAnsi(Missing + "gone.exe /s"));
        }
    }

    // A value name that holds "\\" still splits into its key and its own name for the fix.
    const std::wstring namedKey = FromAnsi(std::string(Base) + "\\A\\" + Missing + "named.dll");
    for (int i = 0; i < f.lvwRegErrors.Count(); ++i) {
        if (f.lvwRegErrors.Cell(i, 2) != namedKey) continue;
        EXPECT_EQ(f.RowRef(i).rootKey, "HKEY_CURRENT_USER");
        EXPECT_EQ(f.RowRef(i).keyPath, std::string(Base) + "\\A");
        EXPECT_EQ(f.RowRef(i).valueName, Missing + "named.dll");
    }

    int n = f.lvwRegErrors.Count();
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(205));
    EXPECT_EQ(f.lblStatus.Text(), LangText(208));
    EXPECT_EQ(f.Label1.Text(), LangText(209) + L" " + Count(n));
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(201));
    EXPECT_EQ(f.menu.Caption(frmMain::mnuStartStop), LangText(222));
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));
    EXPECT_EQ(GetMenuItemCount(GetMenu(f.hwnd())), 4);
    // During the scan the count lines rose with the rows and reached the final count.
    ASSERT_GE(counts.size(), 3u);
    EXPECT_EQ(counts.front(), LangText(204));
    EXPECT_EQ(counts[counts.size() - 2], Count(n));
    int last = 0;
    for (size_t i = 1; i + 1 < counts.size(); ++i) {
        int k = std::stoi(counts[i].substr(1));
        EXPECT_EQ(counts[i], Count(k));
        EXPECT_GT(k, last);
        last = k;
    }
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[status.size() - 2], LangText(211) + L"\r\n" + Count(n));
    // The columns fit their contents as a full autosize would.
    int widths[4];
    for (int c = 0; c < 4; ++c) widths[c] = f.lvwRegErrors.ColumnWidthPixels(c);
    AutoSizeColumns(f.lvwRegErrors);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(f.lvwRegErrors.ColumnWidthPixels(c), widths[c]) << "column " << c;

    // The next start filters: the text file is dropped, ".AX" stays.
    f.Unload();
    EXPECT_EQ(StoredRecommended(), "1");
    LoadMain();
    ASSERT_TRUE(f.bRecommended);
    f.mnuStartStop_Click();
    rows = SeededRows();
    EXPECT_FALSE(HasRow(rows, L"VALUE VALUE", "A\\Text"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Filter"));
    EXPECT_EQ(rows.size(), 6u);
    ASSERT_TRUE(f.menu.Visible(frmMain::mnuRepair));

    // An entry that occurs in every report's data: nothing listed, Repair hidden again.
    frmIgnore::Get().Unload();
    WriteIgnore("C:\\\r\n");
    f.cmdStartStop_Click();
    EXPECT_EQ(f.lvwRegErrors.Count(), 0);
    EXPECT_FALSE(f.menu.Visible(frmMain::mnuRepair));
    EXPECT_EQ(GetMenuItemCount(GetMenu(f.hwnd())), 3);
    EXPECT_EQ(f.Label1.Text(), LangText(209) + L" " + Count(0));
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(205));
}

TEST_F(MainWindow, StopAndCloseDuringAScan) {
    frmMain& f = LoadMain();
    const std::wstring firstKey = FromAnsi(std::string(Base) + "\\A\\");
    bool stopped = false;
    {
        // A Start click that arrives while the walk runs only stops it.
        Spy spy(f.lvwRegErrors.hwnd, [&](UINT m, WPARAM, LPARAM l) {
            if (!stopped && KeyCellText(m, l).compare(0, firstKey.size(), firstKey) == 0) {
                stopped = true;
                f.cmdStartStop_Click();
                EXPECT_TRUE(f.Scanning());
            }
        });
        f.cmdStartStop_Click();
    }
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(f.Scanning());
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(201));
    std::vector<Row> rows = SeededRows();
    // The stopped key's own values are all judged; nothing after it is walked.
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Missing"));
    EXPECT_TRUE(HasRow(rows, L"VALUE VALUE", "A\\Text"));
    EXPECT_FALSE(HasRow(rows, L"VALUE VALUE", "B\\Later"));
    EXPECT_TRUE(f.menu.Visible(frmMain::mnuRepair));

    // A click posted during the walk is handled inside a yield.
    bool posted = false;
    {
        Spy spy(f.lvwRegErrors.hwnd, [&](UINT m, WPARAM, LPARAM l) {
            if (!posted && KeyCellText(m, l).compare(0, firstKey.size(), firstKey) == 0) {
                posted = true;
                PostMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(f.cmdStartStop.hwnd), BN_CLICKED),
                             reinterpret_cast<LPARAM>(f.cmdStartStop.hwnd));
            }
        });
        f.cmdStartStop_Click();
    }
    ASSERT_TRUE(posted);
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(206));
    EXPECT_TRUE(HasRow(SeededRows(), L"VALUE VALUE", "A\\Missing"));

    // Closing the window inside a yield ends the program; the unwinding walk touches nothing freed.
    bool closed = false;
    {
        Spy spy(f.lvwRegErrors.hwnd, [&](UINT m, WPARAM, LPARAM l) {
            if (!closed && KeyCellText(m, l).compare(0, firstKey.size(), firstKey) == 0) {
                closed = true;
                PostMessageW(f.hwnd(), WM_CLOSE, 0, 0);
            }
        });
        f.cmdStartStop_Click();
    }
    ASSERT_TRUE(closed);
    EXPECT_EQ(g_endProgramCalls, 1);
    EXPECT_FALSE(f.IsLoaded());
    EXPECT_FALSE(f.Scanning());
    // The window loads afresh with a working engine.
    LoadMain();
    EXPECT_EQ(f.cmdStartStop.Text(), LangText(242));
    f.cReg_SearchFinished(7);  // a walk ended by an error
    EXPECT_EQ(f.lblCurrentKey.Text(), LangText(207) + L" = 7");
}

}  // namespace
