#pragma once
// Non-owning wrappers over the controls of a form: one-line methods that hide the casts.
// Positions are in twips, as the window designs give them.
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>

namespace ui {

class Form;

int TwipsToPixelsX(int twips);
int TwipsToPixelsY(int twips);
int PixelsToTwipsX(int pixels);
int PixelsToTwipsY(int pixels);
// The DPI the program lays its windows out for: the screen's when the program started.
int SystemDpi();

// Fonts are made once and kept for the life of the process.
HFONT GetFont(const wchar_t* face, double points, bool bold = false, bool underline = false,
              BYTE charset = DEFAULT_CHARSET);

class Control {
public:
    HWND hwnd = nullptr;
    int id = 0;

    explicit operator bool() const { return hwnd != nullptr; }
    void SetText(const std::wstring& text);
    std::wstring Text() const;
    void Enable(bool on);
    bool Enabled() const;
    void Show(bool on);
    bool Visible() const;
    void SetFont(HFONT font);
    void Move(int left, int top, int width, int height);  // twips, relative to the parent
    void MovePixels(int left, int top, int width, int height);
    void Focus();
    // Label text colour; CLR_INVALID is the system colour.
    void SetForeColor(COLORREF color);
    COLORREF ForeColor() const { return foreColor_; }
    static Control* FromHwnd(HWND h);

protected:
    friend class Form;
    COLORREF foreColor_ = CLR_INVALID;
};

using Label = Control;
using Button = Control;
using Picture = Control;

// A group box or a plain panel that holds other controls and passes their notifications on.
class Frame : public Control {};

class TextBox : public Control {
public:
    void SelectAll();
    void SetCursorToEnd();
};

class CheckBox : public Control {
public:
    int Value() const;  // 0 unchecked, 1 checked
    void SetValue(int value);
};

class OptionButton : public Control {
public:
    bool Value() const;
    void SetValue(bool on);
};

class ListBox : public Control {
public:
    int Count() const;
    std::wstring Item(int index) const;
    void Add(const std::wstring& text);
    void Remove(int index);
    void Clear();
    // Replaces every item, drawing the list once rather than after each item.
    void SetItems(const std::vector<std::wstring>& items);
    std::vector<std::wstring> Items() const;
    int ListIndex() const;  // -1 when nothing is selected
    void SetListIndex(int index);
};

// A drop-down list; SetText selects the item of that text, or none.
class ComboBox : public Control {
public:
    int Count() const;
    void Add(const std::wstring& text);
    void SetText(const std::wstring& text);
    std::wstring Text() const;
    int ListIndex() const;
    void SetListIndex(int index);
};

class ProgressBar : public Control {
public:
    int Value() const;
    void SetValue(int value);
    void SetRange(int minimum, int maximum);
};

// A report-view list with a check box on every row. Rows are counted from 0.
class ListView : public Control {
public:
    void SetupReport(bool checkBoxes);
    void AddColumn(const std::wstring& header, int widthTwips = -1);
    int ColumnCount() const;
    void SetColumnWidthPixels(int column, int width);
    int ColumnWidthPixels(int column) const;
    // Widens the column, never narrows it, so that its header shows its whole text.
    void FitColumnToHeader(int column);
    int Count() const;
    int AddRow(const std::wstring& text, LPARAM data = 0);  // appends; returns the row
    // Appends a row whose texts, until one is set, the parent supplies on request
    // (LVN_GETDISPINFOW); returns the row.
    int AddCallbackRow(LPARAM data);
    void SetCell(int row, int column, const std::wstring& text);
    std::wstring Cell(int row, int column) const;
    LPARAM Data(int row) const;
    bool Checked(int row) const;
    void SetChecked(int row, bool on);
    void SetRowColor(int row, COLORREF color);
    COLORREF RowColor(int row) const;
    void Clear();
    void Refresh();
    // The row under a client point, and whether the point lies on its check box.
    int HitTest(POINT client, bool* onCheckBox = nullptr) const;
    // The row that an NM_CLICK names, or -1 for none or for a click on a check box, which the
    // list view toggles itself.
    int ClickedRow(const NMHDR* click) const;
    // Custom draw of the row colours; the form calls it for NM_CUSTOMDRAW.
    LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);

private:
    int InsertRow(wchar_t* text, LPARAM data);
    std::vector<COLORREF> rowColors_;
};

}  // namespace ui
