// The restore window over the real backup folder of the prefix: what it lists, the messages,
// the command lines it hands to the registry editor, and one real import by Wine's editor.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "core/modRegistry2.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";
const char Base[] = "Software\\HalvrenTest\\Restore";

std::string BackupFolder() { return DataFolder() + "\\RegBackups"; }

struct Start {
    std::string line;
    int show;
};
std::vector<Start> g_starts;

bool RecordStart(const std::string& line, int show, DWORD*) {
    g_starts.push_back({line, show});
    return true;
}

std::string CommandLineFor(const std::string& name) {
    return "regedit.exe /s \"" + GetLocalAppDataPath() + "\\Quorvane\\Halvren\\RegBackups\\" + name + "\"";
}

std::function<void(frmRestore&)> g_body;
DWORD g_opened = 0;

// Runs the test's steps inside the window's modal loop once the list is built, then closes it.
void CALLBACK Drive(HWND, UINT, UINT_PTR id, DWORD) {
    frmRestore& w = frmRestore::Get();
    bool built = w.IsLoaded() && w.lvwRegBackups.ColumnCount() == 3;
    if (!built && GetTickCount() - g_opened < 30000) return;
    KillTimer(nullptr, id);
    if (built && g_body) g_body(w);
    if (w.IsLoaded()) w.mnuClose_Click();
}

// Shows the window modally as the main window's Restore command does.
void OpenRestoreWindow(std::function<void(frmRestore&)> body) {
    g_body = std::move(body);
    g_opened = GetTickCount();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Drive);
    frmRestore::Get().ShowModal();
    KillTimer(nullptr, timer);
    g_body = nullptr;
}

std::wstring Header(ui::ListView& list, int column) {
    wchar_t buf[256] = L"";
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = buf;
    col.cchTextMax = 256;
    SendMessageW(list.hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    return buf;
}

void NoEnd() {}

class Restore : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(NoEnd);
        langFound_ = ReadRaw(HKEY_CURRENT_USER, SettingsKey, "curLang", langType_, lang_);
        SaveSetting("curLang", "English");
        ClearLanguageTable();
        LoadLanguage();
    }

    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (langFound_)
            SetBinary(HKEY_CURRENT_USER, SettingsKey, "curLang", lang_, langType_);
        else
            DeleteRegSetting("Halvren", "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    }

    void SetUp() override {
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        DeleteFileA(BackupFolder().c_str());
        RemoveFolderTree(BackupFolder());
        ASSERT_TRUE(CreateDirectoryA(BackupFolder().c_str(), nullptr));
        g_starts.clear();
        SetStartProgramHook(RecordStart);
    }

    void TearDown() override {
        SetStartProgramHook(nullptr);
        if (frmRestore::Get().IsLoaded()) frmRestore::Get().Unload();
        DeleteTree(HKEY_CURRENT_USER, Base);
    }

    void Put(const std::string& name) { ASSERT_TRUE(WriteFileBytes(BackupFolder() + "\\" + name, "REGEDIT4\r\n")); }

    static bool langFound_;
    static DWORD langType_;
    static std::string lang_;
};

bool Restore::langFound_ = false;
DWORD Restore::langType_ = 0;
std::string Restore::lang_;

}  // namespace

