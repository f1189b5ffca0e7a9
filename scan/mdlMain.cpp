#include "scan/mdlMain.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "core/Text.h"
#include "core/mdlMain.h"
#include "scan/frmMain.h"
#include "scan/frmSearch.h"

namespace {

// Whether a text holds a lead byte: one that holds none is read byte by byte under any code page,
// as most data (plain ASCII) can be.
bool HoldsLeadByte(const std::string& text) {
    const AnsiLeadBytes& leads = AnsiLeads();
    if (!leads.any) return false;
    for (char c : text)
        if (leads.lead[static_cast<unsigned char>(c)]) return true;
    return false;
}

}  // namespace

size_t AnsiCharBytes(const std::string& text, size_t at) {
    return AnsiLeads().lead[static_cast<unsigned char>(text[at])] && at + 1 < text.size() ? 2 : 1;
}

size_t FindAnsi(const std::string& text, const std::string& what, size_t from) {
    if (!AnsiLeads().any) return text.find(what, from);
    for (size_t i = 0; i + what.size() <= text.size(); i += AnsiCharBytes(text, i))
        if (i >= from && text.compare(i, what.size(), what) == 0) return i;
    return std::string::npos;
}

std::string ReverseString(const std::string& text) {
    std::string out(text.size(), '\0');
    size_t end = text.size();
    for (size_t i = 0; i < text.size();) {
        const size_t n = AnsiCharBytes(text, i);
        end -= n;
        out.replace(end, n, text, i, n);
        i += n;
    }
    return out;
}

std::string ExtractFilePath(const std::string& data) { return ExtractFilePathUpper(UpperAnsi(data)); }

std::string ExtractFilePathUpper(std::string s) {
    static const char* const kExtensions[] = {".EXE", ".SYS", ".DLL", ".OCX", ".OCA", ".VXD", ".AX",
                                              ".COM", ".CPL", ".TLB", ".SCR", ".BAT", ".DRV"};
    static const char kCuts[] = {'/', '*', '?', '"', '<', '>', '|', ',', '(', ';'};

    // Cutting only shortens the text: one without lead bytes stays so.
    const bool multiByte = HoldsLeadByte(s);
    auto find = [&](const char* what, size_t from) {
        return multiByte ? FindAnsi(s, what, from) : s.find(what, from);
    };
    size_t at = find("C:\\", 0);
    if (at == std::string::npos)
        s = "C:\\";
    else
        s.erase(0, at);
    // Each cut works on what the one before left: ".AX" can match inside what ".EXE" kept.
    for (const char* ext : kExtensions) {
        size_t p = find(ext, 0);
        if (p != std::string::npos) s.erase(p + std::char_traits<char>::length(ext));
    }
    // Each cut keeps what lies before its character: together they keep what lies before the
    // first of them.
    if (!multiByte) {
        s.erase(std::min(s.find_first_of(kCuts, 0, sizeof kCuts), s.size()));
    } else {
        for (char c : kCuts) {
            size_t p = FindAnsi(s, std::string(1, c));
            if (p != std::string::npos) s.erase(p);
        }
    }
    // A colon past the drive's own.
    size_t colon = find(":", 2);
    if (colon != std::string::npos) s.erase(colon);
    if (s.find(" %1") == std::string::npos) return s;
    // One left-to-right pass, as a plain replace does: " % %11" keeps the " %1" it forms.
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, 3, " %1") == 0) {
            i += 3;
        } else {
            const size_t n = AnsiCharBytes(s, i);
            out.append(s, i, n);
            i += n;
        }
    }
    return out;
}

std::string PathAsWritten(const std::string& data, const std::string& upperData, const std::string& upperPath) {
    if (data.size() != upperData.size()) return upperPath;
    const size_t at = FindAnsi(upperData, upperPath);
    if (at == std::string::npos) return upperPath;
    std::string written = data.substr(at, upperPath.size());
    return UpperAnsi(written) == upperPath ? written : upperPath;
}

void AutoSizeColumns(ui::ListView& list, int column) {
    if (!list.hwnd) return;
    if (column >= 0) {
        SendMessageA(list.hwnd, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE);
    } else {
        int n = list.ColumnCount();
        for (int c = 0; c < n; ++c) SendMessageA(list.hwnd, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE);
    }
    list.Refresh();
}

