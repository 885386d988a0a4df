#pragma once
// `VeltAbout`: the modeless about box, a window of its own.

#include <windows.h>

namespace velt::win32 {

class VeltAbout {
public:
    VeltAbout();
    ~VeltAbout();
    VeltAbout(const VeltAbout&) = delete;
    VeltAbout& operator=(const VeltAbout&) = delete;

    // Shows the box (again, when `cmdOK` closed it) and brings it to the front.
    void show();
    HWND hwnd() const { return window_; }

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM w, LPARAM l);
    void create();
    void layout(int dpi);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HFONT titleFont_ = nullptr;
};

}  // namespace velt::win32