TEST_F(Restore, ListsEveryRegFileOfTheBackupFolderAndHandsTheCheckedOnesToTheEditor) {
    Put("Backup (16-07-2008 15;45;12).reg");
    Put("mine.reg");
    Put("backup (01-01-2009 10;00;00).reg");
    Put("Backup (16-07-2008 15;45;12) (2).reg");
    Put("notes.txt");
    ASSERT_TRUE(CreateDirectoryA((BackupFolder() + "\\folder.reg").c_str(), nullptr));

    MessageBoxCapture boxes;
    bool ran = false;
    OpenRestoreWindow([&](frmRestore& w) {
        ran = true;
        ui::ListView& list = w.lvwRegBackups;
        EXPECT_EQ(LangText(191), w.Caption());
        EXPECT_EQ(LangText(192), w.menu.Caption(frmRestore::mnuFile));
        EXPECT_EQ(LangText(191), w.menu.Caption(frmRestore::mnuRestore));
        EXPECT_EQ(LangText(193), w.menu.Caption(frmRestore::mnuClose));
        for (int c = 0; c < 3; ++c) EXPECT_EQ(LangText(194 + c), Header(list, c));

        // By name, letter case ignored; only files matching *.reg.
        ASSERT_EQ(4, list.Count());
        const char* names[] = {"backup (01-01-2009 10;00;00).reg", "Backup (16-07-2008 15;45;12) (2).reg",
                               "Backup (16-07-2008 15;45;12).reg", "mine.reg"};
        const wchar_t* dates[] = {L"01/01/2009 10:00:00", L"16/07/2008 15:45:12 (2)", L"16/07/2008 15:45:12", L"min"};
        const wchar_t* lengths[] = {L"32", L"36", L"32", L"8"};
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(LangText(197) + std::to_wstring(r + 1), list.Cell(r, 0));
            EXPECT_EQ(dates[r], list.Cell(r, 1));
            EXPECT_EQ(lengths[r], list.Cell(r, 2));
            EXPECT_EQ(names[r], w.Tag(r));
            EXPECT_FALSE(list.Checked(r));
        }

        // The list fills the client area; each column a third of the list's inside, so that
        // no horizontal scroll bar comes up.
        RECT client, lv, inside;
        GetClientRect(w.hwnd(), &client);
        GetWindowRect(list.hwnd, &lv);
        GetClientRect(list.hwnd, &inside);
        EXPECT_EQ(client.right, lv.right - lv.left);
        EXPECT_EQ(client.bottom, lv.bottom - lv.top);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(inside.right / 3, list.ColumnWidthPixels(c));
        EXPECT_FALSE(GetWindowLongW(list.hwnd, GWL_STYLE) & WS_HSCROLL);
        EXPECT_EQ(ui::TwipsToPixelsX(6675), client.right);

        // Centred on the screen by its client area's size.
        RECT win;
        GetWindowRect(w.hwnd(), &win);
        EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2 - client.right / 2, win.left, 2);
        EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2 - client.bottom / 2, win.top, 2);

        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(list.hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_STREQ(L"Calibri", lf.lfFaceName);
        EXPECT_EQ(238, lf.lfCharSet);

        // A click on a row toggles it.
        w.lvwRegBackups_ItemClick(1);
        EXPECT_TRUE(list.Checked(1));
        w.lvwRegBackups_ItemClick(1);
        EXPECT_FALSE(list.Checked(1));

        list.SetChecked(1, true);
        list.SetChecked(3, true);
        w.mnuRestore_Click();
        ASSERT_EQ(4u, boxes.boxes.size());
        EXPECT_EQ(L"Backup (16-07-2008 15;45;12) (2).reg", boxes.boxes[0].text);
        EXPECT_EQ(LangText(199), boxes.boxes[1].text);
        EXPECT_EQ(L"mine.reg", boxes.boxes[2].text);
        EXPECT_EQ(LangText(199), boxes.boxes[3].text);
        for (const auto& b : boxes.boxes) {
            EXPECT_EQ(static_cast<unsigned>(MB_OK), b.flags);
            EXPECT_EQ(AppTitleW, b.title);
        }
        ASSERT_EQ(2u, g_starts.size());
        EXPECT_EQ(CommandLineFor("Backup (16-07-2008 15;45;12) (2).reg"), g_starts[0].line);
        EXPECT_EQ(CommandLineFor("mine.reg"), g_starts[1].line);
        EXPECT_EQ(SW_SHOWMINIMIZED, g_starts[0].show);

        // The rows stay checked, and Restore hands the same files over again.
        EXPECT_TRUE(list.Checked(1));
        w.mnuRestore_Click();
        EXPECT_EQ(4u, g_starts.size());
        EXPECT_EQ(8u, boxes.boxes.size());

        // Resizing keeps the list filling the window and the column widths as they were.
        int width0 = list.ColumnWidthPixels(0);
        SetWindowPos(w.hwnd(), nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
        GetClientRect(w.hwnd(), &client);
        GetWindowRect(list.hwnd, &lv);
        EXPECT_EQ(client.right, lv.right - lv.left);
        EXPECT_EQ(client.bottom, lv.bottom - lv.top);
        EXPECT_EQ(width0, list.ColumnWidthPixels(0));
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(frmRestore::Get().IsLoaded());
}

TEST_F(Restore, RestoreWithNothingCheckedOnlyWarns) {
    Put("Backup (16-07-2008 15;45;12).reg");
    MessageBoxCapture boxes;
    OpenRestoreWindow([&](frmRestore& w) {
        ASSERT_EQ(1, w.lvwRegBackups.Count());
        w.mnuRestore_Click();
    });
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(LangText(200), boxes.boxes[0].text);
    EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].flags);
    EXPECT_TRUE(g_starts.empty());
}

