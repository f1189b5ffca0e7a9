#pragma once
// The automatic update check: a window loaded hidden one second after the main window opens
// and never shown. Its timer does nothing yet.
#include "ui/Form.h"

class frmAutoUpd : public ui::Form {
public:
    static frmAutoUpd& Get();

    ui::Timer Timer1;

    void Form_Load() override;
    void Timer1_Timer();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnTimer(ui::Timer& timer) override;

private:
    frmAutoUpd() = default;
};
