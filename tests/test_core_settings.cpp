// The settings store, the single value edits and the root-name maps, against the real registry.
#include "core/App.h"
#include "core/mdlMain.h"
#include "core/modRegistry2.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

namespace {

const char Base[] = "Software\\HalvrenTest\\Core";   // below HKEY_CURRENT_USER
const char Settings[] = "Software\\HalvrenTest\\Core\\Halvren\\Settings";

struct Raw {
    bool found = false;
    DWORD type = 0;
    std::string data;
};

Raw Query(const std::string& key, const std::string& name, HKEY root = HKEY_CURRENT_USER)
{
    Raw r;
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return r;
    BYTE buf[4096];
    DWORD size = sizeof buf;
    if (RegQueryValueExA(h, name.c_str(), nullptr, &r.type, buf, &size) == ERROR_SUCCESS) {
        r.found = true;
        r.data.assign(reinterpret_cast<char*>(buf), size);
    }
    RegCloseKey(h);
    return r;
}

// Stores exactly the given bytes: the registry would count a NUL right behind string data
// into the value, so a non-NUL byte follows them.
void Put(const std::string& key, const std::string& name, DWORD type, const std::string& bytes)
{
    std::string data = bytes + '\x01';
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &h, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                            (DWORD)bytes.size()));
    RegCloseKey(h);
}

bool KeyExists(const std::string& key)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

RegVariant Get(const std::string& name, bool writeAccess = false)
{
    return GetRegSetting("Halvren", "Settings", name, "dflt", HKEY_CURRENT_USER, Base, writeAccess);
}

bool Save(const std::string& name, const std::string& value, DWORD type = REG_SZ)
{
    return SaveRegSetting("Halvren", "Settings", name, value, HKEY_CURRENT_USER, Base, type);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, Base); }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, Base); }
};

} // namespace

TEST(CoreSettings, JoinKeyPathCollapsesBackslashesBeforeTurningSlashes)
{
    EXPECT_EQ("SOFTWARE\\Quorvane\\Halvren\\Settings", JoinKeyPath("SOFTWARE\\Quorvane", AppTitle, "Settings"));
    EXPECT_EQ("a\\\\b", JoinKeyPath("a//b", "", ""));
    EXPECT_EQ("a\\b", JoinKeyPath("a\\\\\\b", "", ""));
    EXPECT_EQ("SOFTWARE\\Quorvane\\\\Halvren", JoinKeyPath("SOFTWARE\\\\Quorvane/", AppTitle, ""));
    EXPECT_EQ("x\\z", JoinKeyPath("", "x", "z"));
    EXPECT_EQ("", JoinKeyPath("", "", ""));
}

TEST_F(Registry, SavedTextIsStoredWithItsNulAndReadBack)
{
    EXPECT_FALSE(KeyExists(Settings));
    EXPECT_TRUE(Save("Recommended", "1"));
    Raw r = Query(Settings, "Recommended");   // every missing parent was created
    ASSERT_TRUE(r.found);
    EXPECT_EQ(REG_SZ, r.type);
    EXPECT_EQ(std::string("1\0", 2), r.data);
    RegVariant v = Get("Recommended");
    EXPECT_FALSE(v.isNumber);
    EXPECT_EQ("1", v.str());

    EXPECT_TRUE(Save("Pad", " 1 "));
    EXPECT_EQ(" 1 ", Get("Pad").str());   // handed out untrimmed
    EXPECT_TRUE(Save("Tab", "\t"));
    EXPECT_EQ("\t", Get("Tab").str());    // only spaces count as blank
    EXPECT_EQ(" 1 ", Get("Pad", true).str());
}

