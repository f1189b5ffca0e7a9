// The Fix command against the real registry of the prefix: the REGEDIT4 backup it writes, the
// values it deletes, what the list and the messages show, and Wine's own registry editor
// putting every deleted value back from the backup.
#include <gtest/gtest.h>
#include <memory>
#include <windows.h>

#include <cstdlib>
#include <map>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/FileWrite.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/mdlMain.h"
#include "tests/support/IgnoreMatcherCheck.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const char Base[] = "Software\\HalvrenTest\\Fix";
const std::string Gone = "C:\\halvren-test\\fix-gone\\";  // never created
const COLORREF Red = 0x0000FF, Blue = 0xFF0000;

std::string Key(const std::string& sub) { return std::string(Base) + "\\" + sub; }
void Set(const std::string& sub, const std::string& name, const std::string& data) {
    SetString(HKEY_CURRENT_USER, Key(sub), name, data);
}
// Through the wide functions, as a Unicode program writes them.
void SetWide(const std::wstring& sub, const std::wstring& name, const std::wstring& data) {
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (FromAnsi(Base) + L"\\" + sub).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &h, nullptr));
    RegSetValueExW(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}
// Every value below the test key: "key|name" -> type and bytes.
using Snapshot = std::map<std::string, std::pair<DWORD, std::string>>;
void TakeSnapshot(const std::string& key, Snapshot& out) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
    std::vector<char> name(32768);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nl = static_cast<DWORD>(name.size()), dl = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(h, i, name.data(), &nl, nullptr, &type, data.data(), &dl) != ERROR_SUCCESS) break;
        out[key + "|" + std::string(name.data(), nl)] = {type, std::string(reinterpret_cast<char*>(data.data()), dl)};
    }
    char sub[512];
    for (DWORD i = 0, n = sizeof sub; RegEnumKeyExA(h, i, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, n = sizeof sub)
        TakeSnapshot(key + "\\" + sub, out);
    RegCloseKey(h);
}
Snapshot TakeSnapshot() {
    Snapshot s;
    TakeSnapshot(Base, s);
    return s;
}

// The platform's registry editor, run to its end on a file.
bool ImportWithRegedit(const std::string& file) { return RunToEnd("regedit.exe /s \"" + file + "\""); }

// One value reported as the engine raises it (data text: the first string), judged by the window.
void Report(const std::string& sub, const std::string& name) {
    DWORD type;
    std::string bytes;
    ReadRaw(HKEY_CURRENT_USER, Key(sub), name, type, bytes);
    frmMain::Get().cReg_SearchFound("HKEY_CURRENT_USER", Key(sub) + "\\" + name, bytes.c_str(), 2, name);
}

// The bytes of a wide text, without a closing NUL.
std::string W(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}
const std::string Z("\0\0", 2);  // a wide NUL
// Exact type and bytes through the native call, as any program may store them (the Win32 wide
// call would close string data with a NUL).
void SetNative(const std::string& sub, const std::wstring& name, DWORD type, const std::string& bytes) {
    struct Name { USHORT length, maximum; const wchar_t* buffer; } us = {
        static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2), name.c_str()};
    using Fn = LONG(NTAPI*)(HANDLE, Name*, ULONG, ULONG, const void*, ULONG);
    static const auto set = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetValueKey")));
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, FromAnsi(Key(sub)).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &h, nullptr));
    EXPECT_EQ(0, set(h, &us, 0, type, bytes.data(), static_cast<ULONG>(bytes.size())));
    RegCloseKey(h);
}
// Type and bytes as the wide functions give them; type REG_NONE and no bytes when there is no value.
std::pair<DWORD, std::string> ReadWide(const std::string& sub, const std::wstring& name) {
    DWORD type = REG_NONE, size = 1 << 16;
    std::string bytes(size, '\0');
    if (RegGetValueW(HKEY_CURRENT_USER, FromAnsi(Key(sub)).c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     &bytes[0], &size) != ERROR_SUCCESS)
        return {REG_NONE, ""};
    bytes.resize(size);
    return {type, bytes};
}
// The only backup of the folder, as it is on the disk now.
std::string TheBackup() {
    WIN32_FIND_DATAA fd;
    HANDLE found = FindFirstFileA((BackupFolder() + "\\*.reg").c_str(), &fd);
    if (found == INVALID_HANDLE_VALUE) return "";
    FindClose(found);
    return ReadFileBytes(BackupFolder() + "\\" + fd.cFileName);
}

void NoEnd() {}

