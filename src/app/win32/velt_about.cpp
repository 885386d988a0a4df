#include "velt_about.h"

#include "layout.h"
#include "shell/window_texts.h"
#include "text.h"

namespace velt::win32 {
namespace {

const wchar_t kClass[] = L"VeltAbout";
const int kClientWidth = 5730, kClientHeight = 4500;
const int kCmdOK = IDOK, kPicIcon = 1001, kLblTitle = 1002;

struct Control {
    int id;
    const wchar_t* kind;
    DWORD style;
    int left, top, width, height;
};
// In twips.
const Control kControls[] = {
    {kPicIcon, L"STATIC", SS_ICON | SS_REALSIZECONTROL, 240, 240, 720, 720},
    {kLblTitle, L"STATIC", SS_NOPREFIX, 1200, 240, 4300, 480},
    {1003, L"STATIC", SS_NOPREFIX, 1200, 780, 4300, 270},    // lblVersion
    {1004, L"STATIC", SS_NOPREFIX, 1200, 1110, 4300, 2100},  // lblDescription
    {1005, L"STATIC", SS_ETCHEDHORZ, 120, 3270, 5490, 30},   // Line1
    {1006, L"STATIC", SS_NOPREFIX, 240, 3420, 3960, 480},    // Label1
    {1007, L"STATIC", SS_NOPREFIX, 240, 3930, 3960, 480},    // Label2
    {kCmdOK, L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 4380, 3960, 1230, 375},
};

}  // namespace

VeltAbout::VeltAbout() = default;

VeltAbout::~VeltAbout() {
    if (window_) DestroyWindow(window_);
}

void VeltAbout::show() {
    if (!window_) create();
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
}

void VeltAbout::create() {
    static const bool registered = registerWindowClass(kClass, proc);
    (void)registered;

    const AboutTexts about = aboutTexts();
    // No owner: closing the main window leaves the box open.
    CreateWindowExW(WS_EX_DLGMODALFRAME, kClass, wide(about.caption).c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300,
                    nullptr, nullptr, GetModuleHandleW(nullptr), this);
    const std::string texts[] = {
        "", about.title, about.version, about.description, "", about.reports, about.help, about.ok,
    };
    for (std::size_t i = 0; i < std::size(kControls); ++i)
        CreateWindowExW(0, kControls[i].kind, wide(texts[i]).c_str(),
                        WS_CHILD | WS_VISIBLE | kControls[i].style, 0, 0, 10, 10, window_,
                        reinterpret_cast<HMENU>(INT_PTR(kControls[i].id)),
                        GetModuleHandleW(nullptr), nullptr);
    layout(dpiOf(window_));
}

void VeltAbout::layout(int dpi) {
    for (HFONT f : {font_, titleFont_})
        if (f) DeleteObject(f);
    font_ = messageFont(dpi);
    titleFont_ = gothicFont(kGothicPoints, false, dpi);
    setChildFonts(window_, font_);
    SendMessageW(GetDlgItem(window_, kLblTitle), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_),
                 TRUE);
    const int side = px(720, dpi);
    if (HANDLE icon =
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0)) {
        HANDLE old =
            reinterpret_cast<HANDLE>(SendMessageW(GetDlgItem(window_, kPicIcon), STM_SETIMAGE,
                                                  IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
        if (old) DestroyIcon(static_cast<HICON>(old));
    }
    for (const Control& c : kControls)
        SetWindowPos(GetDlgItem(window_, c.id), nullptr, px(c.left, dpi), px(c.top, dpi),
                     px(c.width, dpi), px(c.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    setClientSize(window_, px(kClientWidth, dpi), px(kClientHeight, dpi));
}

LRESULT CALLBACK VeltAbout::proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* box = static_cast<VeltAbout*>(boxObject(window, message, l));
    if (message == WM_NCCREATE) box->window_ = window;
    // `cmdOK`, Enter and Esc unload the box.
    if (boxMessage(window, message, w)) return 0;
    switch (message) {
        case WM_DPICHANGED:
            if (box) box->layout(HIWORD(w));
            return 0;
        case WM_NCDESTROY:
            if (box) {
                for (HFONT f : {box->font_, box->titleFont_})
                    if (f) DeleteObject(f);
                box->font_ = box->titleFont_ = nullptr;
                box->window_ = nullptr;
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace velt::win32
