// The restore window over the real backup folder of the prefix: what it lists, the messages,
// the command lines it hands to the registry editor, and one real import by Wine's editor.
#include <gtest/gtest.h>
#include <memory>
#include <windows.h>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modPathUsers.h"
#include "core/modRegistry2.h"
#include "scan/frmRestore.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char Base[] = "Software\\HalvrenTest\\Restore";

std::vector<std::pair<std::wstring, int>> g_starts;  // command line, show state
bool RecordStart(const std::wstring& line, int show, DWORD*) {
    g_starts.push_back({line, show});
    return true;
}

void NoEnd() {}

class Restore : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(NoEnd);
        lang_ = std::make_unique<SettingGuard>("curLang");
        UseEnglish();
    }
    static void TearDownTestSuite() { lang_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        DeleteFileA(BackupFolder().c_str());
        RemoveFolderTree(BackupFolder());
        ASSERT_TRUE(CreateDirectoryA(BackupFolder().c_str(), nullptr));
        DeleteTree(HKEY_CURRENT_USER, Base);
        g_starts.clear();
        SetStartProgramHook(RecordStart);
    }
    void TearDown() override {
        SetStartProgramHook(nullptr);
        if (frmRestore::Get().IsLoaded()) frmRestore::Get().Unload();
        DeleteTree(HKEY_CURRENT_USER, Base);
    }
    void Put(const std::string& name,
             const std::string& bytes = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Restore]\r\n\"x\"=\"1\"\r\n") {
        ASSERT_TRUE(WriteFileBytes(BackupFolder() + "\\" + name, bytes));
    }

    static inline std::unique_ptr<SettingGuard> lang_;
};

}  // namespace

TEST_F(Restore, ListsEveryRegFileOfTheBackupFolderAndHandsTheCheckedOnesToTheEditor) {
    for (const char* name : {"Backup (16-07-2008 15;45;12).reg", "mine.reg", "backup (01-01-2009 10;00;00).reg",
                             "Backup (16-07-2008 15;45;12) (2).reg", "notes.txt"})
        Put(name);
    ASSERT_TRUE(CreateDirectoryA((BackupFolder() + "\\folder.reg").c_str(), nullptr));

    MessageBoxCapture boxes;
    bool ran = false;
    OpenRestoreWindow([&](frmRestore& w) {
        ran = true;
        ui::ListView& list = w.lvwRegBackups;
        // By name, letter case ignored; only files matching *.reg.
        struct Row { const wchar_t* name; const wchar_t* date; const wchar_t* length; };
        const std::vector<Row> rows = {{L"backup (01-01-2009 10;00;00).reg", L"01/01/2009 10:00:00", L"32"},
                                       {L"Backup (16-07-2008 15;45;12) (2).reg", L"16/07/2008 15:45:12 (2)", L"36"},
                                       {L"Backup (16-07-2008 15;45;12).reg", L"16/07/2008 15:45:12", L"32"},
                                       {L"mine.reg", L"min", L"8"}};
        ASSERT_EQ(4, list.Count());
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(LangText(197) + std::to_wstring(r + 1), list.Cell(r, 0));
            EXPECT_EQ(rows[r].date, list.Cell(r, 1));
            EXPECT_EQ(rows[r].length, list.Cell(r, 2));
            EXPECT_EQ(rows[r].name, w.Tag(r));
        }
        w.mnuRestore_Click();  // none checked
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(LangText(200), boxes.boxes[0].text);
        EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION), boxes.boxes[0].flags);
        EXPECT_TRUE(g_starts.empty());
        boxes.boxes.clear();

        w.lvwRegBackups_ItemClick(1);  // a click on a row checks it
        list.SetChecked(3, true);
        w.mnuRestore_Click();
        const std::vector<std::wstring> texts = {L"Backup (16-07-2008 15;45;12) (2).reg", LangText(199), L"mine.reg",
                                                 LangText(199)};
        ASSERT_EQ(texts.size(), boxes.boxes.size());
        for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], boxes.boxes[i].text);
        const std::wstring folder = FromAnsi(GetLocalAppDataPath() + "\\Quorvane\\Halvren\\RegBackups\\");
        ASSERT_EQ(2u, g_starts.size());
        EXPECT_EQ(L"regedit.exe /s \"" + folder + L"Backup (16-07-2008 15;45;12) (2).reg\"", g_starts[0].first);
        EXPECT_EQ(L"regedit.exe /s \"" + folder + L"mine.reg\"", g_starts[1].first);
        EXPECT_EQ(SW_SHOWMINIMIZED, g_starts[0].second);
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(frmRestore::Get().IsLoaded());

    // Esc closes the window with the keyboard on its list, as it closes every other window.
    bool closed = false;
    OpenRestoreWindow([&](frmRestore& w) {
        SetFocus(w.lvwRegBackups.hwnd);
        PostMessageW(w.lvwRegBackups.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
        closed = PumpUntil([&] { return !w.IsLoaded(); }, 1000);
    });
    EXPECT_TRUE(closed);
}

TEST_F(Restore, AnEmptyOrMissingBackupFolderSaysSoAndCloses) {
    Put("notes.txt");
    for (int missing = 0; missing < 2; ++missing) {
        if (missing) RemoveFolderTree(BackupFolder());
        MessageBoxCapture boxes;
        OpenRestoreWindow(nullptr);
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(LangText(198), boxes.boxes[0].text);
        EXPECT_FALSE(frmRestore::Get().IsLoaded());
    }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(BackupFolder().c_str()));  // made again
}

