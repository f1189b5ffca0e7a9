// The settings dialog against the real Ignore.txt of the data folder and the real settings store.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/App.h"
#include "core/FileWrite.h"
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

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override { UseEnglish(); }
    void TearDown() override {
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
    }

    // Puts `content` in Ignore.txt (or removes the file) and loads the dialog.
    frmIgnore& LoadWith(const char* content) {
        if (content) return LoadWith(std::string(content));
        DeleteFileA(path_.c_str());
        EXPECT_TRUE(frmIgnore::Get().Load());
        return frmIgnore::Get();
    }
    frmIgnore& LoadWith(const std::string& bytes) {
        EXPECT_TRUE(WriteFileBytes(path_, bytes));
        EXPECT_TRUE(frmIgnore::Get().Load());
        return frmIgnore::Get();
    }

    SettingGuard lang_{"curLang"};
    const bool folder_ = CreateFolderTree(DataFolder());
    FileGuard file_{DataFolder() + "\\Ignore.txt"};
    const std::string& path_ = file_.path;
    MessageBoxCapture boxes_;
};

TEST_F(SettingsDialog, AddAndRemove) {
    frmIgnore& dlg = LoadWith("ABC\r\n");
    dlg.Show();
    // Empty, too short, already listed: a warning, and the entry box gets the focus back.
    const struct { const wchar_t* entry; int text; } refused[] = {{L"", 178}, {L"x", 179}, {L"abc", 180}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        dlg.txtString.SetText(r.entry);
        dlg.lstIgnore.Focus();
        boxes_.boxes.clear();
        dlg.cmdAdd_Click();
        ASSERT_EQ(boxes_.boxes.size(), 1u);
        EXPECT_EQ(boxes_.boxes[0].text, LangText(r.text));
        EXPECT_EQ(GetFocus(), dlg.txtString.hwnd);
    }
    for (const wchar_t* entry : {L"def", L"  "}) {
        dlg.txtString.SetText(entry);
        dlg.cmdAdd_Click();
    }
    dlg.lstIgnore.SetListIndex(1);
    dlg.cmdRemove_Click();
    dlg.lstIgnore.SetListIndex(-1);
    dlg.cmdRemove_Click();  // nothing selected: nothing removed
    EXPECT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(Items(), (Texts{L"ABC", L"  "}));

    // A press on the list selects the row drawn under it; below the last row, nothing.
    const int row = static_cast<int>(SendMessageW(dlg.lstIgnore.hwnd, LB_GETITEMHEIGHT, 0, 0));
    for (const auto& press : {std::make_pair(row * 3 / 2, 1), std::make_pair(row / 2, 0), std::make_pair(row * 5, 0)}) {
        SendMessageW(dlg.lstIgnore.hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, press.first));
        EXPECT_EQ(dlg.lstIgnore.ListIndex(), press.second) << press.first;
    }
}

TEST_F(SettingsDialog, OkWritesTheListCancelDoesNot) {
    // Read upper-cased, duplicates and empty lines dropped, a line of blanks kept; LF and CR alone
    // end lines too, and a last line without an end is read.
    frmIgnore& dlg = LoadWith("\r\none\r\nOne\r\n\r\n  \r\nTwo\nthree\rfour\r\n\r\nlast");
    EXPECT_EQ(Items(), (Texts{L"ONE", L"  ", L"TWO", L"THREE", L"FOUR", L"LAST"}));
    dlg.txtString.SetText(L"cc");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "ONE\r\n  \r\nTWO\r\nTHREE\r\nFOUR\r\nLAST\r\nCC\r\n");

    // Cancel writes nothing; a missing list is created empty all the same. The language, though,
    // is stored at once, with a word on the restart; a name the box lacks shows English.
    SaveSetting("curLang", "Klingon");
    LoadWith(nullptr);
    EXPECT_EQ(dlg.optLang.Text(), L"English");
    dlg.optLang.SetText(L"Deutsch");
    dlg.Command2_Click();
    dlg.txtString.SetText(L"two");
    dlg.cmdAdd_Click();
    dlg.Command1_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_TRUE(FileExists(path_));
    EXPECT_EQ(ReadFileBytes(path_), "");
    EXPECT_EQ(GetSetting("curLang").str(), "Deutsch");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, LangText(243));
}

