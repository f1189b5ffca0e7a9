#include "core/modLanguage.h"
#include "core/App.h"
#include "core/MsgBox.h"
#include "core/Text.h"
#include "core/modRegistry2.h"
#include <windows.h>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int TextCount = 1000;

std::wstring* Table()
{
    static std::wstring table[TextCount];
    return table;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// The leading number of a text as Val reads it: blanks and tabs are ignored anywhere, a sign,
// digits, a fraction and an exponent (E or D), or &H / &O with hexadecimal or octal digits;
// reading stops at the first character that cannot continue the number; nothing gives 0.
double LeadingNumber(const std::wstring& raw)
{
    std::wstring s;
    for (wchar_t c : raw)
        if (c != L' ' && c != L'\t')
            s += c;
    size_t i = 0;
    if (s.size() >= 2 && s[0] == L'&' && (s[1] == L'H' || s[1] == L'h' || s[1] == L'O' || s[1] == L'o')) {
        int base = (s[1] == L'H' || s[1] == L'h') ? 16 : 8;
        double v = 0;
        for (i = 2; i < s.size(); ++i) {
            int d = HexDigit(s[i]);
            if (d < 0 || d >= base)
                break;
            v = v * base + d;
        }
        return v;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
        negative = s[i++] == L'-';
    std::string number;   // digits in the C locale's form, for strtod
    bool digits = false;
    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
        number += char(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == L'.') {
        number += '.';
        ++i;
        while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
            number += char(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == L'E' || s[i] == L'e' || s[i] == L'D' || s[i] == L'd')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == L'+' || s[j] == L'-'))
            exponent += char(s[j++]);
        bool expDigits = false;
        while (j < s.size() && s[j] >= L'0' && s[j] <= L'9') {
            exponent += char(s[j++]);
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    double v = std::strtod(number.c_str(), nullptr);
    return negative ? -v : v;
}

void ParseLine(const std::string& bytes)
{
    std::wstring line = FromAnsi(bytes, LanguageCodePage);
    if (line.empty() || line[0] == L';')
        return;
    if (line.find_first_not_of(L' ') == std::wstring::npos)
        return;   // only spaces; a line of tabs is not blank
    double id = std::nearbyint(LeadingNumber(line.substr(0, 3)));   // half to even
    if (!(id >= 0 && id < TextCount))
        return;
    std::wstring text = line.size() > 4 ? line.substr(4) : std::wstring();
    for (wchar_t& c : text)
        if (c == L'_')
            c = L'\r';
    Table()[(int)id] = std::move(text);
}

} // namespace

const std::wstring& LangText(int id)
{
    static const std::wstring empty;
    if (id < 0 || id >= TextCount)
        return empty;
    return Table()[id];
}

std::wstring LangTextOr(int id, const wchar_t* english)
{
    const std::wstring& text = LangText(id);
    return text.empty() ? std::wstring(english) : text;
}

void ClearLanguageTable()
{
    for (int i = 0; i < TextCount; ++i)
        Table()[i].clear();
}

int LoadLanguageFile(const std::string& fileName)
{
    if (fileName.empty())
        return 1;
    // Only an ordinary file counts: not a folder, and not one marked hidden or system.
    DWORD attributes = GetFileAttributesA(fileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return 1;
    HANDLE file = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // A read that fails, or a line too long to hold, ends the load; what was read stays.
    try {
        std::string line;
        bool afterCR = false;
        std::string chunk(65536, '\0');
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, &chunk[0], (DWORD)chunk.size(), &got, nullptr) || got == 0)
                break;
            for (DWORD i = 0; i < got; ++i) {
                char c = chunk[i];
                if (c == '\n' && afterCR) {
                    afterCR = false;
                    continue;
                }
                afterCR = c == '\r';
                if (afterCR) {
                    ParseLine(line);
                    line.clear();
                } else {
                    line += c;   // a line feed on its own stays inside the line
                }
            }
        }
        if (!line.empty())
            ParseLine(line);
    } catch (...) {
    }
    CloseHandle(file);
    return 0;
}

namespace {

std::string LanguageFilePath(const std::string& name)
{
    return ProgramFolder() + "\\languages\\" + name + "\\" + name + ".txt";
}

// Whether the table holds a text the windows show (ids 100 to 339). A file saved with line
// feeds only, as UTF-16 or empty loads without one, and every caption would be blank; a text
// holding a line feed is such a file's lines run together, not a caption.
bool HoldsWindowTexts()
{
    for (int id = 100; id <= 339; ++id)
        if (!Table()[id].empty() && Table()[id].find(L'\n') == std::wstring::npos)
            return true;
    return false;
}

// Loads the file into an empty table; false, with the table left empty, when it is missing or
// gives none of the texts the windows show.
bool LoadUsableFile(const std::string& fileName)
{
    ClearLanguageTable();
    if (LoadLanguageFile(fileName) == 0 && HoldsWindowTexts())
        return true;
    ClearLanguageTable();
    return false;
}

} // namespace

bool LoadLanguage()
{
    // The table is still empty while this runs, so its messages are fixed texts.
    const wchar_t failed[] = L"Error: Failed loading selected language.";
    try {
        if (GetSetting("curLang").str().empty()) {
            CoreMessageBox(failed, AppTitleW, MB_ICONERROR | MB_OK);
            SaveSetting("curLang", "English");
        }
        std::string folder = GetSetting("curLang").str();
        std::string name = GetSetting("curLang").str();
        if (LoadUsableFile(ProgramFolder() + "\\languages\\" + folder + "\\" + name + ".txt"))
            return true;
        // A language that is not installed (or whose folder went, or whose file gives no
        // caption) would leave every caption empty. English stands in for this run; the stored
        // choice is kept, so a language file put back is used again and the settings dialog
        // can store another.
        const std::string english = LanguageFilePath("English");
        if (LoadUsableFile(english)) {
            CoreMessageBox(failed, AppTitleW, MB_ICONERROR | MB_OK);
            return true;
        }
        CoreMessageBox(std::wstring(failed) + L"\r\n\r\nThe English language file is missing too, or holds no texts:\r\n" +
                           FromAnsi(english) +
                           L"\r\n\r\nHalvren cannot show its windows without it and ends now. Please install "
                           L"Halvren again.",
                       AppTitleW, MB_ICONERROR | MB_OK);
        return false;
    } catch (...) {
        return true;   // an unexpected failure: the program goes on with what was loaded
    }
}
