#include "dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "layout.h"
#include "shell/import_report.h"
#include "shell/window_texts.h"
#include "text.h"

namespace velt::win32 {
namespace {

const wchar_t kProgressClass[] = L"VeltProgress";
const wchar_t kReportClass[] = L"VeltReport";
// A short import shows no progress window at all.
const UINT kProgressDelayMs = 500;
const UINT_PTR kShowTimer = 1;
const int kCopyId = 1001;

void registerClass(const wchar_t* name, WNDPROC proc, LPCWSTR cursor) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, cursor);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

// CR LF line ends, as an edit control and the clipboard take them.
std::wstring withCrLf(const std::string& text) {
    std::wstring out;
    for (wchar_t c : wide(text)) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

bool copyText(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool done = false;
    if (block) {
        auto* to = static_cast<wchar_t*>(GlobalLock(block));
        std::copy(text.c_str(), text.c_str() + text.size() + 1, to);
        GlobalUnlock(block);
        done = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        if (!done) GlobalFree(block);
    }
    CloseClipboard();
    return done;
}

// The summary window: the text to read, a button that copies it, and OK.
LRESULT CALLBACK reportProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(w) == kCopyId) {
                HWND text = GetDlgItem(window, 100);
                std::wstring all(static_cast<std::size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
                all.resize(static_cast<std::size_t>(
                    GetWindowTextW(text, all.data(), static_cast<int>(all.size()))));
                copyText(window, all);
            } else if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
                DestroyWindow(window);
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return DefWindowProcW(window, message, w, l);
    }
}

}  // namespace

std::string downloadsFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path))) folder = utf8(path);
    CoTaskMemFree(path);
    return folder;
}

WindowsDialogs::~WindowsDialogs() {
    endProgress();
}

std::vector<std::string> WindowsDialogs::chooseFiles(HWND owner, const std::string& title,
                                                     const std::string& start,
                                                     const std::vector<FileFilter>& filters) {
    std::vector<wchar_t> file(65536, L'\0');
    const std::wstring caption = wide(title), folder = wide(start);
    // "name\0pattern;pattern\0" for each filter, and one more NUL at the end.
    std::wstring filter;
    for (const FileFilter& f : filters) {
        std::wstring patterns;
        for (const std::string& p : f.patterns)
            patterns += (patterns.empty() ? L"" : L";") + wide(p == "*" ? "*.*" : p);
        filter += wide(f.name) + L'\0' + patterns + L'\0';
    }
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = caption.c_str();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_DONTADDTORECENT;
    if (!GetOpenFileNameW(&ofn)) return {};
    // One file: its path. Several: the folder, then each name, each ending in a NUL.
    std::vector<std::wstring> parts;
    for (const wchar_t* at = file.data(); *at; at += parts.back().size() + 1)
        parts.emplace_back(at);
    if (parts.size() == 1) return {utf8(parts[0])};
    std::wstring base = parts[0];
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < parts.size(); ++i) paths.push_back(utf8(base + parts[i]));
    return paths;
}

// The shell's folder dialog: it has a box to type the path in; it shows hidden folders too.
std::string WindowsDialogs::chooseFolder(HWND owner, const std::string& title,
                                         const std::string& start) {
    const std::wstring caption = wide(title);
    IFileOpenDialog* dialog = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog)))) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_FORCESHOWHIDDEN |
                           FOS_NOCHANGEDIR);
        dialog->SetTitle(caption.c_str());
        IShellItem* folder = nullptr;
        if (!start.empty() &&
            SUCCEEDED(SHCreateItemFromParsingName(wide(start).c_str(), nullptr, IID_IShellItem,
                                                  reinterpret_cast<void**>(&folder)))) {
            dialog->SetFolder(folder);
            folder->Release();
        }
        std::string chosen;
        IShellItem* item = nullptr;
        if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
            PWSTR path = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) chosen = utf8(path);
            CoTaskMemFree(path);
            item->Release();
        }
        dialog->Release();
        return chosen;
    }
    // Without the shell's dialog: the folder browser, with its path box.
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
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

LRESULT CALLBACK WindowsDialogs::progressProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<WindowsDialogs*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_TIMER && w == kShowTimer) {
        KillTimer(window, kShowTimer);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        return 0;
    }
    // Cancel stops the import between files: the window stays until the file under way is done.
    if (self && message == WM_COMMAND && LOWORD(w) == IDCANCEL && !self->stopping_) {
        self->stopping_ = true;
        EnableWindow(self->cancelButton_, FALSE);
        SetWindowTextW(self->label_, L"中止します: このファイルの後で止まります");
        if (self->cancel_) self->cancel_();
        return 0;
    }
    if (message == WM_CLOSE) return 0;  // not closed halfway
    return DefWindowProcW(window, message, w, l);
}

