#include "scan/frmInfo.h"

#include "core/modLanguage.h"
#include "scan/frmMain.h"

namespace {

enum : int {
    kLblFoundAt = 10, kTxtFoundAt, kLblRootKey, kTxtRootKey, kLblSubKey, kTxtSubKey, kLblValue, kTxtValue,
    kCommand1,
};

constexpr int kWidth = 6975, kMargin = 120, kPairHeight = 690, kLabelHeight = 255, kBoxHeight = 315;

}  // namespace

frmInfo& frmInfo::Get() {
    static frmInfo form;
    return form;
}

ui::Form::Design frmInfo::GetDesign() {
    Design d;
    d.clientWidth = kWidth;
    d.clientHeight = kMargin + 4 * kPairHeight + 495;
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.exStyle = WS_EX_DLGMODALFRAME;
    d.fontFace = L"Calibri";
    d.fontSize = 9.75;
    d.centred = true;
    return d;
}

void frmInfo::CreateControls() {
    struct Pair {
        ui::Label* label;
        int labelId;
        ui::TextBox* box;
        int boxId;
    };
    const Pair pairs[] = {{&lblFoundAt, kLblFoundAt, &txtFoundAt, kTxtFoundAt},
                          {&lblRootKey, kLblRootKey, &txtRootKey, kTxtRootKey},
                          {&lblSubKey, kLblSubKey, &txtSubKey, kTxtSubKey},
                          {&lblValue, kLblValue, &txtValue, kTxtValue}};
    int top = kMargin;
    for (const Pair& p : pairs) {
        AddLabel(*p.label, p.labelId, kMargin, top, kWidth - 2 * kMargin, kLabelHeight);
        Add(*p.box, L"EDIT", p.boxId, kMargin, top + kLabelHeight, kWidth - 2 * kMargin, kBoxHeight, L"",
            ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
        top += kPairHeight;
    }
    AddButton(Command1, kCommand1, kWidth - kMargin - 1215, top + 60, 1215, 375, L"OK");
    if (Command1.hwnd)
        SetWindowLongW(Command1.hwnd, GWL_STYLE, GetWindowLongW(Command1.hwnd, GWL_STYLE) | BS_DEFPUSHBUTTON);
}

void frmInfo::Form_Load() {
    SetCaption(LangText(186));
    lblFoundAt.SetText(LangText(187));
    lblRootKey.SetText(LangText(188));
    lblSubKey.SetText(LangText(189));
    lblValue.SetText(LangText(190));
}

void frmInfo::Form_Activate() {
    // With no row selected (a scan that found nothing) the boxes stay empty.
    ui::ListView& rows = frmMain::Get().lvwRegErrors;
    ui::TextBox* const boxes[] = {&txtRootKey, &txtSubKey, &txtValue};
    for (int column = 1; column <= 3; ++column) {
        const int row = frmMain::Get().SelectedRow();
        boxes[column - 1]->SetText(row >= 0 ? rows.Cell(row, column) : std::wstring());
    }
}

void frmInfo::Command1_Click() { Unload(); }

void frmInfo::OnCommand(int id, int code) {
    // IDOK and IDCANCEL: Enter and Esc, as in any dialog.
    if ((id == kCommand1 && code == BN_CLICKED) || id == IDOK) Command1_Click();
    if (id == IDCANCEL) Unload();
}