// Ignore.txt saved as Unicode, as Notepad can: read in its own form, entries that the ANSI code
// page cannot hold kept and shown, and written back by OK in the same form.
std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}
std::string Utf8(const std::wstring& text) { return "\xEF\xBB\xBF" + ToAnsi(text, CP_UTF8); }

TEST_F(SettingsDialog, UnicodeFilesKeepTheirForm) {
    const std::wstring stored = L"probeA\r\nMRU\\\r\n\x65E5\x672C\r\n";
    const std::wstring saved = L"PROBEA\r\nMRU\\\r\n\x65E5\x672C\r\n\x0100X\r\n";
    const struct { const char* form; std::string before, after; } cases[] = {
        {"UTF-16LE", Utf16(stored, false), Utf16(saved, false)},
        {"UTF-16BE", Utf16(stored, true), Utf16(saved, true)},
        {"UTF-8", Utf8(stored), Utf8(saved)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        frmIgnore& dlg = LoadWith(c.before);
        EXPECT_EQ(Items(), (Texts{L"PROBEA", L"MRU\\", L"\x65E5\x672C"}));
        dlg.txtString.SetText(L"\x0101x");
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        EXPECT_FALSE(dlg.IsLoaded());
        EXPECT_EQ(ReadFileBytes(path_), c.after);
    }
}

// Whatever Ignore.txt holds, the list has no empty item and cuts no entry; OK without an edit
// leaves the file as it is, and OK after one keeps what it could not read as text (NULs, bytes no
// UTF-8, the odd last byte of UTF-16) and the file's form, with or without a byte-order mark.
TEST_F(SettingsDialog, OkKeepsWhatTheFileHolds) {
    using namespace std::string_literals;
    const std::wstring lead = L"\xFFFD\xFFFDLEAD", nul = L"TW\xFFFDO";
    const struct { const char* what; std::string before; Texts shown; std::string after; } cases[] = {
        {"NULs inside", "ONE\r\nTW\0O\r\nTHREE\r\n\0\0LEAD\r\n"s, {L"ONE", nul, L"THREE", lead},
         "ONE\r\nTW\0O\r\nTHREE\r\n\0\0LEAD\r\nA\xC4\r\n"s},
        {"zeros at the end", "one\r\ntwo"s + std::string(64, '\0'), {L"ONE", L"TWO"}, "ONE\r\nTWO\r\nA\xC4\r\n"},
        {"UTF-16 without a mark", Utf16(L"m\x00FCller\r\n\x65E5\x672C\r\n", false).substr(2) + "\0\0\0\0"s,
         {L"M\x00DCLLER", L"\x65E5\x672C"}, Utf16(L"M\x00DCLLER\r\n\x65E5\x672C\r\nA\x00C4\r\n", false).substr(2)},
        {"UTF-8 without a mark", "m\xC3\xBCller\r\n", {L"M\x00DCLLER"}, "M\xC3\x9CLLER\r\nA\xC3\x84\r\n"},
        {"UTF-8, a byte that is no text", "\xEF\xBB\xBF" "a\xFF" "b\r\n", {L"A\xFFFD" L"B"},
         "\xEF\xBB\xBF" "A\xFF" "B\r\nA\xC3\x84\r\n"},
        {"UTF-16, an odd last byte", Utf16(L"ab\r\n", true) + "x", {L"AB"}, Utf16(L"AB\r\nA\x00C4\r\n", true) + "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        frmIgnore& dlg = LoadWith(c.before);
        EXPECT_EQ(Items(), c.shown);
        dlg.cmdApply_Click();
        EXPECT_EQ(ReadFileBytes(path_), c.before);
        LoadWith(c.before);
        dlg.txtString.SetText(L"a\x00E4");
        dlg.cmdAdd_Click();
        dlg.cmdApply_Click();
        EXPECT_EQ(ReadFileBytes(path_), c.after);
    }
}

// An edit made to Ignore.txt outside, after a scan read it, shows when the dialog is shown, and
// OK keeps it; the dialog's own unsaved edits stay and win.
TEST_F(SettingsDialog, OutsideEditsShowWhenShown) {
    frmIgnore& dlg = LoadWith("ONE\r\n");
    ASSERT_TRUE(WriteFileBytes(path_, "TWO\r\n"));  // same size, perhaps the same time
    dlg.Show();
    EXPECT_EQ(Items(), (Texts{L"TWO"}));
    dlg.Hide();
    dlg.txtString.SetText(L"mine");
    dlg.cmdAdd_Click();
    ASSERT_TRUE(WriteFileBytes(path_, "THREE\r\n"));
    dlg.Show();
    EXPECT_EQ(Items(), (Texts{L"TWO", L"MINE"}));
    dlg.cmdApply_Click();
    EXPECT_EQ(ReadFileBytes(path_), "TWO\r\nMINE\r\n");
}

TEST_F(SettingsDialog, FileFaultsLoseNothing) {
    // A read-only list: OK says it could not be saved and keeps the dialog, whose next OK saves.
    frmIgnore& dlg = LoadWith("KEEP\r\n");
    ASSERT_TRUE(SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    dlg.txtString.SetText(L"new");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].text.find(L"could not be saved"), std::wstring::npos);
    EXPECT_TRUE(dlg.IsLoaded());
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    dlg.cmdApply_Click();
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\n");

    // A list held open without sharing: a message naming the file; OK saves nothing while the
    // file stays unreadable, then adds to what it holds.
    HANDLE lock = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(dlg.Load());
    dlg.Show();
    PumpFor(50);
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    EXPECT_NE(boxes_.boxes[1].text.find(L"could not be read"), std::wstring::npos);
    EXPECT_NE(boxes_.boxes[1].text.find(FromAnsi(path_)), std::wstring::npos);
    dlg.txtString.SetText(L"other");
    dlg.cmdAdd_Click();
    dlg.cmdApply_Click();
    EXPECT_EQ(boxes_.boxes.size(), 3u);
    CloseHandle(lock);
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\n");
    dlg.cmdApply_Click();
    EXPECT_FALSE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\nNEW\r\nOTHER\r\n");
    WIN32_FIND_DATAA fd;  // no temporary file left beside the list
    EXPECT_EQ(FindFirstFileA((DataFolder() + "\\ign*.tmp").c_str(), &fd), INVALID_HANDLE_VALUE);
}

BOOL WINAPI ShortWrite(HANDLE f, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
    BOOL ok = WriteFile(f, data, size / 2, written, o);
    SetLastError(ERROR_SUCCESS);  // as a full disk leaves it
    return ok;
}

// A save that stops short is a full disk, not "Success.", and the old list stays whole.
TEST_F(SettingsDialog, AShortWriteIsAFullDisk) {
    frmIgnore& dlg = LoadWith("KEEP\r\n");
    dlg.txtString.SetText(L"new");
    dlg.cmdAdd_Click();
    SetWriteFileHook(ShortWrite);
    dlg.cmdApply_Click();
    SetWriteFileHook(nullptr);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].text.find(SystemErrorText(ERROR_DISK_FULL)), std::wstring::npos) << boxes_.boxes[0].text;
    EXPECT_TRUE(dlg.IsLoaded());
    EXPECT_EQ(ReadFileBytes(path_), "KEEP\r\n");
}

}  // namespace

