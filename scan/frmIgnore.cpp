#include "scan/frmIgnore.h"

#include <commctrl.h>
#include <cmath>
#include <string>
#include <vector>

#include "core/App.h"
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

const UINT_PTR kListSubclass = 1;

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
std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < bytes.size()) {
        char c = bytes[i++];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
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
        DWORD written = 0;
        ok = (bytes.empty() || WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) &&
             written == bytes.size() && FlushFileBuffers(f);
        if (!ok) error = GetLastError();
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

LRESULT CALLBACK ListProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR ref) {
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
        reinterpret_cast<frmIgnore*>(ref)->lstIgnore_MouseDown(button, shift, x, y);
        break;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(h, ListProc, kListSubclass);
        break;
    }
    return DefSubclassProc(h, message, wParam, lParam);
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
    if (lstIgnore.hwnd) SetWindowSubclass(lstIgnore.hwnd, ListProc, kListSubclass, reinterpret_cast<DWORD_PTR>(this));

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
    lstIgnore.Clear();
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
    lstIgnore.Clear();
    for (const std::string& line : SplitLines(bytes)) lstIgnore.Add(FromAnsi(UpperAnsi(line)));
    for (const std::wstring& item : added) lstIgnore.Add(item);
    RemoveDuplicateItems(lstIgnore);
    for (int i = lstIgnore.Count() - 1; i >= 0; --i)
        if (lstIgnore.Item(i).empty()) lstIgnore.Remove(i);
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
    // Through the ANSI code page, so that the list shows exactly what Ignore.txt will hold.
    std::wstring e = FromAnsi(UpperAnsi(ToAnsi(entry)));
    for (int i = 0; i < lstIgnore.Count(); ++i) {
        if (lstIgnore.Item(i) == e) {
            ui::MsgBox(LangText(180), MB_OK | MB_ICONEXCLAMATION, L"");
            txtString.Focus();
            txtString.SelectAll();
            return;
        }
    }
    lstIgnore.Add(e);
    // Selected, so the list scrolls to the new entry at its bottom and the user sees it was added.
    lstIgnore.SetListIndex(lstIgnore.Count() - 1);
}

void frmIgnore::cmdRemove_Click() {
    int i = lstIgnore.ListIndex();
    if (i >= 0) lstIgnore.Remove(i);
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
        std::vector<std::wstring> added;
        for (int i = 0; i < lstIgnore.Count(); ++i) added.push_back(lstIgnore.Item(i));
        FillList(stored, added);
        listError_ = 0;
    }
    std::string bytes;
    for (int i = 0; i < lstIgnore.Count(); ++i) bytes += ToAnsi(lstIgnore.Item(i)) + "\r\n";
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
