// The 32-bit program on 64-bit Windows: System32 and HKLM\Software are redirected. ctest runs
// this a second time in a 64-bit prefix (HALVREN_WOW64 set there makes the run fail when the
// program is not under WOW64); in a 32-bit prefix the same cases must hold with nothing redirected.
#include <gtest/gtest.h>
#include <memory>
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "core/App.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "scan/mdlMain.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const std::string Base = "Software\\HalvrenTest\\Wow64";  // below HKEY_LOCAL_MACHINE
const std::string Files = "C:\\halvren-test\\wow64";
const std::string Drivers = "C:\\windows\\system32\\drivers\\";

bool UnderWow64() {
    BOOL yes = FALSE;
    return IsWow64Process(GetCurrentProcess(), &yes) && yes;
}

const std::string Clsid = "CLSID\\{8D3C7B2A-0000-4000-8000-48414C565245}";  // below HKEY_CLASSES_ROOT

// Whether the key exists in the 64-bit view (the same view on 32-bit Windows).
bool NativeKeyExists(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Removes the test keys from both views; on 32-bit Windows both are one.
void DeleteBothViews() {
    DeleteTree(HKEY_LOCAL_MACHINE, "Software\\HalvrenTest");
    DeleteTree(HKEY_CLASSES_ROOT, Clsid);
    const std::pair<HKEY, std::string> keys[] = {
        {HKEY_LOCAL_MACHINE, Base + "\\Judge"}, {HKEY_LOCAL_MACHINE, Base + "\\Fix"}, {HKEY_LOCAL_MACHINE, Base},
        {HKEY_LOCAL_MACHINE, "Software\\HalvrenTest"}, {HKEY_CLASSES_ROOT, Clsid}};
    for (const auto& k : keys) {
        const size_t cut = k.second.rfind('\\');
        HKEY parent = nullptr;
        if (RegOpenKeyExA(k.first, k.second.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &parent) !=
            ERROR_SUCCESS)
            continue;
        RegDeleteKeyA(parent, k.second.substr(cut + 1).c_str());
        RegCloseKey(parent);
    }
}

// Whether the file of a path exists in either view, asked of the Linux file system through drive
// Z: under both the System32 and the SysWOW64 name: an answer found without the program's own
// path test. False where there is no Wine prefix to look into.
bool ExistsInThePrefix(const std::string& path) {
    const char* prefix = getenv("WINEPREFIX");
    if (!prefix || path.compare(0, 3, "C:\\") != 0) return false;
    std::string root = "Z:" + std::string(prefix) + "/drive_c/";
    for (char& c : root)
        if (c == '/') c = '\\';
    std::vector<std::string> names = {path.substr(3)};
    const std::string system = "WINDOWS\\SYSTEM32";
    const std::string upper = UpperAnsi(names[0]);
    if (upper.compare(0, system.size(), system) == 0 && (upper.size() == system.size() || upper[system.size()] == '\\'))
        names.push_back("WINDOWS\\SYSWOW64" + names[0].substr(system.size()));
    for (const std::string& name : names)
        if (GetFileAttributesA((root + name).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return false;
}

void NoEnd() {}

class Wow64 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ui::SetEndProgramHook(NoEnd);
        guard_ = std::make_unique<SettingGuard>(std::initializer_list<const char*>{"curLang", "Recommended"});
        UseEnglish();
        PutSetting("Recommended", "0");
        ASSERT_TRUE(CreateFolderTree(DataFolder()));
        ignore_ = std::make_unique<FileGuard>(DataFolder() + "\\Ignore.txt");
        WriteFileBytes(ignore_->path, "");
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
    }
    static void TearDownTestSuite() {
        if (frmMain::Get().IsLoaded()) frmMain::Get().Unload();
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        ignore_.reset();
        guard_.reset();
        ui::SetEndProgramHook(nullptr);
    }
    void SetUp() override {
        if (getenv("HALVREN_WOW64")) {
            ASSERT_TRUE(UnderWow64()) << "this run must be a 32-bit process on 64-bit Windows";
        }
        DeleteBothViews();
        RemoveFolderTree(Files);
        ASSERT_TRUE(CreateFolderTree(Files));
        DeleteFileA(BackupFolder().c_str());
        RemoveFolderTree(BackupFolder());
        ASSERT_TRUE(frmMain::Get().Load());
        frmMain::Get().lvwRegErrors.Clear();
    }
    void TearDown() override {
        DeleteBothViews();
        RemoveFolderTree(Files);
    }
    static inline std::unique_ptr<SettingGuard> guard_;
    static inline std::unique_ptr<FileGuard> ignore_;
};

}  // namespace

