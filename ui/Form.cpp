#include "ui/Form.h"

#include <windowsx.h>

#include "core/App.h"
#include "core/MsgBox.h"
#include "ui/Dpi.h"
#include "ui/Fit.h"

namespace ui {

namespace {

const wchar_t kFormClass[] = L"HalvrenForm";
const wchar_t kFrameClass[] = L"HalvrenFrame";
constexpr UINT WM_APP_ACTIVATE = WM_APP + 1;
constexpr LONG_PTR kFrameBorder = 1;

Form* g_activeForm = nullptr;  // the form that last got Form_Activate

// A click on a window disabled under a modal window or message box, or its activation (the
// taskbar), brings the window that holds it forward: the thread's active window, else its
// uppermost captioned window that takes input. The window manager raises the clicked window all
// the same, and a modal window that has no owner would stay hidden behind one that takes no input.
void BringModalForward(HWND disabled) {
    auto holds = [disabled](HWND w) {
        return w && w != disabled && IsWindowVisible(w) && IsWindowEnabled(w) &&
               (GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) == WS_CAPTION &&
               GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
    };
    HWND holder = GetActiveWindow();
    if (!holds(holder))
        for (holder = GetTopWindow(nullptr); holder && !holds(holder); holder = GetWindow(holder, GW_HWNDNEXT)) {
        }
    if (!holder) return;
    SetWindowPos(holder, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(holder);
}

// A frame passes its children's notifications to its parent, so that the form sees every
// control's events whatever frame holds it.
LRESULT CALLBACK FrameProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return SendMessageW(GetParent(h), message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        if (GetWindowLongW(h, GWL_STYLE) & kFrameBorder) {
            RECT r;
            GetClientRect(h, &r);
            HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
            HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
            TEXTMETRICW tm;
            GetTextMetricsW(dc, &tm);
            r.top += tm.tmHeight / 2;
            DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
            wchar_t text[256];
            int n = GetWindowTextW(h, text, 256);
            if (n > 0) {
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
                RECT tr = {8, 0, r.right - 8, tm.tmHeight};
                DrawTextW(dc, text, n, &tr, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP);
            }
            SelectObject(dc, old);
        }
        EndPaint(h, &ps);
        return 0;
    }
    }
    return DefWindowProcW(h, message, wParam, lParam);
}

bool RegisterClasses(WNDPROC formProc) {
    static bool done = false;
    if (done) return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = formProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    // The program's own icon (resource 1), in the sizes the title bar and the taskbar ask for.
    wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.lpszClassName = kFormClass;
    WNDCLASSEXW fc = wc;
    fc.lpfnWndProc = FrameProc;
    fc.hIcon = nullptr;
    fc.hIconSm = nullptr;
    fc.lpszClassName = kFrameClass;
    done = RegisterClassExW(&wc) != 0 && RegisterClassExW(&fc) != 0;
    return done;
}

bool IsOurForm(HWND h) {
    wchar_t cls[32];
    return GetClassNameW(h, cls, 32) && lstrcmpW(cls, kFormClass) == 0;
}

// Enter on a focused push button clicks it, as in any dialog. The dialog manager would send
// IDOK instead, since our windows are not dialogs and never make the focused button the default.
bool ClickFocusedButton(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || !IsWindowEnabled(msg.hwnd)) return false;
    const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, 0);
    if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return false;
    SendMessageW(GetParent(msg.hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(msg.hwnd), BN_CLICKED),
                 reinterpret_cast<LPARAM>(msg.hwnd));
    return true;
}

// Lets Tab and the arrow keys move between the controls of the window that has them; Enter
// elsewhere clicks the window's default button, when it names one (DM_GETDEFID).
bool PreTranslate(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    HWND top = GetAncestor(msg.hwnd, GA_ROOT);
    if (!top || !IsOurForm(top)) return false;
    return ClickFocusedButton(msg) || IsDialogMessageW(top, &msg);
}

