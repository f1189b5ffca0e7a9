#include "scan/frmIgnore.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/FileWrite.h"
#include "core/Text.h"
#include "core/mdlMain.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include "scan/mdlMain.h"
#include "ui/Dpi.h"

namespace {

enum : int {
    idFrame1 = 1001, idFrame2, idPicture1, idPicture2, idInfo, idString, idTxtString, idList,
    idAdd, idRemove, idLabel12, idLang, idCommand2, idApply, idCommand1,
};

std::string IgnorePath() { return DataFolder() + "\\Ignore.txt"; }

void FileFault(const std::wstring& what, const std::string& path, DWORD code, const std::wstring& outcome) {
    ui::MsgBox(what + L"\r\n" + FromAnsi(path) + L"\r\n\r\n" + SystemErrorText(code) + L"\r\n\r\n" + outcome,
               MB_OK | MB_ICONEXCLAMATION);
}

// Lines end at CR LF, at a lone LF or at a lone CR; a last line without an end counts too.
template <class Text>
std::vector<Text> SplitLines(const Text& text) {
    std::vector<Text> lines;
    Text line;
    size_t i = 0;
    while (i < text.size()) {
        auto c = text[i++];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

using TextForm = frmIgnore::TextForm;

const char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-8 as text. A byte that starts no valid sequence becomes U+DC00 plus the byte, a lone
// surrogate that no valid UTF-8 gives, so that OK writes the byte back as it was; `clean` tells
// whether there was any.
std::wstring FromUtf8(const std::string& bytes, size_t from, size_t to, bool& clean) {
    std::wstring text;
    text.reserve(to - from);
    clean = true;
    for (size_t i = from; i < to;) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            text += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        const size_t more = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
        unsigned long cp = b & (more == 1 ? 0x1F : more == 2 ? 0x0F : 0x07);
        bool ok = more > 0 && i + more < to;
        for (size_t k = 1; ok && k <= more; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = cp << 6 | (c & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no text either.
        ok = ok && !(more == 2 && cp < 0x800) && !(more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) &&
             !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!ok) {
            text += static_cast<wchar_t>(0xDC00 | b);
            clean = false;
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(cp);
        }
        i += more + 1;
    }
    return text;
}

std::string ToUtf8(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            bytes += static_cast<char>(cp & 0xFF);  // a byte the file held that was no text
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            bytes += static_cast<char>(cp);
        } else if (cp < 0x800) {
            bytes += static_cast<char>(0xC0 | cp >> 6);
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes += static_cast<char>(0xE0 | cp >> 12);
            bytes += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | cp >> 18);
            bytes += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            bytes += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            bytes += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return bytes;
}

// An odd last byte is half a character: it goes to `tail`, which OK writes back after the list.
std::wstring FromUtf16(const std::string& bytes, size_t from, bool bigEndian, std::string& tail) {
    std::wstring text;
    text.reserve((bytes.size() - from) / 2);
    size_t i = from;
    for (; i + 1 < bytes.size(); i += 2) {
        const unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    // A NUL there belongs to the zeros a crash leaves at the end.
    tail = i < bytes.size() && bytes[i] != '\0' ? bytes.substr(i) : std::string();
    return text;
}

// A file without a byte-order mark is plainly UTF-16 when, read in pairs of bytes, at least half
// of its characters have one byte zero on the same side (the high byte of Latin text) and fewer
// than a tenth as many on the other side. `end` lies before the zeros at the end of the file.
bool PlainlyUtf16(const std::string& bytes, size_t end, bool& bigEndian) {
    end = std::min(bytes.size(), end + end % 2);
    size_t lowZero = 0, highZero = 0;
    for (size_t i = 0; i + 1 < end; i += 2) {
        const bool first = bytes[i] == '\0', second = bytes[i + 1] == '\0';
        if (first && !second) ++lowZero;
        if (!first && second) ++highZero;
    }
    const size_t units = end / 2;
    bigEndian = lowZero > highZero;
    const size_t same = bigEndian ? lowZero : highZero, other = bigEndian ? highZero : lowZero;
    return units > 0 && same * 2 >= units && other * 10 < same;
}

// The entries of Ignore.txt, one per line and upper-cased, and the form the file is written in.
// A byte-order mark names the form. Without one, a file that is plainly UTF-16 is read as such,
// one that is valid UTF-8 and holds more than ASCII (as Notepad saves) as UTF-8, and any other
// as ANSI text. Zeros at the end of a file are what a crash leaves, not an entry; a NUL anywhere
// else stays in its entry.
std::vector<std::wstring> ReadEntries(const std::string& bytes, TextForm& form, bool& marked, std::string& tail) {
    std::vector<std::wstring> entries;
    tail.clear();
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == '\0') --end;
    const bool utf8Mark = bytes.compare(0, 3, kUtf8Mark) == 0;
    const bool utf16Mark = bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
    marked = utf8Mark || utf16Mark;
    bool bigEndian = utf16Mark && bytes[0] == '\xFE', clean = true;
    std::wstring text;
    if (utf8Mark) {
        form = TextForm::Utf8;
        text = FromUtf8(bytes, 3, std::max<size_t>(end, 3), clean);
    } else if (utf16Mark || PlainlyUtf16(bytes, end, bigEndian)) {
        form = bigEndian ? TextForm::Utf16BE : TextForm::Utf16LE;
        text = FromUtf16(bytes, utf16Mark ? 2 : 0, bigEndian, tail);
    } else {
        form = TextForm::Ansi;
        if (std::any_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end), [](char c) { return c & 0x80; })) {
            text = FromUtf8(bytes, 0, end, clean);
            if (clean) form = TextForm::Utf8;
        }
    }
    if (form == TextForm::Ansi) {
        // Upper case through the code page, as the file holds it.
        for (const std::string& line : SplitLines(bytes.substr(0, end))) entries.push_back(FromAnsi(UpperAnsi(line)));
        return entries;
    }
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    for (const std::wstring& line : SplitLines(text)) entries.push_back(UpperAsAnsi(line));
    return entries;
}

