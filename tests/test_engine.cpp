// The scan engine against real subtrees of the prefix registry.
#include "scan/cRegSearch.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char Base[] = "Software\\HalvrenTest\\Engine";
const char RootMark[] = "HalvrenEngineRootMark";
const int32_t HKCU = static_cast<int32_t>(0x80000001u);
const std::string CU = "HKEY_CURRENT_USER";

// Records every event as one line: "K <key>", "F <root>|<key>|<text>|<n>", "E <reason>".
struct Recorder : cRegSearchEvents
{
    std::vector<std::string> log;
    std::vector<std::string> names;  // the value name of every SearchFound
    std::function<void(const std::string&)> onFound;
    std::function<void(const std::string&)> onKey;

    void SearchFound(const std::string& r, const std::string& k, const std::string& v, int32_t n,
                     const std::string& name) override
    {
        names.push_back(name);
        const std::string line = "F " + r + "|" + k + "|" + v + "|" + std::to_string(n);
        log.push_back(line);
        if (onFound)
            onFound(line);
    }
    void SearchFinished(int32_t lReason) override { log.push_back("E " + std::to_string(lReason)); }
    void SearchKeyChanged(const std::string& s) override
    {
        log.push_back("K " + s);
        if (onKey)
            onKey(s);
    }
};

// Deletes a key and everything below it.
bool DeleteTree(HKEY hParent, const std::string& name)
{
    HKEY h;
    if (RegOpenKeyExA(hParent, name.c_str(), 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS) {
        char sub[512];
        for (;;) {
            DWORD cch = sizeof(sub);
            if (RegEnumKeyExA(h, 0, sub, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
                !DeleteTree(h, sub))
                break;
        }
        RegCloseKey(h);
    }
    return RegDeleteKeyA(hParent, name.c_str()) == ERROR_SUCCESS;
}

bool SetKeyDacl(const std::string& path, const char* sddl)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr) &&
              RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    if (sd)
        LocalFree(sd);
    RegCloseKey(h);
    return ok;
}

class Engine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clean();
        ASSERT_TRUE(MakeKey(""));
    }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        SetKeyDacl(Path("Denied\\locked"), "D:(A;;KA;;;WD)");
        DeleteTree(HKEY_CURRENT_USER, Base);
        RegDeleteValueA(HKEY_CURRENT_USER, RootMark);
    }
    static std::string Path(const std::string& sub) { return sub.empty() ? Base : std::string(Base) + "\\" + sub; }

    static bool MakeKey(const std::string& sub)
    {
        HKEY h;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                            nullptr) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }
    static void SetRaw(const std::string& sub, const std::string& name, DWORD type, const std::string& bytes)
    {
        HKEY h;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &h, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }
    static void SetSz(const std::string& sub, const std::string& name, const std::string& text)
    {
        SetRaw(sub, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
    }

    // One walk of a subtree of the test key.
    static std::vector<std::string> Walk(cRegSearch& s, Recorder& rec, const std::string& sub, int32_t flags,
                                         const std::string& text)
    {
        s.SetRootKey(HKCU);
        s.SetSubKey(Path(sub));
        s.SetSearchFlags(flags);
        s.SetSearchString(text);
        rec.log.clear();
        s.DoSearch();
        return rec.log;
    }
    static std::string K(const std::string& sub) { return "K " + CU + "\\" + Path(sub); }
    static std::string F(const std::string& key, const std::string& text, int n)
    {
        return "F " + CU + "|" + Path(key) + "|" + text + "|" + std::to_string(n);
    }
};

