#pragma once
// The about box: the program's name and version, the computer's name, the maker's web
// address and the author, and links to the support page, the forum and the contact page.
#include <string>

#include "ui/Form.h"

class FrmAbout : public ui::Form {
public:
    static FrmAbout& Get();

    ui::Picture Image4;
    ui::Label Label88, Label86, Label1, Label81, Label14, Label79, Label78, Label5, Label4;
    ui::Label Label6, Label7, Label15, Label8, Label16, Label9, Label17;
    ui::Button Command3;
    ui::Timer Timer1;

    // Read-only facts about the running program; nothing in it reads them.
    std::string UserName() const;
    DWORD ThreadID() const;
    DWORD ProcessID() const;

    void Form_Load() override;
    void Command3_Click();
    void Label1_Click();
    void Label14_Click();
    void Label15_Click();
    void Label16_Click();
    void Label17_Click();
    void Label14_MouseMove();
    void Label15_MouseMove();
    void Label16_MouseMove();
    void Label17_MouseMove();
    void Form_MouseMove();

    // Whether a link label's font is underlined.
    bool Underlined(const ui::Label& link) const;

protected:
    Design GetDesign() override;
    void CreateControls() override;
    void OnCommand(int id, int code) override;
    void OnMouse(UINT message, int x, int y, WPARAM keys) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    FrmAbout() = default;
    ui::Label* LabelAt(int x, int y);
    void HoverLink(ui::Label& link);
    ui::Label* pressed_ = nullptr;
};
