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
// if they do not. The engine opens a link as itself first and reads its one value of the link
// type, which the reference, following every link blindly, never sees: such values are
// counted apart.
//
// Usage: bench_engine.exe [repetitions]   (default 5)
#include "scan/cRegSearch.h"

#include <windows.h>

#include "bench/bench_walk.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace bench;

// ---- Counting registry calls through the import table -------------------------------------

long g_calls = 0;
long g_valuesRead = 0;
long g_linkValuesRead = 0;

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
        ++(t && *t == REG_LINK ? g_linkValuesRead : g_valuesRead);
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

WalkResult EngineWalk()
{
    Counter c;
    cRegSearch s(&c);
    s.SetYield(PumpYield);
    s.SetRootKey(0);
    s.SetSubKey("");
    s.SetSearchFlags(3);
    s.SetSearchString(Needle);
    const long calls0 = g_calls, values0 = g_valuesRead, links0 = g_linkValuesRead;
    const double t0 = Now();
    s.DoSearch();
    WalkResult r;
    r.seconds = Now() - t0;
    r.keys = c.keys;
    r.hits = c.hits;
    r.calls = g_calls - calls0;
    r.values = g_valuesRead - values0;
    r.links = g_linkValuesRead - links0;
    if (c.reason != 0)
        std::printf("  engine walk ended with reason %ld\n", c.reason);
    return r;
}

WalkResult ReferenceWalk()
{
    Reference ref;
    const long calls0 = g_calls;
    WalkResult r = ref.Walk();
    r.calls = g_calls - calls0;
    return r;
}

// ---- Measuring -------------------------------------------------------------------------------

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

    std::printf("  keys %ld, values %ld, hits %ld (reference: keys %ld, values %ld, hits %ld); links met %ld\n",
                ec.keys, ec.values, ec.hits, rc.keys, rc.values, rc.hits, ec.links);
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
    // The registry is written out now rather than by the server's periodic save in mid-walk.
    RegFlushKey(HKEY_CURRENT_USER);
    if (built)
        std::printf("Built HKEY_CURRENT_USER\\%s: %ld keys in %.1f s\n", TreeKey, built, Now() - t0);
    else
        std::printf("Using the existing HKEY_CURRENT_USER\\%s\n", TreeKey);

    ok = Measure("Registry with the synthetic tree (all roots, flags 3, \"C:\\\")", reps) && ok;
    return ok ? 0 : 2;
}
