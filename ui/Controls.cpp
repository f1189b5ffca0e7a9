#include "ui/Controls.h"

#include <climits>
#include <cmath>
#include <map>
#include <tuple>

namespace ui {

namespace {

int Dpi(int index) {
    static int dpi[2] = {0, 0};
    int& v = dpi[index == LOGPIXELSX ? 0 : 1];
    if (!v) {
        HDC dc = GetDC(nullptr);
        v = dc ? GetDeviceCaps(dc, index) : 96;
        if (dc) ReleaseDC(nullptr, dc);
        if (v <= 0) v = 96;
    }
    return v;
}

}  // namespace

int SystemDpi() { return Dpi(LOGPIXELSY); }

int TwipsToPixelsX(int twips) { return MulDiv(twips, Dpi(LOGPIXELSX), 1440); }
int TwipsToPixelsY(int twips) { return MulDiv(twips, Dpi(LOGPIXELSY), 1440); }
int PixelsToTwipsX(int pixels) { return MulDiv(pixels, 1440, Dpi(LOGPIXELSX)); }
int PixelsToTwipsY(int pixels) { return MulDiv(pixels, 1440, Dpi(LOGPIXELSY)); }

HFONT GetFont(const wchar_t* face, double points, bool bold, bool underline, BYTE charset) {
    static std::map<std::tuple<std::wstring, int, bool, bool, BYTE>, HFONT> fonts;
    int height = -static_cast<int>(std::lround(points * Dpi(LOGPIXELSY) / 72.0));
    auto key = std::make_tuple(std::wstring(face), height, bold, underline, charset);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    HFONT f = CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE, charset,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
    if (!f) f = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts[key] = f;
    return f;
}

// ---- Control

Control* Control::FromHwnd(HWND h) { return h ? reinterpret_cast<Control*>(GetWindowLongPtrW(h, GWLP_USERDATA)) : nullptr; }

void Control::SetText(const std::wstring& text) {
    if (hwnd) SetWindowTextW(hwnd, text.c_str());
}

std::wstring Control::Text() const {
    if (!hwnd) return L"";
    int n = GetWindowTextLengthW(hwnd);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

void Control::Enable(bool on) {
    if (hwnd) EnableWindow(hwnd, on);
}
bool Control::Enabled() const { return hwnd && IsWindowEnabled(hwnd); }

void Control::Show(bool on) {
    if (hwnd) ShowWindow(hwnd, on ? SW_SHOWNA : SW_HIDE);
}
bool Control::Visible() const { return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE); }

void Control::SetFont(HFONT font) {
    if (hwnd) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Control::Move(int left, int top, int width, int height) {
    int x = TwipsToPixelsX(left), y = TwipsToPixelsY(top);
    MovePixels(x, y, TwipsToPixelsX(left + width) - x, TwipsToPixelsY(top + height) - y);
}

void Control::MovePixels(int left, int top, int width, int height) {
    if (hwnd) MoveWindow(hwnd, left, top, width, height, TRUE);
}

void Control::Focus() {
    if (hwnd) SetFocus(hwnd);
}

void Control::SetForeColor(COLORREF color) {
    foreColor_ = color;
    if (hwnd) InvalidateRect(hwnd, nullptr, TRUE);
}

// ---- TextBox, CheckBox, OptionButton

void TextBox::SelectAll() {
    if (hwnd) SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

void TextBox::SetCursorToEnd() {
    if (!hwnd) return;
    int n = GetWindowTextLengthW(hwnd);
    SendMessageW(hwnd, EM_SETSEL, n, n);
}

int CheckBox::Value() const { return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0; }
void CheckBox::SetValue(int value) {
    if (hwnd) SendMessageW(hwnd, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool OptionButton::Value() const { return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void OptionButton::SetValue(bool on) {
    if (hwnd) SendMessageW(hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- ListBox

int ListBox::Count() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, LB_GETCOUNT, 0, 0)) : 0; }

std::wstring ListBox::Item(int index) const {
    if (!hwnd) return L"";
    LRESULT n = SendMessageW(hwnd, LB_GETTEXTLEN, index, 0);
    if (n == LB_ERR) return L"";
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = SendMessageW(hwnd, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&s[0]));
    s.resize(n == LB_ERR ? 0 : static_cast<size_t>(n));
    return s;
}

void ListBox::Add(const std::wstring& text) {
    if (hwnd) SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
void ListBox::Remove(int index) {
    if (hwnd) SendMessageW(hwnd, LB_DELETESTRING, index, 0);
}
void ListBox::Clear() {
    if (hwnd) SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
}
void ListBox::SetItems(const std::vector<std::wstring>& items) {
    if (!hwnd) return;
    SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd, LB_RESETCONTENT, 0, 0);
    size_t chars = 0;
    for (const std::wstring& item : items) chars += item.size() + 1;
    // Room for all items at once: the list then does not grow its store item by item.
    SendMessageW(hwnd, LB_INITSTORAGE, items.size(), chars * sizeof(wchar_t));
    for (const std::wstring& item : items) SendMessageW(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
}
std::vector<std::wstring> ListBox::Items() const {
    std::vector<std::wstring> items;
    const int n = Count();
    items.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int i = 0; i < n; ++i) items.push_back(Item(i));
    return items;
}
int ListBox::ListIndex() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0)) : -1; }
void ListBox::SetListIndex(int index) {
    if (hwnd) SendMessageW(hwnd, LB_SETCURSEL, index, 0);
}

// ---- ComboBox

int ComboBox::Count() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0)) : 0; }
void ComboBox::Add(const std::wstring& text) {
    if (hwnd) SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
void ComboBox::SetText(const std::wstring& text) {
    if (!hwnd) return;
    LRESULT i = SendMessageW(hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(hwnd, CB_SETCURSEL, i == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(i), 0);
}
std::wstring ComboBox::Text() const { return Control::Text(); }
int ComboBox::ListIndex() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, CB_GETCURSEL, 0, 0)) : -1; }
void ComboBox::SetListIndex(int index) {
    if (hwnd) SendMessageW(hwnd, CB_SETCURSEL, index, 0);
}