namespace {

// A click selects the row drawn under the pointer, by the list's own item height and scroll
// position; a click below the last row selects nothing. Enter on a focused button clicks it, and
// Enter in the entry box adds the entry. A long entry can be scrolled into sight.
TEST_F(SettingsDialog, RowUnderThePointerAndEnter) {
    std::string many;
    for (int i = 0; i < 30; ++i) many += "ENTRY" + std::to_string(i) + "\r\n";
    frmIgnore& dlg = LoadWith(many);
    dlg.Show();
    HWND list = dlg.lstIgnore.hwnd;
    const int row = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    auto click = [&](UINT down, int y) {
        SendMessageW(list, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(5, y));
        SendMessageW(list, down + 1, 0, MAKELPARAM(5, y));
    };
    click(WM_LBUTTONDOWN, row * 6 + row / 2);  // the 7th entry
    EXPECT_EQ(dlg.lstIgnore.ListIndex(), 6);
    SendMessageW(list, LB_SETTOPINDEX, 20, 0);
    const int top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    ASSERT_GT(top, 0);
    click(WM_RBUTTONDOWN, row + 1);
    EXPECT_EQ(dlg.lstIgnore.ListIndex(), top + 1);
    dlg.lstIgnore_MouseDown(2, 0, 0, ui::PixelsToTwipsY(row / 2));
    EXPECT_EQ(dlg.lstIgnore.ListIndex(), top);
    click(WM_LBUTTONDOWN, row * (30 - top) + 2);  // below the last row
    EXPECT_EQ(dlg.lstIgnore.ListIndex(), top);

    // Enter on the Add button, then in the entry box.
    dlg.txtString.SetText(L"jkl");
    dlg.cmdAdd.Focus();
    PostMessageW(dlg.cmdAdd.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(dlg.cmdAdd.hwnd, WM_KEYUP, VK_RETURN, 0);
    PumpFor(50);
    const std::wstring longEntry(300, L'W');
    dlg.txtString.SetText(longEntry);
    dlg.txtString.Focus();
    PostMessageW(dlg.txtString.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(dlg.txtString.hwnd, WM_KEYUP, VK_RETURN, 0);
    PumpFor(50);
    ASSERT_EQ(dlg.lstIgnore.Count(), 32);
    EXPECT_EQ(dlg.lstIgnore.Item(30), L"JKL");
    EXPECT_EQ(dlg.lstIgnore.Item(31), longEntry);
    EXPECT_TRUE(dlg.txtString.Text() == longEntry && GetFocus() == dlg.txtString.hwnd);

    // The list scrolls sideways to the end of the long entry, also when it was read from the file.
    for (bool fromFile : {false, true}) {
        if (fromFile) LoadWith("AB\r\n" + ToAnsi(longEntry) + "\r\n").Show();
        HDC dc = GetDC(dlg.lstIgnore.hwnd);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dlg.lstIgnore.hwnd, WM_GETFONT, 0, 0)));
        SIZE size = {};
        GetTextExtentPoint32W(dc, longEntry.c_str(), static_cast<int>(longEntry.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(dlg.lstIgnore.hwnd, dc);
        SCROLLINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.fMask = SIF_RANGE | SIF_PAGE;
        ASSERT_TRUE(GetScrollInfo(dlg.lstIgnore.hwnd, SB_HORZ, &bar)) << fromFile;
        EXPECT_GE(bar.nMax - bar.nMin + 1, size.cx) << fromFile;
        EXPECT_GT(bar.nMax - bar.nMin + 1, static_cast<int>(bar.nPage)) << fromFile;
    }
}

// The key the settings live in, made volatile for a while: no lasting key can be made below it,
// so every save of a setting fails. The values stored before come back when the guard goes.
class UnwritableSettings {
public:
    UnwritableSettings() {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &k) == ERROR_SUCCESS) {
            char name[256];
            BYTE data[4096];
            for (DWORD i = 0, n = sizeof name, size = sizeof data, type;
                 RegEnumValueA(k, i, name, &n, nullptr, &type, data, &size) == ERROR_SUCCESS;
                 ++i, n = sizeof name, size = sizeof data)
                values_.push_back({name, type, std::string(reinterpret_cast<char*>(data), size)});
            RegCloseKey(k);
        }
        DeleteTree(HKEY_CURRENT_USER, kApp);
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kApp, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr) == ERROR_SUCCESS)
            RegCloseKey(k);
    }
    ~UnwritableSettings() {
        DeleteTree(HKEY_CURRENT_USER, kApp);
        for (const Value& v : values_) SetBinary(HKEY_CURRENT_USER, SettingsKey, v.name, v.bytes, v.type);
    }

private:
    static constexpr char kApp[] = "SOFTWARE\\Quorvane\\Halvren";
    struct Value {
        std::string name;
        DWORD type;
        std::string bytes;
    };
    std::vector<Value> values_;
};

// The box shows the stored language; a save that fails says so, naming the setting and the
// system's error, and never claims the language changed.
TEST_F(SettingsDialog, LanguageShownAndAFailedSaveSaysSo) {
    SaveSetting("curLang", "Polish");
    frmIgnore& dlg = LoadWith("");
    EXPECT_EQ(dlg.optLang.Text(), L"Polish");
    dlg.optLang.SetText(L"Deutsch");
    {
        UnwritableSettings unwritable;
        dlg.Command2_Click();
    }
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    const std::wstring& text = boxes_.boxes[0].text;
    EXPECT_EQ(text.find(LangText(243)), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"curLang"), std::wstring::npos) << text;
    EXPECT_NE(text.find(SystemErrorText(ERROR_CHILD_MUST_BE_VOLATILE)), std::wstring::npos) << text;
    EXPECT_EQ(GetSetting("curLang").str(), "Polish");
}

}  // namespace
