// Scan engine benchmark: a whole-registry walk by cRegSearch (all roots, flags 3, "C:\")
// against a minimal reference walk of the same roots, first on the registry of the prefix as
// it is, then with a synthetic tree added under HKEY_CURRENT_USER\Software\HalvrenBench.
//
// Registry calls cost a wineserver round trip each, so both walks are also run once with the
// program's own import slots of the registry functions pointed at counting wrappers; the
// timed runs use the plain imports.
//
// "Registry calls per key" is the number of calls the walk made to RegOpenKeyExA,
// RegCloseKey, RegEnumKeyExA, RegEnumValueA and RegQueryInfoKeyA, divided by the number of
// keys entered. Both walks must agree on keys, values and hits; the program exits with 2
// if they do not.
//
// Usage: bench_engine.exe [repetitions]   (default 5)
#include "scan/cRegSearch.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char TreeKey[] = "Software\\HalvrenBench";
const char Needle[] = "C:\\";
const int32_t FirstRoot = static_cast<int32_t>(0x80000000u);
const int32_t LastRoot = static_cast<int32_t>(0x80000006u);

double Now()
{
    static LARGE_INTEGER freq;
    if (!freq.QuadPart)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// ---- Counting registry calls through the import table -------------------------------------

long g_calls = 0;
long g_valuesRead = 0;

// The functions the import slots held before they were pointed at the wrappers. (Taking the
// address of an import in code may give a stub that jumps through the slot, which would loop.)
decltype(&RegOpenKeyExA) g_open;
decltype(&RegCloseKey) g_close;
decltype(&RegEnumKeyExA) g_enumKey;
decltype(&RegEnumValueA) g_enumValue;
decltype(&RegQueryInfoKeyA) g_queryInfo;

LONG WINAPI CountOpen(HKEY h, LPCSTR s, DWORD o, REGSAM sam, PHKEY out)
{
    ++g_calls;
    return g_open(h, s, o, sam, out);
}
LONG WINAPI CountClose(HKEY h)
{
    ++g_calls;
    return g_close(h);
}
LONG WINAPI CountEnumKey(HKEY h, DWORD i, LPSTR n, LPDWORD cn, LPDWORD r, LPSTR c, LPDWORD cc, PFILETIME t)
{
    ++g_calls;
    return g_enumKey(h, i, n, cn, r, c, cc, t);
}
LONG WINAPI CountEnumValue(HKEY h, DWORD i, LPSTR n, LPDWORD cn, LPDWORD r, LPDWORD t, LPBYTE d, LPDWORD cd)
{
    ++g_calls;
    const LONG res = g_enumValue(h, i, n, cn, r, t, d, cd);
    if (res == ERROR_SUCCESS)
        ++g_valuesRead;
    return res;
}
LONG WINAPI CountQueryInfo(HKEY h, LPSTR c, LPDWORD cc, LPDWORD r, LPDWORD a, LPDWORD b, LPDWORD d, LPDWORD e,
                           LPDWORD f, LPDWORD g, LPDWORD sd, PFILETIME t)
{
    ++g_calls;
    return g_queryInfo(h, c, cc, r, a, b, d, e, f, g, sd, t);
}

struct Hook
{
    const char* name;
    void* counting;
    void** original;
};
Hook g_hooks[] = {
    {"RegOpenKeyExA", reinterpret_cast<void*>(&CountOpen), reinterpret_cast<void**>(&g_open)},
    {"RegCloseKey", reinterpret_cast<void*>(&CountClose), reinterpret_cast<void**>(&g_close)},
    {"RegEnumKeyExA", reinterpret_cast<void*>(&CountEnumKey), reinterpret_cast<void**>(&g_enumKey)},
    {"RegEnumValueA", reinterpret_cast<void*>(&CountEnumValue), reinterpret_cast<void**>(&g_enumValue)},
    {"RegQueryInfoKeyA", reinterpret_cast<void*>(&CountQueryInfo), reinterpret_cast<void**>(&g_queryInfo)},
};

// Points this program's own import slots of the registry functions at the counting wrappers
// (on) or back at the originals (off). Returns how many slots were changed.
int SetCounting(bool on)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int changed = 0;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (!imp->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const char* fn = reinterpret_cast<const char*>(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (Hook& h : g_hooks) {
                if (std::strcmp(fn, h.name) != 0)
                    continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                if (!*h.original)
                    *h.original = *slot;
                DWORD old;
                VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
                *slot = on ? h.counting : *h.original;
                VirtualProtect(slot, sizeof(void*), old, &old);
                ++changed;
            }
        }
    }
    return changed;
}

