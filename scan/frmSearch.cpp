#include "scan/frmSearch.h"

#include <windowsx.h>

#include <vector>

#include "core/FileWrite.h"
#include "core/Text.h"
#include "scan/frmMain.h"
#include "scan/frmRestore.h"
#include "scan/mdlMain.h"
#include "ui/Dpi.h"

namespace {

enum : int { kLblFile = 10, kTxtFile, kCmdSearch, kLblCurrentFolder, kLstFiles };

constexpr int kTextTop = 330, kButtonTop = 720, kButtonWidth = 1215, kButtonHeight = 375, kListTop = 1170;

const wchar_t kIdle[] = L"&Search";
const wchar_t kBusy[] = L"&Stop";
const wchar_t kCopyFailed[] = L"An error occured. Maybe the folder doesn't exist where the file should be copied.";

// A byte count grouped by threes with the user's thousands separator ("#,###,###,##0").
std::wstring Grouped(uint64_t n) {
    wchar_t sep[8] = L",";
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, sep, 8)) lstrcpyW(sep, L",");
    const std::wstring digits = std::to_wstring(n);
    std::wstring out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += sep;
        out += digits[i];
    }
    return out;
}

// Copies `source` over `target` through a temporary file in the target's folder, which is then
// moved into place: the copy streams, so a file of any size fits, and a failure at any point
// leaves the target as it was and no temporary behind.
bool CopyIntoPlace(const std::string& source, const std::string& target, DWORD& error) {
    const size_t slash = target.rfind('\\');
    if (slash == std::string::npos || slash + 1 == target.size()) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    char temp[MAX_PATH];
    if (!GetTempFileNameA(target.substr(0, slash + 1).c_str(), "hlv", 0, temp)) {
        error = GetLastError();
        CloseHandle(in);
        return false;
    }
    HANDLE out = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = out != INVALID_HANDLE_VALUE;
    error = ok ? 0 : GetLastError();
    std::vector<char> buffer(1 << 20);
    while (ok) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            error = GetLastError();
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            ok = WriteAll(out, buffer.data(), got, error);
        }
    }
    if (out != INVALID_HANDLE_VALUE && !CloseHandle(out) && ok) {
        error = GetLastError();
        ok = false;
    }
    CloseHandle(in);
    if (ok && !MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        ok = false;
    }
    if (!ok) DeleteFileA(temp);
    return ok;
}

}  // namespace

frmSearch& frmSearch::Get() {
    static frmSearch form;
    return form;
}

ui::Form::Design frmSearch::GetDesign() {
    Design d;
    d.caption = L"Search for Missing File";
    d.clientWidth = 7200;
    d.clientHeight = 4800;
    d.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    d.centred = true;
    return d;
}

