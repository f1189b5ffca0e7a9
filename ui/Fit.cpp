#include "ui/Fit.h"

#include <algorithm>
#include <string>
#include <vector>

namespace ui {

namespace {

struct Child {
    HWND h;
    HWND parent;
    RECT r;  // in the parent's client coordinates
    bool label;
};

bool IsTextLabel(HWND h) {
    wchar_t cls[16];
    if (!GetClassNameW(h, cls, 16) || lstrcmpiW(cls, L"STATIC") != 0) return false;
    const LONG type = GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP;
}

std::wstring TextOf(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

// The size the label's text takes when drawn as the label draws it, `width` pixels wide; a
// width of 0 measures it on one line.
SIZE TextSize(HWND h, const std::wstring& text, int width) {
    SIZE size = {0, 0};
    HDC dc = GetDC(h);
    if (!dc) return size;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
    if (width <= 0 || (style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP)
        flags |= DT_SINGLELINE;
    else
        flags |= DT_WORDBREAK;
    RECT r = {0, 0, width > 0 ? width : 1, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    size.cx = r.right;
    size.cy = r.bottom;
    return size;
}

bool Fits(HWND h, const std::wstring& text, int width, int height) {
    SIZE s = TextSize(h, text, width);
    return s.cx <= width && s.cy <= height;
}

BOOL CALLBACK Collect(HWND h, LPARAM p) {
    auto* all = reinterpret_cast<std::vector<Child>*>(p);
    Child c{h, GetParent(h), {}, IsTextLabel(h)};
    GetWindowRect(h, &c.r);
    MapWindowPoints(nullptr, c.parent, reinterpret_cast<POINT*>(&c.r), 2);
    all->push_back(c);
    return TRUE;
}

void Place(Child& c, const RECT& r) {
    c.r = r;
    SetWindowPos(c.h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(c.h, nullptr, TRUE);
}

}  // namespace

void FitLabelsToText(HWND window) {
    if (!window) return;
    std::vector<Child> all;
    EnumChildWindows(window, Collect, reinterpret_cast<LPARAM>(&all));
    // Left to right, so that a label moved over by its neighbour is fitted where it now stands.
    std::sort(all.begin(), all.end(), [](const Child& a, const Child& b) { return a.r.left < b.r.left; });
    for (Child& c : all) {
        if (!c.label) continue;
        const std::wstring text = TextOf(c.h);
        const int height = c.r.bottom - c.r.top;
        if (text.empty() || Fits(c.h, text, c.r.right - c.r.left, height)) continue;
        RECT area;
        GetClientRect(c.parent, &area);
        int limit = area.right;
        Child* next = nullptr;
        for (Child& o : all)
            if (o.h != c.h && o.parent == c.parent && o.r.top < c.r.bottom && o.r.bottom > c.r.top &&
                o.r.left >= c.r.right && (!next || o.r.left < next->r.left))
                next = &o;
        int gap = 0;
        if (next) {
            gap = next->r.left - c.r.right;
            // A label beside it gives up what its own text does not need.
            limit = next->label ? next->r.right - gap - TextSize(next->h, TextOf(next->h), 0).cx : next->r.left - 1;
            limit = std::min(limit, static_cast<int>(area.right));
        }
        if (limit <= c.r.right) continue;
        // The narrowest width that shows the whole text, or all the room there is.
        int lo = c.r.right - c.r.left + 1, hi = limit - c.r.left;
        if (Fits(c.h, text, hi, height))
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (Fits(c.h, text, mid, height))
                    hi = mid;
                else
                    lo = mid + 1;
            }
        RECT grown = c.r;
        grown.right = c.r.left + hi;
        Place(c, grown);
        if (next && next->label && grown.right + gap > next->r.left) {
            RECT moved = next->r;
            moved.left = grown.right + gap;
            Place(*next, moved);
        }
    }
}

}  // namespace ui