// ---- The yield the window will give the engine: a message pump at most every 10 ms ---------

DWORD g_lastPump = 0;
void PumpYield()
{
    const DWORD now = GetTickCount();
    if (now - g_lastPump < 10)
        return;
    g_lastPump = now;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// ---- The engine under test, with a listener that only counts --------------------------------

struct Counter : cRegSearchEvents
{
    long keys = 0, hits = 0, reason = -1;
    void SearchFound(const std::string&, const std::string&, const std::string&, int32_t, const std::string&) override { ++hits; }
    void SearchFinished(int32_t lReason) override { reason = lReason; }
    void SearchKeyChanged(const std::string&) override { ++keys; }
};

struct WalkResult
{
    long keys = 0, values = 0, hits = 0, calls = 0;
    double seconds = 0;
};

WalkResult EngineWalk()
{
    Counter c;
    cRegSearch s(&c);
    s.SetYield(PumpYield);
    s.SetRootKey(0);
    s.SetSubKey("");
    s.SetSearchFlags(3);
    s.SetSearchString(Needle);
    const long calls0 = g_calls, values0 = g_valuesRead;
    const double t0 = Now();
    s.DoSearch();
    WalkResult r;
    r.seconds = Now() - t0;
    r.keys = c.keys;
    r.hits = c.hits;
    r.calls = g_calls - calls0;
    r.values = g_valuesRead - values0;
    if (c.reason != 0)
        std::printf("  engine walk ended with reason %ld\n", c.reason);
    return r;
}

// ---- The reference: the least a walk must do ------------------------------------------------

class Reference
{
public:
    Reference() : m_name(32768), m_data(1 << 20)
    {
        char up[256];
        for (int c = 0; c < 256; ++c)
            up[c] = static_cast<char>(c);
        CharUpperBuffA(up, 256);
        std::memcpy(m_fold, up, 256);
        for (const char* p = Needle; *p; ++p)
            m_needle += m_fold[static_cast<unsigned char>(*p)];
    }

    WalkResult Walk()
    {
        m_r = WalkResult();
        const double t0 = Now();
        for (int32_t root = FirstRoot; root <= LastRoot; ++root) {
            HKEY h;
            if (RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root)), "", 0, KEY_READ, &h) !=
                ERROR_SUCCESS)
                continue;
            Keys(h);
            RegCloseKey(h);
        }
        m_r.seconds = Now() - t0;
        return m_r;
    }

