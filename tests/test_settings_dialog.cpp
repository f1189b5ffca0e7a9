// The settings dialog against the real Ignore.txt of the data folder and the real settings store.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/App.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

using Texts = std::vector<std::wstring>;

Texts Items() {
    Texts items;
    for (int i = 0; i < frmIgnore::Get().lstIgnore.Count(); ++i) items.push_back(frmIgnore::Get().lstIgnore.Item(i));
    return items;
}

// Temporary files a save may have left beside the list.
bool StrayTempFiles() {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((DataFolder() + "\\ign*.tmp").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    return h != INVALID_HANDLE_VALUE;
}

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override { UseEnglish(); }
    void TearDown() override {
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
    }

    // Puts `content` in Ignore.txt (or removes the file) and loads the dialog.
    frmIgnore& LoadWith(const char* content) {
        content ? (void)WriteFileBytes(path_, content) : (void)DeleteFileA(path_.c_str());
        EXPECT_TRUE(frmIgnore::Get().Load());
        return frmIgnore::Get();
    }

    SettingGuard lang_{"curLang"};
    const bool folder_ = CreateFolderTree(DataFolder());
    FileGuard file_{DataFolder() + "\\Ignore.txt"};
    const std::string& path_ = file_.path;
    MessageBoxCapture boxes_;
};

TEST_F(SettingsDialog, LoadReadsTheIgnoreFile) {
    // Upper-cased, duplicates and empty lines dropped, a line of blanks kept; LF and CR alone end
    // lines too, and a last line without an end is read.
    const struct { const char* file; Texts items; } cases[] = {
        {nullptr, {}},
        {"abc\r\nABC\r\nAbc\r\n", {L"ABC"}},
        {"\r\none\r\n\r\n  \r\nTwo\nthree\rfour\r\n\r\nlast", {L"ONE", L"  ", L"TWO", L"THREE", L"FOUR", L"LAST"}}};
    for (const auto& c : cases) {
        LoadWith(c.file);
        EXPECT_EQ(Items(), c.items) << (c.file ? c.file : "<no file>");
        EXPECT_TRUE(FileExists(path_));  // a missing list is created empty
        frmIgnore::Get().Unload();
    }
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SettingsDialog, AddAndRemove) {
    frmIgnore& dlg = LoadWith("ABC\r\n");
    dlg.Show();
    // Empty, too short, already listed: a warning, and the entry box gets the focus back.
    const struct { const wchar_t* entry; int text; DWORD selStart, selEnd; } refused[] = {
        {L"", 178, 0, 0}, {L"x", 179, 1, 1}, {L"abc", 180, 0, 3}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        dlg.txtString.SetText(r.entry);
        dlg.lstIgnore.Focus();
        size_t before = boxes_.boxes.size();
        dlg.cmdAdd_Click();
        ASSERT_EQ(boxes_.boxes.size(), before + 1);
        EXPECT_EQ(boxes_.boxes.back().text, LangText(r.text));
        EXPECT_EQ(GetFocus(), dlg.txtString.hwnd);
        EXPECT_EQ(dlg.txtString.Text(), r.entry);  // kept as typed, never upper-cased
        DWORD start = 9, end = 9;
        SendMessageW(dlg.txtString.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(r.selStart, r.selEnd));
    }
    for (const wchar_t* entry : {L"def", L"  "}) {
        dlg.txtString.SetText(entry);
        dlg.cmdAdd_Click();
    }
    EXPECT_EQ(boxes_.boxes.size(), 3u);
    EXPECT_EQ(Items(), (Texts{L"ABC", L"DEF", L"  "}));

    // A click selects the row under the pointer by the twips rule; rows past the end select nothing.
    ui::ListBox& list = dlg.lstIgnore;
    const struct { int y, before, after; } clicks[] = {{100, -1, 0}, {80, -1, -1}, {270, -1, 1}, {720, 1, 1}};
    for (const auto& c : clicks) {
        list.SetListIndex(c.before);
        dlg.lstIgnore_MouseDown(2, 0, 0, c.y);
        EXPECT_EQ(list.ListIndex(), c.after) << c.y;
    }
    dlg.cmdRemove_Click();
    list.SetListIndex(-1);
    dlg.cmdRemove_Click();  // nothing selected: nothing removed
    EXPECT_EQ(Items(), (Texts{L"ABC", L"  "}));
}

TEST_F(SettingsDialog, OkWritesTheListCancelAndCloseDoNot) {
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
    EXPECT_EQ(ReadFileBytes(path_), "");

    for (bool closeBox : {false, true}) {
        LoadWith("one\r\n");
        dlg.txtString.SetText(L"two");
        dlg.cmdAdd_Click();
        if (closeBox) {
            PostMessageW(dlg.hwnd(), WM_CLOSE, 0, 0);
            dlg.ShowModal();
        } else {
            dlg.Command1_Click();
        }
        EXPECT_FALSE(dlg.IsLoaded());
        EXPECT_EQ(ReadFileBytes(path_), "one\r\n");
    }
    EXPECT_FALSE(StrayTempFiles());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SettingsDialog, LanguageIsSavedAtOnce) {
    SaveSetting("curLang", "Polish");
    frmIgnore& dlg = LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"Polish");
    dlg.optLang.SetText(L"Deutsch");
    dlg.Command2_Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, LangText(243));
    dlg.Command1_Click();
    EXPECT_EQ(GetSetting("curLang").str(), "Deutsch");

    // A name the box does not hold shows English.
    SaveSetting("curLang", "Klingon");
    LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"English");
}

TEST_F(SettingsDialog, FileFaultsLoseNothing) {
    // A read-only list: OK says it could not be saved and keeps the dialog and its entries.
    frmIgnore& dlg = LoadWith("KEEP\r\n");
    ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    dlg.txtString.SetText(L"new");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].text.find(L"could not be saved"), std::wstring::npos);
    EXPECT_NE(boxes_.boxes[0].text.find(L"Ignore.txt"), std::wstring::npos);
    EXPECT_TRUE(dlg.IsLoaded());
    EXPECT_EQ(Items(), (Texts{L"KEEP", L"NEW"}));
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\n");
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    dlg.cmdApply_Click();  // once writable, the same OK saves
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\n");

    // A list held open without sharing: shown empty with a message naming the file and the
    // error; OK saves nothing while the file stays unreadable, then adds to what it holds.
    HANDLE lock = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(dlg.Load());
    EXPECT_NE(dlg.ListError(), 0u);
    EXPECT_TRUE(Items().empty());
    dlg.Show();
    PumpFor(50);
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    EXPECT_NE(boxes_.boxes[1].text.find(L"could not be read"), std::wstring::npos);
    EXPECT_NE(boxes_.boxes[1].text.find(FromAnsi(path_)), std::wstring::npos);
    dlg.txtString.SetText(L"other");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    EXPECT_EQ(boxes_.boxes.size(), 3u);
    EXPECT_TRUE(dlg.IsLoaded());
    CloseHandle(lock);
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\n");
    dlg.cmdApply_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\nOTHER\r\n");
    EXPECT_FALSE(StrayTempFiles());
}

}  // namespace
