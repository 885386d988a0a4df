// velt.exe: the window that imports JRDB files into Target's data folder.

// windows.h comes first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
// clang-format on

#include <exception>
#include <string>
#include <vector>

#include "dialogs.h"
#include "form1.h"
#include "shell/settings.h"
#include "shell/window_texts.h"
#include "text.h"
#include "velt_about.h"

namespace {

// The pictures of the documentation (scripts/screenshot-windows): the import's boxes are answered
// as a user would, so that its summary shows.
void CALLBACK answerBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            wchar_t name[16] = L"";
            GetClassNameW(window, name, 16);
            if (IsWindowVisible(window) && std::wstring(name) == L"#32770")
                PostMessageW(window, WM_COMMAND, IDOK, 0);
            return TRUE;
        },
        0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    // The folder dialog and drops need a single-threaded apartment.
    OleInitialize(nullptr);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    velt::win32::WindowsDialogs dialogs;
    std::unique_ptr<velt::win32::Form1> form;
    try {
        form = std::make_unique<velt::win32::Form1>(velt::programFolder(), dialogs);
    } catch (const std::exception& e) {
        MessageBoxW(nullptr, velt::win32::wide(e.what()).c_str(),
                    velt::win32::wide(velt::kAppTitle).c_str(), MB_OK | MB_ICONHAND);
        return 1;
    }
    form->show(show);

    // Files given on the command line (Explorer's "open with", a drop on the program's icon)
    // are imported as a drop of them.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    // Developer options, first and alone: the summary of the files' import, or the history.
    int first = 1;
    if (argv && argc > 1 && std::wstring(argv[1]) == L"--screenshot-summary") {
        SetTimer(nullptr, 0, 300, answerBoxes);
        first = 2;
    } else if (argv && argc > 1 && std::wstring(argv[1]) == L"--screenshot-history") {
        PostMessageW(form->hwnd(), WM_COMMAND,
                     static_cast<WPARAM>(velt::formMenuItem(velt::Command::ShowHistory).id), 0);
        first = 2;
    }
    std::vector<std::string> files;
    for (int i = first; argv && i < argc; ++i) {
        wchar_t full[32768];
        const DWORD n = GetFullPathNameW(argv[i], 32768, full, nullptr);
        files.push_back(velt::win32::utf8(n > 0 && n < 32768 ? full : argv[i]));
    }
    LocalFree(argv);
    if (!files.empty()) form->importAsDrop(files);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND dialog = form->hwnd();
        if (form->about() && form->about()->hwnd() &&
            (msg.hwnd == form->about()->hwnd() || IsChild(form->about()->hwnd(), msg.hwnd)))
            dialog = form->about()->hwnd();
        if (dialog && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    form.reset();
    OleUninitialize();
    return static_cast<int>(msg.wParam);
}
