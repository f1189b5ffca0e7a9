// The main window's commands that open the detail view and the missing-file search, and its
// mouse moves.
#include "core/Text.h"
#include "scan/frmInfo.h"
#include "scan/frmMain.h"
#include "scan/frmSearch.h"
#include "scan/mdlMain.h"

namespace {

// The last part of a path: "C:\WINDOWS\FOO.DLL" gives "FOO.DLL", "C:\APP\" gives "APP". The drive
// itself has no name to look for.
std::string LastPart(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

}  // namespace

// Several rows may be selected: the one the user clicked last carries the focus.
int frmMain::SelectedRow() const {
    if (!lvwRegErrors.hwnd) return -1;
    const WPARAM start = static_cast<WPARAM>(-1);
    const int focused = static_cast<int>(SendMessageW(lvwRegErrors.hwnd, LVM_GETNEXTITEM, start, LVNI_FOCUSED));
    if (focused >= 0 && (ListView_GetItemState(lvwRegErrors.hwnd, focused, LVIS_SELECTED) & LVIS_SELECTED))
        return focused;
    return static_cast<int>(SendMessageW(lvwRegErrors.hwnd, LVM_GETNEXTITEM, start, LVNI_SELECTED));
}

void frmMain::mnuInfo_Click() {
    frmInfo& info = frmInfo::Get();
    if (info.IsVisible()) {
        // Already open: coming back to it reads the selected row again.
        SetForegroundWindow(info.hwnd());
        return;
    }
    info.Show();
}

void frmMain::mnuSearch_Click() {
    // Without a selected row the box starts empty and the user types the name.
    const int row = SelectedRow();
    const std::string name = row >= 0 ? LastPart(ExtractFilePath(ToAnsi(lvwRegErrors.Cell(row, 3)))) : std::string();
    frmSearch& search = frmSearch::Get();
    if (!search.Load()) return;
    search.txtFile.SetText(FromAnsi(name));
    search.ShowModal();
}

// Halvren puts no icon in the notification area, so every move that reaches the window is an
// ordinary one: read as a callback code, crossing pixel column 517 would pop the File menu up
// and column 515 would restore the window. Such moves do nothing.
void frmMain::Form_MouseMove(int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {}

void frmMain::OnMouse(UINT message, int x, int y, WPARAM keys) {
    if (message != WM_MOUSEMOVE) return;
    const int button = (keys & MK_LBUTTON ? 1 : 0) | (keys & MK_RBUTTON ? 2 : 0) | (keys & MK_MBUTTON ? 4 : 0);
    const int shift = (keys & MK_SHIFT ? 1 : 0) | (keys & MK_CONTROL ? 2 : 0);
    Form_MouseMove(button, shift, static_cast<float>(ui::PixelsToTwipsX(x)), static_cast<float>(ui::PixelsToTwipsY(y)));
}
