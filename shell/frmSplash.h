#pragma once
// The start-up window: common controls, the language table, the single-instance rule,
// the first-run data folder, then the hand-over to the main window.
#include "ui/Form.h"

class frmSplash : public ui::Form {
public:
    static frmSplash& Get();

    ui::Picture Image39;
    ui::Label Label2;
    ui::Control Line1;  // a rule between the name and the message
    ui::Timer tmrTime;
    int SplashTicks = 0;
    // The running copy's mark for the single-instance rule, held for the life of the process.
    HANDLE hInstanceGuard = nullptr;

    // False when the program must end (another copy runs).
    bool Form_Initialize();
    void Form_Load() override;
    void tmrTime_Timer();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnTimer(ui::Timer& timer) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    frmSplash() = default;
};