class Fix : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(NoEnd);
        lang_ = std::make_unique<SettingGuard>("curLang");
        UseEnglish();
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        ASSERT_TRUE(frmMain::Get().Load());
    }
    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        lang_.reset();
    }
    void SetUp() override {
        DeleteTree(HKEY_CURRENT_USER, Base);
        DeleteFileA(BackupFolder().c_str());  // a test may leave a file in the folder's place
        RemoveFolderTree(BackupFolder());
        f.bRecommended = false;
        f.lvwRegErrors.Clear();
    }
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, Base);
        DeleteFileA(BackupFolder().c_str());
    }

    // Runs the Fix command; returns the backup's path as the first message names it.
    std::string RunFix(MessageBoxCapture& boxes) {
        f.mnuFix_Click();
        if (boxes.boxes.empty()) return "";
        const std::wstring& text = boxes.boxes[0].text;
        const std::wstring head = LangText(217) + L" ";
        if (text.compare(0, head.size(), head) != 0 || text.back() != L'.') return "";
        return ToAnsi(text.substr(head.size(), text.size() - head.size() - 1));
    }
    void ExpectRow(int row, bool fixed) {
        SCOPED_TRACE(row);
        EXPECT_EQ(fixed ? Red : Blue, f.lvwRegErrors.RowColor(row));
        EXPECT_EQ(fixed ? LangText(218) : L"VALUE VALUE", f.lvwRegErrors.Cell(row, 0));
    }
    static std::wstring Left(int n) { return LangText(219) + L" " + std::to_wstring(n) + L" " + LangText(220); }

    frmMain& f = frmMain::Get();
    static inline std::unique_ptr<SettingGuard> lang_;
};

}  // namespace

// Rows of several keys, interleaved, with quotes, backslashes, a default value and extended
// ANSI characters: the backup holds them in row order, and regedit gives them back.
TEST_F(Fix, WritesTheCheckedRowsAsRegedit4ThenDeletesExactlyThoseValues) {
    const std::vector<std::vector<std::string>> rows = {
        {"A", "Plain", Gone + "plain.exe"}, {"A", "", "\"" + Gone + "def.exe\" /run"},
        {"B", "Quote\"d\\name", Gone + "b.dll"}, {"A", "Keep", Gone + "keep.exe"},
        {"A", "Late", Gone + "late.exe"}, {"C", "caf\xe9", Gone + "\xfc" "ber.exe"}};
    for (const auto& r : rows) Set(r[0], r[1], r[2]);
    const Snapshot before = TakeSnapshot();
    for (const auto& r : rows) Report(r[0], r[1]);
    ASSERT_EQ(6, f.lvwRegErrors.Count());
    for (int r : {0, 1, 2, 4, 5}) f.lvwRegErrors.SetChecked(r, true);

    MessageBoxCapture boxes;
    const std::string path = RunFix(boxes);
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONINFORMATION), boxes.boxes[0].flags);
    EXPECT_EQ(Left(1), boxes.boxes[1].text);
    // Named from the short date and long time, "/" and ":" replaced.
    ASSERT_EQ(0u, path.find(BackupFolder() + "\\Backup ("));
    EXPECT_EQ(std::string::npos, path.find_first_of("/:", 2));

    const std::string H = "[HKEY_CURRENT_USER\\Software\\HalvrenTest\\Fix\\", G = "C:\\\\halvren-test\\\\fix-gone\\\\";
    const std::string backup = "REGEDIT4\r\n\r\n" + H + "A]\r\n\"Plain\"=\"" + G + "plain.exe\"\r\n@=\"\\\"" + G +
                               "def.exe\\\" /run\"\r\n\r\n" + H + "B]\r\n\"Quote\\\"d\\\\name\"=\"" + G +
                               "b.dll\"\r\n\r\n" + H + "A]\r\n\"Late\"=\"" + G + "late.exe\"\r\n\r\n" + H +
                               "C]\r\n\"caf\xe9\"=\"" + G + "\xfc" "ber.exe\"\r\n";
    EXPECT_EQ(backup, ReadFileBytes(path));
    const Snapshot after = TakeSnapshot();
    EXPECT_EQ(1u, after.size());
    EXPECT_EQ(1u, after.count(Key("A") + "|Keep"));
    for (int r = 0; r < 6; ++r) ExpectRow(r, r != 3);
    EXPECT_EQ(L"", f.lblCurrentKey.Text());

    // A fix run again finds the values gone: it deletes nothing, says so and keeps no backup.
    {
        MessageBoxCapture again;
        const std::string none = RunFix(again);
        EXPECT_FALSE(none.empty());
        EXPECT_FALSE(FileExists(none));
        ASSERT_EQ(2u, again.boxes.size());
        EXPECT_EQ(Left(1) + L"\r\n" + LangText(256) + L" 5.\r\n\r\n" + LangText(281), again.boxes[1].text);
        EXPECT_EQ(LangText(250), f.lvwRegErrors.Cell(0, 0));
        EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(0));
    }
    // Each fix writes a file of its own: two within one second get " (2)" behind the date's
    // parenthesis.
    bool proved = false;
    for (int attempt = 0; attempt < 5 && !proved; ++attempt) {
        RemoveFolderTree(BackupFolder());
        SYSTEMTIME t0, t1;
        GetLocalTime(&t0);
        Set("A", "Plain", Gone + "plain.exe");
        MessageBoxCapture one;
        const std::string first = RunFix(one);
        Set("A", "Plain", Gone + "plain.exe");
        MessageBoxCapture two;
        const std::string next = RunFix(two);
        GetLocalTime(&t1);
        if (t0.wSecond != t1.wSecond) continue;  // the clock moved on between the two
        proved = true;
        EXPECT_EQ(first.substr(0, first.size() - 4) + " (2).reg", next);
        EXPECT_EQ(ReadFileBytes(first), ReadFileBytes(next));
    }
    EXPECT_TRUE(proved);
    EXPECT_EQ(1u, TakeSnapshot().size());
    ASSERT_TRUE(WriteFileBytes(path, backup));
    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(before, TakeSnapshot());
}

