// The main window's scan against the bare walk.
//
// 1. The whole scan: the real main window scans as a user runs it (the default ignore list,
//    rows, count labels, the key label), against the reference walk of the same registry in
//    the same run: first the registry of the prefix as it is, then with the synthetic tree
//    and 5,000 seeded values that point at missing files added (about 18,000 reports).
// 2. What listing costs: the same registry scanned once listing every report and once with an
//    ignore entry that drops the seeded ones (HKEY_USERS holds the current user's tree again,
//    so the walk reports each seeded value twice: 10,000 rows). The walk and the judgement up
//    to the ignore test are the same in both runs, so the ratio is the price of the rows, the
//    column fitting and the count labels.
// 3. A long ignore list (100,000 entries): how long the settings dialog takes to open, the
//    scan of the prefix with it against the same scan with the default list, the longest
//    time the window does not answer during that scan, and how soon Stop acts.
//
// Usage: bench_list.exe [rounds]   (default 3)
// With HALVREN_BENCH_PARTS=1 every scan also prints where its time went: the parts of the
// report handler, the key label and the window events; the rest is the walk itself.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/MsgBox.h"
#include "core/modDir.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/cRegSearch.h"
#include "scan/frmIgnore.h"
#include "scan/frmMain.h"

#include "bench/bench_walk.h"

namespace {

const char Base[] = "Software\\HalvrenBench\\List";
const char Marker[] = "HALVRENBENCHMARK";
constexpr int Keys = 50;
constexpr int ValuesPerKey = 100;
constexpr double Limit = 1.5;
constexpr double WholeLimit = 1.25;

void DeleteTree(HKEY root, const std::string& key) { SHDeleteKeyA(root, key.c_str()); }

bool Seed() {
    DeleteTree(HKEY_CURRENT_USER, Base);
    for (int k = 0; k < Keys; ++k) {
        char key[128];
        snprintf(key, sizeof key, "%s\\Key%03d", Base, k);
        HKEY h = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS)
            return false;
        for (int v = 0; v < ValuesPerKey; ++v) {
            char name[32], data[256];
            snprintf(name, sizeof name, "Value%03d", v);
            // Texts of varied length, so that the columns keep growing now and then.
            snprintf(data, sizeof data, "\"C:\\halvren-bench\\missing\\%s\\%.*sapp%05d.exe\" /run %%1", Marker,
                     (k * ValuesPerKey + v) % 40, "subfolder\\subfolder\\subfolder\\subfolder\\",
                     k * ValuesPerKey + v);
            RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                           static_cast<DWORD>(strlen(data) + 1));
        }
        RegCloseKey(h);
    }
    return true;
}

void WriteIgnore(const std::string& path, const std::string& content) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(f);
}

std::string ReadAll(const std::string& path, bool& found) {
    std::string out;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    found = f != INVALID_HANDLE_VALUE;
    if (!found) return out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(f);
    return out;
}

bool PartsOn() {
    const char* parts = std::getenv("HALVREN_BENCH_PARTS");
    return parts && *parts && std::strcmp(parts, "0") != 0;
}

// The engine's walk with no window and no handler, to tell its time from the window's.
double EngineAlone() {
    cRegSearch engine;
    engine.SetRootKey(0);
    engine.SetSubKey("");
    engine.SetSearchFlags(3);
    engine.SetSearchString("C:\\");
    const double t0 = bench::Now();
    engine.DoSearch();
    return bench::Now() - t0;
}

void PrintParts(double seconds) {
    const frmMain::ScanTimes& t = frmMain::Times();
    if (!t.on) return;
    const double walk = seconds - t.extract - t.missing - t.ignoreList - t.ignoreTest - t.row - t.keyLabel -
                        t.counts - t.listPaint - t.events;
    std::printf("    %ld reports: path %.3f s, file test %.3f s, ignore list read %.3f s, ignore test %.3f s, "
                "rows %.3f s; key label %.3f s; in %ld yields: count labels %.3f s, list drawn %.3f s, window "
                "events %.3f s; the walk itself %.3f s\n",
                t.reports, t.extract, t.missing, t.ignoreList, t.ignoreTest, t.row, t.keyLabel, t.yields, t.counts,
                t.listPaint, t.events, walk);
}

// One scan with the given ignore list; returns seconds and the number of rows listed.
double Scan(const std::string& ignorePath, const std::string& ignore, int& rows) {
    // A new list is read by the next Start; the same list stays loaded, as it does for a user's
    // next scan.
    static std::string written;
    if (!frmIgnore::Get().IsLoaded() || ignore != written) {
        if (frmIgnore::Get().IsLoaded()) frmIgnore::Get().Unload();
        WriteIgnore(ignorePath, ignore);
        written = ignore;
    }
    frmMain& f = frmMain::Get();
    frmMain::ScanTimes& times = frmMain::Times();
    times = frmMain::ScanTimes();
    times.on = PartsOn();
    const double t0 = bench::Now();
    // Timing the parts, the settings dialog that the Start command would load is loaded just
    // before it, and its time counted in the scan's.
    if (times.on) frmIgnore::Get().Load();
    const double dialog = bench::Now() - t0;
    f.cmdStartStop_Click();
    const double seconds = bench::Now() - t0;
    rows = f.lvwRegErrors.Count();
    std::printf("  scan: %.3f s, %d rows%s\n", seconds, rows, f.lblCurrentKey.Text() == LangText(205) ? "" : " (not finished)");
    if (times.on) std::printf("    settings dialog loaded: %.3f s\n", dialog);
    PrintParts(seconds - dialog);
    times.on = false;
    std::fflush(stdout);
    return seconds;
}