void RemoveDuplicateItems(std::vector<std::wstring>& items) {
    if (items.size() < 2) return;
    std::set<std::wstring> seen;
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!seen.insert(UpperWide(items[i])).second) continue;
        if (kept != i) items[kept] = std::move(items[i]);
        ++kept;
    }
    items.resize(kept);
}

namespace {
size_t g_nodeLimit = 0;
}  // namespace

void AnsiMatcher::SetNodeLimitHook(size_t nodes) { g_nodeLimit = nodes; }

bool AnsiMatcher::Build(const std::vector<std::wstring>& entries) {
    try {
        BuildTrie(entries);
        return true;
    } catch (const std::bad_alloc&) {
        // Nothing half built stays: memory goes back, and the test finds nothing.
        std::vector<Node>().swap(nodes_);
        std::vector<unsigned char>().swap(edgeBytes_);
        std::vector<int>().swap(edgeTargets_);
        std::fill(std::begin(rootNext_), std::end(rootNext_), 0);
        matchesAll_ = false;
        return false;
    }
}

void AnsiMatcher::BuildTrie(const std::vector<std::wstring>& entries) {
    nodes_.assign(1, Node());
    edgeBytes_.clear();
    edgeTargets_.clear();
    std::fill(std::begin(rootNext_), std::end(rootNext_), 0);
    matchesAll_ = false;

    std::vector<std::string> texts;
    texts.reserve(entries.size());
    for (const std::wstring& entry : entries) {
        if (entry.empty()) {
            matchesAll_ = true;
            continue;
        }
        BOOL lost = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, entry.data(), static_cast<int>(entry.size()),
                                          nullptr, 0, nullptr, &lost);
        if (n <= 0 || lost) continue;
        std::string text(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, entry.data(), static_cast<int>(entry.size()), &text[0], n,
                            nullptr, nullptr);
        texts.push_back(std::move(text));
    }
    if (matchesAll_ || texts.empty()) return;

    // Sorted and unique, each entry shares a path with the one before and ends on a node of its
    // own, and every node's children are made in the order of their bytes.
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    std::vector<int> parent(1, -1);
    std::vector<unsigned char> byte(1, 0);
    std::vector<int> path;  // the nodes of the entry before, by depth
    for (size_t t = 0; t < texts.size(); ++t) {
        const std::string& text = texts[t];
        size_t common = 0;
        if (t > 0)
            while (common < texts[t - 1].size() && common < text.size() && texts[t - 1][common] == text[common])
                ++common;
        path.resize(common);
        int node = common ? path.back() : 0;
        if (g_nodeLimit && parent.size() + text.size() - common > g_nodeLimit) throw std::bad_alloc();
        for (size_t i = common; i < text.size(); ++i) {
            parent.push_back(node);
            byte.push_back(static_cast<unsigned char>(text[i]));
            node = static_cast<int>(parent.size()) - 1;
            path.push_back(node);
        }
        nodes_.resize(parent.size());
        nodes_[static_cast<size_t>(node)].length = static_cast<int>(text.size());
    }

    // The edges grouped by node (a counting sort keeps each node's byte order).
    const size_t count = parent.size();
    for (size_t v = 1; v < count; ++v) ++nodes_[static_cast<size_t>(parent[v])].edges;
    int next = 0;
    for (Node& node : nodes_) {
        node.firstEdge = next;
        next += node.edges;
    }
    edgeBytes_.resize(count - 1);
    edgeTargets_.resize(count - 1);
    std::vector<int> filled(count, 0);
    for (size_t v = 1; v < count; ++v) {
        const size_t u = static_cast<size_t>(parent[v]);
        const size_t at = static_cast<size_t>(nodes_[u].firstEdge + filled[u]++);
        edgeBytes_[at] = byte[v];
        edgeTargets_[at] = static_cast<int>(v);
    }
    for (int e = 0; e < nodes_[0].edges; ++e) rootNext_[edgeBytes_[static_cast<size_t>(e)]] = edgeTargets_[static_cast<size_t>(e)];

    // Fail links breadth first: the longest proper suffix of a node's text that is a node too.
    std::vector<int> queue;
    queue.reserve(count);
    queue.push_back(0);
    for (size_t q = 0; q < queue.size(); ++q) {
        const int u = queue[q];
        const Node& from = nodes_[static_cast<size_t>(u)];
        for (int e = from.firstEdge; e < from.firstEdge + from.edges; ++e) {
            const int v = edgeTargets_[static_cast<size_t>(e)];
            Node& to = nodes_[static_cast<size_t>(v)];
            to.fail = u == 0 ? 0 : Next(nodes_[static_cast<size_t>(u)].fail, edgeBytes_[static_cast<size_t>(e)]);
            to.output = to.length ? v : nodes_[static_cast<size_t>(to.fail)].output;
            queue.push_back(v);
        }
    }
}