// Multi-strings, long data, line breaks, embedded NULs, names holding "\" and "C:\", found by
// a real scan: the backup holds each value's own type and bytes, so regedit gives them back.
// Values that cannot be written exactly (a name with a line break, characters a Unicode program
// wrote that the code page lacks) or deleted stay, their rows stay blue, and the last message
// counts and names them.
TEST_F(Fix, ScanCheckFixAndRegeditRestoreEveryValueExactly) {
    SetBinary(HKEY_CURRENT_USER, Key("Odd"), "Multi", Gone + "m.exe" + std::string("\0second\0third\0\0", 15),
              REG_MULTI_SZ);
    Set("Odd", "Long", Gone + "long.exe " + std::string(6000, 'x'));
    Set("Odd", "Break", Gone + "br.exe\r\nsecond line \"q\" \\ end");
    SetBinary(HKEY_CURRENT_USER, Key("Odd"), "Nul", Gone + "nul.exe" + std::string("\0tail\0", 6), REG_SZ);
    Set("Odd", "", Gone + "\xe9t\xe9.exe");
    Set("Names", Gone + "named.dll", Gone + "named.dll");
    Set("Names", "back\\slash", Gone + "bs.exe");
    Set("Names\\Deeper", "Plain", Gone + "deep.exe");
    Set("Names\\Deeper", "Unchecked", Gone + "left.exe");
    SetDword(HKEY_CURRENT_USER, Key("Names"), "Number", 26);
    const std::wstring wideGone = FromAnsi(Gone), snow = L"\u2603";
    SetWide(L"Wide", L"Name" + snow, wideGone + L"n.exe");
    SetWide(L"Wide", L"Data", wideGone + snow + L".exe");
    Set("Odd", "Line\r\nName", Gone + "ln.exe");
    const Snapshot before = TakeSnapshot();

    f.cmdStartStop_Click();
    ASSERT_FALSE(f.Scanning());
    // Check every row of the test key but one. The value named after a missing file is
    // reported twice: by its name and by its data. HKEY_USERS shows the test key again below
    // the user's SID: those rows name the same values and stay unchecked.
    int ours = 0, unchecked = 0;
    std::vector<std::pair<int, RegErrorItemRef>> others;
    for (int r = 0; r < f.lvwRegErrors.Count(); ++r) {
        const RegErrorItemRef& ref = f.RowRef(r);
        if (ref.rootKey == "HKEY_CURRENT_USER" && ref.keyPath.compare(0, sizeof Base - 1, Base) == 0) {
            ++ours;
            if (ref.valueName != "Unchecked") {
                f.lvwRegErrors.SetChecked(r, true);
                continue;
            }
        }
        ++unchecked;
        if (ref.keyPath.find(Base) == std::string::npos) others.push_back({r, ref});
    }
    EXPECT_EQ(13, ours);
    // A cell shows its first 259 characters: the long data widens its column no further.
    const std::wstring widest(259, L'W');
    EXPECT_LE(f.lvwRegErrors.ColumnWidthPixels(3), SendMessageW(f.lvwRegErrors.hwnd, LVM_GETSTRINGWIDTHW, 0,
                                                                reinterpret_cast<LPARAM>(widest.c_str())));
    // The platform's performance data can be read, but never holds what a row shows.
    f.cReg_SearchFound("HKEY_PERFORMANCE_DATA", "\\Global", Gone + "perf.exe", 2, "Global");
    f.lvwRegErrors.SetChecked(f.lvwRegErrors.Count() - 1, true);

    MessageBoxCapture boxes;
    const std::string path = RunFix(boxes);
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(2u, boxes.boxes.size());
    const std::wstring& last = boxes.boxes[1].text;
    EXPECT_EQ(0u, last.find(Left(unchecked) + L"\r\nChecked entries left in place: 4.\r\n\r\n")) << last;
    EXPECT_NE(std::wstring::npos, last.find(L"\\Odd\\Line  Name: its value name holds a line break"));
    EXPECT_NE(std::wstring::npos, last.find(L"HKEY_PERFORMANCE_DATA\\\\Global: its data changed after the scan"));
    EXPECT_NE(std::wstring::npos, last.find(L"\\Wide\\Data: its data holds characters outside the system's code page"));
    EXPECT_NE(std::wstring::npos, last.find(L"\\Wide\\Name?: its value name holds characters outside"));
    const Snapshot after = TakeSnapshot();
    EXPECT_EQ(5u, after.size());
    EXPECT_EQ(1u, after.count(Key("Names\\Deeper") + "|Unchecked"));
    EXPECT_EQ(1u, after.count(Key("Names") + "|Number"));
    // What else the scan found in the prefix survives.
    for (const auto& o : others) {
        EXPECT_TRUE(ValueExists(GetRootKeyHandle(o.second.rootKey), o.second.keyPath, o.second.valueName))
            << o.second.keyPath << "\\" << o.second.valueName;
        EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(o.first));
    }

    // Plain strings keep the quoted form; the others go as hex of their own type.
    const std::string text = ReadFileBytes(path);
    for (const char* part : {"\"back\\\\slash\"=\"C:\\\\halvren-test\\\\fix-gone\\\\bs.exe\"\r\n",
                             "\"Multi\"=hex(7):43,3a,5c,", "\"Break\"=hex(1):", ",\\\r\n  ",
                             "@=\"C:\\\\halvren-test\\\\fix-gone\\\\\xe9t\xe9.exe\"\r\n"})
        EXPECT_NE(std::string::npos, text.find(part)) << part;
    EXPECT_EQ(std::string::npos, text.find("Wide"));
    EXPECT_EQ(std::string::npos, text.find("Line"));

    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(before, TakeSnapshot());
}