// ---- A long ignore list -----------------------------------------------------------------------

constexpr int LongListEntries = 100000;
constexpr double DialogTarget = 2.0, AnswerTarget = 0.5, StopTarget = 1.0;

// The default list, then entries of the kind users add (key paths, vendors, file names) up to
// 100,000; none of them is met in the prefix, so the scan lists what it lists with the default.
std::string LongList(const std::string& defaultIgnore) {
    static const char* const Words[] = {"SOFTWARE\\", "VENDOR", "\\PRODUCT", "TOOLS", "\\SETTINGS\\", "APP",
                                        ".EXE", "SHELLEX", "\\CLSID\\{", "-", "PLUGIN", "C:\\GAMES\\"};
    std::string list = defaultIgnore;
    int lines = 0;
    for (char c : defaultIgnore) lines += c == '\n';
    for (int i = lines; i < LongListEntries; ++i) {
        std::string entry;
        for (int w = 1 + static_cast<int>(bench::Rand() % 3); w > 0; --w) entry += Words[bench::Rand() % 12];
        list += entry + "ZQ" + std::to_string(i) + "\r\n";
    }
    return list;
}

// The longest gap between two ticks of a 10 ms timer: how long at most the window did not answer.
DWORD g_lastTick = 0, g_longestGap = 0;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    const DWORD now = GetTickCount();
    if (g_lastTick) g_longestGap = std::max(g_longestGap, now - g_lastTick);
    g_lastTick = now;
}

