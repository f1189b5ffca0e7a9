#include "core/Text.h"

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

namespace {

// Under a single-byte code page every byte upper-cases on its own: the 256 answers of the
// conversion below, read once, spare three conversions per text.
struct SingleByteUpper
{
    bool ok = false;
    char map[256] = {};
};

const SingleByteUpper& SingleByteUpperTable()
{
    static const SingleByteUpper table = [] {
        SingleByteUpper t;
        CPINFO info;
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1)
            return t;
        for (int c = 0; c < 256; ++c) {
            const std::string one = ToAnsi(UpperWide(FromAnsi(std::string(1, static_cast<char>(c)))));
            if (one.size() != 1)
                return t;
            t.map[c] = one[0];
        }
        t.ok = true;
        return t;
    }();
    return table;
}

}  // namespace

std::string UpperAnsi(const std::string& s)
{
    const SingleByteUpper& table = SingleByteUpperTable();
    if (!table.ok)
        return ToAnsi(UpperWide(FromAnsi(s)));
    std::string u(s);
    for (char& c : u)
        c = table.map[static_cast<unsigned char>(c)];
    return u;
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