// The backup is named after the moment of the fix: the system's short date and long time, with
// "/" and ":" (which no file name may hold) written as "-" and ";".
TEST_F(Fix, BackupNamedWithItsDateAndTime) {
    Set("A", "One", Gone + "one.exe");
    Report("A", "One");
    f.lvwRegErrors.SetChecked(0, true);
    SYSTEMTIME t0, t1;
    std::string path;
    for (int attempt = 0; attempt < 5; ++attempt) {
        RemoveFolderTree(BackupFolder());
        GetLocalTime(&t0);
        MessageBoxCapture boxes;
        path = RunFix(boxes);
        GetLocalTime(&t1);
        if (t0.wSecond == t1.wSecond) break;  // else the clock moved on during the fix
    }
    ASSERT_EQ(t0.wSecond, t1.wSecond);
    char date[128] = "", time[128] = "";
    ASSERT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t0, nullptr, date, sizeof date), 0);
    ASSERT_GT(GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t0, nullptr, time, sizeof time), 0);
    std::string stamp = std::string(date) + " " + time;
    for (char& c : stamp) c = c == '/' ? '-' : c == ':' ? ';' : c;
    EXPECT_EQ(BackupFolder() + "\\Backup (" + stamp + ").reg", path);
    EXPECT_TRUE(FileExists(path));
}

TEST_F(Fix, FixesThatDeleteNothing) {
    Set("A", "One", Gone + "one.exe");
    Set("A", "Two", Gone + "two.exe");
    Report("A", "One");
    Report("A", "Two");
    const Snapshot before = TakeSnapshot();
    {
        // A file where the backup folder belongs: neither the folder nor the backup can be made.
        ASSERT_TRUE(WriteFileBytes(BackupFolder(), "not a folder"));
        f.lvwRegErrors.SetChecked(0, true);
        MessageBoxCapture boxes;
        f.mnuFix_Click();
        ASSERT_EQ(1u, boxes.boxes.size());
        EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONERROR), boxes.boxes[0].flags);
        EXPECT_NE(std::wstring::npos, boxes.boxes[0].text.find(L"Nothing was deleted"));
        EXPECT_EQ(before, TakeSnapshot());
        EXPECT_EQ(CLR_INVALID, f.lvwRegErrors.RowColor(0));
        EXPECT_EQ("not a folder", ReadFileBytes(BackupFolder()));
        ASSERT_TRUE(DeleteFileA(BackupFolder().c_str()));
    }
    // No row checked; a check mark set while the first message is up was not backed up, so it
    // deletes nothing either.
    f.lvwRegErrors.SetChecked(0, false);
    MessageBoxCapture boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.boxes.push_back({text, title, flags});
        if (boxes.boxes.size() == 1) f.lvwRegErrors.SetChecked(1, true);
        return IDOK;
    });
    const std::string path = RunFix(boxes);
    EXPECT_FALSE(path.empty());
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(before, TakeSnapshot());
    ExpectRow(0, false);
    ExpectRow(1, false);
    ASSERT_EQ(2u, boxes.boxes.size());
    const std::wstring& last = boxes.boxes[1].text;
    EXPECT_EQ(0u, last.find(Left(1) + L"\r\nChecked entries left in place: 1.\r\n")) << last;
}