// ---- ProgressBar

int ProgressBar::Value() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, PBM_GETPOS, 0, 0)) : 0; }
void ProgressBar::SetValue(int value) {
    if (hwnd) SendMessageW(hwnd, PBM_SETPOS, value, 0);
}
void ProgressBar::SetRange(int minimum, int maximum) {
    if (hwnd) SendMessageW(hwnd, PBM_SETRANGE32, minimum, maximum);
}

// ---- ListView

void ListView::SetupReport(bool checkBoxes) {
    if (!hwnd) return;
    DWORD ex = LVS_EX_FULLROWSELECT | (checkBoxes ? LVS_EX_CHECKBOXES : 0);
    SendMessageW(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
}

void ListView::AddColumn(const std::wstring& header, int widthTwips) {
    if (!hwnd) return;
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<wchar_t*>(header.c_str());
    col.cx = TwipsToPixelsX(widthTwips < 0 ? 1440 : widthTwips);  // 1440 twips, the toolkit's default
    SendMessageW(hwnd, LVM_INSERTCOLUMNW, ColumnCount(), reinterpret_cast<LPARAM>(&col));
}

int ListView::ColumnCount() const {
    if (!hwnd) return 0;
    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void ListView::SetColumnWidthPixels(int column, int width) {
    if (hwnd) SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, column, width);
}

int ListView::ColumnWidthPixels(int column) const {
    return hwnd ? static_cast<int>(SendMessageW(hwnd, LVM_GETCOLUMNWIDTH, column, 0)) : 0;
}

void ListView::FitColumnToHeader(int column) {
    if (!hwnd) return;
    wchar_t text[260] = {};
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = text;
    col.cchTextMax = 260;
    if (!SendMessageW(hwnd, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col))) return;
    // The header pads its text by three edges on either side.
    const int need = static_cast<int>(SendMessageW(hwnd, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text))) +
                     6 * GetSystemMetrics(SM_CXEDGE) + 2;
    if (need > ColumnWidthPixels(column)) SetColumnWidthPixels(column, need);
}