// The list as Ignore.txt holds it, one entry per line ended by CR LF, in the file's form.
std::string WriteEntries(const std::vector<std::wstring>& items, TextForm form, bool marked, const std::string& tail) {
    std::string bytes;
    if (form == TextForm::Ansi) {
        for (const std::wstring& item : items) bytes += ToAnsi(item) + "\r\n";
        return bytes;
    }
    std::wstring text;
    for (const std::wstring& item : items) text += item + L"\r\n";
    if (form == TextForm::Utf8) return (marked ? kUtf8Mark : "") + ToUtf8(text);
    const bool bigEndian = form == TextForm::Utf16BE;
    if (marked) bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes + tail;
}

// What the list box shows of an entry: it would cut the text at a NUL, and it has no glyph for
// a lone surrogate (a byte of the file that was no text). Both show as the replacement character.
std::wstring Shown(const std::wstring& entry) {
    std::wstring shown(entry);
    for (size_t i = 0; i < shown.size(); ++i) {
        wchar_t& c = shown[i];
        if (IsHighSurrogate(c) && i + 1 < shown.size() && IsLowSurrogate(shown[i + 1]))
            ++i;
        else if (c == L'\0' || IsHighSurrogate(c) || IsLowSurrogate(c))
            c = 0xFFFD;
    }
    return shown;
}

// A fingerprint of a file's bytes or of a list (FNV-1a), to tell whether either has changed.
uint64_t Fingerprint(const void* data, size_t size, uint64_t hash = 14695981039346656037ull) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
    return hash;
}
uint64_t Fingerprint(const std::vector<std::wstring>& items) {
    uint64_t hash = Fingerprint(nullptr, 0);
    for (const std::wstring& item : items) {
        const size_t size = item.size();
        hash = Fingerprint(&size, sizeof size, hash);
        hash = Fingerprint(item.data(), size * sizeof(wchar_t), hash);
    }
    return hash;
}