TEST_F(Engine, WalksPreOrderAndRaisesEventsInOrder)
{
    SetSz("Order", "top", "hit on the start key");
    SetSz("Order\\alpha", "plain", "nothing here");
    SetSz("Order\\alpha", "hitname", "HIT data");
    SetSz("Order\\alpha\\deep", "", "a Hit in the default value");
    ASSERT_TRUE(MakeKey("Order\\beta"));
    ASSERT_TRUE(MakeKey("Order\\Hitkey"));

    Recorder rec;
    cRegSearch s(&rec);
    int yields = 0;
    s.SetYield([&] { ++yields; });
    const std::vector<std::string> expected = {
        F("Order\\top", "hit on the start key", 2),
        K("Order\\alpha"),
        F("Order\\alpha\\hitname", "HIT data", 1),
        F("Order\\alpha\\hitname", "HIT data", 2),
        K("Order\\alpha\\deep"),
        F("Order\\alpha\\deep\\", "a Hit in the default value", 2),
        K("Order\\beta"),
        K("Order\\Hitkey"),
        F("Order\\Hitkey", "*", 0),
        "E 0",
    };
    EXPECT_EQ(Walk(s, rec, "Order", 3, "hit"), expected);
    // One yield per subkey plus the one that finds the end of each list of the 5 keys opened.
    EXPECT_EQ(yields, 4 + 5);

    // Key names are tested whatever the flags; values only on request.
    const std::vector<std::string> keysOnly = {K("Order\\alpha"), K("Order\\alpha\\deep"), K("Order\\beta"),
                                               K("Order\\Hitkey"), F("Order\\Hitkey", "*", 0), "E 0"};
    EXPECT_EQ(Walk(s, rec, "Order", 0, "hit"), keysOnly);
    // Value names only.
    std::vector<std::string> log = Walk(s, rec, "Order", 1, "HITNAME");
    EXPECT_EQ(std::count(log.begin(), log.end(), F("Order\\alpha\\hitname", "HIT data", 1)), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l[0] == 'F'; }), 1);

    // A start key that does not exist: nothing but the end.
    EXPECT_EQ(Walk(s, rec, "NoSuchKey", 3, "hit"), std::vector<std::string>{"E 0"});
}

TEST_F(Engine, ValuesUnderTheRootAndUnderASubKey)
{
    // A value directly under the root, walked with SubKey "": its path starts with "\".
    ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, RootMark, 0, REG_SZ, reinterpret_cast<const BYTE*>("zq-mark root"),
                             13),
              ERROR_SUCCESS);
    SetSz("Sub", "v", "zq-mark below");

    Recorder rec;
    cRegSearch s(&rec);
    s.SetRootKey(HKCU);
    s.SetSubKey("");
    s.SetSearchFlags(2);
    s.SetSearchString("ZQ-MARK");
    s.DoSearch();
    const std::vector<std::string> hits = [&] {
        std::vector<std::string> h;
        for (const auto& l : rec.log)
            if (l[0] == 'F')
                h.push_back(l);
        return h;
    }();
    const std::vector<std::string> expected = {"F " + CU + "|\\" + RootMark + "|zq-mark root|2",
                                               F("Sub\\v", "zq-mark below", 2)};
    EXPECT_EQ(hits, expected);
    EXPECT_EQ(rec.log.back(), "E 0");
    // The start key itself is neither announced nor tested by name.
    EXPECT_EQ(std::count(rec.log.begin(), rec.log.end(), "K " + CU), 0);
}

TEST_F(Engine, ValueNamesHoldingBackslashesAreReportedWhole)
{
    // The key column cannot tell key path from value name; the event's value name can.
    SetSz("Names\\K", "C:\\dir\\app.exe", "c:\\other.exe");
    Recorder rec;
    cRegSearch s(&rec);
    const std::vector<std::string> expected = {K("Names\\K"), F("Names\\K\\C:\\dir\\app.exe", "c:\\other.exe", 1),
                                               F("Names\\K\\C:\\dir\\app.exe", "c:\\other.exe", 2), "E 0"};
    rec.names.clear();
    EXPECT_EQ(Walk(s, rec, "Names", 3, "C:\\"), expected);
    EXPECT_EQ(rec.names, (std::vector<std::string>{"C:\\dir\\app.exe", "C:\\dir\\app.exe"}));
}

