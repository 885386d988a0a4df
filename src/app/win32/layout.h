#pragma once
// Sizes in twips on a screen of any DPI, and the window's fonts.

#include <windows.h>

namespace velt::win32 {

// The DPI of the screen the window is on (the system's where Windows cannot say per window).
int dpiOf(HWND window);
// Twips to pixels at `dpi`.
inline int px(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}
// The system's message font at `dpi`; the caller deletes it.
HFONT messageFont(int dpi);
// "ＭＳ Ｐゴシック" (its substitute where it is missing) at `points` and `dpi`; the caller deletes
// it.
HFONT gothicFont(int points, bool bold, int dpi);
// Every child of `window` in `font`.
void setChildFonts(HWND window, HFONT font);

// A window class of the program: its icon, the dialog colour.
bool registerWindowClass(const wchar_t* name, WNDPROC proc);
// Sizes `window` so that its client area is `width` x `height` pixels.
void setClientSize(HWND window, int width, int height);

// The program's windows (main window and about box) count themselves: the message loop ends
// when the last one closes.
void windowOpened();
void windowClosed();

// What the program's modeless boxes (the about box, the history) do alike: the object a box was
// created for (CreateWindowExW's last argument), kept with its window from WM_NCCREATE on; and
// the messages that count the box open and closed and unload it on OK, Enter and Esc. True when
// `message` was one of those.
void* boxObject(HWND window, UINT message, LPARAM l);
bool boxMessage(HWND window, UINT message, WPARAM w);

}  // namespace velt::win32
