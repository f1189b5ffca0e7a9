// The Fix command against the real registry of the prefix: the REGEDIT4 backup it writes, the
// values it deletes, what the list and the messages show, and Wine's own registry editor
// putting every deleted value back from the backup.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/mdlMain.h"
#include "core/Text.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmMain.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char Base[] = "Software\\HalvrenTest\\Fix";
const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";
// Never created, so every path below it is missing.
const std::string Gone = "C:\\halvren-test\\fix-gone\\";
const COLORREF Red = 0x0000FF, Blue = 0xFF0000;

std::string Key(const std::string& sub) { return std::string(Base) + "\\" + sub; }

// Every value below a key: "key|name" -> type and bytes.
using Snapshot = std::map<std::string, std::pair<DWORD, std::string>>;

void TakeSnapshot(HKEY root, const std::string& key, Snapshot& out) {
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
    std::vector<char> name(32768);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nl = static_cast<DWORD>(name.size()), dl = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(h, i, name.data(), &nl, nullptr, &type, data.data(), &dl) != ERROR_SUCCESS) break;
        out[key + "|" + std::string(name.data(), nl)] = {type, std::string(reinterpret_cast<char*>(data.data()), dl)};
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char sub[512];
        DWORD n = sizeof sub;
        if (RegEnumKeyExA(h, i, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(sub);
    }
    RegCloseKey(h);
    for (const auto& s : subkeys) TakeSnapshot(root, key + "\\" + s, out);
}

Snapshot TakeSnapshot() {
    Snapshot s;
    TakeSnapshot(HKEY_CURRENT_USER, Base, s);
    return s;
}

// The registry editor of the platform, run to its end on a file.
bool ImportWithRegedit(const std::string& file) {
    std::string line = "regedit.exe /s \"" + file + "\"";
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    bool done = WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return done;
}

// The data text the scan engine reports for a string value: its first string.
std::string DataText(const std::string& key, const std::string& name) {
    DWORD type;
    std::string bytes;
    if (!ReadRaw(HKEY_CURRENT_USER, key, name, type, bytes)) return "";
    return std::string(bytes.c_str());
}

// The report of one value as the engine raises it, judged by the main window.
void Report(const std::string& key, const std::string& name, int lFound = 2) {
    frmMain::Get().cReg_SearchFound("HKEY_CURRENT_USER", key + "\\" + name, DataText(key, name), lFound, name);
}

int FindRow(const std::string& key, const std::string& name) {
    frmMain& f = frmMain::Get();
    for (int r = 0; r < f.lvwRegErrors.Count(); ++r) {
        const RegErrorItemRef& ref = f.RowRef(r);
        if (ref.rootKey == "HKEY_CURRENT_USER" && ref.keyPath == key && ref.valueName == name) return r;
    }
    return -1;
}

// The backup path named by the first message of a fix.
std::string BackupPathFrom(const CapturedBox& box) {
    std::wstring head = LangText(217) + L" ";
    if (box.text.compare(0, head.size(), head) != 0 || box.text.empty() || box.text.back() != L'.') return "";
    return ToAnsi(box.text.substr(head.size(), box.text.size() - head.size() - 1));
}

std::string BackupFolder() { return DataFolder() + "\\RegBackups"; }

void NoEnd() {}

class Fix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(NoEnd);
        langFound_ = ReadRaw(HKEY_CURRENT_USER, SettingsKey, "curLang", langType_, lang_);
        SaveSetting("curLang", "English");
        ClearLanguageTable();
        LoadLanguage();
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        ASSERT_TRUE(frmMain::Get().Load());
    }

    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (langFound_)
            SetBinary(HKEY_CURRENT_USER, SettingsKey, "curLang", lang_, langType_);
        else
            DeleteRegSetting("Halvren", "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    }

    void SetUp() override {
        DeleteTree(HKEY_CURRENT_USER, Base);
        RemoveFolderTree("C:\\halvren-test\\fix-gone");
        SetFileAttributesA(BackupFolder().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(BackupFolder().c_str());  // a test may leave a file in the folder's place
        RemoveFolderTree(BackupFolder());
        frmMain& f = frmMain::Get();
        f.bRecommended = false;
        f.lvwRegErrors.Clear();
    }

    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, Base);
        DeleteFileA(BackupFolder().c_str());
    }

    // Runs the Fix command; returns the backup's path (empty when none was named).
    std::string RunFix(MessageBoxCapture& boxes) {
        frmMain::Get().mnuFix_Click();
        return boxes.boxes.empty() ? "" : BackupPathFrom(boxes.boxes[0]);
    }

    static bool langFound_;
    static DWORD langType_;
    static std::string lang_;
};