TEST_F(Engine, AllRootsWalkEveryRootInOrderWithoutTheirOwnValues)
{
    ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, RootMark, 0, REG_SZ, reinterpret_cast<const BYTE*>("zq-mark root"),
                             13),
              ERROR_SUCCESS);
    SetSz("All", "v", "C:\\zq-mark\\below.exe");

    Recorder rec;
    cRegSearch s(&rec);
    s.SetRootKey(0);
    s.SetSubKey("");
    s.SetSearchFlags(3);
    s.SetSearchString("zq-mark");
    s.DoSearch();
    ASSERT_GT(rec.log.size(), 100u);

    char first[512];
    DWORD cch = sizeof(first);
    ASSERT_EQ(RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, first, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(rec.log.front(), std::string("K HKEY_CLASSES_ROOT\\") + first);
    EXPECT_EQ(rec.log.back(), "E 0");

    const std::vector<std::string> roots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                            "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                            "HKEY_DYN_DATA"};
    std::vector<std::string> seen;
    for (const auto& l : rec.log) {
        if (l[0] != 'K')
            continue;
        const std::string root = l.substr(2, l.find('\\') - 2);
        if (seen.empty() || seen.back() != root)
            seen.push_back(root);
    }
    // Each root once, in handle order; every root of the prefix that has subkeys is there.
    std::vector<std::string> ordered;
    for (const auto& r : roots)
        if (std::find(seen.begin(), seen.end(), r) != seen.end())
            ordered.push_back(r);
    EXPECT_EQ(seen, ordered);
    for (const char* r : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), r), seen.end()) << r;

    const std::string below = F("All\\v", "C:\\zq-mark\\below.exe", 2);
    EXPECT_EQ(std::count(rec.log.begin(), rec.log.end(), below), 1);
    // The root's own value would have the path "\<name>".
    for (const auto& l : rec.log)
        EXPECT_EQ(l.find(std::string("|\\") + RootMark), std::string::npos) << l;
}

TEST_F(Engine, DataTextOfEveryType)
{
    const std::string big(5000, 'x');
    SetRaw("Types", "t_sz", REG_SZ, std::string("Text C:\\a\0", 10));
    SetRaw("Types", "t_sz_empty", REG_SZ, std::string("\0", 1));
    SetRaw("Types", "t_sz_nodata", REG_SZ, "");
    SetRaw("Types", "t_bin", REG_BINARY, "\x0A\x1B\xFF");
    SetRaw("Types", "t_bin_empty", REG_BINARY, "");
    SetRaw("Types", "t_dword", REG_DWORD, std::string("\x1A\0\0\0", 4));
    SetRaw("Types", "t_dword_neg", REG_DWORD, "\xFF\xFF\xFF\xFF");
    SetRaw("Types", "t_dword_short", REG_DWORD, "\x34\x12");
    SetRaw("Types", "t_dword_empty", REG_DWORD, "");
    SetRaw("Types", "t_multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    SetRaw("Types", "t_expand", REG_EXPAND_SZ, std::string("C:\\x.exe\0", 9));
    SetRaw("Types", "t_none", REG_NONE, "C:\\");
    SetRaw("Types", "t_qword", REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8));
    SetRaw("Types", "t_bin_big", REG_BINARY, big);

    Recorder rec;
    cRegSearch s(&rec);
    std::map<std::string, std::string> text;
    for (const auto& l : Walk(s, rec, "Types", 1, "T_")) {
        if (l[0] != 'F')
            continue;
        const size_t a = l.find('|'), b = l.find('|', a + 1), c = l.rfind('|');
        const std::string key = l.substr(a + 1, b - a - 1);
        text[key.substr(key.rfind('\\') + 1)] = l.substr(b + 1, c - b - 1);
    }
    std::string bigHex;
    for (size_t k = 0; k < big.size(); ++k)
        bigHex += k ? " 78" : "78";
    const std::map<std::string, std::string> expected = {
        {"t_sz", "Text C:\\a"},
        {"t_sz_empty", ""},
        {"t_sz_nodata", ""},
        {"t_bin", "0A 1B FF"},
        {"t_bin_empty", "00"},
        {"t_dword", "0x0000001A(26)"},
        {"t_dword_neg", "0xFFFFFFFF(-1)"},
        // Short DWORD data: the bytes present, zero-extended.
        {"t_dword_short", "0x00001234(4660)"},
        {"t_dword_empty", "0x00000000(0)"},
        {"t_multi", "a"},
        {"t_expand", "Temporarily unsupported"},
        {"t_none", "Temporarily unsupported"},
        {"t_qword", "Temporarily unsupported"},
        {"t_bin_big", bigHex},
    };
    EXPECT_EQ(text, expected);

    // Only string data is searched as text: the expanded string and REG_NONE never hit.
    const std::vector<std::string> dataHits = {F("Types\\t_sz", "Text C:\\a", 2), "E 0"};
    EXPECT_EQ(Walk(s, rec, "Types", 2, "c:\\"), dataHits);
}