void frmSearch::CreateControls() {
    AddLabel(lblFile, kLblFile, 60, 60, 2400, 255, L"File to Search For:");
    Add(txtFile, L"EDIT", kTxtFile, 0, kTextTop, 7200, 315, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
    AddButton(cmdSearch, kCmdSearch, 0, kButtonTop, kButtonWidth, kButtonHeight, kIdle);
    Add(lblCurrentFolder, L"STATIC", kLblCurrentFolder, kButtonWidth, kButtonTop, 7200 - kButtonWidth,
        kButtonHeight, L"", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_PATHELLIPSIS);
    Add(lstFiles, L"LISTBOX", kLstFiles, 0, kListTop, 7200, 4800 - kListTop, L"",
        LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);

    ui::MenuItem file, search, separator, use;
    file.id = mnuFile;
    file.caption = L"&File";
    search.id = mnuSearch;
    search.caption = L"&Search";
    separator.id = mnuSeperator;
    separator.caption = L"-";
    use.id = mnuUse;
    use.caption = L"&Use This File Instead";
    file.items = {search, separator, use};
    menu.top = {file};
}

void frmSearch::Form_Load() {
    ++loads_;
    searching_ = false;
    listFrozen_ = false;
    menu.SetVisible(mnuSeperator, false);
    menu.SetVisible(mnuUse, false);
    menu.Apply(hwnd());
}

void frmSearch::Form_Unload() {
    // A walk still on the stack ends at its next stop test and shows nothing.
    searching_ = false;
}

void frmSearch::Form_Resize() {
    if (!hwnd() || !lstFiles) return;
    RECT r;
    GetClientRect(hwnd(), &r);
    const int w = r.right, h = r.bottom;
    // At the window's own DPI, which changes when it moves to another screen.
    auto px = [this](int twips) { return ui::TwipsToPixels(hwnd(), twips); };
    const int button = px(kButtonWidth);
    txtFile.MovePixels(0, px(kTextTop), w, px(kTextTop + 315) - px(kTextTop));
    const int listTop = px(kListTop);
    lstFiles.MovePixels(0, listTop, w, h > listTop ? h - listTop : 0);
    lblCurrentFolder.MovePixels(button, px(kButtonTop), w > button ? w - button : 0,
                                px(kButtonTop + kButtonHeight) - px(kButtonTop));
}

void frmSearch::SetSearching(bool on) {
    searching_ = on;
    cmdSearch.SetText(on ? kBusy : kIdle);
}

void frmSearch::cmdSearch_Click() {
    if (searching_) {
        SetSearching(false);
        return;
    }
    const std::string pattern = ToAnsi(txtFile.Text());
    if (pattern.empty() || pattern.find_first_of("\\/:") != std::string::npos) {
        ui::MsgBox(L"Type the name of the file to search for, without a folder. * and ? stand for any characters.",
                   MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    SetSearching(true);
    lstFiles.Clear();
    walkError_.clear();
    int64_t files = 0, folders = 0;
    const unsigned load = loads_;
    throttle_.Reset();
    listPaint_.Reset();
    std::string root = "C:\\";
    const uint64_t total = FindFilesRecursive(root, pattern, files, folders);
    ThawList();
    // Closed during the walk: the search ends without a word.
    if (!IsLoaded() || loads_ != load) return;
    SetSearching(false);
    if (!walkError_.empty()) ui::MsgBox(walkError_, MB_OK | MB_ICONERROR);
    ui::MsgBox(std::to_wstring(files) + L" Files found in " + std::to_wstring(folders + 1) + L" Directories", MB_OK);
    ui::MsgBox(L"Size of files found under C:\\ = " + Grouped(total) + L" Bytes", MB_OK);
}

void frmSearch::ShowProgress(const std::string& folder, const char* name) {
    lblCurrentFolder.SetText(FromAnsi(folder + name));
    if (listPaint_.Due()) ThawList();
    ui::DoEvents();
}

// A list box that is drawn redraws its scroll bars on every added item, which costs more than
// the walk: during a walk it takes items with its drawing off, and is drawn every ~100 ms.
void frmSearch::ThawList() {
    if (!listFrozen_) return;
    listFrozen_ = false;
    if (lstFiles.hwnd) {
        SendMessageW(lstFiles.hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(lstFiles.hwnd, nullptr, TRUE);
    }
}

bool frmSearch::AddFound(const std::string& path) {
    if (!lstFiles) return false;
    if (!listFrozen_) {
        SendMessageW(lstFiles.hwnd, WM_SETREDRAW, FALSE, 0);
        listFrozen_ = true;
    }
    const LRESULT at =
        SendMessageW(lstFiles.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromAnsi(path).c_str()));
    if (at != LB_ERR && at != LB_ERRSPACE) return true;
    walkError_ = L"The list of found files is full. The search stopped after " + std::to_wstring(lstFiles.Count()) +
                 L" files; search for a narrower name.";
    SetSearching(false);
    return false;
}

void frmSearch::lstFiles_DblClick() {
    const int index = lstFiles.ListIndex();
    if (index < 0) return;
    const std::string item = ToAnsi(lstFiles.Item(index));
    const size_t slash = item.rfind('\\');
    const std::string line = "explorer.exe " + (slash == std::string::npos ? item : item.substr(0, slash));
    DWORD error = 0;
    if (!RunProgram(line, SW_SHOWMAXIMIZED, &error))
        ui::MsgBox(L"The file manager could not be started:\r\n" + FromAnsi(line) + L"\r\n" + SystemErrorText(error),
                   MB_OK | MB_ICONERROR);
}

void frmSearch::lstFiles_MouseUp(int button, POINT screen) {
    if (searching_ || button != 2 || lstFiles.Count() == 0) return;
    menu.SetVisible(mnuSeperator, true);
    menu.SetVisible(mnuUse, true);
    menu.Apply(hwnd());
    menu.Popup(mnuFile, hwnd(), screen);
}

void frmSearch::mnuUse_Click() {
    const int index = lstFiles.ListIndex();
    const int row = frmMain::Get().SelectedRow();
    DWORD error = ERROR_INVALID_PARAMETER;
    std::string target;
    if (index >= 0 && row >= 0) {
        target = ExtractFilePath(ToAnsi(frmMain::Get().lvwRegErrors.Cell(row, 3)));
        if (CopyIntoPlace(ToAnsi(lstFiles.Item(index)), target, error)) return;
    }
    std::wstring text = kCopyFailed;
    if (!target.empty()) text += L"\r\n\r\n" + FromAnsi(target) + L"\r\n" + SystemErrorText(error);
    ui::MsgBox(text, MB_OK);
}

void frmSearch::OnCommand(int id, int code) {
    switch (id) {
    case kCmdSearch:
        if (code == BN_CLICKED) cmdSearch_Click();
        break;
    case kLstFiles:
        if (code == LBN_DBLCLK) lstFiles_DblClick();
        break;
    case mnuUse: mnuUse_Click(); break;
    }
}

LRESULT frmSearch::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // A list box passes its right-button release on as WM_CONTEXTMENU.
    if (message == WM_CONTEXTMENU && lstFiles && reinterpret_cast<HWND>(wParam) == lstFiles.hwnd) {
        POINT screen = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (screen.x == -1 && screen.y == -1) {
            GetCursorPos(&screen);  // from the keyboard: the selection stays
        } else if (!searching_) {
            // The item under the pointer becomes the chosen one, as a user expects of a pop-up menu.
            POINT client = screen;
            ScreenToClient(lstFiles.hwnd, &client);
            const LRESULT hit = SendMessageW(lstFiles.hwnd, LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y));
            if (HIWORD(hit) == 0) lstFiles.SetListIndex(LOWORD(hit));
        }
        lstFiles_MouseUp(2, screen);
        return 0;
    }
    return ui::Form::HandleMessage(message, wParam, lParam);
}
