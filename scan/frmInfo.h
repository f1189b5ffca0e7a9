#pragma once
// The entry-detail view: the root key, key path and data text of the main window's selected row.
#include "ui/Form.h"

class frmInfo : public ui::Form {
public:
    static frmInfo& Get();

    ui::Label lblFoundAt, lblRootKey, lblSubKey, lblValue;
    ui::TextBox txtFoundAt, txtRootKey, txtSubKey, txtValue;
    ui::Button Command1;

    void Form_Load() override;
    // Reads the selected row afresh each time the window becomes the active one.
    void Form_Activate() override;
    void Command1_Click();

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;

private:
    frmInfo() = default;
};