// Values deleted or changed after the scan, before the fix or while its first message is up:
// only values still as listed are deleted, no key is made again, and the last message counts
// the rows not checked, those left in place and those already gone on lines of their own.
TEST_F(Fix, ValuesThatChangedSinceTheScanAreLeftAlone) {
    enum When { Never, BeforeFix, DuringMessage };
    struct Case {
        std::string key, name;
        When when;
        std::string change;  // "-": the value is deleted, "--": its key is, else its new data
        int shown;           // 218 fixed, 250 already gone, 0 left as listed
    };
    const std::vector<Case> cases = {
        {"A", "Stay", Never, "", 218},
        {"A", "Unchecked", Never, "", 0},
        {"A", "Deleted", BeforeFix, "-", 250},
        {"Gone", "InGoneKey", BeforeFix, "--", 250},
        {"A", "Changed", BeforeFix, "C:\\windows\\regedit.exe", 0},
        {"A", "LateDeleted", DuringMessage, "-", 250},
        {"Late", "InLateKey", DuringMessage, "--", 250},
        {"A", "LateChanged", DuringMessage, Gone + "other.exe", 0},
    };
    for (const Case& c : cases) Set(c.key, c.name, Gone + c.name + ".exe");
    for (const Case& c : cases) Report(c.key, c.name);
    f.mnuCheckAll_Click();
    f.lvwRegErrors.SetChecked(1, false);
    auto apply = [&](When when) {
        for (const Case& c : cases) {
            if (c.when != when) continue;
            if (c.change == "--")
                DeleteTree(HKEY_CURRENT_USER, Key(c.key));
            else if (c.change == "-")
                DeleteRegValue(HKEY_CURRENT_USER, Key(c.key), c.name);
            else
                Set(c.key, c.name, c.change);
        }
    };
    apply(BeforeFix);
    MessageBoxCapture boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.boxes.push_back({text, title, flags});
        if (boxes.boxes.size() == 1) apply(DuringMessage);
        return IDOK;
    });
    const std::string backup = ReadFileBytes(RunFix(boxes));

    const std::wstring at = L"\r\nHKEY_CURRENT_USER\\" + FromAnsi(Key("A")) + L"\\";
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(Left(1) + L"\r\n" + LangText(255) + L" 2.\r\n" + LangText(256) + L" 4.\r\n" + at + L"Changed: " +
                  LangText(259) + L"." + at + L"LateChanged: " + LangText(259) + L".",
              boxes.boxes[1].text);
    // Only what was deleted: values that changed or went while the message was up were backed
    // up, then taken out again.
    EXPECT_EQ("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Key("A") +
                  "]\r\n\"Stay\"=\"C:\\\\halvren-test\\\\fix-gone\\\\Stay.exe\"\r\n",
              backup);
    for (size_t r = 0; r < cases.size(); ++r) {
        const Case& c = cases[r];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown == 218 ? Red : Blue, f.lvwRegErrors.RowColor(static_cast<int>(r)));
        EXPECT_EQ(c.shown ? LangText(c.shown) : L"VALUE VALUE", f.lvwRegErrors.Cell(static_cast<int>(r), 0));
        DWORD type;
        std::string data;
        const bool kept = ReadRaw(HKEY_CURRENT_USER, Key(c.key), c.name, type, data);
        EXPECT_EQ(c.shown == 0, kept);
        if (kept) {
            EXPECT_EQ((c.change.empty() ? Gone + c.name + ".exe" : c.change) + '\0', data);
        }
        HKEY h;
        const bool keyThere = RegOpenKeyExA(HKEY_CURRENT_USER, Key(c.key).c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS;
        if (keyThere) RegCloseKey(h);
        EXPECT_EQ(c.change != "--", keyThere);
    }
}

static BOOL WINAPI ShortWrite(HANDLE f, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
    BOOL ok = WriteFile(f, data, size / 2, written, o);
    SetLastError(ERROR_SUCCESS);  // as a full disk leaves it
    return ok;
}
static BOOL WINAPI RefusedFlush(HANDLE) {
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
}
static bool g_valueAtFlush = false, g_namedAtWrite = false;
static int g_flushes = 0;
static BOOL WINAPI LaterFlushesRefused(HANDLE f) { return ++g_flushes >= 2 ? RefusedFlush(f) : FlushFileBuffers(f); }
// Whether a file of the backup folder already has a backup's name.
static bool BackupNamed() {
    WIN32_FIND_DATAA fd;
    HANDLE found = FindFirstFileA((BackupFolder() + "\\*.reg").c_str(), &fd);
    if (found != INVALID_HANDLE_VALUE) FindClose(found);
    return found != INVALID_HANDLE_VALUE;
}
static BOOL WINAPI WatchedWrite(HANDLE f, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
    g_namedAtWrite = g_namedAtWrite || BackupNamed();
    return WriteFile(f, data, size, written, o);
}
static BOOL WINAPI WatchedFlush(HANDLE f) {
    g_valueAtFlush = ValueExists(HKEY_CURRENT_USER, Key("A"), "One");
    g_namedAtWrite = g_namedAtWrite || BackupNamed();
    return FlushFileBuffers(f);
}

// The backup is on the disk, whole and only then under its name, before the first deletion. A
// write that stops short (a full disk gives no error code) or a flush the system refuses deletes
// nothing; the message names the file and the cause, and no part-written backup stays.
TEST_F(Fix, ABackupThatDoesNotReachTheDiskWhole) {
    struct Case {
        WriteFileFn write;
        FlushFileFn flush;
        DWORD error;  // 0: the fix goes through
    };
    const Case cases[] = {{ShortWrite, nullptr, ERROR_DISK_FULL}, {nullptr, RefusedFlush, ERROR_IO_DEVICE},
                          {WatchedWrite, WatchedFlush, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Set("A", "One", Gone + "one.exe");
        f.lvwRegErrors.Clear();
        Report("A", "One");
        f.lvwRegErrors.SetChecked(0, true);
        g_valueAtFlush = g_namedAtWrite = false;
        SetWriteFileHook(c.write);
        SetFlushFileHook(c.flush);
        MessageBoxCapture boxes;
        f.mnuFix_Click();
        SetWriteFileHook(nullptr);
        SetFlushFileHook(nullptr);
        ASSERT_FALSE(boxes.boxes.empty());
        const std::wstring& text = boxes.boxes[0].text;
        EXPECT_EQ(c.error == 0, !ValueExists(HKEY_CURRENT_USER, Key("A"), "One"));
        WIN32_FIND_DATAA fd;
        HANDLE found = FindFirstFileA((BackupFolder() + "\\*.reg").c_str(), &fd);
        EXPECT_EQ(c.error == 0, found != INVALID_HANDLE_VALUE);
        if (found != INVALID_HANDLE_VALUE) FindClose(found);
        RemoveFolderTree(BackupFolder());
        if (c.error == 0) {
            // A program ended while the backup is written leaves no part of it under a backup's name.
            EXPECT_TRUE(g_valueAtFlush);
            EXPECT_FALSE(g_namedAtWrite);
            continue;
        }
        EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONERROR), boxes.boxes[0].flags);
        EXPECT_EQ(0u, text.find(LangText(251) + L"\r\n\r\n" + LangText(254) + L"\r\n" +
                                FromAnsi(BackupFolder() + "\\Backup (")))
            << text;
        EXPECT_NE(std::wstring::npos, text.find(L".reg\r\n" + SystemErrorText(c.error))) << text;
    }
}