// A whole scan: values naming files of System32 (a driver only the native folder holds under
// WOW64, the hosts folder exempt from redirection, paths ending in "\..") are listed exactly when
// the file exists in neither view, whatever the walk asked before them.
TEST_F(Wow64, AWholeScanListsOnlyFilesMissingInBothViews) {
    // Values are walked in this order: a missing file first, then paths through its folder.
    const struct { const char* name; std::string data; bool listed; } values[] = {
        {"1 driver", Drivers + "http.sys", false},
        {"2 missing driver", Drivers + "halvren-gone.sys", true},
        {"3 hosts folder", Drivers + "etc", false},
        {"4 hosts folder up", Drivers + "etc\\..", false},
        {"5 missing", Files + "\\gone\\a.dll", true},
        {"6 missing up", Files + "\\gone\\..", false},
        {"7 missing in System32", "C:\\windows\\system32\\halvren-gone\\b.dll", true},
        {"8 missing in System32 up", "C:\\windows\\system32\\halvren-gone\\..", false},
        {"9 driver from elsewhere", "C:\\halvren-gone\\..\\windows\\system32\\drivers\\http.sys", false},
    };
    for (const auto& v : values) SetString(HKEY_LOCAL_MACHINE, Base + "\\Judge", v.name, v.data);

    frmMain& f = frmMain::Get();
    f.cmdStartStop_Click();
    ASSERT_FALSE(f.Scanning());
    std::vector<std::string> ours;
    const std::wstring judge = UpperWide(FromAnsi(Base + "\\Judge\\"));
    for (int r = 0; r < f.lvwRegErrors.Count(); ++r) {
        const std::wstring key = UpperWide(f.lvwRegErrors.Cell(r, 2));
        if (f.lvwRegErrors.Cell(r, 1) == L"HKEY_LOCAL_MACHINE" && key.compare(0, judge.size(), judge) == 0)
            ours.push_back(ToAnsi(f.lvwRegErrors.Cell(r, 2).substr(judge.size())));
        // Nothing the whole prefix holds is listed with a file that exists.
        const std::string path = ExtractFilePath(ToAnsi(f.lvwRegErrors.Cell(r, 3)));
        EXPECT_FALSE(ExistsInThePrefix(path)) << ToAnsi(f.lvwRegErrors.Cell(r, 1) + L"\\" + f.lvwRegErrors.Cell(r, 2))
                                              << " = " << path;
    }
    for (const auto& v : values) {
        const bool listed = std::find(ours.begin(), ours.end(), v.name) != ours.end();
        EXPECT_EQ(v.listed, listed) << v.name << " = " << v.data;
    }
    if (getenv("WINEPREFIX")) {
        EXPECT_TRUE(ExistsInThePrefix(UpperAnsi(Drivers + "http.sys")));
    }
}

static LONG NTAPI NameRefused(HANDLE, int, PVOID, ULONG, PULONG) { return static_cast<LONG>(0xC0000022); }

// Under WOW64 a key whose real place cannot be learned is neither backed up under the name seen
// (the 64-bit editor would put the value into the other view) nor deleted; its row says why.
TEST_F(Wow64, AKeyWhoseRealPlaceCannotBeLearnedIsLeftAlone) {
    const bool wow64 = UnderWow64();
    frmMain& f = frmMain::Get();
    const std::string key = Base + "\\Fix", data = Files + "\\gone\\fix.exe";
    SetString(HKEY_LOCAL_MACHINE, key, "Gone", data);
    f.cReg_SearchFound("HKEY_LOCAL_MACHINE", key + "\\Gone", data, 2, "Gone");
    f.mnuCheckAll_Click();
    SetQueryKeyHook(NameRefused);
    MessageBoxCapture boxes;
    f.mnuFix_Click();
    SetQueryKeyHook(nullptr);
    ASSERT_EQ(2u, boxes.boxes.size());
    EXPECT_EQ(wow64, ValueExists(HKEY_LOCAL_MACHINE, key, "Gone"));
    EXPECT_EQ(wow64, boxes.boxes[1].text.find(L"\\Fix\\Gone: " + LangText(284) + L".") != std::wstring::npos)
        << boxes.boxes[1].text;
    WIN32_FIND_DATAA fd;
    HANDLE found = FindFirstFileA((BackupFolder() + "\\*.reg").c_str(), &fd);
    if (found != INVALID_HANDLE_VALUE) FindClose(found);
    EXPECT_EQ(wow64, found == INVALID_HANDLE_VALUE);
}

