// The Help menu of the main window: the documents, the web page, the update check and the
// about box.
#include "scan/frmMain.h"
#include "shell/FrmAbout.h"
#include "shell/frmUpdate.h"
#include "shell/modLinki.h"

namespace {

// Shows a window modeless, owned by the main window; one already open comes forward as it is.
void ShowOwned(ui::Form& window, ui::Form& owner) {
    const bool open = window.IsLoaded();
    window.Show(owner);
    if (open && window.IsLoaded()) {
        if (IsIconic(window.hwnd())) ShowWindow(window.hwnd(), SW_RESTORE);
        SetForegroundWindow(window.hwnd());
    }
}

}  // namespace

void frmMain::read1_Click() { OpenReadme(); }

void frmMain::lic1_Click() { OpenLicense(); }

void frmMain::spr1_Click() { ShowOwned(frmUpdate::Get(), *this); }

void frmMain::str1_Click() { OpenHomePage(); }

void frmMain::mnuAbout_Click() { ShowOwned(FrmAbout::Get(), *this); }