TEST_F(Registry, MissingBlankAndUnhandledValuesGiveTheDefault)
{
    EXPECT_EQ("dflt", Get("Never").str());   // no key at all
    Save("Spaces", "   ");
    Save("Empty", "");
    Put(Settings, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    Put(Settings, "None", REG_NONE, "x");
    Put(Settings, "NoBytes", REG_BINARY, "");
    for (const char* name : {"Never", "Spaces", "Empty", "Multi", "None", "NoBytes"}) {
        RegVariant v = Get(name);
        EXPECT_FALSE(v.isNumber) << name;
        EXPECT_EQ("dflt", v.text) << name;
    }
    EXPECT_EQ("", GetRegSetting("Halvren", "Settings", "Never", "", HKEY_CURRENT_USER, Base, false).str());
}

TEST_F(Registry, ValueTypesReadAsTheStoreHandsThemOut)
{
    Put(Settings, "Dword", REG_DWORD, std::string("\x05\0\0\0", 4));
    Put(Settings, "Zero", REG_DWORD, std::string("\0\0\0\0", 4));
    Put(Settings, "Negative", REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4));
    Put(Settings, "Big", REG_DWORD_BIG_ENDIAN, std::string("\x01\0\0\0", 4));
    Put(Settings, "Short", REG_DWORD, std::string("\x05\0", 2));
    Put(Settings, "Binary", REG_BINARY, "\x0A\x1B\xFF");
    Put(Settings, "Byte", REG_BINARY, "\x05");
    Put(Settings, "Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
    Put(Settings, "NoNul", REG_SZ, "abc");

    RegVariant v = Get("Dword");
    EXPECT_TRUE(v.isNumber);
    EXPECT_EQ(5, v.number);
    EXPECT_EQ("5", v.str());
    EXPECT_TRUE(Get("Zero").isNumber);   // the number 0 is a value, not a blank
    EXPECT_EQ(0, Get("Zero").number);
    EXPECT_EQ(-2, Get("Negative").number);
    EXPECT_EQ(1, Get("Big").number);     // little-endian for both DWORD types
    EXPECT_EQ(5, Get("Short").number);   // short data is not padded with stray bytes
    EXPECT_EQ("0A 1B FF", Get("Binary").str());
    EXPECT_EQ("05", Get("Byte").str());
    EXPECT_EQ("%TEMP%\\x", Get("Expand").str());
    EXPECT_EQ("abc", Get("NoNul").str());   // text stored without a NUL keeps its last character

    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, Settings, 0, KEY_READ, &h));
    Put(Settings, "Multi", REG_MULTI_SZ, std::string("a\0\0", 3));
    Put(Settings, "EmptySz", REG_SZ, "");
    RegVariant out("stale");
    DWORD type = 99;
    EXPECT_EQ(-1, ReadRegValue(h, "Multi", out, type));
    EXPECT_EQ((DWORD)REG_MULTI_SZ, type);
    EXPECT_EQ("", out.str());
    EXPECT_NE(0, ReadRegValue(h, "Missing", out, type));
    EXPECT_EQ(0u, type);
    EXPECT_EQ(0, ReadRegValue(h, "EmptySz", out, type));
    EXPECT_EQ("", out.str());
    RegCloseKey(h);
}

TEST_F(Registry, SavingDwordTypesConvertsOrReportsFalse)
{
    EXPECT_TRUE(Save("Num", "42", REG_DWORD));
    Raw r = Query(Settings, "Num");
    EXPECT_EQ((DWORD)REG_DWORD, r.type);
    EXPECT_EQ(std::string("\x2A\0\0\0", 4), r.data);
    EXPECT_TRUE(Save("BigNum", "1", REG_DWORD_BIG_ENDIAN));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), Query(Settings, "BigNum").data);
    EXPECT_TRUE(Save("Half", "2.5", REG_DWORD));
    EXPECT_EQ(2, Get("Half").number);
    EXPECT_TRUE(Save("Minus", " -7 ", REG_DWORD));
    EXPECT_EQ(-7, Get("Minus").number);

    EXPECT_FALSE(Save("Bad", "abc", REG_DWORD));
    EXPECT_FALSE(Save("Bad", "", REG_DWORD));
    EXPECT_FALSE(Save("Bad", "99999999999", REG_DWORD));
    EXPECT_FALSE(Query(Settings, "Bad").found);
    EXPECT_TRUE(Save("Bin", "0A", REG_BINARY));   // binary is never written
    EXPECT_FALSE(Query(Settings, "Bin").found);
    EXPECT_TRUE(Save("Expand", "%PATH%", REG_EXPAND_SZ));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, Query(Settings, "Expand").type);
}