// The width in pixels of the widest text in the list's font, from the widths of its characters.
int WidestText(HWND list, const std::vector<std::wstring>& texts) {
    HDC dc = list ? GetDC(list) : nullptr;
    if (!dc) return 0;
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    std::vector<int> widths(0x10000, -1);
    int widest = 0;
    for (const std::wstring& text : texts) {
        int width = 0;
        for (wchar_t c : text) {
            int& w = widths[c];
            if (w < 0) {
                INT got = 0;
                w = GetCharWidth32W(dc, c, c, &got) ? got : 0;
            }
            width += w;
        }
        widest = std::max(widest, width);
    }
    TEXTMETRICW tm = {};
    // A margin of two average characters, for the list's own space before and after the text.
    if (widest > 0 && GetTextMetricsW(dc, &tm)) widest += 2 * tm.tmAveCharWidth;
    SelectObject(dc, font);
    ReleaseDC(list, dc);
    return widest;
}

// Lets the list scroll sideways as far as the widest of `shown` reaches; it never narrows.
void WidenList(HWND list, const std::vector<std::wstring>& shown) {
    const int widest = WidestText(list, shown);
    if (widest > static_cast<int>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)))
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

// The new list goes to a temporary file beside the old one, which it replaces only once it
// is written whole: a failure leaves the old file as it was.
bool WriteReplacing(const std::string& path, const std::string& bytes, DWORD& error) {
    // A read-only list is not replaced (not every file system refuses the rename itself).
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    std::string folder = path.substr(0, path.find_last_of('\\'));
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "ign", 0, temp)) {
        error = GetLastError();
        return false;
    }
    HANDLE f = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = f != INVALID_HANDLE_VALUE;
    if (ok) {
        ok = WriteAll(f, bytes.data(), bytes.size(), error) && FlushToDisk(f, error);
        if (!CloseHandle(f) && ok) {
            error = GetLastError();
            ok = false;
        }
    } else {
        error = GetLastError();
    }
    if (ok && !MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        ok = false;
    }
    if (!ok) DeleteFileA(temp);
    return ok;
}

// The list box's own window procedure. The list is subclassed the classic way: comctl32's
// subclass helper finds its data through a window property, which under Wine costs a round trip
// to the server on every message the list gets, a tenth of a millisecond: seconds for a long list.
WNDPROC g_listBoxProc = nullptr;

LRESULT CALLBACK ListProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        int button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4;
        int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
        // In twips at the window's own DPI, which the row rule counts in.
        HWND window = GetAncestor(h, GA_ROOT);
        double x = ui::PixelsToTwips(window, static_cast<short>(LOWORD(lParam)));
        double y = ui::PixelsToTwips(window, static_cast<short>(HIWORD(lParam)));
        // The handler runs first, so a left click still ends on the row under the pointer
        // (the list's own selection follows); a right click keeps the handler's row.
        frmIgnore& form = frmIgnore::Get();
        form.lstIgnore_MouseDown(button, shift, x, y);
        // Below the last row the list would select the last one: a click there selects nothing.
        if (message == WM_LBUTTONDOWN && form.RowAt(y) < 0) {
            SetFocus(h);
            return 0;
        }
        break;
    }
    }
    return CallWindowProcW(g_listBoxProc, h, message, wParam, lParam);
}

}  // namespace

frmIgnore& frmIgnore::Get() {
    static frmIgnore form;
    return form;
}

ui::Form::Design frmIgnore::GetDesign() {
    Design d;
    d.clientWidth = 6600;
    d.clientHeight = 5880;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    d.exStyle = WS_EX_DLGMODALFRAME;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.charset = EASTEUROPE_CHARSET;
    d.centred = true;
    return d;
}

