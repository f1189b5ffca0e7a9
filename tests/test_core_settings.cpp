// The settings store, the single value edits and the root-name maps, against the real registry.
#include "core/App.h"
#include "core/mdlMain.h"
#include "core/modRegistry2.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

namespace {

const std::string Base = "Software\\HalvrenTest\\Core";   // below HKEY_CURRENT_USER
const std::string Settings = Base + "\\Halvren\\Settings";
const std::string Dw7("\x07\0\0\0", 4);

// The raw bytes of a value under HKEY_CURRENT_USER; "<nokey>" or "<none>" when missing.
std::string Query(const std::string& key, const std::string& name, DWORD* type = nullptr)
{
    HKEY h;
    BYTE buf[4096];
    DWORD size = sizeof buf;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return "<nokey>";
    LONG rc = RegQueryValueExA(h, name.c_str(), nullptr, type, buf, &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(buf), size) : "<none>";
}

bool KeyExists(const std::string& key) { return Query(key, "") != "<nokey>"; }

// Stores exactly these bytes (a non-NUL byte behind them keeps the registry from counting a NUL in).
void Put(const std::string& key, const std::string& name, DWORD type, const std::string& bytes)
{
    std::string data = bytes + '\x01';
    SHSetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), type, data.data(), (DWORD)bytes.size());
}

RegVariant Get(const std::string& name, bool writeAccess = false)
{
    return GetRegSetting("Halvren", "Settings", name, "dflt", HKEY_CURRENT_USER, Base, writeAccess);
}

bool Save(const std::string& name, const std::string& value, DWORD type = REG_SZ)
{
    return SaveRegSetting("Halvren", "Settings", name, value, HKEY_CURRENT_USER, Base, type);
}

struct Registry : ::testing::Test {
    void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, Base.c_str()); }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, Base.c_str()); }
};

} // namespace

TEST(CoreSettings, KeyPathsAndRootNames)
{
    EXPECT_EQ("SOFTWARE\\Quorvane\\Halvren\\Settings", JoinKeyPath("SOFTWARE\\Quorvane", AppTitle, "Settings"));
    EXPECT_EQ("a\\\\b", JoinKeyPath("a//b", "", ""));   // backslashes collapse before slashes turn
    EXPECT_EQ("a\\b", JoinKeyPath("a\\\\\\b", "", ""));
    // The fix and the backup name roots exactly as the list shows them.
    EXPECT_EQ(HKEY_USERS, GetRootKeyHandle("HKEY_USERS"));
    for (const char* unknown : {"HKEY_ALL", "hkey_local_machine", "HKEY_LOCAL_MACHINE ", ""})
        EXPECT_EQ(nullptr, GetRootKeyHandle(unknown)) << unknown;
}

TEST_F(Registry, SettingsRoundTripAndDefaults)
{
    EXPECT_EQ("dflt", Get("Never").str());   // no key at all
    EXPECT_TRUE(Save("Recommended", "1"));   // every missing parent is created
    DWORD type = 0;
    EXPECT_EQ(std::string("1\0", 2), Query(Settings, "Recommended", &type));
    EXPECT_EQ((DWORD)REG_SZ, type);

    // name, type, bytes, ReadRegValue's code, number?, what it reads, what the store hands out
    struct Case { const char* name; DWORD type; std::string bytes; LONG rc; bool number; const char *read, *got; };
    const Case cases[] = {
        {"Pad", REG_SZ, std::string(" 1 \0", 4), 0, false, " 1 ", " 1 "},   // handed out untrimmed
        {"Spaces", REG_SZ, std::string("   \0", 4), 0, false, "   ", "dflt"},
        {"NoNul", REG_SZ, "abc", 0, false, "abc", "abc"},
        {"Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), 0, false, "%TEMP%\\x", "%TEMP%\\x"},
        {"Zero", REG_DWORD, std::string("\0\0\0\0", 4), 0, true, "0", "0"},
        {"Negative", REG_DWORD, "\xFE\xFF\xFF\xFF", 0, true, "-2", "-2"},
        {"Big", REG_DWORD_BIG_ENDIAN, std::string("\x01\0\0\0", 4), 0, true, "1", "1"},   // read little-endian
        {"Short", REG_DWORD, std::string("\x05\0", 2), 0, true, "5", "5"},
        {"Binary", REG_BINARY, "\x0A\x1B\xFF", 0, false, "0A 1B FF", "0A 1B FF"},
        {"NoBytes", REG_BINARY, "", 0, false, "", "dflt"},
        {"Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), -1, false, "", "dflt"},
        {"None", REG_NONE, "x", -1, false, "", "dflt"},
    };
    HKEY h;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, Settings.c_str(), 0, KEY_READ, &h));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(Settings, c.name, c.type, c.bytes);
        RegVariant v("stale");
        EXPECT_EQ(c.rc, ReadRegValue(h, c.name, v, type));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.number, v.isNumber && Get(c.name).isNumber);
        EXPECT_EQ(c.read, v.str());
        EXPECT_EQ(c.got, Get(c.name, true).str());
    }
    RegCloseKey(h);

    // DWORD types convert the text or report false; binary is never written.
    EXPECT_TRUE(Save("Num", "42", REG_DWORD));
    EXPECT_EQ(std::string("\x2A\0\0\0", 4), Query(Settings, "Num"));
    EXPECT_TRUE(Save("Minus", " -7 ", REG_DWORD));
    EXPECT_EQ(-7, Get("Minus").number);
    for (const char* bad : {"abc", "", "99999999999"})
        EXPECT_FALSE(Save("Bad", bad, REG_DWORD)) << bad;
    EXPECT_TRUE(Save("Bin", "0A", REG_BINARY));
    EXPECT_EQ("<none><none>", Query(Settings, "Bad") + Query(Settings, "Bin"));
}