double g_stopClicked = 0;
void CALLBACK ClickStop(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND button = frmMain::Get().cmdStartStop.hwnd;
    g_stopClicked = bench::Now();
    PostMessageW(frmMain::Get().hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// A scan with the longest time the window did not answer.
double AnsweringScan(const std::string& ignorePath, const std::string& ignore, DWORD& longestGap) {
    int rows = 0;
    g_lastTick = g_longestGap = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
    const double seconds = Scan(ignorePath, ignore, rows);
    KillTimer(nullptr, timer);
    longestGap = g_longestGap;
    return seconds;
}

bool LongIgnoreList(const std::string& ignorePath, const std::string& defaultIgnore, int rounds) {
    std::printf("A long ignore list (%d entries)\n", LongListEntries);
    const std::string list = LongList(defaultIgnore);
    frmIgnore& dialog = frmIgnore::Get();
    std::vector<double> opens;
    for (int r = 0; r < rounds; ++r) {
        if (dialog.IsLoaded()) dialog.Unload();
        WriteIgnore(ignorePath, list);
        const double t0 = bench::Now();
        dialog.Load();
        dialog.Show();
        UpdateWindow(dialog.hwnd());
        opens.push_back(bench::Now() - t0);
        std::printf("  settings dialog open: %.3f s, %d entries\n", opens.back(), dialog.lstIgnore.Count());
        dialog.Unload();
    }
    const double open = bench::Median(opens);

    std::vector<double> ratios;
    DWORD longestGap = 0, gap = 0;
    AnsweringScan(ignorePath, list, gap);  // warm-up
    for (int r = 0; r < rounds; ++r) {
        const double plain = AnsweringScan(ignorePath, defaultIgnore, gap);
        const double longer = AnsweringScan(ignorePath, list, gap);
        longestGap = std::max(longestGap, gap);
        ratios.push_back(longer / plain);
    }
    const double ratio = bench::Median(ratios);

    std::vector<double> stops;
    int rows = 0;
    for (int r = 0; r < rounds; ++r) {
        SetTimer(nullptr, 0, 300, ClickStop);
        g_stopClicked = 0;
        Scan(ignorePath, list, rows);
        stops.push_back(g_stopClicked ? bench::Now() - g_stopClicked : 0);
        std::printf("  Stop acted after %.3f s\n", stops.back());
    }
    const double stop = *std::max_element(stops.begin(), stops.end());

    const bool ok = open <= DialogTarget && longestGap / 1000.0 <= AnswerTarget && stop <= StopTarget;
    std::printf("  scan with the long list / with the default list: %.2f (median)\n", ratio);
    std::printf("  dialog open %.3f s (median; target %.1f s); window unanswered at most %.3f s during the scans "
                "(target %.1f s); Stop acted within %.3f s (target %.1f s): %s\n",
                open, DialogTarget, longestGap / 1000.0, AnswerTarget, stop, StopTarget, ok ? "ok" : "TOO SLOW");
    std::fflush(stdout);
    return ok;
}

// The whole scan against the reference walk, alternating which runs first; returns the median
// of the ratios.
double WholeScanRatio(const char* label, const std::string& ignorePath, const std::string& ignore, int rounds) {
    std::printf("%s\n", label);
    std::fflush(stdout);
    int rows = 0;
    Scan(ignorePath, ignore, rows);  // warm-up: registry and file caches
    std::vector<double> scans, walks, ratios;
    for (int r = 0; r < rounds; ++r) {
        double s, w;
        bench::Reference reference;
        if (r % 2 == 0) {
            s = Scan(ignorePath, ignore, rows);
            w = reference.Walk().seconds;
        } else {
            w = reference.Walk().seconds;
            s = Scan(ignorePath, ignore, rows);
        }
        std::printf("  reference walk: %.3f s\n", w);
        if (PartsOn()) std::printf("  engine alone: %.3f s\n", EngineAlone());
        scans.push_back(s);
        walks.push_back(w);
        ratios.push_back(s / w);
    }
    const double ratio = bench::Median(ratios);
    std::printf("  whole scan %.3f s, reference walk %.3f s (medians of %d), %d rows\n", bench::Median(scans),
                bench::Median(walks), rounds, rows);
    std::printf("  ratio whole scan / reference walk: %.2f (limit %.2f): %s\n", ratio, WholeLimit,
                ratio <= WholeLimit ? "ok" : "TOO SLOW");
    std::fflush(stdout);
    return ratio;
}

}  // namespace

int main(int argc, char** argv) {
    const int Rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    SetMessageBoxHook([](const std::wstring& text, const std::wstring&, unsigned) {
        fwprintf(stderr, L"message: %ls\n", text.c_str());
        return IDOK;
    });
    LoadLanguageFile(ProgramFolder() + "\\languages\\English\\English.txt");

    const std::string ignorePath = DataFolder() + "\\Ignore.txt";
    CreateFolderTree(DataFolder());
    bool hadIgnore = false;
    const std::string savedIgnore = ReadAll(ignorePath, hadIgnore);
    const std::string savedRecommended = GetSetting("Recommended").str();
    SaveSetting("Recommended", "0");

    bool hadDefault = false;
    const std::string defaultIgnore = ReadAll(ProgramFolder() + "\\bkp\\Ignore.txt", hadDefault);

    frmMain& f = frmMain::Get();
    f.Load();
    f.Show();

    bool wholeOk = true;
    // The engine benchmark leaves its synthetic tree behind; it is built again below.
    DeleteTree(HKEY_CURRENT_USER, Base);
    DeleteTree(HKEY_CURRENT_USER, bench::TreeKey);
    wholeOk &= WholeScanRatio("Whole scan, registry of the prefix as it is", ignorePath, defaultIgnore, Rounds) <=
               WholeLimit;
    const bool longListOk = LongIgnoreList(ignorePath, defaultIgnore, Rounds);

    long built = 0;
    std::printf("adding the synthetic tree and seeding %d values under HKEY_CURRENT_USER\\%s ...\n",
                Keys * ValuesPerKey, Base);
    std::fflush(stdout);
    if (!bench::BuildTree(built) || !Seed()) {
        std::printf("seeding failed\n");
        std::fflush(stdout);
        return 2;
    }
    // The registry is written out now rather than by the server's periodic save in mid-scan.
    RegFlushKey(HKEY_CURRENT_USER);
    wholeOk &= WholeScanRatio("Whole scan, with the synthetic tree and the seeded values", ignorePath, defaultIgnore,
                              Rounds) <= WholeLimit;

    std::printf("Listing against dropping the seeded values\n");
    std::vector<double> listed, dropped;
    int rowsListed = 0, rowsDropped = 0;
    Scan(ignorePath, Marker, rowsDropped);  // warm-up: registry and file caches
    for (int r = 0; r < Rounds; ++r) {
        dropped.push_back(Scan(ignorePath, std::string(Marker) + "\r\n", rowsDropped));
        listed.push_back(Scan(ignorePath, "", rowsListed));
    }
    std::sort(listed.begin(), listed.end());
    std::sort(dropped.begin(), dropped.end());
    double a = listed[Rounds / 2], b = dropped[Rounds / 2];
    double ratio = a / b;
    std::printf("scan listing %d rows:  %.3f s (median of %d)\n", rowsListed, a, Rounds);
    std::printf("scan dropping them (%d rows): %.3f s (median of %d)\n", rowsDropped, b, Rounds);
    std::printf("ratio %.2f (limit %.2f): %s\n", ratio, Limit, ratio <= Limit ? "ok" : "TOO SLOW");

    DeleteTree(HKEY_CURRENT_USER, Base);
    if (hadIgnore)
        WriteIgnore(ignorePath, savedIgnore);
    else
        DeleteFileA(ignorePath.c_str());
    if (savedRecommended.empty())
        DeleteRegSetting(AppTitle, "Settings", "Recommended", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    else
        SaveSetting("Recommended", savedRecommended);
    std::fflush(stdout);
    ExitProcess(ratio <= Limit && wholeOk && longListOk ? 0 : 1);
}