TEST_F(Restore, AnEmptyOrMissingBackupFolderSaysSoAndCloses) {
    Put("notes.txt");
    {
        MessageBoxCapture boxes;
        OpenRestoreWindow(nullptr);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(LangText(198), boxes.boxes[0].text);
        EXPECT_EQ(static_cast<unsigned>(MB_OK), boxes.boxes[0].flags);
        EXPECT_FALSE(frmRestore::Get().IsLoaded());
    }
    // A missing folder is made (its parent exists), and the list is empty.
    RemoveFolderTree(BackupFolder());
    {
        MessageBoxCapture boxes;
        OpenRestoreWindow(nullptr);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(LangText(198), boxes.boxes[0].text);
        EXPECT_FALSE(frmRestore::Get().IsLoaded());
    }
    DWORD attributes = GetFileAttributesA(BackupFolder().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

// The whole round: a fix backs values up and deletes them, and the restore window hands the
// backup to the registry editor, which puts them back as they were.
TEST_F(Restore, TheRegistryEditorPutsTheValuesOfABackupBack) {
    const std::string gone = "C:\\halvren-test\\restore-gone\\";
    const std::string key = std::string(Base) + "\\K\xe9y";
    const std::string multi = gone + "m.exe" + std::string("\0two\0\0", 6);
    SetString(HKEY_CURRENT_USER, key, "Plain \"q\" \\", gone + "a.exe");
    SetBinary(HKEY_CURRENT_USER, key, "Multi", multi, REG_MULTI_SZ);
    SetString(HKEY_CURRENT_USER, key, "", gone + "line.exe\r\nnext");
    struct Value {
        std::string name;
        DWORD type;
        std::string bytes;
    };
    std::vector<Value> values = {{"Plain \"q\" \\", 0, ""}, {"Multi", 0, ""}, {"", 0, ""}};
    for (auto& v : values) ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, key, v.name, v.type, v.bytes));

    ASSERT_TRUE(frmMain::Get().Load());
    frmMain& f = frmMain::Get();
    f.bRecommended = false;
    f.lvwRegErrors.Clear();
    for (const auto& v : values) {
        f.cReg_SearchFound("HKEY_CURRENT_USER", key + "\\" + v.name, std::string(v.bytes.c_str()), 2, v.name);
        f.lvwRegErrors.SetChecked(f.lvwRegErrors.Count() - 1, true);
    }
    ASSERT_EQ(3, f.lvwRegErrors.Count());
    std::string backup;
    {
        MessageBoxCapture boxes;
        f.mnuFix_Click();
        ASSERT_EQ(2u, boxes.boxes.size());
        const std::wstring& text = boxes.boxes[0].text;
        size_t at = text.find(L"Backup (");
        ASSERT_NE(std::wstring::npos, at);
        backup = ToAnsi(text.substr(at, text.size() - at - 1));
    }
    for (const auto& v : values) ASSERT_FALSE(ValueExists(HKEY_CURRENT_USER, key, v.name));

    // Wine's editor reads "/s" glued to the quoted path as a file name and imports nothing.
    {
        std::string glued = "regedit.exe /s\"" + BackupFolder() + "\\" + backup + "\"";
        std::vector<char> buf(glued.begin(), glued.end());
        buf.push_back('\0');
        // Its complaint goes nowhere.
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
        WaitForSingleObject(pi.hProcess, 60000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        CloseHandle(nul);
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "Multi"));
    }

    SetStartProgramHook(nullptr);
    MessageBoxCapture boxes;
    OpenRestoreWindow([&](frmRestore& w) {
        for (int r = 0; r < w.lvwRegBackups.Count(); ++r)
            if (w.Tag(r) == backup) w.lvwRegBackups.SetChecked(r, true);
        w.mnuRestore_Click();
    });
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(FromAnsi(backup), boxes.boxes[0].text);
    EXPECT_EQ(LangText(199), boxes.boxes[1].text);

    // The editor runs on its own; wait for it to have written the last value.
    for (int i = 0; i < 600 && !ValueExists(HKEY_CURRENT_USER, key, ""); ++i) PumpFor(100);
    PumpFor(500);
    for (const auto& v : values) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, key, v.name, type, bytes)) << v.name;
        EXPECT_EQ(v.type, type) << v.name;
        EXPECT_EQ(v.bytes, bytes) << v.name;
    }
}
