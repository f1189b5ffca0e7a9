#pragma once
// The automatic update check: a window loaded hidden one second after the main window opens
// and never shown. Its check is gated off: the program asks the network for nothing unless
// the user asks for it.
#include "shell/cUpdateCheck.h"

class frmAutoUpd : public cUpdateCheck {
public:
    static frmAutoUpd& Get();

    ui::Timer Timer1;
    // The gate of the check; nothing in the program opens it.
    bool bAutoCheck = false;

    void Form_Load() override;
    void Timer1_Timer();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnTimer(ui::Timer& timer) override;

private:
    frmAutoUpd() : cUpdateCheck(false) {}
};