// When the backup cannot be written again without a value that changed while the first message
// was up, the first file stays whole and the last message says that it still holds the entry.
// A value changed while the first message was up, and the backup cannot be written again
// without it: the file would put the older data back, so nothing is deleted and no file is kept.
TEST_F(Fix, ABackupThatCannotBeMadeExactDeletesNothing) {
    Set("A", "One", Gone + "one.exe");
    Set("A", "Two", Gone + "two.exe");
    Report("A", "One");
    Report("A", "Two");
    f.mnuCheckAll_Click();
    g_flushes = 0;
    SetFlushFileHook(LaterFlushesRefused);
    MessageBoxCapture boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.boxes.push_back({text, title, flags});
        if (boxes.boxes.size() == 1) Set("A", "One", Gone + "other.exe");
        return IDOK;
    });
    const std::string path = RunFix(boxes);
    SetFlushFileHook(nullptr);
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_NE(std::wstring::npos, boxes.boxes[1].text.find(LangText(254) + L"\r\n" + FromAnsi(path) + L"\r\n" +
                                                           SystemErrorText(ERROR_IO_DEVICE)))
        << boxes.boxes[1].text;
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileExists(path + ".new"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "One"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, Key("A"), "Two"));
    EXPECT_NE(LangText(218), f.lvwRegErrors.Cell(1, 0));
}

std::string g_backupAtDelete;
static LONG WINAPI WatchedDelete(HKEY key, LPCSTR name) {
    if (g_backupAtDelete.empty()) g_backupAtDelete = TheBackup();
    return RegDeleteValueA(key, name);
}

// Changes the rows cannot show, made while the first message is up (a later string of a
// multi-string, the type, the bytes after a NUL, a snowman for "?", a full-width "a"), and
// string data a REGEDIT4 line cannot give back (no closing NUL, an odd length): those values
// stay, with their reasons, and the backup holds only the value deleted, before the first
// deletion already.
TEST_F(Fix, DeletesOnlyWhatItsBackupHoldsByteForByte) {
    const std::wstring g = FromAnsi(Gone);
    struct Case {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
        DWORD lateType;  // 0: not changed
        std::string late;
        int reason;  // 0: deleted
    };
    const std::vector<Case> cases = {
        {L"Keep", REG_MULTI_SZ, W(g + L"keep.exe") + Z + W(L"two") + Z + Z, 0, "", 0},
        {L"Multi", REG_MULTI_SZ, W(g + L"m.exe") + Z + W(L"two") + Z + Z, REG_MULTI_SZ,
         W(g + L"m.exe") + Z + W(L"TWO") + Z + Z, 259},
        {L"ToMulti", REG_SZ, W(g + L"t.exe") + Z, REG_MULTI_SZ, W(g + L"t.exe") + Z + Z, 259},
        {L"ToSz", REG_MULTI_SZ, W(g + L"u.exe") + Z + Z, REG_SZ, W(g + L"u.exe") + Z + Z, 259},
        {L"Nul", REG_SZ, W(g + L"n.exe") + Z + W(L"tail") + Z, REG_SZ, W(g + L"n.exe") + Z + W(L"TAIL") + Z, 259},
        {L"Snow", REG_SZ, W(g + L"s?.exe") + Z, REG_SZ, W(g + L"s\u2603.exe") + Z, 259},
        {L"FullWidth", REG_SZ, W(g + L"wa.exe") + Z, REG_SZ, W(g + L"w\uff41.exe") + Z, 259},
        {L"NoNul", REG_SZ, W(g + L"x.exe"), 0, "", 280},
        {L"Odd", REG_SZ, W(g + L"o.exe") + Z + std::string(1, '\0'), 0, "", 280},
        {L"MultiNoNul", REG_MULTI_SZ, W(g + L"mn.exe"), 0, "", 280},
    };
    for (const Case& c : cases) SetNative("A", c.name, c.type, c.bytes);
    for (const Case& c : cases) Report("A", ToAnsi(c.name));
    f.mnuCheckAll_Click();
    MessageBoxCapture boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.boxes.push_back({text, title, flags});
        if (boxes.boxes.size() == 1)
            for (const Case& c : cases)
                if (c.lateType) SetNative("A", c.name, c.lateType, c.late);
        return IDOK;
    });
    g_backupAtDelete.clear();
    SetDeleteValueHook(WatchedDelete);
    const std::string path = RunFix(boxes);
    SetDeleteValueHook(nullptr);

    ASSERT_EQ(2u, boxes.boxes.size());
    const std::wstring& last = boxes.boxes[1].text;
    for (const Case& c : cases) {
        SCOPED_TRACE(ToAnsi(c.name));
        const auto now = ReadWide("A", c.name);
        if (c.reason == 0) {
            EXPECT_EQ(REG_NONE, now.first);
            continue;
        }
        EXPECT_EQ(c.lateType ? c.lateType : c.type, now.first);
        EXPECT_EQ(c.lateType ? c.late : c.bytes, now.second);
        EXPECT_NE(std::wstring::npos, last.find(L"\\A\\" + std::wstring(c.name) + L": " + LangText(c.reason) + L"."))
            << last;
    }
    const std::string backup = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Key("A") + "]\r\n\"Keep\"=hex(7):" +
                               "43,3a,5c,68,61,6c,76,72,65,6e,2d,74,65,73,74,5c,66,69,78,2d,67,\\\r\n" +
                               "  6f,6e,65,5c,6b,65,65,70,2e,65,78,65,00,74,77,6f,00,00\r\n";
    EXPECT_EQ(backup, g_backupAtDelete);
    EXPECT_EQ(backup, ReadFileBytes(path));
    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(std::make_pair(cases[0].type, cases[0].bytes), ReadWide("A", L"Keep"));
}