TEST_F(Registry, DeleteRegSettingRemovesValuesAndWholeTrees)
{
    Save("Gone", "x");
    Save("Kept", "y");
    EXPECT_TRUE(DeleteRegSetting("Halvren", "Settings", "Gone", HKEY_CURRENT_USER, Base));
    EXPECT_FALSE(Query(Settings, "Gone").found);
    EXPECT_TRUE(Query(Settings, "Kept").found);
    EXPECT_FALSE(DeleteRegSetting("Halvren", "Settings", "Gone", HKEY_CURRENT_USER, Base));
    // Deleting a value of a missing key creates that key, empty.
    EXPECT_FALSE(DeleteRegSetting("Other", "Sec", "V", HKEY_CURRENT_USER, Base));
    EXPECT_TRUE(KeyExists(std::string(Base) + "\\Other\\Sec"));

    std::string tree = std::string(Base) + "\\Tree";
    Put(tree + "\\A\\B\\C", "v", REG_SZ, "1");
    Put(tree + "\\A\\D", "v", REG_SZ, "1");
    Put(tree + "\\E", "v", REG_SZ, "1");
    Put(tree, "v", REG_SZ, "1");
    EXPECT_TRUE(DeleteRegSetting("Tree", "", "", HKEY_CURRENT_USER, Base));
    EXPECT_FALSE(KeyExists(tree));
    EXPECT_TRUE(KeyExists(Base));
    EXPECT_FALSE(DeleteRegSetting("Tree", "", "", HKEY_CURRENT_USER, Base));   // nothing left to delete

    // An empty key path never deletes the key it is relative to.
    HKEY h;
    Put(std::string(Base) + "\\Leaf", "v", REG_SZ, "1");
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(Base) + "\\Leaf").c_str(), 0,
                                           KEY_ALL_ACCESS, &h));
    EXPECT_FALSE(DeleteRegSetting("", "", "", h, ""));
    EXPECT_FALSE(DeleteRegSetting("\\", "", "", h, "\\"));
    RegCloseKey(h);
    EXPECT_TRUE(KeyExists(std::string(Base) + "\\Leaf"));
}