TEST_F(Engine, LargeValuesAndLongNamesAreExaminedAndLaterValuesToo)
{
    // Larger than any buffer the engine starts with.
    const std::string bigText = std::string(100000, 'q') + " C:\\big.exe";
    const std::string longName = "b_" + std::string(300, 'n');
    SetSz("Large", "a_big", bigText);
    SetSz("Large", longName, "C:\\long.exe");
    SetRaw("Large", "c_bigbin", REG_BINARY, std::string(70000, '\x5A'));
    SetSz("Large", "d_after", "C:\\after.exe");
    SetSz("Large\\sub", "v", "C:\\sub.exe");

    Recorder rec;
    cRegSearch s(&rec);
    const std::vector<std::string> expected = {
        F("Large\\a_big", bigText, 2),
        F("Large\\" + longName, "C:\\long.exe", 2),
        F("Large\\d_after", "C:\\after.exe", 2),
        K("Large\\sub"),
        F("Large\\sub\\v", "C:\\sub.exe", 2),
        "E 0",
    };
    EXPECT_EQ(Walk(s, rec, "Large", 3, "C:\\"), expected);
    // The same instance walks again with the grown buffers.
    EXPECT_EQ(Walk(s, rec, "Large", 3, "C:\\"), expected);
}

TEST_F(Engine, WholeTextAndLetterCase)
{
    SetSz("Whole", "exact", "C:\\");
    SetSz("Whole", "longer", "C:\\x");
    SetSz("Whole", "lower", "c:\\");
    SetSz("Whole", "c:\\", "named");

    Recorder rec;
    cRegSearch s(&rec);
    const std::vector<std::string> whole = {F("Whole\\exact", "C:\\", 2), F("Whole\\lower", "c:\\", 2), "E 0"};
    EXPECT_EQ(Walk(s, rec, "Whole", 6, "c:\\"), whole);
    const std::vector<std::string> names = {F("Whole\\c:\\", "named", 1), "E 0"};
    EXPECT_EQ(Walk(s, rec, "Whole", 5, "C:\\"), names);
    EXPECT_EQ(Walk(s, rec, "Whole", 3, "C:\\").size(), 5u);

    if (GetACP() == 1252) {
        // Letters beyond ASCII fold as the user's locale has them.
        SetSz("Accents", "v", "Caf\xE9 \xC4rger");
        const std::vector<std::string> hit = {F("Accents\\v", "Caf\xE9 \xC4rger", 2), "E 0"};
        EXPECT_EQ(Walk(s, rec, "Accents", 2, "CAF\xC9 \xE4RGER"), hit);
        EXPECT_EQ(Walk(s, rec, "Accents", 6, "caf\xC9 \xE4rger"), hit);
    }
}

class StopTree : public Engine
{
protected:
    void SetUp() override
    {
        Engine::SetUp();
        SetSz("Stop\\k1", "v1", "mark 1");
        SetSz("Stop\\k1", "v2", "mark 2");
        SetSz("Stop\\k1\\child", "v", "mark child");
        SetSz("Stop\\k2", "v", "mark k2");
        ASSERT_TRUE(MakeKey("Stop\\mark3"));
    }
    const std::vector<std::string> full = {
        K("Stop\\k1"), F("Stop\\k1\\v1", "mark 1", 2), F("Stop\\k1\\v2", "mark 2", 2),
        K("Stop\\k1\\child"), F("Stop\\k1\\child\\v", "mark child", 2),
        K("Stop\\k2"), F("Stop\\k2\\v", "mark k2", 2),
        K("Stop\\mark3"), F("Stop\\mark3", "*", 0), "E 0",
    };
};