void frmIgnore::CreateControls() {
    AddFrame(Frame1, idFrame1, 120, 60, 6360, 4260, L" ");
    AddLabel(lblInfo, idInfo, 120, 240, 6120, 480, L"", &Frame1);
    AddLabel(lblString, idString, 120, 840, 4560, 255, L"", &Frame1);
    Add(txtString, L"EDIT", idTxtString, 120, 1110, 4560, 330, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
        &Frame1);
    AddFrame(Picture1, idPicture1, 4800, 1110, 1440, 840, L"", &Frame1);
    AddButton(cmdAdd, idAdd, 0, 0, 1440, 375, L"", &Picture1);
    AddButton(cmdRemove, idRemove, 0, 465, 1440, 375, L"", &Picture1);
    // Scrolls sideways too: a long entry is cut at the list's edge.
    Add(lstIgnore, L"LISTBOX", idList, 120, 1560, 4560, 2580, L"",
        LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, &Frame1);
    if (lstIgnore.hwnd) {
        auto own = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(lstIgnore.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
        if (own) g_listBoxProc = own;
    }

    AddFrame(Frame2, idFrame2, 120, 4380, 6360, 900, L" ");
    AddFrame(Picture2, idPicture2, 120, 300, 6120, 480, L"", &Frame2);
    AddLabel(Label12, idLabel12, 0, 75, 1560, 255, L"", &Picture2);
    Add(optLang, L"COMBOBOX", idLang, 1620, 30, 2400, 1500, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0,
        &Picture2);
    AddButton(Command2, idCommand2, 4680, 0, 1440, 375, L"", &Picture2);

    AddButton(cmdApply, idApply, 3720, 5400, 1320, 375, L"&OK");
    AddButton(Command1, idCommand1, 5160, 5400, 1320, 375, L"");
}

void frmIgnore::Form_Load() {
    SetCaption(LangText(181));
    lblInfo.SetText(LangText(182));
    lblString.SetText(LangText(183));
    cmdAdd.SetText(LangText(184));
    cmdRemove.SetText(LangText(185));
    Command1.SetText(LangText(147));
    Label12.SetText(LangText(244));
    Command2.SetText(LangText(245));

    optLang.Add(L"English");
    optLang.Add(L"Polish");
    optLang.Add(L"Deutsch");
    optLang.SetText(FromAnsi(GetSetting("curLang").str()));
    // An empty or unknown stored name shows English, the language a first start stores.
    if (optLang.ListIndex() < 0) optLang.SetListIndex(0);

    listError_ = 0;
    fileForm_ = TextForm::Ansi;
    fileMarked_ = false;
    fileTail_.clear();
    fullTexts_.clear();
    fileRead_ = Fingerprint(nullptr, 0);
    lstIgnore.Clear();
    listRead_ = Fingerprint(lstIgnore.Items());
    readChanges_ = ++listChanges_;
    std::string path = IgnorePath();
    if (!PathExists(path)) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            // Only a missing folder proves that there is no list; any other refusal may hide one.
            if (error == ERROR_PATH_NOT_FOUND) {
                FileFault(LangTextOr(270, L"The ignore list could not be created:"), path, error,
                          LangTextOr(271, L"The list starts empty."));
                return;
            }
            if (error != ERROR_FILE_EXISTS) {
                listError_ = error;
                return;
            }
        } else {
            CloseHandle(f);
        }
    }
    try {
        std::string bytes;
        DWORD error = 0;
        if (!ReadWholeFile(FromAnsi(path), bytes, error)) {
            listError_ = error ? error : ERROR_READ_FAULT;
            return;
        }
        FillList(bytes, {});
    } catch (const std::bad_alloc&) {
        lstIgnore.Clear();
        listError_ = ERROR_NOT_ENOUGH_MEMORY;
    }
}

// The file's entries upper-cased, then `added`, without duplicates or empty items.
void frmIgnore::FillList(const std::string& bytes, const std::vector<std::wstring>& added) {
    std::vector<std::wstring> items = ReadEntries(bytes, fileForm_, fileMarked_, fileTail_);
    items.insert(items.end(), added.begin(), added.end());
    RemoveDuplicateItems(items);
    items.erase(std::remove_if(items.begin(), items.end(), [](const std::wstring& item) { return item.empty(); }),
                items.end());
    ShowEntries(items);
    fileRead_ = Fingerprint(bytes.data(), bytes.size());
    listRead_ = Fingerprint(items);
    readChanges_ = ++listChanges_;
}