// A file with nothing to import after its header (what a cut-off write leaves) is not handed to
// the editor, which would import nothing while the window said it did: the window says so.
TEST_F(Restore, ABackupWithNoValueToImportSaysSo) {
    Put("Backup (01-01-2009 10;00;00).reg", "REGEDIT4\r\n");
    Put("Backup (02-01-2009 10;00;00).reg", "");
    Put("Backup (03-01-2009 10;00;00).reg", "REGEDIT4\r\n\r\n; a comment\r\n  \r\n");
    Put("mine.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Restore]\r\n");
    MessageBoxCapture boxes;
    OpenRestoreWindow([&](frmRestore& w) {
        for (int r = 0; r < w.lvwRegBackups.Count(); ++r) w.lvwRegBackups.SetChecked(r, true);
        w.mnuRestore_Click();
    });
    const std::vector<std::wstring> texts = {L"Backup (01-01-2009 10;00;00).reg", LangText(285),
                                             L"Backup (02-01-2009 10;00;00).reg", LangText(285),
                                             L"Backup (03-01-2009 10;00;00).reg", LangText(285),
                                             L"mine.reg",                         LangText(199)};
    ASSERT_EQ(texts.size(), boxes.boxes.size());
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], boxes.boxes[i].text);
    ASSERT_EQ(1u, g_starts.size());
    EXPECT_NE(std::wstring::npos, g_starts[0].first.find(L"mine.reg"));
}

// The command line the window hands over works with the real editor.
TEST_F(Restore, TheRegistryEditorPutsTheValuesOfABackupBack) {
    const std::string name = "Backup (16-07-2008 15;45;12).reg";
    Put(name, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Restore\\K\xe9y]\r\n"
              "\"Plain \\\"q\\\" \\\\\"=\"C:\\\\halvren-test\\\\restore-gone\\\\a.exe\"\r\n"
              "\"Multi\"=hex(7):43,3a,5c,6d,00,74,77,6f,00,00\r\n");
    SetStartProgramHook(nullptr);
    MessageBoxCapture boxes;
    OpenRestoreWindow([&](frmRestore& w) {
        w.lvwRegBackups.SetChecked(0, true);
        w.mnuRestore_Click();
    });
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(LangText(199), boxes.boxes[1].text);

    // The editor runs on its own; wait for it to have written the last value.
    const std::string key = std::string(Base) + "\\K\xe9y";
    for (int i = 0; i < 600 && !ValueExists(HKEY_CURRENT_USER, key, "Multi"); ++i) PumpFor(100);
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, key, "Plain \"q\" \\", type, bytes));
    EXPECT_EQ(std::string("C:\\halvren-test\\restore-gone\\a.exe") + '\0', bytes);
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, key, "Multi", type, bytes));
    EXPECT_EQ(REG_MULTI_SZ, static_cast<int>(type));
    EXPECT_EQ(std::string("C:\\m\0two\0\0", 10), bytes);
}

// A name the code page lacks characters for is listed and handed over as it is: the editor
// imports that file, not one whose name reads alike in the code page. An editor that cannot be
// started is named with the system's words.
TEST_F(Restore, ABackupIsListedAndImportedByItsOwnName) {
    const std::wstring omega = L"\u03A9mega.reg";
    const std::string key = std::string(Base) + "\\Named";
    const std::string head = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + key + "]\r\n";
    HANDLE f = CreateFileW((FromAnsi(BackupFolder()) + L"\\" + omega).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    const std::string own = head + "\"Own\"=\"1\"\r\n";
    DWORD written = 0;
    WriteFile(f, own.data(), static_cast<DWORD>(own.size()), &written, nullptr);
    CloseHandle(f);
    Put("Omega.reg", head + "\"Decoy\"=\"1\"\r\n");

    static DWORD refusal = ERROR_FILE_NOT_FOUND;
    MessageBoxCapture boxes;
    OpenRestoreWindow([&](frmRestore& w) {
        int row = -1;
        for (int r = 0; r < w.lvwRegBackups.Count(); ++r)
            if (w.Tag(r) == omega) row = r;
        ASSERT_LE(0, row);
        EXPECT_EQ(L"9", w.lvwRegBackups.Cell(row, 2));
        w.lvwRegBackups.SetChecked(row, true);

        SetStartProgramHook([](const std::wstring&, int, DWORD* error) { return *error = refusal, false; });
        w.mnuRestore_Click();
        const std::wstring line = L"regedit.exe /s \"" + FromAnsi(BackupFolder()) + L"\\" + omega + L"\"";
        ASSERT_EQ(2u, boxes.boxes.size());
        EXPECT_EQ(LangText(266) + L"\r\n" + line + L"\r\n" + SystemErrorText(refusal), boxes.boxes[1].text);
        EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONERROR), boxes.boxes[1].flags);

        SetStartProgramHook(nullptr);
        boxes.boxes.clear();
        w.mnuRestore_Click();
        ASSERT_EQ(2u, boxes.boxes.size());
        EXPECT_EQ(omega, boxes.boxes[0].text);
    });
    for (int i = 0; i < 600 && !ValueExists(HKEY_CURRENT_USER, key, "Own"); ++i) PumpFor(100);
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, key, "Own"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, key, "Decoy"));
}
