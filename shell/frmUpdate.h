#pragma once
// The manual update check: a label, a progress bar and Cancel while the update list is
// fetched, then the answer, after which the window closes itself.
#include "shell/cUpdateCheck.h"

class frmUpdate : public cUpdateCheck {
public:
    static frmUpdate& Get();

    ui::Label lblInfo[1];
    ui::Button cmdCanc;
    ui::ProgressBar PB1;
    ui::Timer Timer1, Timer2;

    void Form_Load() override;
    void Timer1_Timer();
    void Timer2_Timer();
    void cmdCanc_Click();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    void OnTimer(ui::Timer& timer) override;

private:
    frmUpdate() : cUpdateCheck(true) {}
};