// A deletion the registry reports as done is done, and its backup entry stays, even when a value
// of that name reads again at once (the machine's class under HKEY_CLASSES_ROOT, a program that
// writes its value back); only a refused deletion is taken out of the backup.
static LONG WINAPI WriteBackOrRefuse(HKEY key, LPCSTR name) {
    if (strcmp(name, "Refused") == 0) return ERROR_ACCESS_DENIED;
    const LONG rc = RegDeleteValueA(key, name);
    if (strcmp(name, "Back") == 0) RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("again"), 6);
    return rc;
}
TEST_F(Fix, ADeletionTheRegistryReportsDoneCountsAsDone) {
    for (const char* name : {"Back", "Refused", "Plain"}) {
        Set("A", name, Gone + name + ".exe");
        Report("A", name);
    }
    f.mnuCheckAll_Click();
    SetDeleteValueHook(WriteBackOrRefuse);
    MessageBoxCapture boxes;
    const std::string path = RunFix(boxes);
    SetDeleteValueHook(nullptr);
    ExpectRow(0, true);
    EXPECT_EQ(Blue, f.lvwRegErrors.RowColor(1));
    ExpectRow(2, true);
    const std::string line = "\"=\"C:\\\\halvren-test\\\\fix-gone\\\\";
    EXPECT_EQ("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Key("A") + "]\r\n\"Back" + line + "Back.exe\"\r\n\"Plain" + line +
                  "Plain.exe\"\r\n",
              ReadFileBytes(path));
    ASSERT_EQ(2u, boxes.boxes.size());
    const std::wstring at = L"\r\nHKEY_CURRENT_USER\\" + FromAnsi(Key("A")) + L"\\";
    EXPECT_EQ(Left(0) + L"\r\n" + LangText(255) + L" 1.\r\n" + LangText(282) + L" 1.\r\n" + at + L"Refused: " +
                  LangText(258) + L": " + SystemErrorText(ERROR_ACCESS_DENIED) + at + L"Back: " + LangText(283) + L".",
              boxes.boxes[1].text);
}