private:
    bool Match(const char* s, size_t n) const
    {
        const size_t m = m_needle.size();
        for (size_t i = 0; i + m <= n; ++i) {
            size_t k = 0;
            while (k < m && m_fold[static_cast<unsigned char>(s[i + k])] == m_needle[k])
                ++k;
            if (k == m)
                return true;
        }
        return false;
    }

    void Keys(HKEY h)
    {
        char name[1024];
        for (DWORD i = 0;; ++i) {
            DWORD cch = sizeof(name);
            if (RegEnumKeyExA(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            ++m_r.keys;
            if (Match(name, cch))
                ++m_r.hits;
            HKEY child;
            if (RegOpenKeyExA(h, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
                continue;
            Values(child);
            Keys(child);
            RegCloseKey(child);
        }
    }

    // Only string data can hold the needle; other types are not turned into text.
    void Values(HKEY h)
    {
        for (DWORD i = 0;; ++i) {
            DWORD cch = static_cast<DWORD>(m_name.size()), cb = static_cast<DWORD>(m_data.size()), type;
            if (RegEnumValueA(h, i, m_name.data(), &cch, nullptr, &type, m_data.data(), &cb) != ERROR_SUCCESS)
                break;
            ++m_r.values;
            if (Match(m_name.data(), cch))
                ++m_r.hits;
            if (type == REG_SZ || type == REG_MULTI_SZ) {
                const char* d = reinterpret_cast<const char*>(m_data.data());
                if (Match(d, strnlen(d, cb)))
                    ++m_r.hits;
            }
        }
    }

    std::vector<char> m_name;
    std::vector<BYTE> m_data;
    char m_fold[256];
    std::string m_needle;
    WalkResult m_r;
};

WalkResult ReferenceWalk()
{
    Reference ref;
    const long calls0 = g_calls;
    WalkResult r = ref.Walk();
    r.calls = g_calls - calls0;
    return r;
}

// ---- The synthetic tree ----------------------------------------------------------------------

uint32_t g_seed = 12345;
uint32_t Rand()
{
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 8;
}

std::string Text(size_t n)
{
    static const char Words[][10] = {"alpha", "Setting", "value", "D:\\data", "mode", "%TEMP%", "x86", "Item"};
    std::string s;
    while (s.size() < n) {
        s += Words[Rand() % 8];
        s += ' ';
    }
    s.resize(n);
    return s;
}

void SetValue(HKEY h, const std::string& name, DWORD type, const std::string& bytes)
{
    RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
}

// About one value in twenty holds "C:\" (in either letter case); a few are longer than 4096
// bytes, some of those with "C:\" at their end.
void AddValues(HKEY h, int count, int keyNo)
{
    for (int j = 0; j < count; ++j) {
        const std::string name = (j == 0 && keyNo % 7 == 0) ? std::string() : "Value" + std::to_string(j) + "_" +
                                                                                  std::to_string(Rand() % 1000);
        const uint32_t r = Rand() % 100;
        if (r < 5) {
            std::string path = (Rand() % 2 ? "C:\\Program Files\\Vendor" : "c:\\program files\\vendor") +
                               std::to_string(keyNo % 97) + "\\bin\\tool" + std::to_string(j) + ".exe";
            SetValue(h, name, REG_SZ, path + '\0');
        } else if (r < 45) {
            SetValue(h, name, REG_SZ, Text(5 + Rand() % 75) + '\0');
        } else if (r < 65) {
            const uint32_t v = Rand();
            SetValue(h, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), 4));
        } else if (r < 80) {
            std::string b(Rand() % 500 == 0 ? 6000 : 4 + Rand() % 60, '\0');
            for (char& c : b)
                c = static_cast<char>(Rand());
            SetValue(h, name, REG_BINARY, b);
        } else if (r < 90) {
            SetValue(h, name, REG_EXPAND_SZ, "%SystemRoot%\\system32\\x" + std::to_string(Rand() % 9999) + ".dll" + '\0');
        } else if (r < 95) {
            SetValue(h, name, REG_MULTI_SZ, Text(12) + '\0' + Text(20) + '\0' + '\0');
        } else {
            std::string t = Text(Rand() % 1000 == 0 ? 8000 : 200 + Rand() % 400);
            if (t.size() > 4096)
                t += " C:\\Windows\\long.dll";
            SetValue(h, name, REG_SZ, t + '\0');
        }
    }
}

// 20 x 20 x 50 keys: 20,420 keys, 4 values on every leaf and 2 on every inner key.
bool BuildTree(long& keys)
{
    HKEY top;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, TreeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    RegQueryInfoKeyA(top, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    keys = 0;
    if (subkeys == 0) {
        int keyNo = 0;
        for (int a = 0; a < 20; ++a) {
            HKEY ha;
            RegCreateKeyExA(top, ("Vendor" + std::to_string(a)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ha,
                            nullptr);
            AddValues(ha, 2, keyNo++);
            for (int b = 0; b < 20; ++b) {
                HKEY hb;
                RegCreateKeyExA(ha, ("Product " + std::to_string(b)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &hb, nullptr);
                AddValues(hb, 2, keyNo++);
                for (int c = 0; c < 50; ++c) {
                    HKEY hc;
                    char name[32];
                    std::snprintf(name, sizeof(name), "{%08X-item-%d}", Rand(), c);
                    RegCreateKeyExA(hb, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hc, nullptr);
                    AddValues(hc, 4, keyNo++);
                    RegCloseKey(hc);
                }
                RegCloseKey(hb);
            }
            RegCloseKey(ha);
        }
        keys = keyNo;
    }
    RegCloseKey(top);
    return true;
}

// ---- Measuring -------------------------------------------------------------------------------

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool Measure(const char* label, int reps)
{
    std::printf("%s\n", label);
    std::fflush(stdout);

    // Counted pass, which also warms the registry caches.
    if (SetCounting(true) == 0) {
        std::printf("  cannot count registry calls: no import slots found\n");
        return false;
    }
    const WalkResult ec = EngineWalk();
    const WalkResult rc = ReferenceWalk();
    SetCounting(false);

    std::printf("  keys %ld, values %ld, hits %ld (reference: keys %ld, values %ld, hits %ld)\n", ec.keys, ec.values,
                ec.hits, rc.keys, rc.values, rc.hits);
    std::printf("  registry calls per key: engine %.3f, reference %.3f\n",
                static_cast<double>(ec.calls) / static_cast<double>(std::max(1L, ec.keys)),
                static_cast<double>(rc.calls) / static_cast<double>(std::max(1L, rc.keys)));
    const bool same = ec.keys == rc.keys && ec.values == rc.values && ec.hits == rc.hits;
    if (!same)
        std::printf("  MISMATCH between engine and reference counts\n");

    // Alternate the order so that drift of the machine falls on both alike.
    std::vector<double> te, tr, ratio;
    for (int i = 0; i < reps; ++i) {
        double e, r;
        if (i % 2 == 0) {
            e = EngineWalk().seconds;
            r = ReferenceWalk().seconds;
        } else {
            r = ReferenceWalk().seconds;
            e = EngineWalk().seconds;
        }
        te.push_back(e);
        tr.push_back(r);
        ratio.push_back(e / r);
    }
    std::printf("  time per walk (median of %d): engine %.3f s, reference %.3f s\n", reps, Median(te), Median(tr));
    std::printf("  ratio engine / reference: median %.3f\n  each (engine s / reference s):", Median(ratio));
    for (size_t i = 0; i < ratio.size(); ++i)
        std::printf(" %.2f/%.2f", te[i], tr[i]);
    std::printf("\n");
    std::fflush(stdout);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // A message queue, as the window that owns the engine has.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);

    bool ok = Measure("Registry of the prefix as it is (all roots, flags 3, \"C:\\\")", reps);

    long built = 0;
    const double t0 = Now();
    if (!BuildTree(built)) {
        std::printf("cannot create HKEY_CURRENT_USER\\%s\n", TreeKey);
        return 1;
    }
    if (built)
        std::printf("Built HKEY_CURRENT_USER\\%s: %ld keys in %.1f s\n", TreeKey, built, Now() - t0);
    else
        std::printf("Using the existing HKEY_CURRENT_USER\\%s\n", TreeKey);

    ok = Measure("Registry with the synthetic tree (all roots, flags 3, \"C:\\\")", reps) && ok;
    return ok ? 0 : 2;
}
