#include "scan/frmIgnore.h"

#include <algorithm>
#include <cmath>
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

// Reads the whole file; false with the system's error code when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes, DWORD& error) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    bytes.clear();
    char buf[16384];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(f, buf, sizeof(buf), &got, nullptr)) {
            error = GetLastError();
            ok = false;
            break;
        }
        if (got == 0) break;
        bytes.append(buf, got);
    }
    CloseHandle(f);
    return ok;
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

std::wstring FromUtf16(const std::string& bytes, size_t from, bool bigEndian) {
    std::wstring text;
    text.reserve((bytes.size() - from) / 2);
    // An odd last byte is half a character: it cannot be read as one.
    for (size_t i = from; i + 1 < bytes.size(); i += 2) {
        const unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return text;
}

// The entries of Ignore.txt, one per line and upper-cased. A byte-order mark says the file is
// Unicode (as Notepad saves it when asked), and its entries are read whole, also those that the
// ANSI code page cannot hold; without one it is ANSI text.
std::vector<std::wstring> ReadEntries(const std::string& bytes, TextForm& form) {
    std::vector<std::wstring> entries;
    form = TextForm::Ansi;
    std::wstring text;
    if (bytes.compare(0, 3, kUtf8Mark) == 0) {
        form = TextForm::Utf8;
        text = FromAnsi(bytes.substr(3), CP_UTF8);
    } else if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        form = TextForm::Utf16LE;
        text = FromUtf16(bytes, 2, false);
    } else if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        form = TextForm::Utf16BE;
        text = FromUtf16(bytes, 2, true);
    } else {
        // Upper case through the code page, as the file holds it.
        for (const std::string& line : SplitLines(bytes)) entries.push_back(FromAnsi(UpperAnsi(line)));
        return entries;
    }
    for (const std::wstring& line : SplitLines(text)) entries.push_back(UpperAsAnsi(line));
    return entries;
}

// The list as Ignore.txt holds it, one entry per line ended by CR LF, in the file's form.
std::string WriteEntries(const std::vector<std::wstring>& items, TextForm form) {
    std::string bytes;
    if (form == TextForm::Ansi) {
        for (const std::wstring& item : items) bytes += ToAnsi(item) + "\r\n";
        return bytes;
    }
    std::wstring text;
    for (const std::wstring& item : items) text += item + L"\r\n";
    if (form == TextForm::Utf8) return kUtf8Mark + ToAnsi(text, CP_UTF8);
    const bool bigEndian = form == TextForm::Utf16BE;
    bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
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
        HWND form = GetAncestor(h, GA_ROOT);
        double x = ui::PixelsToTwips(form, static_cast<short>(LOWORD(lParam)));
        double y = ui::PixelsToTwips(form, static_cast<short>(HIWORD(lParam)));
        // The handler runs first, so a left click still ends on the row under the pointer
        // (the list's own selection follows); a right click keeps the handler's row.
        frmIgnore::Get().lstIgnore_MouseDown(button, shift, x, y);
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
    Add(lstIgnore, L"LISTBOX", idList, 120, 1560, 4560, 2580, L"",
        LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, &Frame1);
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
    lstIgnore.Clear();
    ++listChanges_;
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
    std::string bytes;
    DWORD error = 0;
    if (!ReadWholeFile(path, bytes, error)) {
        listError_ = error ? error : ERROR_READ_FAULT;
        return;
    }
    FillList(bytes, {});
}

// The file's entries upper-cased, then `added`, without duplicates or empty items.
void frmIgnore::FillList(const std::string& bytes, const std::vector<std::wstring>& added) {
    std::vector<std::wstring> items = ReadEntries(bytes, fileForm_);
    items.insert(items.end(), added.begin(), added.end());
    RemoveDuplicateItems(items);
    items.erase(std::remove_if(items.begin(), items.end(), [](const std::wstring& item) { return item.empty(); }),
                items.end());
    lstIgnore.SetItems(items);
    ++listChanges_;
}

void frmIgnore::ReportListError(DWORD error, const std::wstring& outcome) {
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
    for (int i = 0; i < lstIgnore.Count(); ++i) {
        if (lstIgnore.Item(i) == e) {
            ui::MsgBox(LangText(180), MB_OK | MB_ICONEXCLAMATION, L"");
            txtString.Focus();
            txtString.SelectAll();
            return;
        }
    }
    lstIgnore.Add(e);
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
    if (listError_) {
        // The entries of the file were never shown: saving the list alone would drop them.
        std::string stored;
        DWORD error = 0;
        if (!ReadWholeFile(IgnorePath(), stored, error) && error != ERROR_FILE_NOT_FOUND) {
            ReportListError(error,
                            LangTextOr(274, L"Your list was not saved, so that the entries of the file are not lost."));
            return;
        }
        FillList(stored, lstIgnore.Items());
        listError_ = 0;
    }
    const std::string bytes = WriteEntries(lstIgnore.Items(), fileForm_);
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
    // The row rule counts 180 twips a row whatever the real item height; a half rounds to even.
    double r = std::nearbyint(y / 180.0);
    if (r < 1 || r > lstIgnore.Count()) return;
    lstIgnore.SetListIndex(static_cast<int>(r) - 1);
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
    }
}
