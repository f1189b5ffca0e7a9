#include "ui/Dpi.h"

#include <commctrl.h>

#include <cstring>
#include <map>
#include <string>

#include "ui/Controls.h"

namespace ui {

namespace {

const wchar_t kDpiProp[] = L"Halvren.Dpi";

// `font` at `to`/`from` of its height; made once per face and height, kept for the process.
HFONT ScaledFont(HFONT font, int from, int to) {
    LOGFONTW lf;
    if (!font || !GetObjectW(font, sizeof(lf), &lf)) return nullptr;
    lf.lfHeight = MulDiv(lf.lfHeight, to, from);
    lf.lfWidth = MulDiv(lf.lfWidth, to, from);
    static std::map<std::wstring, HFONT> made;
    std::wstring key(reinterpret_cast<const wchar_t*>(&lf), sizeof(lf) / sizeof(wchar_t));
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    HFONT f = CreateFontIndirectW(&lf);
    if (f) made[key] = f;
    return f;
}

// Scales the children of `parent` by to/from, and the children of the frames that group
// them; the common controls lay out their own parts.
void ScaleChildren(HWND parent, int from, int to) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        int x = MulDiv(r.left, to, from), y = MulDiv(r.top, to, from);
        MoveWindow(c, x, y, MulDiv(r.right, to, from) - x, MulDiv(r.bottom, to, from) - y, FALSE);
        if (HFONT f = ScaledFont(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), from, to))
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        if (!lstrcmpiW(cls, WC_LISTVIEWW)) {
            HWND header = reinterpret_cast<HWND>(SendMessageW(c, LVM_GETHEADER, 0, 0));
            int n = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
            for (int i = 0; i < n; ++i)
                SendMessageW(c, LVM_SETCOLUMNWIDTH, i,
                             MulDiv(static_cast<int>(SendMessageW(c, LVM_GETCOLUMNWIDTH, i, 0)), to, from));
        }
        if (GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) ScaleChildren(c, from, to);
    }
}

}  // namespace

int FormDpi(HWND form) {
    auto stored = form ? reinterpret_cast<INT_PTR>(GetPropW(form, kDpiProp)) : 0;
    return stored > 0 ? static_cast<int>(stored) : SystemDpi();
}

int TwipsToPixels(HWND form, int twips) { return MulDiv(twips, FormDpi(form), 1440); }
int PixelsToTwips(HWND form, int pixels) { return MulDiv(pixels, 1440, FormDpi(form)); }

HFONT FontForForm(HWND form, HFONT font) {
    const int dpi = FormDpi(form);
    HFONT scaled = dpi == SystemDpi() ? font : ScaledFont(font, SystemDpi(), dpi);
    return scaled ? scaled : font;
}

void RescaleForDpi(HWND form, int dpi, const RECT& suggested) {
    int from = FormDpi(form);
    if (dpi > 0 && dpi != from) {
        SetPropW(form, kDpiProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dpi)));
        ScaleChildren(form, from, dpi);
    }
    SetWindowPos(form, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(form, nullptr, TRUE);
}

void MatchScreenDpi(HWND form) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int dpi = getDpi ? static_cast<int>(getDpi(form)) : 0;
    int from = FormDpi(form);
    if (dpi <= 0 || dpi == from) return;
    // The outer size grows with the client area; the title bar has been scaled by the system.
    RECT r, client;
    GetWindowRect(form, &r);
    GetClientRect(form, &client);
    r.right += MulDiv(client.right, dpi, from) - client.right;
    r.bottom += MulDiv(client.bottom, dpi, from) - client.bottom;
    RescaleForDpi(form, dpi, r);
}

}  // namespace ui
