#pragma once
// The settings dialog: the ignore list (lstIgnore is the list in memory that every scan
// reads) and the interface language.
#include <string>
#include <vector>

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

    // The system's error when the load could not read Ignore.txt, 0 when it did. The list is
    // then empty and stands for nothing: no scan may use it, and OK does not save it alone.
    DWORD ListError() const { return listError_; }
    // Tells the user that Ignore.txt could not be read: the file, the system's words, `outcome`.
    static void ReportListError(DWORD error, const std::wstring& outcome);

    // Counts the changes of lstIgnore (every load, Add and Remove): a scan reads the list again
    // only when the count has moved.
    unsigned ListChanges() const { return listChanges_; }

    // How Ignore.txt is written: ANSI text, or Unicode when the file read had a byte-order
    // mark; OK writes it back in the same form.
    enum class TextForm { Ansi, Utf8, Utf16LE, Utf16BE };
    TextForm FileForm() const { return fileForm_; }

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    void Form_Activate() override;

private:
    frmIgnore() = default;
    void FillList(const std::string& bytes, const std::vector<std::wstring>& added);

    DWORD listError_ = 0;
    TextForm fileForm_ = TextForm::Ansi;
    unsigned listChanges_ = 0;
};