void WindowsDialogs::showProgress(HWND owner, const std::string& label, int permille, bool atOnce,
                                  const std::function<void()>& cancel) {
    if (!progress_) {
        static const bool registered =
            (registerClass(kProgressClass, progressProc, IDC_APPSTARTING), true);
        (void)registered;
        const int dpi = dpiOf(owner);
        RECT area{0, 0, px(5400, dpi), px(1560, dpi)};
        const DWORD style = WS_POPUP | WS_CAPTION;
        AdjustWindowRectEx(&area, style, FALSE, WS_EX_DLGMODALFRAME);
        RECT at{};
        GetWindowRect(owner, &at);
        progress_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass, wide(kAppTitle).c_str(),
                                    style, at.left + px(240, dpi), at.top + px(480, dpi),
                                    area.right - area.left, area.bottom - area.top, owner, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(progress_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                 px(120, dpi), px(90, dpi), px(5160, dpi), px(480, dpi), progress_,
                                 nullptr, nullptr, nullptr);
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, px(120, dpi),
                               px(630, dpi), px(5160, dpi), px(300, dpi), progress_, nullptr,
                               nullptr, nullptr);
        cancelButton_ = CreateWindowExW(
            0, L"BUTTON", L"中止", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
            px(4080, dpi), px(1050, dpi), px(1200, dpi), px(390, dpi), progress_,
            reinterpret_cast<HMENU>(INT_PTR(IDCANCEL)), nullptr, nullptr);
        SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
        HFONT font = messageFont(dpi);
        setChildFonts(progress_, font);
        SetPropW(progress_, L"VeltFont", font);
        cancel_ = cancel;
        stopping_ = false;
        if (atOnce)
            ShowWindow(progress_, SW_SHOWNOACTIVATE);
        else
            SetTimer(progress_, kShowTimer, kProgressDelayMs, nullptr);
    }
    if (atOnce && !IsWindowVisible(progress_)) ShowWindow(progress_, SW_SHOWNOACTIVATE);
    if (!stopping_) SetWindowTextW(label_, wide(label).c_str());
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
}

void WindowsDialogs::endProgress() {
    if (!progress_) return;
    auto* font = static_cast<HFONT>(RemovePropW(progress_, L"VeltFont"));
    DestroyWindow(progress_);
    DeleteObject(font);
    progress_ = bar_ = label_ = cancelButton_ = nullptr;
    cancel_ = nullptr;
}

void WindowsDialogs::showReport(HWND owner, const std::string& title, const std::string& text) {
    static const bool registered = (registerClass(kReportClass, reportProc, IDC_ARROW), true);
    (void)registered;
    const int dpi = dpiOf(owner);
    RECT area{0, 0, px(9000, dpi), px(6000, dpi)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&area, style, FALSE, WS_EX_DLGMODALFRAME);
    RECT at{};
    GetWindowRect(owner, &at);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND report =
        CreateWindowExW(WS_EX_DLGMODALFRAME, kReportClass, wide(title).c_str(), style,
                        at.left + px(120, dpi), at.top + px(240, dpi), area.right - area.left,
                        area.bottom - area.top, owner, nullptr, instance, nullptr);
    if (!report) return;
    CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", withCrLf(text).c_str(),
                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                    px(120, dpi), px(120, dpi), px(8760, dpi), px(5160, dpi), report,
                    reinterpret_cast<HMENU>(INT_PTR(100)), instance, nullptr);
    CreateWindowExW(0, L"BUTTON", wide(kReportCopy).c_str(),
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, px(6360, dpi),
                    px(5460, dpi), px(1200, dpi), px(390, dpi), report,
                    reinterpret_cast<HMENU>(INT_PTR(kCopyId)), instance, nullptr);
    CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                    px(7680, dpi), px(5460, dpi), px(1200, dpi), px(390, dpi), report,
                    reinterpret_cast<HMENU>(INT_PTR(IDOK)), instance, nullptr);
    HFONT font = messageFont(dpi);
    setChildFonts(report, font);
    // Modal: the main window waits until the summary is closed.
    EnableWindow(owner, FALSE);
    ShowWindow(report, SW_SHOW);
    SetFocus(GetDlgItem(report, IDOK));
    MSG m;
    while (IsWindow(report)) {
        if (GetMessageW(&m, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(m.wParam));  // for the main loop to end on
            DestroyWindow(report);
            break;
        }
        if (IsDialogMessageW(report, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
    DeleteObject(font);
}

}  // namespace velt::win32
