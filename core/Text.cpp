#include "core/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

std::wstring FromAnsi(const std::string& s, UINT codePage)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, s.data(), (int)s.size(), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(n, L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string ToAnsi(const std::wstring& s, UINT codePage)
{
    if (s.empty())
        return std::string();
    int n = WideCharToMultiByte(codePage, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string a(n, '\0');
    WideCharToMultiByte(codePage, 0, s.data(), (int)s.size(), &a[0], n, nullptr, nullptr);
    return a;
}

std::wstring UpperWide(const std::wstring& s)
{
    if (s.empty())
        return s;
    std::wstring u(s);
    // Upper-casing keeps the length; fall back to the plain mapping if the locale call refuses.
    if (LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, s.data(), (int)s.size(), &u[0], (int)u.size()) == 0)
        CharUpperBuffW(&u[0], (DWORD)u.size());
    return u;
}

const AnsiLeadBytes& AnsiLeads()
{
    static const AnsiLeadBytes leads = [] {
        AnsiLeadBytes t;
        CPINFO info;
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2)
            return t;
        for (int r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r]; r += 2)
            for (int b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; ++b)
                t.lead[b] = t.any = true;
        return t;
    }();
    return leads;
}

namespace {

// One character of the ANSI code page, its `n` bytes at `p`, upper-cased in place when its upper
// case has an exact ANSI form of as many bytes; otherwise its bytes stay. A text upper-cased so
// keeps every character where it was, and a path cut out of it is the path the data names.
void UpperAnsiChar(char* p, int n, bool utf8)
{
    wchar_t w[2];
    const int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, p, n, w, 2);
    if (m <= 0)
        return;
    const std::wstring upper = UpperWide(std::wstring(w, static_cast<size_t>(m)));
    if (upper.compare(0, std::wstring::npos, w, static_cast<size_t>(m)) == 0)
        return;
    char out[4];
    BOOL lost = FALSE;
    // UTF-8 holds every character and takes neither flag nor default.
    const int k = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, upper.data(), m, out, n, nullptr,
                                      utf8 ? nullptr : &lost);
    if (k == n && !lost)
        memcpy(p, out, static_cast<size_t>(n));
}

// The upper case of every byte that is a character alone, read once; under a double-byte code
// page the two-byte characters' upper case is kept as each is first met (the program upper-cases
// on its window thread only).
struct UpperTable
{
    char single[256];
    bool lead[256] = {};
    bool multiByte = false, utf8 = false;
    std::vector<uint16_t> pairs;  // by lead byte and second byte; 0 until met

    UpperTable()
    {
        CPINFO info;
        if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1) {
            multiByte = true;
            utf8 = info.MaxCharSize > 2;
            std::copy(std::begin(AnsiLeads().lead), std::end(AnsiLeads().lead), lead);
            if (!utf8)
                pairs.assign(65536, 0);
        }
        for (int c = 0; c < 256; ++c) {
            single[c] = static_cast<char>(c);
            if (!lead[c] && (!utf8 || c < 0x80))
                UpperAnsiChar(&single[c], 1, utf8);
        }
    }
};

UpperTable& Upper()
{
    static UpperTable table;
    return table;
}

// The bytes of the UTF-8 character that starts at text[at]: a lead byte and the continuation
// bytes that follow it, as many as it announces.
size_t Utf8CharBytes(const std::string& text, size_t at)
{
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t wanted = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t n = 1;
    while (n < wanted && at + n < text.size() && (static_cast<unsigned char>(text[at + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

}  // namespace

std::string UpperAnsi(const std::string& s)
{
    UpperTable& t = Upper();
    std::string u(s);
    if (!t.multiByte) {
        for (char& c : u)
            c = t.single[static_cast<unsigned char>(c)];
        return u;
    }
    for (size_t i = 0; i < u.size();) {
        const unsigned char c = static_cast<unsigned char>(u[i]);
        if (c < 0x80 || (!t.utf8 && (!t.lead[c] || i + 1 == u.size()))) {
            // A lead byte that ends the text is no character: single[] keeps it.
            u[i++] = t.single[c];
        } else if (t.utf8) {
            const size_t n = Utf8CharBytes(u, i);
            UpperAnsiChar(&u[i], static_cast<int>(n), true);
            i += n;
        } else {
            uint16_t& known = t.pairs[static_cast<size_t>(c) << 8 | static_cast<unsigned char>(u[i + 1])];
            if (!known) {
                char pair[2] = {u[i], u[i + 1]};
                UpperAnsiChar(pair, 2, false);
                known = static_cast<uint16_t>(static_cast<unsigned char>(pair[0]) << 8 | static_cast<unsigned char>(pair[1]));
            }
            u[i] = static_cast<char>(known >> 8);
            u[i + 1] = static_cast<char>(known & 0xFF);
            i += 2;
        }
    }
    return u;
}

std::wstring UpperAsAnsi(const std::wstring& s)
{
    if (!HasAnsiForm(s.data(), s.size()))
        return UpperWide(s);
    return FromAnsi(UpperAnsi(ToAnsi(s)));
}

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::wstring text = n && buf ? std::wstring(buf, n) : std::wstring();
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"Error " + std::to_wstring(code) + L".";
    return text;
}

bool HasAnsiForm(const wchar_t* text, size_t length)
{
    if (length == 0 || GetACP() == CP_UTF8)
        return true;
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, &usedDefault);
    return n > 0 && !usedDefault;
}