bool Fix::langFound_ = false;
DWORD Fix::langType_ = 0;
std::string Fix::lang_;

}  // namespace

TEST_F(Fix, WritesTheCheckedRowsAsRegedit4ThenDeletesExactlyThoseValues) {
    SetString(HKEY_CURRENT_USER, Key("A"), "Plain", Gone + "plain.exe");
    SetString(HKEY_CURRENT_USER, Key("A"), "", "\"" + Gone + "def.exe\" /run");
    SetString(HKEY_CURRENT_USER, Key("B"), "Quote\"d\\name", Gone + "b.dll");
    SetString(HKEY_CURRENT_USER, Key("A"), "Keep", Gone + "keep.exe");
    SetString(HKEY_CURRENT_USER, Key("A"), "Late", Gone + "late.exe");
    SetString(HKEY_CURRENT_USER, Key("C"), "caf\xe9", Gone + "\xfc" "ber.exe");
    const Snapshot before = TakeSnapshot();

    Report(Key("A"), "Plain");
    Report(Key("A"), "");
    Report(Key("B"), "Quote\"d\\name");
    Report(Key("A"), "Keep");
    Report(Key("A"), "Late");
    Report(Key("C"), "caf\xe9");
    frmMain& f = frmMain::Get();
    ASSERT_EQ(6, f.lvwRegErrors.Count());
    for (int r : {0, 1, 2, 4, 5}) f.lvwRegErrors.SetChecked(r, true);

    MessageBoxCapture boxes;
    std::string path = RunFix(boxes);

    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONINFORMATION), boxes.boxes[0].flags);
    EXPECT_EQ(AppTitleW, boxes.boxes[0].title);
    EXPECT_EQ(LangText(219) + L" 1 " + LangText(220), boxes.boxes[1].text);
    EXPECT_EQ(static_cast<unsigned>(MB_OK), boxes.boxes[1].flags);

    // The name from the system's short date and long time, "/" and ":" replaced.
    ASSERT_EQ(0u, path.find(BackupFolder() + "\\Backup ("));
    EXPECT_EQ(").reg", path.substr(path.size() - 5));
    EXPECT_EQ(std::string::npos, path.find_first_of("/:", 2));

    const std::string H = "[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Fix\\";
    const std::string G = "C:\\\\halvren-test\\\\fix-gone\\\\";
    EXPECT_EQ("REGEDIT4\r\n"
              "\r\n" + H + "A]\r\n"
              "\"Plain\"=\"" + G + "plain.exe\"\r\n"
              "@=\"\\\"" + G + "def.exe\\\" /run\"\r\n"
              "\r\n" + H + "B]\r\n"
              "\"Quote\\\"d\\\\name\"=\"" + G + "b.dll\"\r\n"
              "\r\n" + H + "A]\r\n"
              "\"Late\"=\"" + G + "late.exe\"\r\n"
              "\r\n" + H + "C]\r\n"
              "\"caf\xe9\"=\"" + G + "\xfc" "ber.exe\"\r\n",
              ReadFileBytes(path));

    Snapshot after = TakeSnapshot();
    EXPECT_EQ(1u, after.size());
    EXPECT_EQ(1u, after.count(Key("A") + "|Keep"));

    for (int r : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(LangText(218), f.lvwRegErrors.Cell(r, 0)) << r;
        EXPECT_EQ(Red, f.lvwRegErrors.RowColor(r)) << r;
        EXPECT_TRUE(f.lvwRegErrors.Checked(r)) << r;
    }
    EXPECT_EQ(L"VALUE VALUE", f.lvwRegErrors.Cell(3, 0));
    EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(3));

    // The working notice is gone again: empty, 8 points, not bold.
    EXPECT_EQ(L"", f.lblCurrentKey.Text());
    LOGFONTW lf = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(f.lblCurrentKey.hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(FW_NORMAL, lf.lfWeight);
    HDC dc = GetDC(nullptr);
    EXPECT_EQ(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), lf.lfHeight);
    ReleaseDC(nullptr, dc);

    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(before, TakeSnapshot());
}

