// What the missing-file search costs over a bare walk: the real search window looks for a name
// on drive C: of the prefix, seeded with 50,000 files in 5,000 folders, against a plain
// FindFirstFileA/FindNextFileA walk of the same drive in the same run. Besides the listing, the
// search compares each name with a plain name (or, for a wildcard pattern, lists each folder's
// matches with a second find), keeps the window alive and lists what it finds; the ratio is the
// price of all that. The wildcard's second find per folder costs about as much as the listing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/MsgBox.h"
#include "core/Text.h"
#include "scan/frmSearch.h"

namespace {

const char Root[] = "C:\\hlvbench";
constexpr int Top = 50, Leaves = 100, FilesPerLeaf = 10;  // 5,000 folders, 50,000 files
constexpr int Rounds = 3;
constexpr double Limit = 1.2;

bool Seed() {
    CreateDirectoryA(Root, nullptr);
    char path[MAX_PATH];
    for (int t = 0; t < Top; ++t) {
        snprintf(path, sizeof path, "%s\\group%02d", Root, t);
        CreateDirectoryA(path, nullptr);
        for (int l = 0; l < Leaves; ++l) {
            snprintf(path, sizeof path, "%s\\group%02d\\folder%03d", Root, t, l);
            if (!CreateDirectoryA(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
            for (int f = 0; f < FilesPerLeaf; ++f) {
                snprintf(path, sizeof path, "%s\\group%02d\\folder%03d\\file%d.dat", Root, t, l, f);
                HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
                if (h == INVALID_HANDLE_VALUE) return false;
                DWORD put = 0;
                WriteFile(h, path, 16, &put, nullptr);
                CloseHandle(h);
            }
        }
    }
    return true;
}

// The baseline: every entry of the drive listed once.
long BareWalk(const std::string& folder) {
    long entries = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (fd.cFileName[0] == '.' && (!fd.cFileName[1] || (fd.cFileName[1] == '.' && !fd.cFileName[2]))) continue;
        ++entries;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            entries += BareWalk(folder + fd.cFileName + "\\");
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return entries;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

std::wstring g_first;

double TimeSearch(const char* pattern, int& found) {
    frmSearch& s = frmSearch::Get();
    s.txtFile.SetText(FromAnsi(pattern));
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    s.cmdSearch_Click();
    QueryPerformanceCounter(&t1);
    found = s.lstFiles.Count();
    return Seconds(t0, t1);
}

double TimeBare(long& entries) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    entries = BareWalk("C:\\");
    QueryPerformanceCounter(&t1);
    return Seconds(t0, t1);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    SetMessageBoxHook([](const std::wstring& text, const std::wstring&, unsigned) {
        if (g_first.empty()) g_first = text;
        return IDOK;
    });
    std::printf("seeding %d files in %d folders under %s ...\n", Top * Leaves * FilesPerLeaf, Top * Leaves, Root);
    std::fflush(stdout);
    if (!Seed()) {
        std::printf("seeding failed\n");
        return 2;
    }
    frmSearch& s = frmSearch::Get();
    s.Load();
    s.Show();

    bool ok = true;
    for (const char* pattern : {"file7.dat", "*.dat"}) {
        std::vector<double> search, bare;
        int found = 0;
        long entries = 0;
        TimeSearch(pattern, found);  // warm-up: directory caches
        TimeBare(entries);
        for (int r = 0; r < Rounds; ++r) {
            g_first.clear();
            search.push_back(TimeSearch(pattern, found));
            bare.push_back(TimeBare(entries));
        }
        const double a = Median(search), b = Median(bare), ratio = a / b;
        std::printf("search \"%s\": %.3f s, %d found (%ls)\n", pattern, a, found, g_first.c_str());
        std::printf("bare walk: %.3f s, %ld entries\n", b, entries);
        std::printf("ratio %.2f (limit %.2f): %s\n", ratio, Limit, ratio <= Limit ? "ok" : "TOO SLOW");
        std::fflush(stdout);
        ok = ok && ratio <= Limit;
    }
    s.Unload();
    ExitProcess(ok ? 0 : 1);
}
