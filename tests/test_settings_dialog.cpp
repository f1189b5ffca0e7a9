// The settings dialog against the real Ignore.txt of the prefix's data folder and the real
// settings store: reading and writing the list, the add rules, the language choice, and
// files that cannot be read or written.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/App.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";

std::vector<std::wstring> Items() {
    std::vector<std::wstring> items;
    ui::ListBox& list = frmIgnore::Get().lstIgnore;
    for (int i = 0; i < list.Count(); ++i) items.push_back(list.Item(i));
    return items;
}

// Temporary files the OK button may have left beside the list.
int StrayTempFiles() {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((DataFolder() + "\\ign*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

class SettingsDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        savedLangFound_ = ReadRaw(HKEY_CURRENT_USER, SettingsKey, "curLang", savedLangType_, savedLang_);
        SaveSetting("curLang", "English");
        ClearLanguageTable();
        LoadLanguage();
    }

    static void TearDownTestSuite() {
        if (savedLangFound_)
            SetBinary(HKEY_CURRENT_USER, SettingsKey, "curLang", savedLang_, savedLangType_);
        else
            DeleteRegSetting("Halvren", "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    }

    void SetUp() override {
        path_ = DataFolder() + "\\Ignore.txt";
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        hadFile_ = FileExists(path_);
        if (hadFile_) saved_ = ReadFileBytes(path_);
        SaveSetting("curLang", "English");
    }

    void TearDown() override {
        frmIgnore& dlg = frmIgnore::Get();
        if (dlg.IsLoaded()) dlg.Unload();
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (hadFile_)
            WriteFileBytes(path_, saved_);
        else
            DeleteFileA(path_.c_str());
    }

    // Puts `content` in Ignore.txt (or removes the file) and loads the dialog.
    frmIgnore& LoadWith(const char* content) {
        if (content)
            WriteFileBytes(path_, content);
        else
            DeleteFileA(path_.c_str());
        frmIgnore& dlg = frmIgnore::Get();
        EXPECT_TRUE(dlg.Load());
        return dlg;
    }

    std::string path_;
    bool hadFile_ = false;
    std::string saved_;
    static bool savedLangFound_;
    static DWORD savedLangType_;
    static std::string savedLang_;
};

bool SettingsDialog::savedLangFound_ = false;
DWORD SettingsDialog::savedLangType_ = REG_SZ;
std::string SettingsDialog::savedLang_;

TEST_F(SettingsDialog, LoadReadsTheIgnoreFile) {
    MessageBoxCapture capture;

    frmIgnore& dlg = LoadWith(nullptr);
    EXPECT_EQ(dlg.Caption(), LangText(181));
    EXPECT_EQ(dlg.cmdApply.Text(), L"&OK");
    EXPECT_EQ(dlg.optLang.Count(), 3);
    EXPECT_EQ(dlg.optLang.Text(), L"English");
    EXPECT_TRUE(Items().empty());
    EXPECT_TRUE(FileExists(path_));
    EXPECT_EQ(ReadFileBytes(path_), "");
    dlg.Unload();

    LoadWith("abc\r\nABC\r\nAbc\r\n");
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"ABC"}));
    dlg.Unload();

    // Empty lines anywhere go, a line of blanks stays; LF and CR alone end lines too, and
    // a last line without an end is read.
    LoadWith("\r\none\r\n\r\n  \r\nTwo\nthree\rfour\r\n\r\nlast");
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"ONE", L"  ", L"TWO", L"THREE", L"FOUR", L"LAST"}));
    dlg.Unload();

    EXPECT_TRUE(capture.boxes.empty());
}