void frmIgnore::ShowEntries(const std::vector<std::wstring>& entries) {
    fullTexts_.clear();
    std::vector<std::wstring> shown;
    shown.reserve(entries.size());
    for (const std::wstring& entry : entries) shown.push_back(Shown(entry));
    lstIgnore.SetItems(shown);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (shown[i] == entries[i]) continue;
        fullTexts_.push_back(entries[i]);
        SendMessageW(lstIgnore.hwnd, LB_SETITEMDATA, i, static_cast<LPARAM>(fullTexts_.size()));
    }
    SendMessageW(lstIgnore.hwnd, LB_SETHORIZONTALEXTENT, 0, 0);
    WidenList(lstIgnore.hwnd, shown);
}

std::vector<std::wstring> frmIgnore::Entries() const {
    std::vector<std::wstring> items = lstIgnore.Items();
    if (fullTexts_.empty()) return items;
    for (size_t i = 0; i < items.size(); ++i) {
        const LRESULT k = SendMessageW(lstIgnore.hwnd, LB_GETITEMDATA, i, 0);
        if (k > 0 && static_cast<size_t>(k) <= fullTexts_.size()) items[i] = fullTexts_[static_cast<size_t>(k) - 1];
    }
    return items;
}

// An edit made to Ignore.txt outside since the list was read shows when the dialog is shown,
// unless the list holds edits of its own, which OK would save.
void frmIgnore::ReadAgainIfChanged() {
    if (listChanges_ != readChanges_) return;
    try {
        std::string bytes;
        DWORD error = 0;
        if (!ReadWholeFile(FromAnsi(IgnorePath()), bytes, error)) return;
        if (!listError_ && Fingerprint(bytes.data(), bytes.size()) == fileRead_) return;
        FillList(bytes, {});
        listError_ = 0;
    } catch (const std::bad_alloc&) {
    }
}

void frmIgnore::ReportListError(DWORD error, const std::wstring& outcome) {
    // A list read whole that the scan could not use: no fault of the file.
    if (error == ERROR_NOT_ENOUGH_MEMORY)
        FileFault(LangTextOr(301, L"The ignore list is too large to be used:"), IgnorePath(), error, outcome);
    else
        FileFault(LangTextOr(272, L"The ignore list could not be read:"), IgnorePath(), error, outcome);
}

void frmIgnore::Form_Activate() {
    if (listError_)
        ReportListError(listError_, LangTextOr(273, L"The list is shown empty. OK keeps the file's entries: it adds "
                                                   L"yours to them once the file can be read, and saves nothing "
                                                   L"until then."));
    // The entry box takes the keyboard unless a control of the dialog has it already.
    HWND focus = GetFocus();
    if (!focus || !IsChild(hwnd(), focus)) txtString.Focus();
}

void frmIgnore::cmdAdd_Click() {
    std::wstring entry = txtString.Text();
    if (entry.empty()) {
        ui::MsgBox(LangText(178), MB_OK | MB_ICONEXCLAMATION, L"");
        txtString.Focus();
        return;
    }
    if (entry.size() == 1) {
        ui::MsgBox(LangText(179), MB_OK | MB_ICONEXCLAMATION, L"");
        txtString.Focus();
        txtString.SetCursorToEnd();
        return;
    }
    // As Ignore.txt will hold it: through the ANSI code page unless the file is Unicode.
    std::wstring e = fileForm_ == TextForm::Ansi ? FromAnsi(UpperAnsi(ToAnsi(entry))) : UpperAsAnsi(entry);
    const std::vector<std::wstring> items = Entries();
    if (std::find(items.begin(), items.end(), e) != items.end()) {
        ui::MsgBox(LangText(180), MB_OK | MB_ICONEXCLAMATION, L"");
        txtString.Focus();
        txtString.SelectAll();
        return;
    }
    lstIgnore.Add(e);
    WidenList(lstIgnore.hwnd, {e});
    ++listChanges_;
    // Selected, so the list scrolls to the new entry at its bottom and the user sees it was added.
    lstIgnore.SetListIndex(lstIgnore.Count() - 1);
}

void frmIgnore::cmdRemove_Click() {
    int i = lstIgnore.ListIndex();
    if (i < 0) return;
    lstIgnore.Remove(i);
    ++listChanges_;
}

