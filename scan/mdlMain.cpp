#include "scan/mdlMain.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/Text.h"

std::string ExtractFilePath(const std::string& data) {
    static const char* const kExtensions[] = {".EXE", ".SYS", ".DLL", ".OCX", ".OCA", ".VXD", ".AX",
                                              ".COM", ".CPL", ".TLB", ".SCR", ".BAT", ".DRV"};
    static const char kCuts[] = {'/', '*', '?', '"', '<', '>', '|', ',', '(', ';'};

    std::string s = UpperAnsi(data);
    size_t at = s.find("C:\\");
    if (at == std::string::npos)
        s = "C:\\";
    else
        s.erase(0, at);
    // Each cut works on what the one before left: ".AX" can match inside what ".EXE" kept.
    for (const char* ext : kExtensions) {
        size_t p = s.find(ext);
        if (p != std::string::npos) s.erase(p + std::char_traits<char>::length(ext));
    }
    for (char c : kCuts) {
        size_t p = s.find(c);
        if (p != std::string::npos) s.erase(p);
    }
    // A colon past the drive's own.
    size_t colon = s.find(':', 2);
    if (colon != std::string::npos) s.erase(colon);
    // One left-to-right pass, as a plain replace does: " % %11" keeps the " %1" it forms.
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, 3, " %1") == 0) {
            i += 3;
        } else {
            out += s[i++];
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