// Values of redirected keys (HKLM\Software, HKEY_CLASSES_ROOT), fixed, then put back by the
// restore window's editor and by the 64-bit editor run directly: each time in the key they were
// read from, with nothing in the other view.
TEST_F(Wow64, ABackupPutsValuesBackWhereTheyWereRead) {
    const bool wow64 = UnderWow64();
    const struct { HKEY root; const char* rootName; std::string key, real; } keys[] = {
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", Base + "\\Fix",
         wow64 ? "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\HalvrenTest\\Wow64\\Fix" : ""},
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", Clsid,
         wow64 ? "HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\" + Clsid : ""},
    };
    const std::string data = Files + "\\gone\\fix.exe";
    frmMain& f = frmMain::Get();
    std::string expected = "REGEDIT4\r\n";
    for (const auto& k : keys) {
        SetString(k.root, k.key, "Gone", data);
        f.cReg_SearchFound(k.rootName, k.key + "\\Gone", data, 2, "Gone");
        expected += "\r\n[" + (wow64 ? k.real : k.rootName + ("\\" + k.key)) +
                    "]\r\n\"Gone\"=\"C:\\\\halvren-test\\\\wow64\\\\gone\\\\fix.exe\"\r\n";
    }
    ASSERT_EQ(2, f.lvwRegErrors.Count());
    f.mnuCheckAll_Click();

    std::string backup;
    {
        MessageBoxCapture boxes;
        f.mnuFix_Click();
        ASSERT_EQ(2u, boxes.boxes.size());
        const std::wstring& text = boxes.boxes[0].text;
        const std::wstring head = LangText(217) + L" ";
        ASSERT_EQ(0u, text.find(head));
        backup = ToAnsi(text.substr(head.size(), text.size() - head.size() - 1));
    }
    // The rows show the keys as the walk saw them; the file names their real places.
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(FromAnsi(keys[r].key + "\\Gone"), f.lvwRegErrors.Cell(r, 2));
        EXPECT_FALSE(ValueExists(keys[r].root, keys[r].key, "Gone"));
    }
    EXPECT_EQ(UpperAnsi(expected), UpperAnsi(ReadFileBytes(backup)));

    auto expectBackWhereTheyWere = [&](const char* how) {
        SCOPED_TRACE(how);
        for (const auto& k : keys) {
            DWORD type = 0;
            std::string bytes;
            EXPECT_TRUE(ReadRaw(k.root, k.key, "Gone", type, bytes)) << k.key;
            EXPECT_EQ(data + '\0', bytes);
        }
        if (!wow64) return;
        for (const std::string& other : {std::string("Software\\HalvrenTest"), "Software\\Classes\\" + Clsid,
                                         std::string("Software\\Wow6432Node\\Wow6432Node"),
                                         std::string("Software\\Classes\\Wow6432Node\\Wow6432Node")})
            EXPECT_FALSE(NativeKeyExists(HKEY_LOCAL_MACHINE, other)) << other;
    };

    SetStartProgramHook(nullptr);
    {
        MessageBoxCapture boxes;
        OpenRestoreWindow([](frmRestore& w) {
            w.lvwRegBackups.SetChecked(0, true);
            w.mnuRestore_Click();
        });
        ASSERT_EQ(2u, boxes.boxes.size());
    }
    // The editor runs on its own: wait for the last value of the file.
    ASSERT_TRUE(PumpUntil([&] { return ValueExists(HKEY_CLASSES_ROOT, Clsid, "Gone"); }, 60000));
    PumpFor(500);
    expectBackWhereTheyWere("the restore window");

    for (const auto& k : keys) DeleteRegValue(k.root, k.key, "Gone");
    // Explorer, a 64-bit program there, starts the native editor; a 32-bit program reaches it with
    // the redirection off.
    PVOID redirection = nullptr;
    const bool off = wow64 && Wow64DisableWow64FsRedirection(&redirection);
    bool editorWow64 = true;
    const bool ran = RunToEnd("C:\\windows\\regedit.exe /s \"" + backup + "\"", &editorWow64);
    if (off) Wow64RevertWow64FsRedirection(redirection);
    ASSERT_TRUE(ran);
    EXPECT_FALSE(editorWow64 && wow64) << "the editor ran as a 32-bit program";
    expectBackWhereTheyWere("the native editor");
}