void frmIgnore::cmdApply_Click() {
    const bool merged = listError_ != 0;
    if (listError_) {
        // The entries of the file were never shown: saving the list alone would drop them.
        std::string stored;
        DWORD error = 0;
        if (!ReadWholeFile(FromAnsi(IgnorePath()), stored, error) && error != ERROR_FILE_NOT_FOUND) {
            ReportListError(error,
                            LangTextOr(274, L"Your list was not saved, so that the entries of the file are not lost."));
            return;
        }
        FillList(stored, Entries());
        listError_ = 0;
    }
    const std::vector<std::wstring> items = Entries();
    // A list as it was read leaves the file as it is: what the list does not show (letter case,
    // duplicates, empty lines) stays, and so do edits made to the file since.
    if (!merged && Fingerprint(items) == listRead_) {
        Unload();
        return;
    }
    const std::string bytes = WriteEntries(items, fileForm_, fileMarked_, fileTail_);
    std::string path = IgnorePath();
    DWORD error = 0;
    if (!WriteReplacing(path, bytes, error)) {
        // The dialog stays open with the list as it is, so the user can try again or cancel.
        FileFault(LangTextOr(275, L"The ignore list could not be saved to:"), path, error,
                  LangTextOr(276, L"The file was left unchanged and your list is still open."));
        return;
    }
    Unload();
}

void frmIgnore::Command1_Click() { Unload(); }

void frmIgnore::Command2_Click() {
    // Saved before the word on the restart, which would be untrue if the save failed.
    const LONG error = StoreSetting("curLang", ToAnsi(optLang.Text()));
    if (error != ERROR_SUCCESS) {
        ui::MsgBox(LangTextOr(300, L"The language could not be saved in the setting:") +
                       L"\r\ncurLang (HKEY_CURRENT_USER\\SOFTWARE\\Quorvane\\Halvren\\Settings)\r\n\r\n" +
                       SystemErrorText(static_cast<DWORD>(error)),
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ui::MsgBox(LangText(243), MB_OK | MB_ICONINFORMATION);
}

void frmIgnore::lstIgnore_MouseDown(int /*button*/, int /*shift*/, double /*x*/, double y) {
    const int row = RowAt(y);
    if (row >= 0) lstIgnore.SetListIndex(row);
}

int frmIgnore::RowAt(double y) const {
    if (!lstIgnore.hwnd || y < 0) return -1;
    const LRESULT height = SendMessageW(lstIgnore.hwnd, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT top = SendMessageW(lstIgnore.hwnd, LB_GETTOPINDEX, 0, 0);
    if (height <= 0 || top < 0) return -1;
    const int pixels = ui::TwipsToPixels(hwnd(), static_cast<int>(std::lround(y)));
    const LRESULT row = top + pixels / height;
    return row < lstIgnore.Count() ? static_cast<int>(row) : -1;
}

void frmIgnore::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case idAdd: cmdAdd_Click(); break;
    case idRemove: cmdRemove_Click(); break;
    case idApply: cmdApply_Click(); break;
    case idCommand1:
    case IDCANCEL:  // Escape
        Command1_Click();
        break;
    case idCommand2: Command2_Click(); break;
    case IDOK:  // Enter where no button has the focus
        if (GetFocus() == txtString.hwnd) cmdAdd_Click();
        break;
    }
}

LRESULT frmIgnore::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam) ReadAgainIfChanged();
        break;
    case ui::kWmDpiChanged: {
        // The list's font is scaled, and with it the widths of the entries.
        const int before = ui::FormDpi(hwnd());
        const LRESULT extent = SendMessageW(lstIgnore.hwnd, LB_GETHORIZONTALEXTENT, 0, 0);
        const LRESULT result = Form::HandleMessage(message, wParam, lParam);
        SendMessageW(lstIgnore.hwnd, LB_SETHORIZONTALEXTENT,
                     static_cast<WPARAM>(MulDiv(static_cast<int>(extent), ui::FormDpi(hwnd()), before)), 0);
        return result;
    }
    }
    return Form::HandleMessage(message, wParam, lParam);
}