TEST_F(SettingsDialog, AddRules) {
    MessageBoxCapture capture;
    frmIgnore& dlg = LoadWith("ABC\r\n");
    dlg.Show();
    auto lastBox = [&]() { return capture.boxes.empty() ? CapturedBox{} : capture.boxes.back(); };
    auto selection = [&]() {
        DWORD start = 0, end = 0;
        SendMessageW(dlg.txtString.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return std::make_pair(static_cast<int>(start), static_cast<int>(end));
    };

    dlg.lstIgnore.Focus();
    dlg.cmdAdd_Click();
    ASSERT_EQ(capture.boxes.size(), 1u);
    EXPECT_EQ(lastBox().text, LangText(178));
    EXPECT_EQ(lastBox().title, L"");
    EXPECT_EQ(lastBox().flags, static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(GetFocus(), dlg.txtString.hwnd);

    dlg.txtString.SetText(L"x");
    dlg.lstIgnore.Focus();
    dlg.cmdAdd_Click();
    ASSERT_EQ(capture.boxes.size(), 2u);
    EXPECT_EQ(lastBox().text, LangText(179));
    EXPECT_EQ(lastBox().flags, static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(GetFocus(), dlg.txtString.hwnd);
    EXPECT_EQ(selection(), std::make_pair(1, 1));

    dlg.txtString.SetText(L"abc");
    dlg.lstIgnore.Focus();
    dlg.cmdAdd_Click();
    ASSERT_EQ(capture.boxes.size(), 3u);
    EXPECT_EQ(lastBox().text, LangText(180));
    EXPECT_EQ(lastBox().title, L"");
    EXPECT_EQ(GetFocus(), dlg.txtString.hwnd);
    EXPECT_EQ(selection(), std::make_pair(0, 3));
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"ABC"}));

    dlg.txtString.SetText(L"def");
    dlg.cmdAdd_Click();
    dlg.txtString.SetText(L"  ");
    dlg.cmdAdd_Click();
    EXPECT_EQ(capture.boxes.size(), 3u);
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"ABC", L"DEF", L"  "}));
    EXPECT_EQ(dlg.txtString.Text(), L"  ");
    dlg.txtString.SetText(L"def");
    dlg.cmdAdd_Click();
    EXPECT_EQ(dlg.txtString.Text(), L"def");  // the entry box is never upper-cased
    EXPECT_EQ(capture.boxes.size(), 4u);
}

TEST_F(SettingsDialog, RemoveAndRowUnderPointer) {
    MessageBoxCapture capture;
    frmIgnore& dlg = LoadWith("AA\r\nBB\r\nCC\r\n");
    ui::ListBox& list = dlg.lstIgnore;

    dlg.lstIgnore_MouseDown(1, 0, 0, 100);
    EXPECT_EQ(list.ListIndex(), 0);
    list.SetListIndex(-1);
    dlg.lstIgnore_MouseDown(1, 0, 0, 80);
    EXPECT_EQ(list.ListIndex(), -1);
    dlg.lstIgnore_MouseDown(2, 0, 0, 270);  // 1.5 rows rounds to 2
    EXPECT_EQ(list.ListIndex(), 1);
    dlg.lstIgnore_MouseDown(2, 0, 0, 720);  // row 4 of 3
    EXPECT_EQ(list.ListIndex(), 1);

    // A right click on the list goes through the same rule.
    list.SetListIndex(-1);
    int y = ui::TwipsToPixelsY(540);
    SendMessageW(list.hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, y));
    SendMessageW(list.hwnd, WM_RBUTTONUP, 0, MAKELPARAM(5, y));
    EXPECT_EQ(list.ListIndex(), 2);

    list.SetListIndex(1);
    dlg.cmdRemove_Click();
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"AA", L"CC"}));
    list.SetListIndex(-1);
    dlg.cmdRemove_Click();
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"AA", L"CC"}));
    EXPECT_TRUE(capture.boxes.empty());
}

TEST_F(SettingsDialog, OkWritesTheListAndCancelDoesNot) {
    MessageBoxCapture capture;
    frmIgnore& dlg = LoadWith("bb\r\nAA");
    dlg.txtString.SetText(L"cc");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "BB\r\nAA\r\nCC\r\n");

    LoadWith("ONE\r\n");
    dlg.lstIgnore.SetListIndex(0);
    dlg.cmdRemove_Click();
    dlg.cmdApply_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_TRUE(FileExists(path_));
    EXPECT_EQ(ReadFileBytes(path_), "");

    LoadWith("one\r\n");
    dlg.txtString.SetText(L"two");
    dlg.cmdAdd_Click();
    dlg.lstIgnore.SetListIndex(0);
    dlg.cmdRemove_Click();
    dlg.Command1_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "one\r\n");

    // The close box, while the dialog is up modal.
    LoadWith("one\r\n");
    dlg.txtString.SetText(L"two");
    dlg.cmdAdd_Click();
    PostMessageW(dlg.hwnd(), WM_CLOSE, 0, 0);
    dlg.ShowModal();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "one\r\n");

    // The next load reads the file afresh.
    LoadWith("one\r\n");
    EXPECT_EQ(Items(), std::vector<std::wstring>({L"ONE"}));
    EXPECT_EQ(StrayTempFiles(), 0);
    EXPECT_TRUE(capture.boxes.empty());
}