void Dispatch(MSG& msg) {
    if (PreTranslate(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

struct ModalDisable {
    HWND self;
    std::vector<HWND>* list;
};

// A modal window disables every other visible window of the thread while it is up.
BOOL CALLBACK DisableForModal(HWND w, LPARAM p) {
    auto* c = reinterpret_cast<ModalDisable*>(p);
    if (w != c->self && IsWindowVisible(w) && IsWindowEnabled(w)) {
        EnableWindow(w, FALSE);
        c->list->push_back(w);
    }
    return TRUE;
}

}  // namespace

void DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

static void (*g_endProgramHook)() = nullptr;

void SetEndProgramHook(void (*hook)()) { g_endProgramHook = hook; }

void EndProgram() {
    if (g_endProgramHook) {
        g_endProgramHook();
        return;
    }
    ExitProcess(0);
}

int MsgBox(const std::wstring& text, UINT flags) { return MsgBox(text, flags, AppTitleW); }

int MsgBox(const std::wstring& text, UINT flags, const std::wstring& title) {
    return CoreMessageBox(text, title, flags);
}

int ScreenWidthTwips() { return PixelsToTwipsX(GetSystemMetrics(SM_CXSCREEN)); }
int ScreenHeightTwips() { return PixelsToTwipsY(GetSystemMetrics(SM_CYSCREEN)); }

// ---- Menu

static MenuItem* FindIn(std::vector<MenuItem>& items, int id) {
    for (auto& item : items) {
        if (item.id == id) return &item;
        if (MenuItem* found = FindIn(item.items, id)) return found;
    }
    return nullptr;
}

MenuItem* Menu::Find(int id) { return FindIn(top, id); }

void Menu::SetCaption(int id, const std::wstring& caption) {
    if (MenuItem* item = Find(id)) item->caption = caption;
}

void Menu::SetVisible(int id, bool visible) {
    if (MenuItem* item = Find(id)) item->visible = visible;
}

bool Menu::Visible(int id) {
    MenuItem* item = Find(id);
    return item && item->visible;
}

std::wstring Menu::Caption(int id) {
    MenuItem* item = Find(id);
    return item ? item->caption : std::wstring();
}

static HMENU BuildPopup(const std::vector<MenuItem>& items) {
    HMENU menu = CreatePopupMenu();
    for (const auto& item : items) {
        if (!item.visible) continue;
        if (item.caption == L"-")
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else if (!item.items.empty())
            AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildPopup(item.items)), item.caption.c_str());
        else
            AppendMenuW(menu, MF_STRING, item.id, item.caption.c_str());
    }
    return menu;
}

void Menu::Apply(HWND window) {
    if (!window || top.empty()) return;
    HMENU bar = CreateMenu();
    for (const auto& item : top) {
        if (!item.visible) continue;
        if (item.items.empty())
            AppendMenuW(bar, MF_STRING, item.id, item.caption.c_str());
        else
            AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildPopup(item.items)), item.caption.c_str());
    }
    HMENU old = GetMenu(window);
    SetMenu(window, bar);
    if (old) DestroyMenu(old);
    DrawMenuBar(window);
}

void Menu::Popup(int id, HWND owner, POINT screen) {
    MenuItem* item = Find(id);
    if (!item || item->items.empty()) return;
    HMENU popup = BuildPopup(item->items);
    SetForegroundWindow(owner);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, owner, nullptr);
    DestroyMenu(popup);
}

// ---- Timer

void Timer::Apply() {
    if (!form_ || !form_->hwnd()) return;
    if (enabled_ && interval > 0)
        SetTimer(form_->hwnd(), id_, interval, nullptr);
    else
        KillTimer(form_->hwnd(), id_);
}

void Timer::SetEnabled(bool on) {
    enabled_ = on;
    Apply();
}

void Timer::SetInterval(UINT ms) {
    interval = ms;
    Apply();
}

// ---- Form

Form::Form() = default;

Form::~Form() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Form::Load() {
    if (hwnd_) return true;
    if (!RegisterClasses(&Form::WndProc)) return false;
    Design d = GetDesign();
    RECT r = {0, 0, TwipsToPixelsX(d.clientWidth), TwipsToPixelsY(d.clientHeight)};
    controls_.clear();
    timers_.clear();
    menu.top.clear();
    HWND h = CreateWindowExW(d.exStyle | WS_EX_CONTROLPARENT, kFormClass, d.caption.c_str(), d.style, CW_USEDEFAULT,
                             CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!h) {
        hwnd_ = nullptr;
        return false;
    }
    font_ = GetFont(d.fontFace, d.fontSize, false, false, d.charset);
    CreateControls();
    menu.Apply(h);
    AdjustWindowRectEx(&r, d.style, GetMenu(h) != nullptr, d.exStyle);
    int w = r.right - r.left, ht = r.bottom - r.top;
    RECT now;
    GetWindowRect(h, &now);
    int x = now.left, y = now.top;
    if (d.centred) {
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - ht) / 2;
    }
    SetWindowPos(h, nullptr, x, y, w, ht, SWP_NOZORDER | SWP_NOACTIVATE);
    for (Timer* t : timers_) t->Apply();
    Form_Load();
    if (hwnd_) MatchScreenDpi(hwnd_);
    if (hwnd_) FitLabelsToText(hwnd_);
    return hwnd_ != nullptr;
}

