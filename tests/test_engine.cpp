// The scan engine against real subtrees of the prefix registry.
#include "scan/cRegSearch.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlwapi.h>
#include <windows.h>
#include <winternl.h>

#include "core/mdlMain.h"

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;
const char Base[] = "Software\\HalvrenTest\\Engine";
const char RootMark[] = "HalvrenEngineRootMark";
const std::string CU = "HKEY_CURRENT_USER";

// Records every event as one line: "K <key>", "F <root>|<key>|<text>|<n>", "E <reason>".
struct Recorder : cRegSearchEvents {
    Log log, names;  // names: the value name of every SearchFound
    std::function<void(const std::string&)> onFound, onKey;
    void SearchFound(const std::string& r, const std::string& k, const std::string& v, int32_t n,
                     const std::string& name) override {
        names.push_back(name);
        log.push_back("F " + r + "|" + k + "|" + v + "|" + std::to_string(n));
        if (onFound) onFound(log.back());
    }
    void SearchFinished(int32_t lReason) override { log.push_back("E " + std::to_string(lReason)); }
    void SearchKeyChanged(const std::string& s) override {
        log.push_back("K " + s);
        if (onKey) onKey(s);
    }
};

std::string Path(const std::string& sub) { return sub.empty() ? Base : std::string(Base) + "\\" + sub; }
std::string K(const std::string& sub) { return "K " + CU + "\\" + Path(sub); }
std::string F(const std::string& key, const std::string& text, int n) {
    return "F " + CU + "|" + Path(key) + "|" + text + "|" + std::to_string(n);
}
Log Hits(const Log& log) {
    Log h;
    std::copy_if(log.begin(), log.end(), std::back_inserter(h), [](const std::string& l) { return l[0] == 'F'; });
    return h;
}