TEST_F(StopTree, StopWindsTheWalkDown)
{
    Recorder rec;
    cRegSearch s(&rec);
    int yields = 0;
    std::function<void()> onYield;
    s.SetYield([&] {
        ++yields;
        if (onYield)
            onYield();
    });
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), full);

    // From inside SearchFound: the key's value list is finished, then no more key events,
    // values or descent, but key names are still tested.
    rec.onFound = [&](const std::string&) { s.StopSearch(); };
    const std::vector<std::string> fromFound = {
        K("Stop\\k1"), F("Stop\\k1\\v1", "mark 1", 2), F("Stop\\k1\\v2", "mark 2", 2),
        F("Stop\\mark3", "*", 0), "E 1",
    };
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), fromFound);
    rec.onFound = nullptr;

    // From inside the first yield: nothing is entered, but every level still yields once per
    // subkey while it finishes its list.
    yields = 0;
    onYield = [&] {
        if (yields == 1)
            s.StopSearch();
    };
    const std::vector<std::string> fromYield = {F("Stop\\mark3", "*", 0), "E 1"};
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), fromYield);
    EXPECT_EQ(yields, 4);
    onYield = nullptr;

    // Before DoSearch: the stop waits for the next walk, which opens nothing.
    yields = 0;
    s.StopSearch();
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), std::vector<std::string>{"E 1"});
    EXPECT_EQ(yields, 0);
    // Every walk after a stop starts afresh.
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), full);

    // A DoSearch from inside the walk is ignored.
    rec.onKey = [&](const std::string&) { s.DoSearch(); };
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), full);
}

TEST_F(StopTree, ErrorsEndTheWalkWithTheirNumber)
{
    Recorder rec;
    cRegSearch s(&rec);

    // Out of memory in a value's report: that key's value list ends, the walk winds down.
    rec.onFound = [](const std::string& l) {
        if (l.find("mark 1") != std::string::npos)
            throw std::bad_alloc();
    };
    const std::vector<std::string> oom = {K("Stop\\k1"), F("Stop\\k1\\v1", "mark 1", 2), F("Stop\\mark3", "*", 0),
                                          "E 7"};
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), oom);
    rec.onFound = nullptr;

    // Any other error while a level enumerates ends that level's list.
    rec.onKey = [](const std::string&) { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), (std::vector<std::string>{K("Stop\\k1"), "E 51"}));
    rec.onKey = nullptr;

    EXPECT_EQ(Walk(s, rec, "Stop", 2, "MARK"), full);
}

TEST_F(Engine, KeysThatCannotBeOpenedAreSkipped)
{
    SetSz("Denied\\locked", "v", "mark locked");
    SetSz("Denied\\locked\\inner", "v", "mark inner");
    SetSz("Denied\\open", "v", "mark open");
    ASSERT_TRUE(SetKeyDacl(Path("Denied\\locked"), "D:P(D;;KA;;;WD)"));
    HKEY h;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Path("Denied\\locked").c_str(), 0, KEY_READ, &h),
              ERROR_ACCESS_DENIED);

    Recorder rec;
    cRegSearch s(&rec);
    const std::vector<std::string> expected = {K("Denied\\locked"), K("Denied\\open"),
                                               F("Denied\\open\\v", "mark open", 2), "E 0"};
    EXPECT_EQ(Walk(s, rec, "Denied", 3, "mark"), expected);

    // A root without subkeys, and a handle that is no root at all.
    for (int32_t root : {static_cast<int32_t>(0x80000004u), 0x1234}) {
        s.SetRootKey(root);
        s.SetSubKey("");
        rec.log.clear();
        s.DoSearch();
        EXPECT_EQ(rec.log, std::vector<std::string>{"E 0"}) << root;
    }
}

}  // namespace