TEST(CoreSettings, RootNameMaps)
{
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootNameToKey("HKEY_CLASSES_ROOT"));
    EXPECT_EQ(HKEY_CURRENT_USER, RootNameToKey("hkey_current_user"));
    EXPECT_EQ(HKEY_CURRENT_CONFIG, RootNameToKey("HKEY_CURRENT_CONFIG"));
    EXPECT_EQ(nullptr, RootNameToKey("HKEY_DYN_DATA"));
    EXPECT_EQ(nullptr, RootNameToKey("HKEY_PERFORMANCE_DATA"));
    EXPECT_EQ("HKEY_LOCAL_MACHINE", RootKeyToName(HKEY_LOCAL_MACHINE));
    EXPECT_EQ("HKEY_USERS", RootKeyToName(HKEY_USERS));
    EXPECT_EQ("", RootKeyToName(HKEY_PERFORMANCE_DATA));

    EXPECT_EQ(nullptr, GetRootKeyHandle("HKEY_ALL"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000000, GetRootKeyHandle("HKEY_CLASSES_ROOT"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000001, GetRootKeyHandle("HKEY_CURRENT_USER"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000002, GetRootKeyHandle("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000003, GetRootKeyHandle("HKEY_USERS"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000004, GetRootKeyHandle("HKEY_PERFORMANCE_DATA"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000005, GetRootKeyHandle("HKEY_CURRENT_CONFIG"));
    EXPECT_EQ((HKEY)(ULONG_PTR)0x80000006, GetRootKeyHandle("HKEY_DYN_DATA"));
    EXPECT_EQ(nullptr, GetRootKeyHandle("hkey_local_machine"));
    EXPECT_EQ(nullptr, GetRootKeyHandle("HKEY_LOCAL_MACHINE "));
    EXPECT_EQ(nullptr, GetRootKeyHandle(""));
}

TEST_F(Registry, SetRegStringValueWritesTextOnlyIntoExistingKeys)
{
    std::string run = std::string(Base) + "\\Run";
    EXPECT_FALSE(SetRegStringValue(HKEY_CURRENT_USER, run, "Halvren", "C:\\Prog\\halvren.exe"));
    EXPECT_FALSE(KeyExists(run));   // never created

    Put(run, "Other", REG_DWORD, std::string("\x07\0\0\0", 4));
    EXPECT_TRUE(SetRegStringValue(HKEY_CURRENT_USER, run, "Halvren", "C:\\Prog\\halvren.exe"));
    Raw r = Query(run, "Halvren");
    EXPECT_EQ((DWORD)REG_SZ, r.type);
    EXPECT_EQ("C:\\Prog\\halvren.exe", r.data);   // 19 bytes, no NUL
    EXPECT_EQ(19u, r.data.size());

    EXPECT_TRUE(SetRegStringValue(HKEY_CURRENT_USER, run, "Halvren", "D:\\x.exe"));
    EXPECT_EQ("D:\\x.exe", Query(run, "Halvren").data);

    // A value of another type keeps its type and data.
    SetRegStringValue(HKEY_CURRENT_USER, run, "Other", "C:\\Prog\\halvren.exe");
    r = Query(run, "Other");
    EXPECT_EQ((DWORD)REG_DWORD, r.type);
    EXPECT_EQ(std::string("\x07\0\0\0", 4), r.data);

    // Text too long for the query buffer is refused and left alone.
    std::string longText(2000, 'L');
    Put(run, "Long", REG_SZ, longText);
    EXPECT_FALSE(SetRegStringValue(HKEY_CURRENT_USER, run, "Long", "short"));
    EXPECT_EQ(longText, Query(run, "Long").data);
}

TEST_F(Registry, DeleteRegValuePathSplitsAtTheLastBackslash)
{
    std::string key = std::string(Base) + "\\A\\B";
    Put(key, "Name", REG_SZ, "C:\\gone.exe");
    Put(key, "", REG_SZ, "default");
    Put(key, "Stay", REG_SZ, "x");
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, key + "\\Name", "any text"));
    EXPECT_FALSE(Query(key, "Name").found);
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, key + "\\", ""));
    EXPECT_FALSE(Query(key, "").found);
    EXPECT_TRUE(Query(key, "Stay").found);

    std::string gone = std::string(Base) + "\\A\\Gone";
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, gone + "\\Name", ""));
    EXPECT_TRUE(KeyExists(gone));   // created empty, nothing deleted

    // Without a backslash nothing is touched.
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &h));
    EXPECT_FALSE(DeleteRegValuePath(h, "Stay", ""));
    RegCloseKey(h);
    EXPECT_TRUE(Query(key, "Stay").found);

    // An unknown root name gives 0, with which nothing is opened or created.
    std::string other = std::string(Base) + "\\Unknown";
    DeleteRegValuePath(GetRootKeyHandle("HKEY_ALL"), other + "\\Name", "");
    EXPECT_FALSE(KeyExists(other));

    DeleteRegValue(HKEY_CURRENT_USER, key, "Stay");
    EXPECT_FALSE(Query(key, "Stay").found);
}

TEST(CoreSettings, ProgramSettingsLiveUnderTheSettingsKey)
{
    const char key[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";
    const char name[] = "HalvrenCoreTestProbe";
    EXPECT_TRUE(SaveSetting(name, "probe"));
    Raw r = Query(key, name);
    EXPECT_EQ((DWORD)REG_SZ, r.type);
    EXPECT_EQ(std::string("probe\0", 6), r.data);
    EXPECT_EQ("probe", GetSetting(name).str());
    EXPECT_TRUE(DeleteRegSetting(AppTitle, "Settings", name, HKEY_CURRENT_USER, "SOFTWARE\\Quorvane"));
    EXPECT_EQ("", GetSetting(name).str());
}
