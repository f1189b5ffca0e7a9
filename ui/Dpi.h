#pragma once
// A form moved to a screen of another DPI (per-monitor awareness): its controls, their fonts
// and list columns are scaled from the DPI they were laid out for.
#include <windows.h>

namespace ui {

constexpr UINT kWmDpiChanged = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

// Scales the form's controls from the DPI it has now to `dpi`, then gives the form the
// outer rectangle `suggested` (the one WM_DPICHANGED carries).
void RescaleForDpi(HWND form, int dpi, const RECT& suggested);
// Right after creation: a form that opened on a screen whose DPI differs from the system's
// is laid out again for it. Does nothing where the system has no per-monitor DPI.
void MatchScreenDpi(HWND form);
// The DPI the form is laid out for now: the system's until it moves to a screen of another DPI.
int FormDpi(HWND form);
// Twips to pixels and back at the form's DPI.
int TwipsToPixels(HWND form, int twips);
int PixelsToTwips(HWND form, int pixels);
// `font`, made for the system's DPI, at the form's DPI; kept for the process.
HFONT FontForForm(HWND form, HFONT font);

}  // namespace ui