// After a fix the Type column shows its new texts whole, in every language.
TEST_F(Fix, TheTypeColumnFitsWhatTheFixWrites) {
    SettingGuard language("curLang");
    for (const char* name : {"English", "Deutsch", "Polish"}) {
        SCOPED_TRACE(name);
        SaveSetting("curLang", name);
        ClearLanguageTable();
        ASSERT_TRUE(LoadLanguage());
        f.lvwRegErrors.Clear();
        for (const char* value : {"Gone", "Fixed"}) {
            Set("A", value, Gone + value + ".exe");
            Report("A", value);
        }
        f.mnuCheckAll_Click();
        DeleteRegValue(HKEY_CURRENT_USER, Key("A"), "Gone");
        MessageBoxCapture boxes;
        RunFix(boxes);
        for (int row = 0; row < 2; ++row) {
            const std::wstring text = f.lvwRegErrors.Cell(row, 0);
            EXPECT_EQ(LangText(row == 0 ? 250 : 218), text);
            RECT label = {LVIR_LABEL, 0, 0, 0};
            ASSERT_TRUE(SendMessageW(f.lvwRegErrors.hwnd, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label)));
            const int width = static_cast<int>(
                SendMessageW(f.lvwRegErrors.hwnd, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
            EXPECT_LE(width, label.right - label.left) << ToAnsi(text);
        }
    }
    UseEnglish();
}

// Under a multi-byte code page (Japanese, 932; Chinese, 936) the second byte of a character may
// be "\" or "|": paths, backups, the ignore test and reversal must work on characters. These run
// only when the program runs under that code page (ctest runs them so in runs of their own, and
// there a code page Wine has but did not start under is a failure).
template <UINT CodePage>
class UnderCodePage : public Fix {
protected:
    void SetUp() override {
        if (GetACP() != CodePage) {
            const char* wanted = getenv("HALVREN_CODE_PAGE");
            const bool installed = IsValidCodePage(CodePage);
            ASSERT_FALSE(wanted && std::to_string(CodePage) == wanted && installed)
                << "the code page is " << GetACP() << ", not " << CodePage;
            GTEST_SKIP() << "needs the ANSI code page " << CodePage << (installed ? "" : ", which is not installed");
        }
        Fix::SetUp();
    }
};
class CodePage932 : public UnderCodePage<932> {};
class CodePage936 : public UnderCodePage<936> {};
class CodePage1252 : public UnderCodePage<1252> {};

TEST_F(CodePage932, PathsBackupsAndTheIgnoreTestWorkOnCharacters) {
    // "\x83\x7C" and "\x95\x5C" are one character each; "\x83" "C" is one character, not a "C".
    const std::vector<std::pair<std::string, std::string>> paths = {
        {"c:\\a\\\x83\x7C.exe /x", "C:\\A\\\x83\x7C.EXE"},
        {"\x83" "C:\\b.exe", "C:\\"},
        {"C:\\\x95\x5C\\\x83\x7C b %1", "C:\\\x95\x5C\\\x83\x7C B"},
    };
    for (const auto& p : paths) EXPECT_EQ(p.second, ExtractFilePath(p.first)) << p.first;
    EXPECT_EQ("b\x95\x5C" "a", ReverseString("a\x95\x5C" "b"));

    // An ignore entry that the bytes of a character hold does not drop the report.
    const std::string ignorePath = DataFolder() + "\\Ignore.txt";
    const std::string savedIgnore = ReadFileBytes(ignorePath);
    ASSERT_TRUE(WriteFileBytes(ignorePath, "\\FT\r\n"));
    if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
    const std::string name = "\x83\x5C" "ft", data = Gone + "\x95\x5C.exe";
    Set("J", name, data);
    Set("J", "\x95\x5C", data);
    const Snapshot before = TakeSnapshot();
    Report("J", name);
    Report("J", "\x95\x5C");
    WriteFileBytes(ignorePath, savedIgnore);
    frmIgnore::Get().Unload();
    ASSERT_EQ(2, f.lvwRegErrors.Count());

    // The backup doubles only the "\" characters, and regedit gives the values back.
    f.mnuCheckAll_Click();
    MessageBoxCapture boxes;
    const std::string path = RunFix(boxes);
    const std::string text = ReadFileBytes(path);
    const std::string line = "=\"C:\\\\halvren-test\\\\fix-gone\\\\\x95\x5C.exe\"\r\n";
    EXPECT_NE(std::string::npos, text.find("\"\x83\x5C" "ft\"" + line)) << text;
    EXPECT_NE(std::string::npos, text.find("\"\x95\x5C\"" + line)) << text;
    EXPECT_TRUE(TakeSnapshot().empty());
    ASSERT_TRUE(ImportWithRegedit(path));
    EXPECT_EQ(before, TakeSnapshot());
}

TEST_F(CodePage932, IgnoreMatcherFindsWhatFindAnsiFinds) { ExpectIgnoreMatcherFindsWhatFindAnsiFinds(); }

// Pinyin letters whose capitals the code page lacks keep their bytes when upper-cased: the path
// is cut where the data ends it and asked as written, so a present file is not listed.
TEST_F(CodePage936, UpperCaseKeepsEveryCharacterInPlace) {
    const std::wstring top = L"C:\\halvren-test-936", folder = top + L"\\Ba\x0144k\x0251";
    CreateDirectoryW(top.c_str(), nullptr);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        GTEST_SKIP() << "Wine cannot name the file (it needs the zh_CN.UTF-8 locale: scripts/setup.sh)";
    const HANDLE h = CreateFileW((folder + L"\\app.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    Set("P", "Live", ToAnsi(folder) + "\\app.exe /run");
    Set("P", "Gone", ToAnsi(folder) + "\\gone.exe");
    Report("P", "Live");
    Report("P", "Gone");
    RemoveFolderTree(ToAnsi(top));
    ASSERT_EQ(1, f.lvwRegErrors.Count());
    EXPECT_EQ(FromAnsi(Key("P")) + L"\\Gone", f.lvwRegErrors.Cell(0, 2));
    // Greek has its capitals in the code page, and takes them.
    EXPECT_EQ(ToAnsi(L"C:\\BA\x0144K\x0251\\\x0391\x0392.EXE"),
              ExtractFilePath(ToAnsi(L"c:\\Ba\x0144k\x0251\\\x03B1\x03B2.exe /s")));
}

// "\x83" has no capital in code page 1252: an entry of a Unicode Ignore.txt upper-cases as the
// same entry of an ANSI file does, and hides what that one hides.
TEST_F(CodePage1252, UnicodeIgnoreEntriesUpperCaseAsAnsiOnes) {
    const std::string dir = Gone + "\x83";
    Set("Q", "Other", dir + "\\x.exe");
    Set("Q", "Hidden", dir + "oo\\x.exe");
    auto utf16 = [](const std::wstring& text) {
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        return bytes;
    };
    FileGuard ignore(DataFolder() + "\\Ignore.txt");
    for (const std::string& file : {std::string("\x83oo\r\n"), "\xEF\xBB\xBF" + ToAnsi(L"\x0192oo\r\n", CP_UTF8),
                                    utf16(L"\x0192oo\r\n")}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(WriteFileBytes(ignore.path, file));
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        f.lvwRegErrors.Clear();
        Report("Q", "Other");
        Report("Q", "Hidden");
        ASSERT_EQ(1, f.lvwRegErrors.Count());
        EXPECT_EQ(FromAnsi(Key("Q")) + L"\\Other", f.lvwRegErrors.Cell(0, 2));
    }
    frmIgnore::Get().Unload();
}