// Multi-strings, long data, line breaks, embedded NULs, names holding "\" and "C:\": the
// backup holds each value's own type and bytes, so the registry editor gives them back.
TEST_F(Fix, ScanCheckFixAndRegeditRestoreEveryValueExactly) {
    const std::string multi = Gone + "m.exe" + std::string("\0second\0third\0\0", 15);
    SetBinary(HKEY_CURRENT_USER, Key("Odd"), "Multi", multi, REG_MULTI_SZ);
    SetString(HKEY_CURRENT_USER, Key("Odd"), "Long", Gone + "long.exe " + std::string(6000, 'x'));
    SetString(HKEY_CURRENT_USER, Key("Odd"), "Break", Gone + "br.exe\r\nsecond line \"q\" \\ end");
    SetBinary(HKEY_CURRENT_USER, Key("Odd"), "Nul", Gone + "nul.exe" + std::string("\0tail\0", 6), REG_SZ);
    SetString(HKEY_CURRENT_USER, Key("Odd"), "", Gone + "\xe9t\xe9.exe");
    SetString(HKEY_CURRENT_USER, Key("Names"), Gone + "named.dll", Gone + "named.dll");
    SetString(HKEY_CURRENT_USER, Key("Names"), "back\\slash", Gone + "bs.exe");
    SetString(HKEY_CURRENT_USER, Key("Names\\Deeper"), "Plain", Gone + "deep.exe");
    SetString(HKEY_CURRENT_USER, Key("Names\\Deeper"), "Unchecked", Gone + "left.exe");
    SetDword(HKEY_CURRENT_USER, Key("Names"), "Number", 26);
    const Snapshot before = TakeSnapshot();

    frmMain& f = frmMain::Get();
    f.cmdStartStop_Click();
    ASSERT_FALSE(f.Scanning());

    // Check every row of the test key but one.
    const std::string prefix = Key("");
    std::vector<int> ours;
    for (int r = 0; r < f.lvwRegErrors.Count(); ++r) {
        const RegErrorItemRef& ref = f.RowRef(r);
        if (ref.rootKey != "HKEY_CURRENT_USER" || ref.keyPath.compare(0, prefix.size(), prefix) != 0) continue;
        ours.push_back(r);
        if (ref.valueName != "Unchecked") f.lvwRegErrors.SetChecked(r, true);
    }
    // The value named after a missing file is reported twice: by its name and by its data.
    EXPECT_EQ(10u, ours.size());
    EXPECT_GE(FindRow(Key("Names"), Gone + "named.dll"), 0);
    EXPECT_GE(FindRow(Key("Names"), "back\\slash"), 0);
    EXPECT_GE(FindRow(Key("Odd"), "Multi"), 0);

    // What else the scan found in the prefix must survive the fix. HKEY_USERS shows the test
    // key a second time, below the user's SID: those rows name the same values.
    std::vector<std::pair<int, RegErrorItemRef>> others;
    int unchecked = 0;
    for (int r = 0; r < f.lvwRegErrors.Count(); ++r) {
        if (f.lvwRegErrors.Checked(r)) continue;
        ++unchecked;
        if (f.RowRef(r).keyPath.find(Base) == std::string::npos) others.push_back({r, f.RowRef(r)});
    }

    MessageBoxCapture boxes;
    std::string path = RunFix(boxes);
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(LangText(219) + L" " + std::to_wstring(unchecked) + L" " + LangText(220), boxes.boxes[1].text);

    Snapshot after = TakeSnapshot();
    ASSERT_EQ(2u, after.size());
    EXPECT_EQ(1u, after.count(Key("Names\\Deeper") + "|Unchecked"));
    EXPECT_EQ(1u, after.count(Key("Names") + "|Number"));
    for (const auto& o : others) {
        const RegErrorItemRef& ref = o.second;
        HKEY h;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(GetRootKeyHandle(ref.rootKey), ref.keyPath.c_str(), 0, KEY_READ, &h))
            << ref.keyPath;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, ref.valueName.c_str(), nullptr, nullptr, nullptr, nullptr))
            << ref.keyPath << "\\" << ref.valueName;
        RegCloseKey(h);
        EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(o.first));
    }

    // Plain strings keep the quoted form; the others go as hex of their own type.
    std::string text = ReadFileBytes(path);
    EXPECT_NE(std::string::npos, text.find("\"back\\\\slash\"=\"C:\\\\halvren-test\\\\fix-gone\\\\bs.exe\"\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"Multi\"=hex(7):43,3a,5c,"));
    EXPECT_NE(std::string::npos, text.find("\"Break\"=hex(1):"));
    EXPECT_NE(std::string::npos, text.find(",\\\r\n  "));
    EXPECT_NE(std::string::npos, text.find("@=\"C:\\\\halvren-test\\\\fix-gone\\\\\xe9t\xe9.exe\"\r\n"));

    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(before, TakeSnapshot());
}

