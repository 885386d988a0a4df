#include "dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "layout.h"
#include "shell/window_texts.h"
#include "text.h"

namespace velt::win32 {
namespace {

const wchar_t kProgressClass[] = L"VeltProgress";
// A short import shows no progress window at all.
const std::uint64_t kProgressDelayMs = 700;

void registerProgressClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_WAIT);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kProgressClass;
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

WindowsDialogs::~WindowsDialogs() {
    endProgress();
}

std::string WindowsDialogs::chooseFile(HWND owner, const std::string& title,
                                       const std::string& start) {
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring initial = wide(start);
    if (initial.size() < file.size()) initial.copy(file.data(), initial.size());
    const std::wstring caption = wide(title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = caption.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR | OFN_DONTADDTORECENT;
    return GetOpenFileNameW(&ofn) ? utf8(file.data()) : std::string();
}

std::string WindowsDialogs::chooseFolder(HWND owner, const std::string& title) {
    const std::wstring caption = wide(title);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return {};
    std::vector<wchar_t> path(32768, L'\0');
    const bool ok =
        SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    CoTaskMemFree(chosen);
    return ok ? utf8(path.data()) : std::string();
}

void WindowsDialogs::showMessage(HWND owner, const std::string& text, const std::string& title,
                                 Message::Icon icon) {
    const UINT style = icon == Message::Icon::Exclamation ? MB_ICONEXCLAMATION
                       : icon == Message::Icon::Warning   ? MB_ICONHAND
                                                          : 0;
    MessageBoxW(owner, wide(text).c_str(), wide(title).c_str(), MB_OK | style);
}

bool WindowsDialogs::askYesNo(HWND owner, const std::string& text, const std::string& title) {
    return MessageBoxW(owner, wide(text).c_str(), wide(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool WindowsDialogs::openDocument(const std::string& path) {
    const std::wstring file = wide(path);
    std::wstring folder = file.substr(0, file.find_last_of(L"\\/") + 1);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
    return result > 32;
}

void WindowsDialogs::showProgress(HWND owner, const std::string& label, int permille, bool atOnce) {
    const std::uint64_t now = GetTickCount64();
    if (started_ == 0) started_ = now;
    if (!progress_ && !atOnce && now - started_ < kProgressDelayMs) return;
    if (!progress_) {
        registerProgressClass();
        const int dpi = dpiOf(owner);
        RECT area{0, 0, px(5400, dpi), px(1080, dpi)};
        const DWORD style = WS_POPUP | WS_CAPTION;
        AdjustWindowRectEx(&area, style, FALSE, WS_EX_DLGMODALFRAME);
        RECT at{};
        GetWindowRect(owner, &at);
        progress_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass, wide(kAppTitle).c_str(),
                                    style, at.left + px(240, dpi), at.top + px(480, dpi),
                                    area.right - area.left, area.bottom - area.top, owner, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS,
                                 px(120, dpi), px(120, dpi), px(5160, dpi), px(300, dpi), progress_,
                                 nullptr, nullptr, nullptr);
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, px(120, dpi),
                               px(540, dpi), px(5160, dpi), px(360, dpi), progress_, nullptr,
                               nullptr, nullptr);
        SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
        HFONT font = messageFont(dpi);
        setChildFonts(progress_, font);
        SetPropW(progress_, L"VeltFont", font);
        ShowWindow(progress_, SW_SHOWNOACTIVATE);
    }
    SetWindowTextW(label_, wide(label).c_str());
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
    // The import holds the message loop: the window is painted here.
    UpdateWindow(progress_);
}

void WindowsDialogs::endProgress() {
    started_ = 0;
    if (!progress_) return;
    auto* font = static_cast<HFONT>(RemovePropW(progress_, L"VeltFont"));
    DestroyWindow(progress_);
    DeleteObject(font);
    progress_ = bar_ = label_ = nullptr;
}

}  // namespace velt::win32