void Form::Unload() {
    if (!hwnd_ || unloading_) return;
    unloading_ = true;
    Form_Unload();
    HWND h = hwnd_;
    for (Timer* t : timers_) {
        KillTimer(h, t->id_);
        t->enabled_ = false;
    }
    // Give the activation back to the windows the modal loop disabled before this one goes.
    EndModal();
    hwnd_ = nullptr;
    focusBefore_ = nullptr;
    if (g_activeForm == this) g_activeForm = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
    for (Control* c : controls_) c->hwnd = nullptr;
    controls_.clear();
    unloading_ = false;
}

void Form::EndModal() {
    if (!modal_) return;
    modal_ = false;
    for (HWND w : disabledByModal_)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    disabledByModal_.clear();
}

void Form::Show() {
    if (!Load()) return;
    ShowWindow(hwnd_, SW_SHOW);
}

void Form::Show(Form& owner) {
    if (!Load()) return;
    if (owner.Load()) SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner.hwnd()));
    ShowWindow(hwnd_, SW_SHOW);
}

void Form::ShowModal() {
    if (!Load()) return;
    if (modal_) {
        SetForegroundWindow(hwnd_);
        return;
    }
    modal_ = true;
    ModalDisable ctx{hwnd_, &disabledByModal_};
    EnumThreadWindows(GetCurrentThreadId(), DisableForModal, reinterpret_cast<LPARAM>(&ctx));
    HWND self = hwnd_;
    ShowWindow(self, SW_SHOW);
    SetForegroundWindow(self);
    MSG msg;
    while (hwnd_ == self) {
        int got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        Dispatch(msg);
    }
    EndModal();
}

void Form::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

bool Form::IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }
bool Form::IsMinimised() const { return hwnd_ && IsIconic(hwnd_); }

void Form::SetCaption(const std::wstring& caption) {
    if (Load()) SetWindowTextW(hwnd_, caption.c_str());
}

std::wstring Form::Caption() const {
    if (!hwnd_) return L"";
    wchar_t buf[512];
    int n = GetWindowTextW(hwnd_, buf, 512);
    return std::wstring(buf, n > 0 ? n : 0);
}