TEST_F(Fix, WithNothingCheckedTheBackupIsEmptyAndEveryRowTurnsBlue) {
    SetString(HKEY_CURRENT_USER, Key("A"), "One", Gone + "one.exe");
    SetString(HKEY_CURRENT_USER, Key("A"), "Two", Gone + "two.exe");
    Report(Key("A"), "One");
    Report(Key("A"), "Two");
    const Snapshot before = TakeSnapshot();

    MessageBoxCapture boxes;
    std::string path = RunFix(boxes);
    EXPECT_EQ("REGEDIT4\r\n", ReadFileBytes(path));
    EXPECT_EQ(before, TakeSnapshot());
    frmMain& f = frmMain::Get();
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(r));
        EXPECT_EQ(L"VALUE VALUE", f.lvwRegErrors.Cell(r, 0));
    }
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(LangText(219) + L" 2 " + LangText(220), boxes.boxes[1].text);
}

// A second fix backs the same rows up again, from what the rows show, into a file of its own.
TEST_F(Fix, ASecondFixWritesANewBackupOfTheSameRows) {
    SetString(HKEY_CURRENT_USER, Key("A"), "One", Gone + "one.exe \"x\"");
    SetString(HKEY_CURRENT_USER, Key("A"), "Two", Gone + "two.exe");
    SetBinary(HKEY_CURRENT_USER, Key("A"), "Multi", Gone + "m.exe" + std::string("\0b\0\0", 4), REG_MULTI_SZ);
    Report(Key("A"), "One");
    Report(Key("A"), "Two");
    Report(Key("A"), "Multi");
    frmMain& f = frmMain::Get();
    f.lvwRegErrors.SetChecked(0, true);
    f.lvwRegErrors.SetChecked(2, true);

    MessageBoxCapture first;
    std::string path1 = RunFix(first);
    const std::string content1 = ReadFileBytes(path1);
    MessageBoxCapture second;
    std::string path2 = RunFix(second);

    ASSERT_FALSE(path2.empty());
    EXPECT_NE(path1, path2);
    EXPECT_EQ(content1, ReadFileBytes(path1));
    EXPECT_EQ("REGEDIT4\r\n"
              "\r\n[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Fix\\A]\r\n"
              "\"One\"=\"C:\\\\halvren-test\\\\fix-gone\\\\one.exe \\\"x\\\"\"\r\n"
              "\"Multi\"=\"C:\\\\halvren-test\\\\fix-gone\\\\m.exe\"\r\n",
              ReadFileBytes(path2));
    EXPECT_EQ(Red, f.lvwRegErrors.RowColor(0));
    EXPECT_EQ(Red, f.lvwRegErrors.RowColor(2));
    EXPECT_EQ(LangText(218), f.lvwRegErrors.Cell(2, 0));
    ASSERT_EQ(2u, second.boxes.size());
    EXPECT_EQ(LangText(219) + L" 1 " + LangText(220), second.boxes[1].text);

    // Within one second the names differ by a " (2)" behind the date.
    std::string name1 = path1.substr(path1.rfind('\\') + 1), name2 = path2.substr(path2.rfind('\\') + 1);
    if (name2.size() > name1.size()) {
        EXPECT_EQ(name1.substr(0, name1.size() - 4) + " (2).reg", name2);
    }
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "Two"));
}

