#pragma once
// The thin forms layer: a top-level window that is loaded on first use and unloaded when
// it closes, shown modeless or modal, with controls placed in twips, a menu bar whose items
// can be hidden, timers, and the DoEvents yield.
#include <windows.h>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace ui {

// Runs every pending window message of the thread, then returns.
void DoEvents();
// Runs the thread's message loop until WM_QUIT.
int RunMessageLoop();
// Ends the program at once: no unload handler runs. Tests install a hook that records
// the call instead, and the caller then goes on.
void EndProgram();
void SetEndProgramHook(void (*hook)());
// A message box through the program's one message-box function, titled with the
// application title unless another title is given.
int MsgBox(const std::wstring& text, UINT flags = MB_OK);
int MsgBox(const std::wstring& text, UINT flags, const std::wstring& title);
// The whole screen, taskbar included, in twips.
int ScreenWidthTwips();
int ScreenHeightTwips();

// A menu tree whose items can be hidden; the window's menu is rebuilt from it.
struct MenuItem {
    int id = 0;
    std::wstring caption;  // "-" is a separator
    bool visible = true;
    std::vector<MenuItem> items;
};

class Menu {
public:
    std::vector<MenuItem> top;

    MenuItem* Find(int id);
    void SetCaption(int id, const std::wstring& caption);
    void SetVisible(int id, bool visible);
    bool Visible(int id);
    std::wstring Caption(int id);
    // Pops up the items of the menu `id` at a screen point; the choice arrives as WM_COMMAND.
    void Popup(int id, HWND owner, POINT screen);
    // Rebuilds the window's menu bar from the tree.
    void Apply(HWND window);
};

class Timer {
public:
    UINT interval = 0;  // ms
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    void SetInterval(UINT ms);

private:
    friend class Form;
    Form* form_ = nullptr;
    UINT id_ = 0;
    bool enabled_ = false;
    void Apply();
};

class Form {
public:
    Form();
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool IsLoaded() const { return hwnd_ != nullptr; }
    // Creates the window and its controls hidden and runs Form_Load, unless loaded already.
    bool Load();
    // Runs Form_Unload and destroys the window; the next use loads it afresh.
    void Unload();
    void Show();               // modeless, no owner
    void Show(Form& owner);    // modeless, owned
    void ShowModal();          // modal, no owner; returns when the window has been unloaded
    void Hide();
    bool IsVisible() const;
    bool IsMinimised() const;
    void SetCaption(const std::wstring& caption);
    std::wstring Caption() const;
    // Outer position and size in twips.
    void Move(int left, int top);
    int WidthTwips() const;
    int HeightTwips() const;
    int ScaleWidthTwips() const;   // client area
    int ScaleHeightTwips() const;

    Menu menu;

protected:
    struct Design {
        std::wstring caption;
        int clientWidth = 4800;  // twips
        int clientHeight = 3600;
        DWORD style = WS_OVERLAPPEDWINDOW;
        DWORD exStyle = 0;
        const wchar_t* fontFace = L"MS Sans Serif";
        double fontSize = 8.25;
        BYTE charset = DEFAULT_CHARSET;
        bool centred = false;
    };
    // The window's design: what the toolkit would load from the form file.
    virtual Design GetDesign() = 0;
    // Creates the controls, menus and timers; runs before Form_Load on every load.
    virtual void CreateControls() = 0;
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_Resize() {}
    virtual void Form_Activate() {}
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual LRESULT OnNotify(NMHDR* /*hdr*/) { return 0; }
    virtual void OnTimer(Timer& /*timer*/) {}
    virtual void OnMouse(UINT /*message*/, int /*x*/, int /*y*/, WPARAM /*keys*/) {}
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Control creation, positions in twips relative to `parent` (the form when null).
    void Add(Control& control, const wchar_t* windowClass, int id, int left, int top, int width, int height,
             const std::wstring& text = L"", DWORD style = 0, DWORD exStyle = 0, Control* parent = nullptr);
    void AddLabel(Control& c, int id, int l, int t, int w, int h, const std::wstring& text = L"",
                  Control* parent = nullptr);
    void AddButton(Control& c, int id, int l, int t, int w, int h, const std::wstring& text = L"",
                   Control* parent = nullptr);
    void AddFrame(Frame& c, int id, int l, int t, int w, int h, const std::wstring& caption = L"",
                  Control* parent = nullptr);
    void AddListView(ListView& c, int id, int l, int t, int w, int h, Control* parent = nullptr);
    void AddTimer(Timer& t, UINT interval, bool enabled);
    HFONT FormFont() const { return font_; }

private:
    static LRESULT CALLBACK WndProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam);
    void EndModal();
    void RestoreFocus();

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    bool unloading_ = false;
    bool modal_ = false;
    HWND focusBefore_ = nullptr;  // the control that had the keyboard when the form lost the activation
    std::vector<HWND> disabledByModal_;
    std::vector<Control*> controls_;
    std::vector<Timer*> timers_;
};

}  // namespace ui