TEST_F(SettingsDialog, LanguageIsSavedAtOnce) {
    MessageBoxCapture capture;
    SaveSetting("curLang", "Polish");
    frmIgnore& dlg = LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"Polish");
    dlg.optLang.SetText(L"Deutsch");
    dlg.Command2_Click();
    ASSERT_EQ(capture.boxes.size(), 1u);
    EXPECT_EQ(capture.boxes[0].text, LangText(243));
    EXPECT_EQ(capture.boxes[0].title, L"Halvren");
    EXPECT_EQ(capture.boxes[0].flags, static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(GetSetting("curLang").str(), "Deutsch");
    dlg.Command1_Click();
    EXPECT_EQ(GetSetting("curLang").str(), "Deutsch");

    // A name the box does not hold, or none, shows English.
    SaveSetting("curLang", "Klingon");
    LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"English");
    dlg.Unload();
    DeleteRegSetting("Halvren", "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"English");
}

TEST_F(SettingsDialog, FileFaultsLoseNothing) {
    frmIgnore& dlg = frmIgnore::Get();
    {
        // A read-only list loads; OK cannot replace it and keeps the dialog open.
        MessageBoxCapture capture;
        LoadWith("KEEP\r\n");
        ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
        dlg.txtString.SetText(L"new");
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        ASSERT_EQ(capture.boxes.size(), 1u);
        EXPECT_NE(capture.boxes[0].text.find(L"could not be saved"), std::wstring::npos);
        EXPECT_NE(capture.boxes[0].text.find(L"Ignore.txt"), std::wstring::npos);
        EXPECT_TRUE(dlg.IsLoaded());
        EXPECT_EQ(Items(), std::vector<std::wstring>({L"KEEP", L"NEW"}));
        EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\n");
        EXPECT_EQ(StrayTempFiles(), 0);
        // Once writable again, the same OK saves.
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        dlg.cmdApply_Click();
        EXPECT_FALSE(dlg.IsLoaded());
        EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\n");
    }
    {
        // A list held open by another program without sharing: the load says so and shows
        // nothing; OK fails the same way and leaves the file alone.
        MessageBoxCapture capture;
        WriteFileBytes(path_, "LOCKED\r\n");
        HANDLE lock = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(dlg.Load());
        ASSERT_EQ(capture.boxes.size(), 1u);
        EXPECT_NE(capture.boxes[0].text.find(L"could not be read"), std::wstring::npos);
        EXPECT_TRUE(Items().empty());
        dlg.txtString.SetText(L"other");
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        EXPECT_EQ(capture.boxes.size(), 2u);
        EXPECT_TRUE(dlg.IsLoaded());
        CloseHandle(lock);
        EXPECT_EQ(ReadFileBytes(path_), "LOCKED\r\n");
        dlg.Command1_Click();
        EXPECT_EQ(ReadFileBytes(path_), "LOCKED\r\n");
        EXPECT_EQ(StrayTempFiles(), 0);
    }
    {
        // The data folder's place taken by a file: nothing can be created or written.
        MessageBoxCapture capture;
        std::string folder = DataFolder(), aside = folder + ".test-aside";
        RemoveFolderTree(aside);
        ASSERT_TRUE(MoveFileA(folder.c_str(), aside.c_str()));
        ASSERT_TRUE(WriteFileBytes(folder, "not a folder"));
        ASSERT_TRUE(dlg.Load());
        ASSERT_EQ(capture.boxes.size(), 1u);
        EXPECT_NE(capture.boxes[0].text.find(L"could not be created"), std::wstring::npos);
        EXPECT_TRUE(Items().empty());
        dlg.txtString.SetText(L"abc");
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        EXPECT_EQ(capture.boxes.size(), 2u);
        EXPECT_NE(capture.boxes[1].text.find(L"could not be saved"), std::wstring::npos);
        EXPECT_TRUE(dlg.IsLoaded());
        EXPECT_EQ(Items(), std::vector<std::wstring>({L"ABC"}));
        dlg.Unload();
        EXPECT_EQ(ReadFileBytes(folder), "not a folder");
        DeleteFileA(folder.c_str());
        ASSERT_TRUE(MoveFileA(aside.c_str(), folder.c_str()));
    }
}

}  // namespace