int AnsiMatcher::Next(int node, unsigned char b) const {
    for (;;) {
        if (node == 0) return rootNext_[b];
        const Node& n = nodes_[static_cast<size_t>(node)];
        const auto first = edgeBytes_.begin() + n.firstEdge, last = first + n.edges;
        const auto it = std::lower_bound(first, last, b);
        if (it != last && *it == b) return edgeTargets_[static_cast<size_t>(it - edgeBytes_.begin())];
        node = n.fail;
    }
}

bool AnsiMatcher::FoundIn(const std::string& text) const {
    if (matchesAll_) return true;
    if (nodes_.size() <= 1) return false;
    const bool multiByte = HoldsLeadByte(text);
    // Where a text holds two-byte characters an occurrence counts only where a character starts.
    std::vector<bool> starts;
    if (multiByte) {
        starts.assign(text.size() + 1, false);
        for (size_t i = 0; i < text.size(); i += AnsiCharBytes(text, i)) starts[i] = true;
    }
    int state = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        state = Next(state, static_cast<unsigned char>(text[i]));
        for (int o = nodes_[static_cast<size_t>(state)].output; o >= 0;
             o = nodes_[static_cast<size_t>(nodes_[static_cast<size_t>(o)].fail)].output) {
            if (!multiByte || starts[i + 1 - static_cast<size_t>(nodes_[static_cast<size_t>(o)].length)]) return true;
        }
    }
    return false;
}