int ListView::Count() const { return hwnd ? static_cast<int>(SendMessageW(hwnd, LVM_GETITEMCOUNT, 0, 0)) : 0; }

int ListView::AddRow(const std::wstring& text, LPARAM data) {
    return InsertRow(const_cast<wchar_t*>(text.c_str()), data);
}

int ListView::AddCallbackRow(LPARAM data) { return InsertRow(LPSTR_TEXTCALLBACKW, data); }

int ListView::InsertRow(wchar_t* text, LPARAM data) {
    if (!hwnd) return -1;
    LVITEMW item = {};
    // A fresh row starts unchecked whatever the list view's default.
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = INT_MAX;  // past the last row: appended, without asking for the count
    item.pszText = text;
    item.lParam = data;
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(1);
    int row = static_cast<int>(SendMessageW(hwnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row >= 0 && static_cast<size_t>(row) >= rowColors_.size())
        rowColors_.resize(static_cast<size_t>(row) + 1, CLR_INVALID);
    return row;
}

void ListView::SetCell(int row, int column, const std::wstring& text) {
    if (!hwnd) return;
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(hwnd, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring ListView::Cell(int row, int column) const {
    if (!hwnd) return L"";
    std::wstring buf(1024, L'\0');
    for (;;) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = &buf[0];
        item.cchTextMax = static_cast<int>(buf.size());
        int n = static_cast<int>(SendMessageW(hwnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (n < static_cast<int>(buf.size()) - 1) {
            buf.resize(n);
            return buf;
        }
        buf.assign(buf.size() * 4, L'\0');  // the text filled the buffer: it may be longer
    }
}

LPARAM ListView::Data(int row) const {
    if (!hwnd) return 0;
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return SendMessageW(hwnd, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : 0;
}

bool ListView::Checked(int row) const {
    if (!hwnd) return false;
    UINT state = static_cast<UINT>(SendMessageW(hwnd, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void ListView::SetChecked(int row, bool on) {
    if (!hwnd) return;
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
    SendMessageW(hwnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void ListView::SetRowColor(int row, COLORREF color) {
    if (row < 0) return;
    if (static_cast<size_t>(row) >= rowColors_.size()) rowColors_.resize(static_cast<size_t>(row) + 1, CLR_INVALID);
    rowColors_[row] = color;
    if (hwnd) SendMessageW(hwnd, LVM_REDRAWITEMS, row, row);
}

COLORREF ListView::RowColor(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rowColors_.size() ? rowColors_[row] : CLR_INVALID;
}

void ListView::Clear() {
    rowColors_.clear();
    if (hwnd) SendMessageW(hwnd, LVM_DELETEALLITEMS, 0, 0);
}

void ListView::Refresh() {
    if (hwnd) {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
    }
}

int ListView::HitTest(POINT client, bool* onCheckBox) const {
    if (onCheckBox) *onCheckBox = false;
    if (!hwnd) return -1;
    LVHITTESTINFO info = {};
    info.pt = client;
    int row = static_cast<int>(SendMessageW(hwnd, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (onCheckBox) *onCheckBox = (info.flags & LVHT_ONITEMSTATEICON) != 0;
    return row;
}

int ListView::ClickedRow(const NMHDR* click) const {
    bool onCheckBox = false;
    int row = HitTest(reinterpret_cast<const NMITEMACTIVATE*>(click)->ptAction, &onCheckBox);
    return onCheckBox ? -1 : row;
}

LRESULT ListView::CustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        COLORREF c = RowColor(static_cast<int>(draw->nmcd.dwItemSpec));
        if (c != CLR_INVALID) draw->clrText = c;
        return CDRF_DODEFAULT;
    }
    }
    return CDRF_DODEFAULT;
}

}  // namespace ui
