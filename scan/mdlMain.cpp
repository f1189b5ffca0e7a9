#include "scan/mdlMain.h"

#include <set>
#include <string>
#include <vector>

#include "core/Text.h"

namespace {

// The lead bytes of the system's ANSI code page, read once.
struct LeadBytes {
    bool lead[256] = {};
    bool any = false;
    LeadBytes() {
        CPINFO info;
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) return;
        for (int r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r]; r += 2)
            for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b) lead[b] = any = true;
    }
};

const LeadBytes& Leads() {
    static const LeadBytes leads;
    return leads;
}

}  // namespace

size_t AnsiCharBytes(const std::string& text, size_t at) {
    return Leads().lead[static_cast<unsigned char>(text[at])] && at + 1 < text.size() ? 2 : 1;
}

size_t FindAnsi(const std::string& text, const std::string& what, size_t from) {
    if (!Leads().any) return text.find(what, from);
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

std::string ExtractFilePath(const std::string& data) {
    static const char* const kExtensions[] = {".EXE", ".SYS", ".DLL", ".OCX", ".OCA", ".VXD", ".AX",
                                              ".COM", ".CPL", ".TLB", ".SCR", ".BAT", ".DRV"};
    static const char kCuts[] = {'/', '*', '?', '"', '<', '>', '|', ',', '(', ';'};

    std::string s = UpperAnsi(data);
    size_t at = FindAnsi(s, "C:\\");
    if (at == std::string::npos)
        s = "C:\\";
    else
        s.erase(0, at);
    // Each cut works on what the one before left: ".AX" can match inside what ".EXE" kept.
    for (const char* ext : kExtensions) {
        size_t p = FindAnsi(s, ext);
        if (p != std::string::npos) s.erase(p + std::char_traits<char>::length(ext));
    }
    for (char c : kCuts) {
        size_t p = FindAnsi(s, std::string(1, c));
        if (p != std::string::npos) s.erase(p);
    }
    // A colon past the drive's own.
    size_t colon = FindAnsi(s, ":", 2);
    if (colon != std::string::npos) s.erase(colon);
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

void RemoveDuplicateItems(ui::ListBox& list) {
    int n = list.Count();
    if (n < 2) return;
    std::vector<std::wstring> kept;
    std::set<std::wstring> seen;
    for (int i = 0; i < n; ++i) {
        std::wstring item = list.Item(i);
        if (seen.insert(UpperWide(item)).second) kept.push_back(item);
    }
    if (static_cast<int>(kept.size()) == n) return;
    list.Clear();
    for (const auto& item : kept) list.Add(item);
}