bool ReadsAsNumber(const std::string& text, double& value) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    size_t e = text.find_last_not_of(" \t") + 1;
    std::string body = text.substr(b, e - b);
    size_t i = 0;
    if (body[i] == '+' || body[i] == '-') ++i;
    int digits = 0;
    bool point = false;
    for (; i < body.size(); ++i) {
        if (body[i] >= '0' && body[i] <= '9')
            ++digits;
        else if (body[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (digits == 0) return false;
    value = std::strtod(body.c_str(), nullptr);
    return true;
}

std::string TrimAtNull(std::string& text) {
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.erase(nul);
    return text;
}

namespace {

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// Names compared as the file system compares them: letter case aside, character by character.
// Most names differ in an ASCII letter or are ASCII throughout, which settles them byte by byte.
bool SameName(const char* name, const std::string& pattern) {
    if (std::char_traits<char>::length(name) != pattern.size()) return false;
    auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    bool ascii = true;
    for (size_t i = 0; i < pattern.size() && ascii; ++i) {
        const unsigned char a = static_cast<unsigned char>(name[i]), b = static_cast<unsigned char>(pattern[i]);
        ascii = a < 0x80 && b < 0x80;
        if (ascii && upper(a) != upper(b)) return false;
    }
    if (ascii) return !pattern.empty();
    std::wstring a = FromAnsi(name), b = FromAnsi(pattern);
    if (a.size() != b.size() || a.empty()) return false;
    CharUpperBuffW(&a[0], static_cast<DWORD>(a.size()));
    CharUpperBuffW(&b[0], static_cast<DWORD>(b.size()));
    return a == b;
}

// Hands every entry of a find but "." and ".." to `each`, with the search's stop test before
// each one; false when the search was stopped. A folder that cannot be listed adds nothing.
template <class Each>
bool ForEachFound(frmSearch& form, const std::string& files, Each each) {
    // Cleared, so that a find that leaves the reparse tag unset (Wine's does) hands on 0, no tag.
    WIN32_FIND_DATAA fd = {};
    HANDLE find = FindFirstFileA(files.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool going = true;
    do {
        if (form.StopRequested()) {
            going = false;
            break;
        }
        // The record's name field is cut where the name ends, without copying the whole field.
        std::string name(fd.cFileName, strnlen(fd.cFileName, sizeof fd.cFileName));
        if (!IsDots(TrimAtNull(name))) each(fd, name);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    return going;
}

}  // namespace

bool EntersFolder(const WIN32_FIND_DATAA& fd, const std::string& path) {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // The find record carries the reparse tag; where it carries none, the folder is asked, and
    // a folder whose kind cannot be told is left out rather than perhaps walked in a circle.
    DWORD tag = fd.dwReserved0;
    if (tag == 0 && !path.empty()) {
        HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        // Windows Vista and later; FileAttributeTagInfo is class 9.
        using InfoByHandle = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
        static const auto infoByHandle = SystemFunction<InfoByHandle>("kernel32.dll", "GetFileInformationByHandleEx");
        if (h != INVALID_HANDLE_VALUE) {
            struct { DWORD attributes, tag; } info = {};
            if (infoByHandle && infoByHandle(h, 9, &info, sizeof info) && (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                tag = info.tag;
            CloseHandle(h);
        }
    }
    return tag != 0 && tag != IO_REPARSE_TAG_MOUNT_POINT && tag != IO_REPARSE_TAG_SYMLINK;
}

uint64_t FindFilesRecursive(std::string& folder, const std::string& pattern, int64_t& files, int64_t& folders) {
    frmSearch& form = frmSearch::Get();
    uint64_t total = 0;
    if (folder.empty() || folder.back() != '\\') folder += '\\';

    // The subfolders first: the find record says what each entry is, so no attribute call is
    // needed. Junctions, mount points and symbolic links (Wine shows Unix links as reparse points)
    // are not entered: they can lead off the drive or in a circle. Folders have no hard links, so
    // without them no folder is reached twice.
    std::vector<std::string> subfolders;
    auto match = [&](const WIN32_FIND_DATAA& fd, const std::string& name) {
        if (form.AddFound(folder + name)) {
            total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            ++files;
        }
    };
    // A plain name matches an entry whose long or short name it is, letter case aside: the
    // subfolder listing finds those matches too, in the order a find for the name reports
    // them, and saves listing every folder a second time.
    const bool plain = !pattern.empty() && pattern.find_first_of("*?<>\"") == std::string::npos &&
                       pattern.back() != ' ' && pattern.back() != '.';
    const bool going = ForEachFound(form, folder + "*", [&](const WIN32_FIND_DATAA& fd, const std::string& name) {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && EntersFolder(fd, folder + name)) {
            subfolders.push_back(name);
            ++folders;
        }
        if (plain && (SameName(name.c_str(), pattern) || SameName(fd.cAlternateFileName, pattern))) match(fd, name);
        form.Progress(folder, name.c_str());
    });
    // Then the matches of this folder, folders whose name matches among them.
    if (!going || (!plain && !ForEachFound(form, folder + pattern, [&](const WIN32_FIND_DATAA& fd, const std::string& name) {
            match(fd, name);
            form.Progress(folder, "");
        })))
        return total;

    for (const std::string& name : subfolders) {
        if (form.StopRequested()) return total;
        std::string path = folder + name + "\\";
        total += FindFilesRecursive(path, pattern, files, folders);
        form.Progress(folder, "");
    }
    return total;
}

void TrayIconMouseMove(float x) {
    frmMain& f = frmMain::Get();
    // The main window works in twips: the code is the pixel column.
    const long code = std::lrint(x / static_cast<float>(ui::PixelsToTwipsX(1)));
    if (code == WM_LBUTTONDBLCLK) {
        if (f.Load()) ShowWindow(f.hwnd(), SW_RESTORE);
        f.Show();
    } else if (code == WM_RBUTTONUP) {
        POINT pt;
        GetCursorPos(&pt);
        f.menu.Popup(frmMain::mnuFile, f.hwnd(), pt);
    }
}
