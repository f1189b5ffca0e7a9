#pragma once
// The settings dialog: the ignore list (lstIgnore is the list in memory that every scan
// reads) and the interface language.
#include <cstdint>
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
    // The row drawn `y` twips below the list's top edge, by the list's own item height and
    // scroll position; -1 where no row is drawn.
    int RowAt(double y) const;

    // The entries of the list as Ignore.txt holds them: the list box cannot hold a NUL and has
    // no glyph for a byte that is no text, and shows such entries in a visible form.
    std::vector<std::wstring> Entries() const;

    // The system's error when the load could not read Ignore.txt, 0 when it did. The list is
    // then empty and stands for nothing: no scan may use it, and OK does not save it alone.
    DWORD ListError() const { return listError_; }
    // Tells the user that Ignore.txt could not be read: the file, the system's words, `outcome`.
    static void ReportListError(DWORD error, const std::wstring& outcome);

    // Counts the changes of lstIgnore (every load, Add and Remove): a scan reads the list again
    // only when the count has moved.
    unsigned ListChanges() const { return listChanges_; }

    // How Ignore.txt is written: ANSI text, or Unicode when the file read was Unicode (with a
    // byte-order mark or plainly without one); OK writes it back in the same form.
    enum class TextForm { Ansi, Utf8, Utf16LE, Utf16BE };
    TextForm FileForm() const { return fileForm_; }

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    void Form_Activate() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    frmIgnore() = default;
    void FillList(const std::string& bytes, const std::vector<std::wstring>& added);
    void ShowEntries(const std::vector<std::wstring>& entries);
    void ReadAgainIfChanged();

    DWORD listError_ = 0;
    TextForm fileForm_ = TextForm::Ansi;
    bool fileMarked_ = false;  // the file began with a byte-order mark
    std::string fileTail_;     // the odd last byte of a UTF-16 file, written back after the list
    uint64_t fileRead_ = 0;    // the fingerprint of the bytes last read
    uint64_t listRead_ = 0;    // the fingerprint of the entries as read
    unsigned listChanges_ = 0;
    unsigned readChanges_ = 0;  // listChanges_ right after the file was read
    // The entries the list box shows otherwise, found through their item's data (index + 1).
    std::vector<std::wstring> fullTexts_;
};
