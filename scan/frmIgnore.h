#pragma once
// The settings dialog: the ignore list (lstIgnore is the list in memory that every scan
// reads) and the interface language.
#include "ui/Form.h"

class frmIgnore : public ui::Form {
public:
    static frmIgnore& Get();

    ui::Frame Frame1, Frame2, Picture1, Picture2;
    ui::Label lblInfo, lblString, Label12;
    ui::TextBox txtString;
    ui::ListBox lstIgnore;
    ui::Button cmdAdd, cmdRemove, Command2, cmdApply, Command1;
    ui::ComboBox optLang;

    void Form_Load() override;
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdApply_Click();
    void Command1_Click();
    void Command2_Click();
    // Y in twips from the list's top edge.
    void lstIgnore_MouseDown(int button, int shift, double x, double y);

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    void Form_Activate() override;

private:
    frmIgnore() = default;
};