TEST_F(Registry, DeletesAndSingleValueEdits)
{
    Save("Gone", "x");
    Save("Kept", "y");
    EXPECT_TRUE(DeleteRegSetting("Halvren", "Settings", "Gone", HKEY_CURRENT_USER, Base));
    EXPECT_EQ("<none>", Query(Settings, "Gone"));
    for (const char* sub : {"\\A\\B\\C", "\\A\\D", "\\E", ""})
        Put(Base + "\\Tree" + sub, "v", REG_SZ, "1");
    EXPECT_TRUE(DeleteRegSetting("Tree", "", "", HKEY_CURRENT_USER, Base));   // a whole tree
    EXPECT_FALSE(KeyExists(Base + "\\Tree"));

    // The Run entry: never creates the key; a value of another type keeps its type and data.
    std::string run = Base + "\\Run";
    EXPECT_FALSE(SetRegStringValue(HKEY_CURRENT_USER, run, "Halvren", "C:\\Prog\\halvren.exe"));
    EXPECT_FALSE(KeyExists(run));
    Put(run, "Other", REG_DWORD, Dw7);
    EXPECT_TRUE(SetRegStringValue(HKEY_CURRENT_USER, run, "Halvren", "C:\\Prog\\halvren.exe"));
    SetRegStringValue(HKEY_CURRENT_USER, run, "Other", "C:\\Prog\\halvren.exe");
    DWORD type = 0;
    EXPECT_EQ("C:\\Prog\\halvren.exe", Query(run, "Halvren", &type));   // 19 bytes, no NUL
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ(Dw7, Query(run, "Other", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);

    // DeleteRegValuePath splits at the last backslash; an empty key path or a value path
    // without a backslash deletes nothing.
    Put(run, "", REG_SZ, "x");
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, run + "\\Halvren", "any text"));
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, run + "\\", ""));   // the default value
    EXPECT_EQ("<none><none>", Query(run, "Halvren") + Query(run, ""));
    // A key that is gone is not made again by the deletion.
    EXPECT_TRUE(DeleteRegValuePath(HKEY_CURRENT_USER, Base + "\\Gone\\Name", ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteRegValue(HKEY_CURRENT_USER, Base + "\\Gone", "Name"));
    EXPECT_FALSE(KeyExists(Base + "\\Gone"));
    HKEY h;
    Put(Base, "Stay", REG_SZ, "x");
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, Base.c_str(), 0, KEY_ALL_ACCESS, &h));
    EXPECT_FALSE(DeleteRegSetting("", "", "", h, ""));
    EXPECT_FALSE(DeleteRegSetting("\\", "", "", h, "\\"));
    EXPECT_FALSE(DeleteRegValuePath(h, "Stay", ""));
    RegCloseKey(h);
    EXPECT_EQ("x", Query(Base, "Stay"));
    EXPECT_EQ(std::string("y\0", 2), Query(Settings, "Kept"));
}
