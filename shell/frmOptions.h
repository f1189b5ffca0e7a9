#pragma once
// The options dialog: the extension filter, start with Windows, the tray setting and the
// scheduled scan, read from the settings when it loads and stored by Apply.
#include "ui/Form.h"

class frmOptions : public ui::Form {
public:
    static frmOptions& Get();

    ui::CheckBox chkRecommended, chkSysTray, chkStartup, chkScheduled;
    ui::Frame fmeFrame;
    ui::OptionButton optHour, optDay, optWeek, optMonth;
    ui::TextBox txtHour, txtMinute, txtHour2, txtMinute2;
    ui::Label lblColon, lblAt, lblColon2, Shape1;
    ui::ComboBox cboPeriod, cboDay, cboPeriod2;
    ui::Button cmdIgnore, cmdApply;

    void Form_Load() override;
    void chkRecommended_Click();
    void chkSysTray_Click();
    void chkStartup_Click();
    void chkScheduled_Click();
    void optHour_Click();
    void optDay_Click();
    void optWeek_Click();
    // KeyAscii set to 0 discards the typed character.
    void txtHour_KeyPress(int& KeyAscii);
    void txtMinute_KeyPress(int& KeyAscii);
    void txtHour2_KeyPress(int& KeyAscii);
    void txtMinute2_KeyPress(int& KeyAscii);
    void cmdIgnore_Click();
    void cmdApply_Click();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    frmOptions() = default;
    // Sets a check box or selects an option button from code; its click reaction runs when
    // the state changes, as it does for the user's click.
    void SetCheck(ui::CheckBox& box, int value);
    void Select(ui::OptionButton& option);
    void EnableTimes(bool daily, bool weekly);
    // True when the Run key holds this program's entry afterwards.
    bool SaveRunEntry();
    bool StartupRefusedBefore();
    void FocusRefused(ui::TextBox& box);
};