bool SetKeyDacl(const std::string& sub, const char* sddl) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool ok = ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr) &&
              RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    RegCloseKey(h);
    return ok;
}
void SetRaw(const std::string& sub, const std::string& name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_CURRENT_USER, Path(sub).c_str(), name.c_str(), type, bytes.data(),
                                         static_cast<DWORD>(bytes.size())));
}
void SetSz(const std::string& sub, const std::string& name, const std::string& text) {
    SetRaw(sub, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}
void MakeKey(const std::string& sub) { SetSz(sub, "unrelated", "-"); }

// Keys made through the native API, as any program can: names that hold a NUL, and links.
const std::wstring Hidden[] = {std::wstring(L"\0hidden", 7), std::wstring(L"ab\0cd", 5)};
const char* const Links[][2] = {{"grand", "Odd"},      {"parent", "Odd\\a"}, {"self", "Odd\\a\\self"},
                                {"soft", "Software"}, {"toz", "Odd\\z"}};  // in Odd\a: name, target
std::wstring Wide(const char* s) { return std::wstring(s, s + strlen(s)); }

// Opens (create false, a link as itself) or creates the subkey `name` of the test key `parent`.
HANDLE NativeKey(const std::string& parent, const std::wstring& name, bool create, ULONG options = 0) {
    using Create = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG, PULONG);
    using Open = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES);
    static const auto create_ = SystemFunction<Create>("ntdll.dll", "NtCreateKey");
    static const auto open_ = SystemFunction<Open>("ntdll.dll", "NtOpenKey");
    HKEY hParent;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(parent).c_str(), 0, KEY_ALL_ACCESS, &hParent) != ERROR_SUCCESS)
        return nullptr;
    UNICODE_STRING us{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2),
                      const_cast<PWSTR>(name.data())};
    OBJECT_ATTRIBUTES oa;
    InitializeObjectAttributes(&oa, &us, OBJ_CASE_INSENSITIVE | (create ? 0 : OBJ_OPENLINK), hParent, nullptr);
    HANDLE h = nullptr;
    const LONG status = create ? create_(&h, KEY_ALL_ACCESS, &oa, 0, nullptr, options, nullptr)
                               : open_(&h, KEY_ALL_ACCESS, &oa);
    RegCloseKey(hParent);
    return status >= 0 ? h : nullptr;
}
std::wstring NativeName(const std::string& key) {  // a test key, or "Software"
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key == "Software" ? "Software" : Path(key).c_str(), 0, KEY_READ, &h))
        return L"";
    std::wstring name = KernelKeyName(h);
    RegCloseKey(h);
    return name;
}
void MakeOddKeys() {
    using SetValue = LONG(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
    static const auto setValue = SystemFunction<SetValue>("ntdll.dll", "NtSetValueKey");
    SetSz("Odd\\a", "v", "C:\\gone\\x.exe");
    SetSz("Odd\\z", "v", "C:\\z.exe");
    MakeKey("Odd\\z\\deep");
    for (const auto& name : Hidden) {
        HANDLE h = NativeKey("Odd", name, true);
        ASSERT_TRUE(h);
        RegSetValueExA(static_cast<HKEY>(h), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\hidden.exe"), 14);
        CloseHandle(h);
    }
    for (const auto& link : Links) {
        const std::wstring name = Wide(link[0]);
        std::wstring target = NativeName(link[1]);
        if (target.empty()) target = NativeName("Odd\\a") + L"\\" + name;  // to itself
        HANDLE h = NativeKey("Odd\\a", name, true, REG_OPTION_CREATE_LINK);
        ASSERT_TRUE(h) << link[0];
        UNICODE_STRING value{34, 34, const_cast<PWSTR>(L"SymbolicLinkValue")};
        EXPECT_GE(setValue(h, &value, 0, REG_LINK, &target[0], static_cast<ULONG>(target.size() * 2)), 0);
        CloseHandle(h);
    }
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean() {
        // Links first: a plain delete goes through a link and deletes its target.
        using DeleteKey = LONG(NTAPI*)(HANDLE);
        static const auto deleteKey = SystemFunction<DeleteKey>("ntdll.dll", "NtDeleteKey");
        auto remove = [](const std::string& parent, const std::wstring& name) {
            if (HANDLE h = NativeKey(parent, name, false)) {
                deleteKey(h);
                CloseHandle(h);
            }
        };
        for (const auto& link : Links) remove("Odd\\a", Wide(link[0]));
        for (const auto& name : Hidden) remove("Odd", name);
        SetKeyDacl("Denied\\locked", "D:(A;;KA;;;WD)");
        SHDeleteKeyA(HKEY_CURRENT_USER, Base);
        RegDeleteValueA(HKEY_CURRENT_USER, RootMark);
    }
    // One walk; a "" subkey is the root itself, anything else a subtree of the test key.
    Log Walk(const std::string& sub, int32_t flags, const std::string& text,
             int32_t root = static_cast<int32_t>(0x80000001u)) {
        s.SetRootKey(root);
        s.SetSubKey(sub.empty() ? "" : Path(sub));
        s.SetSearchFlags(flags);
        s.SetSearchString(text);
        rec.log.clear();
        rec.names.clear();
        s.DoSearch();
        return rec.log;
    }
    Recorder rec;
    cRegSearch s{&rec};
};

TEST_F(Engine, WalksPreOrderAndTestsWhatTheFlagsAsk) {
    SetSz("Order", "top", "hit on the start key");
    SetSz("Order\\alpha", "plain", "nothing here");
    SetSz("Order\\alpha", "hitname", "HIT data");
    SetSz("Order\\alpha\\deep", "", "a Hit in the default value");
    MakeKey("Order\\beta");
    MakeKey("Order\\Hitkey");
    SetSz("Whole", "exact", "C:\\");
    SetSz("Whole", "longer", "C:\\x");
    SetSz("Whole", "lower", "c:\\");
    SetSz("Whole", "c:\\", "named");
    const std::string hitkey = F("Order\\Hitkey", "*", 0);
    struct Case { std::string sub; int32_t flags; std::string text; Log expected; };
    const std::vector<Case> cases = {
        {"Order", 3, "hit",
         {F("Order\\top", "hit on the start key", 2), K("Order\\alpha"), F("Order\\alpha\\hitname", "HIT data", 1),
          F("Order\\alpha\\hitname", "HIT data", 2), K("Order\\alpha\\deep"),
          F("Order\\alpha\\deep\\", "a Hit in the default value", 2), K("Order\\beta"), K("Order\\Hitkey"), hitkey,
          "E 0"}},
        // Key names are tested whatever the flags; values only on request.
        {"Order", 0, "hit",
         {K("Order\\alpha"), K("Order\\alpha\\deep"), K("Order\\beta"), K("Order\\Hitkey"), hitkey, "E 0"}},
        {"NoSuchKey", 3, "hit", {"E 0"}},
        {"Whole", 6, "c:\\", {F("Whole\\exact", "C:\\", 2), F("Whole\\lower", "c:\\", 2), "E 0"}},
        {"Whole", 5, "C:\\", {F("Whole\\c:\\", "named", 1), "E 0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sub + " " + std::to_string(c.flags) + " " + c.text);
        EXPECT_EQ(Walk(c.sub, c.flags, c.text), c.expected);
    }

    if (GetACP() == 1252) {  // letters beyond ASCII fold as the user's locale has them
        SetSz("Accents", "v", "Caf\xE9 \xC4rger");
        for (int32_t flags : {2, 6})
            EXPECT_EQ(Walk("Accents", flags, "CAF\xC9 \xE4rGER"), (Log{F("Accents\\v", "Caf\xE9 \xC4rger", 2), "E 0"}));
    }

    // The key path cannot tell where a value name holding "\" begins; the event's name can.
    SetSz("Names\\K", "C:\\dir\\app.exe", "c:\\other.exe");
    const std::string named = "Names\\K\\C:\\dir\\app.exe";
    EXPECT_EQ(Walk("Names", 3, "C:\\"),
              (Log{K("Names\\K"), F(named, "c:\\other.exe", 1), F(named, "c:\\other.exe", 2), "E 0"}));
    EXPECT_EQ(rec.names, (Log{"C:\\dir\\app.exe", "C:\\dir\\app.exe"}));
}

TEST_F(Engine, RootValuesAreSearchedOnlyWhenTheRootIsTheStartKey) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(HKEY_CURRENT_USER, RootMark, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("zq-mark root"), 13));
    SetSz("Sub", "v", "C:\\zq-mark\\below.exe");
    const std::string below = F("Sub\\v", "C:\\zq-mark\\below.exe", 2);
    // Walked with SubKey "", a value right under the root has a path starting with "\".
    Log log = Walk("", 2, "ZQ-MARK");
    EXPECT_EQ(Hits(log), (Log{"F " + CU + "|\\" + RootMark + "|zq-mark root|2", below}));
    EXPECT_EQ(log.back(), "E 0");
    EXPECT_EQ(std::count(log.begin(), log.end(), "K " + CU), 0);

    // All roots, from the first subkey of HKEY_CLASSES_ROOT, none of their own values; HKEY_USERS
    // shows the test key again below the user's SID, under its own root name.
    log = Walk("", 3, "zq-mark", 0);
    char first[512];
    DWORD cch = sizeof(first);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, first, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(log.front(), std::string("K HKEY_CLASSES_ROOT\\") + first);
    EXPECT_EQ(log.back(), "E 0");
    EXPECT_EQ(std::count(log.begin(), log.end(), below), 1);
    for (const auto& l : log) EXPECT_EQ(l.find(std::string("|\\") + RootMark), std::string::npos) << l;
}

TEST_F(Engine, DataTextOfEveryType) {
    const std::string big(5000, 'x');
    std::string bigHex = "78";
    for (size_t k = 1; k < big.size(); ++k) bigHex += " 78";
    struct Case { std::string name; DWORD type; std::string bytes, text; };
    const std::vector<Case> cases = {
        {"t_sz", REG_SZ, std::string("Text C:\\a\0", 10), "Text C:\\a"},
        {"t_sz_empty", REG_SZ, std::string("\0", 1), ""},
        {"t_bin", REG_BINARY, "\x0A\x1B\xFF", "0A 1B FF"},
        {"t_bin_empty", REG_BINARY, "", "00"},
        {"t_bin_big", REG_BINARY, big, bigHex},
        {"t_dword", REG_DWORD, std::string("\x1A\0\0\0", 4), "0x0000001A(26)"},
        {"t_dword_short", REG_DWORD, "\x34\x12", "0x00001234(4660)"},  // zero-extended
        {"t_dword_empty", REG_DWORD, "", "0x00000000(0)"},
        {"t_multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5), "a"},
        {"t_expand", REG_EXPAND_SZ, std::string("C:\\x.exe\0", 9), "Temporarily unsupported"},
        {"t_none", REG_NONE, "C:\\", "Temporarily unsupported"},
    };
    std::map<std::string, std::string> expected, text;
    for (const auto& c : cases) {
        SetRaw("Types", c.name, c.type, c.bytes);
        expected[c.name] = c.text;
    }
    for (const auto& l : Hits(Walk("Types", 1, "T_"))) {
        const size_t a = l.find('|'), b = l.find('|', a + 1), c = l.rfind('|');
        const std::string key = l.substr(a + 1, b - a - 1);
        text[key.substr(key.rfind('\\') + 1)] = l.substr(b + 1, c - b - 1);
    }
    EXPECT_EQ(text, expected);
    // Only string data is searched as text: the expanded string and REG_NONE never hit.
    EXPECT_EQ(Walk("Types", 2, "c:\\"), (Log{F("Types\\t_sz", "Text C:\\a", 2), "E 0"}));
    // The texts made for the other types are searched as they are shown.
    EXPECT_EQ(Walk("Types", 2, "1a(26"), (Log{F("Types\\t_dword", "0x0000001A(26)", 2), "E 0"}));
    EXPECT_EQ(Walk("Types", 2, "0a 1b"), (Log{F("Types\\t_bin", "0A 1B FF", 2), "E 0"}));
    EXPECT_EQ(Walk("Types", 2, "ily uns"), (Log{F("Types\\t_expand", "Temporarily unsupported", 2),
                                                F("Types\\t_none", "Temporarily unsupported", 2), "E 0"}));
}

TEST_F(Engine, LargeValuesAndLongNamesAreExaminedAndLaterValuesToo) {
    const std::string bigText = std::string(100000, 'q') + " C:\\big.exe", longName = "b_" + std::string(300, 'n');
    SetSz("Large", "a_big", bigText);
    SetSz("Large", longName, "C:\\long.exe");
    SetRaw("Large", "c_bigbin", REG_BINARY, std::string(70000, '\x5A'));
    SetSz("Large", "d_after", "C:\\after.exe");
    SetSz("Large\\sub", "v", "C:\\sub.exe");
    const Log expected = {F("Large\\a_big", bigText, 2), F("Large\\" + longName, "C:\\long.exe", 2),
                          F("Large\\d_after", "C:\\after.exe", 2), K("Large\\sub"), F("Large\\sub\\v", "C:\\sub.exe", 2),
                          "E 0"};
    EXPECT_EQ(Walk("Large", 3, "C:\\"), expected);
    EXPECT_EQ(Walk("Large", 3, "C:\\"), expected);  // again, with the grown buffers
    // A value larger than the memory the walk may take is skipped, and the walk goes on.
    SetRaw("Large", "c_huge C:\\", REG_BINARY, std::string(300000, '\x5A'));
    s.SetValueSizeLimit(200000);
    EXPECT_EQ(Walk("Large", 3, "C:\\"), expected);
}

// A stop request, an exception in a handler: the walk winds down and says why.
TEST_F(Engine, StopsAndErrorsWindTheWalkDown) {
    SetSz("Stop\\k1", "v1", "mark 1");
    SetSz("Stop\\k1", "v2", "mark 2");
    SetSz("Stop\\k1\\child", "v", "mark child");
    MakeKey("Stop\\mark3");
    auto Run = [&] { return Walk("Stop", 2, "MARK"); };
    const std::string k1v1 = F("Stop\\k1\\v1", "mark 1", 2), k1v2 = F("Stop\\k1\\v2", "mark 2", 2),
                      mark3 = F("Stop\\mark3", "*", 0);
    const Log full = {K("Stop\\k1"), k1v1, k1v2, K("Stop\\k1\\child"), F("Stop\\k1\\child\\v", "mark child", 2),
                      K("Stop\\mark3"), mark3, "E 0"};
    int yields = 0;
    bool stopInYield = false;
    s.SetYield([&] {
        if (++yields == 1 && stopInYield) s.StopSearch();
    });
    // From inside SearchFound: the key's value list is finished, then no more key events,
    // values or descent, but key names are still tested.
    rec.onFound = [&](const std::string&) { s.StopSearch(); };
    EXPECT_EQ(Run(), (Log{K("Stop\\k1"), k1v1, k1v2, mark3, "E 1"}));
    // Out of memory in a value's report: that key's value list ends, the walk winds down.
    rec.onFound = [&](const std::string& l) {
        if (l == k1v1) throw std::bad_alloc();
    };
    EXPECT_EQ(Run(), (Log{K("Stop\\k1"), k1v1, mark3, "E 7"}));
    rec.onFound = nullptr;
    rec.onKey = [](const std::string&) { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(Run(), (Log{K("Stop\\k1"), "E 51"}));
    rec.onKey = nullptr;

    // From inside the first yield: nothing is entered.
    yields = 0;
    stopInYield = true;
    EXPECT_EQ(Run(), (Log{mark3, "E 1"}));
    stopInYield = false;
    // Before DoSearch: the next walk opens nothing, and the one after runs normally.
    yields = 0;
    s.StopSearch();
    EXPECT_EQ(Run(), Log{"E 1"});
    EXPECT_EQ(yields, 0);
    rec.onKey = [&](const std::string&) { s.DoSearch(); };  // ignored inside a walk
    EXPECT_EQ(Run(), full);
}

TEST_F(Engine, KeysThatCannotBeOpenedAreSkipped) {
    SetSz("Denied\\locked", "v", "mark locked");
    SetSz("Denied\\locked\\inner", "v", "mark inner");
    SetSz("Denied\\open", "v", "mark open");
    ASSERT_TRUE(SetKeyDacl("Denied\\locked", "D:P(D;;KA;;;WD)"));
    EXPECT_EQ(Walk("Denied", 3, "mark"),
              (Log{K("Denied\\locked"), K("Denied\\open"), F("Denied\\open\\v", "mark open", 2), "E 0"}));
    // A root without subkeys, and a handle that is no root at all.
    for (int32_t root : {static_cast<int32_t>(0x80000004u), 0x1234}) EXPECT_EQ(Walk("", 3, "mark", root), Log{"E 0"});
}

// Names the ANSI calls cannot give whole, and links back into the walk's own descent, end no
// walk: every other key is walked once, and a link elsewhere is followed as before.
TEST_F(Engine, OddKeysAndLinkLoopsEndNoWalk) {
    ASSERT_NO_FATAL_FAILURE(MakeOddKeys());
    const Log keys = {K("Odd\\a"),   K("Odd\\a\\grand"), K("Odd\\a\\parent"),    K("Odd\\a\\self"), K("Odd\\a\\soft"),
                      K("Odd\\a\\toz"), K("Odd\\a\\toz\\deep"), K("Odd\\z"), K("Odd\\z\\deep"), "E 0"};
    EXPECT_EQ(Walk("Odd", 0, "C:\\"), keys);  // no value flags: links are caught all the same
    Log withValues = keys;
    withValues.insert(withValues.begin() + 1, F("Odd\\a\\v", "C:\\gone\\x.exe", 2));
    withValues.insert(withValues.begin() + 7, F("Odd\\a\\toz\\v", "C:\\z.exe", 2));
    withValues.insert(withValues.end() - 2, F("Odd\\z\\v", "C:\\z.exe", 2));
    EXPECT_EQ(Walk("Odd", 3, "C:\\"), withValues);

    // The whole registry as the main window walks it; Wine's own link is still followed.
    const Log all = Walk("", 3, "C:\\", 0);
    EXPECT_EQ(all.back(), "E 0");
    EXPECT_EQ(std::count(all.begin(), all.end(), F("Odd\\a\\v", "C:\\gone\\x.exe", 2)), 1);
    for (const std::string loop : {"\\a\\grand\\", "\\a\\parent\\", "\\a\\soft\\"}) {
        auto looped = [&](const std::string& l) { return l.find(loop) != l.npos; };
        EXPECT_EQ(std::find_if(all.begin(), all.end(), looped), all.end()) << loop;
    }
    const std::string zones = "K HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\";
    EXPECT_NE(std::find_if(all.begin(), all.end(), [&](const std::string& l) { return l.rfind(zones, 0) == 0; }),
              all.end());

    // A path deeper than the registry's nesting limit can only be a loop: the walk stops there.
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, Path("Deep").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &h, nullptr));
    for (int level = 0; level < 520 && h; ++level) {
        HKEY next = nullptr;
        RegCreateKeyExA(h, "d", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &next, nullptr);
        RegCloseKey(h);
        h = next;
    }
    ASSERT_TRUE(h);
    RegCloseKey(h);
    const Log deep = Walk("Deep", 0, "zz");
    EXPECT_EQ(deep.size(), 512u + 1);
    EXPECT_EQ(deep[511].size(), K("Deep").size() + 512 * 2);
}

}  // namespace