void Form::Move(int left, int top) {
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, TwipsToPixels(hwnd_, left), TwipsToPixels(hwnd_, top), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Form::WidthTwips() const {
    RECT r{};
    if (hwnd_) GetWindowRect(hwnd_, &r);
    return PixelsToTwips(hwnd_, r.right - r.left);
}

int Form::HeightTwips() const {
    RECT r{};
    if (hwnd_) GetWindowRect(hwnd_, &r);
    return PixelsToTwips(hwnd_, r.bottom - r.top);
}

int Form::ScaleWidthTwips() const {
    RECT r{};
    if (hwnd_) GetClientRect(hwnd_, &r);
    return PixelsToTwips(hwnd_, r.right);
}

int Form::ScaleHeightTwips() const {
    RECT r{};
    if (hwnd_) GetClientRect(hwnd_, &r);
    return PixelsToTwips(hwnd_, r.bottom);
}

void Form::Add(Control& c, const wchar_t* windowClass, int id, int left, int top, int width, int height,
               const std::wstring& text, DWORD style, DWORD exStyle, Control* parent) {
    HWND p = parent && parent->hwnd ? parent->hwnd : hwnd_;
    c.id = id;
    // Edges are converted, not sizes, so that controls that meet in twips meet in pixels.
    int x = TwipsToPixelsX(left), y = TwipsToPixelsY(top);
    c.hwnd = CreateWindowExW(exStyle, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y,
                             TwipsToPixelsX(left + width) - x, TwipsToPixelsY(top + height) - y, p,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (!c.hwnd) return;
    SetWindowLongPtrW(c.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
    SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_.push_back(&c);
}

void Form::AddLabel(Control& c, int id, int l, int t, int w, int h, const std::wstring& text, Control* parent) {
    Add(c, L"STATIC", id, l, t, w, h, text, SS_LEFT | SS_NOPREFIX, 0, parent);
}

void Form::AddButton(Control& c, int id, int l, int t, int w, int h, const std::wstring& text, Control* parent) {
    Add(c, L"BUTTON", id, l, t, w, h, text, BS_PUSHBUTTON | WS_TABSTOP, 0, parent);
}

void Form::AddFrame(Frame& c, int id, int l, int t, int w, int h, const std::wstring& caption, Control* parent) {
    // A frame with a caption (even a blank one) draws the etched border; "" gives a plain panel.
    Add(c, kFrameClass, id, l, t, w, h, caption, WS_CLIPSIBLINGS | (caption.empty() ? 0 : kFrameBorder),
        WS_EX_CONTROLPARENT, parent);
}

void Form::AddListView(ListView& c, int id, int l, int t, int w, int h, Control* parent) {
    Add(c, WC_LISTVIEWW, id, l, t, w, h, L"", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE,
        parent);
}

void Form::AddTimer(Timer& t, UINT interval, bool enabled) {
    t.form_ = this;
    t.id_ = static_cast<UINT>(timers_.size() + 1);
    t.interval = interval;
    t.enabled_ = enabled;
    timers_.push_back(&t);
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // A click or menu choice that reaches a window disabled under a modal window or box
        // (a posted message) is dropped: the code that waits for the modal answer runs first.
        if (HIWORD(wParam) == BN_CLICKED && !IsWindowEnabled(hwnd_)) return 0;
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->code == static_cast<UINT>(NM_CUSTOMDRAW)) {
            wchar_t cls[32];
            if (GetClassNameW(hdr->hwndFrom, cls, 32) && lstrcmpiW(cls, WC_LISTVIEWW) == 0)
                if (auto* lv = static_cast<ListView*>(Control::FromHwnd(hdr->hwndFrom)))
                    return lv->CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        }
        return OnNotify(hdr);
    }
    case WM_TIMER:
        for (Timer* t : timers_)
            if (t->id_ == wParam) {
                OnTimer(*t);
                return 0;
            }
        return 0;
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_SIZE:
        Form_Resize();
        return 0;
    case kWmDpiChanged:
        RescaleForDpi(hwnd_, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        FitLabelsToText(hwnd_);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == static_cast<WORD>(HTERROR) && !IsWindowEnabled(hwnd_) &&
            (HIWORD(lParam) == WM_LBUTTONDOWN || HIWORD(lParam) == WM_RBUTTONDOWN || HIWORD(lParam) == WM_MBUTTONDOWN))
            BringModalForward(hwnd_);
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsWindowEnabled(hwnd_)) {
            BringModalForward(hwnd_);
            return 0;
        }
        // The control that has the keyboard is remembered when a message box or another window
        // takes the activation, and gets it back with the activation (see WM_SETFOCUS).
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) focusBefore_ = focus;
        }
        // Form_Activate runs when this form becomes the active one among the program's forms;
        // coming back from a message box does not count. It runs after the activation is done.
        if (LOWORD(wParam) != WA_INACTIVE && g_activeForm != this) {
            g_activeForm = this;
            PostMessageW(hwnd_, WM_APP_ACTIVATE, 0, 0);
        }
        break;
    case WM_APP_ACTIVATE:
        Form_Activate();
        return 0;
    case WM_SETFOCUS:
        // The bare form takes no keys: the keyboard goes on to the control that had it, or to
        // the first control in tab order, as in a dialog box.
        RestoreFocus();
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        Control* c = Control::FromHwnd(reinterpret_cast<HWND>(lParam));
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        if (c && c->ForeColor() != CLR_INVALID) SetTextColor(dc, c->ForeColor());
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        OnMouse(message, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Form::RestoreFocus() {
    HWND target = focusBefore_;
    if (!target || !IsChild(hwnd_, target) || !IsWindowVisible(target) || !IsWindowEnabled(target))
        target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (target && IsChild(hwnd_, target)) SetFocus(target);
}

LRESULT CALLBACK Form::WndProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<Form*>(cs->lpCreateParams);
        form->hwnd_ = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* self = reinterpret_cast<Form*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self || self->hwnd_ != h) return DefWindowProcW(h, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

}  // namespace ui