TEST_F(Fix, ABackupThatCannotBeWrittenDeletesNothing) {
    SetString(HKEY_CURRENT_USER, Key("A"), "One", Gone + "one.exe");
    Report(Key("A"), "One");
    frmMain& f = frmMain::Get();
    f.lvwRegErrors.SetChecked(0, true);
    // A file where the backup folder belongs: neither the folder nor the backup can be made.
    ASSERT_TRUE(WriteFileBytes(BackupFolder(), "not a folder"));

    MessageBoxCapture boxes;
    f.mnuFix_Click();

    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONERROR), boxes.boxes[0].flags);
    EXPECT_NE(std::wstring::npos, boxes.boxes[0].text.find(L"Nothing was deleted"));
    EXPECT_NE(std::wstring::npos, boxes.boxes[0].text.find(FromAnsi(BackupFolder())));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "One"));
    EXPECT_EQ(L"VALUE VALUE", f.lvwRegErrors.Cell(0, 0));
    EXPECT_EQ(CLR_INVALID, f.lvwRegErrors.RowColor(0));
    EXPECT_EQ(L"", f.lblCurrentKey.Text());
    EXPECT_EQ("not a folder", ReadFileBytes(BackupFolder()));
}

// A value name with a line break has no REGEDIT4 form, and the registry may refuse a
// deletion: such values stay, their rows stay blue, and the last message counts and names them.
TEST_F(Fix, ValuesThatCannotBeBackedUpOrDeletedAreNotMarkedFixed) {
    SetString(HKEY_CURRENT_USER, Key("A"), "Line\r\nName", Gone + "ln.exe");
    SetString(HKEY_CURRENT_USER, Key("A"), "Fine", Gone + "fine.exe");
    Report(Key("A"), "Line\r\nName");
    Report(Key("A"), "Fine");
    frmMain& f = frmMain::Get();
    // The platform's performance data can be read but has nothing to delete.
    f.cReg_SearchFound("HKEY_PERFORMANCE_DATA", "\\Global", Gone + "perf.exe", 2, "Global");
    ASSERT_EQ(3, f.lvwRegErrors.Count());
    for (int r = 0; r < 3; ++r) f.lvwRegErrors.SetChecked(r, true);

    MessageBoxCapture boxes;
    std::string path = RunFix(boxes);

    std::string text = ReadFileBytes(path);
    EXPECT_EQ(std::string::npos, text.find("Line"));
    EXPECT_NE(std::string::npos, text.find("\"Fine\"="));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "Line\r\nName"));
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, Key("A"), "Fine"));

    EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(0));
    EXPECT_EQ(L"VALUE VALUE", f.lvwRegErrors.Cell(0, 0));
    EXPECT_EQ(Red, f.lvwRegErrors.RowColor(1));
    EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(2));
    EXPECT_EQ(L"VALUE VALUE", f.lvwRegErrors.Cell(2, 0));
    ASSERT_EQ(2u, boxes.boxes.size());
    const std::wstring& last = boxes.boxes[1].text;
    EXPECT_EQ(0u, last.find(LangText(219) + L" 2 " + LangText(220) + L"\r\n\r\n"));
    EXPECT_NE(std::wstring::npos, last.find(L"line break"));
    EXPECT_NE(std::wstring::npos, last.find(L"HKEY_PERFORMANCE_DATA\\\\Global: the registry did not delete the value"));
}

// Check marks set while the first message is up were not backed up, so they delete nothing.
TEST_F(Fix, OnlyBackedUpRowsAreDeleted) {
    SetString(HKEY_CURRENT_USER, Key("A"), "One", Gone + "one.exe");
    SetString(HKEY_CURRENT_USER, Key("A"), "Two", Gone + "two.exe");
    Report(Key("A"), "One");
    Report(Key("A"), "Two");
    frmMain& f = frmMain::Get();
    f.lvwRegErrors.SetChecked(0, true);

    MessageBoxCapture boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.boxes.push_back({text, title, flags});
        if (boxes.boxes.size() == 1) f.lvwRegErrors.SetChecked(1, true);
        return IDOK;
    });
    f.mnuFix_Click();

    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, Key("A"), "One"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "Two"));
    EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(1));
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(0u, boxes.boxes[1].text.find(LangText(219) + L" 1 "));
}
