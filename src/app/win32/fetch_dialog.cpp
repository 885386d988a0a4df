#include "fetch_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "dialogs.h"
#include "layout.h"
#include "platform/credentials.h"
#include "shell/fetch.h"
#include "text.h"

namespace velt::win32 {
namespace {

const char* const kTitle = "JRDB から取得";
// In twips: the margin, a row's height, the labels' and the fields' widths, the buttons' width.
const int kMargin = 120, kRow = 375, kLabelWidth = 1800, kFieldWidth = 4200, kButtonWidth = 1230;

// The box's state, kept with its window.
struct Box {
    bool done = false;
    bool accepted = false;
};

LRESULT CALLBACK boxProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* box = static_cast<Box*>(boxObject(window, message, l));
    if (box && message == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
        box->accepted = LOWORD(w) == IDOK;
        box->done = true;
        return 0;
    }
    if (box && message == WM_CLOSE) {
        box->done = true;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

std::string textOf(HWND box, int id) {
    HWND control = GetDlgItem(box, id);
    std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    buffer.resize(static_cast<std::size_t>(
        GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()))));
    return utf8(buffer);
}

// Runs the window's messages until `done` says so; a WM_QUIT met on the way is kept for the
// window's own loop.
template <class Done>
void pump(HWND box, Done done) {
    bool quit = false;
    int code = 0;
    while (!done() && !quit) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                code = static_cast<int>(msg.wParam);
                break;
            }
            if (box && IsDialogMessageW(box, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(code);
}

// What the fetch tells, kept for the window's thread to show.
class ProgressRelay : public FetchObserver {
public:
    void reading(const std::string& page) override { set("一覧を読んでいます: " + page); }
    void downloading(const fetch::Listed& file, std::size_t index, std::size_t count) override {
        set("ダウンロードしています (" + std::to_string(index + 1) + "/" + std::to_string(count) +
            "): " + file.name);
    }
    bool cancelled() override { return cancelled_; }
    void cancel() {
        cancelled_ = true;
        set("このファイルが終わったら止めます…");
    }
    // The label when it changed since it was last taken.
    std::optional<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!changed_) return std::nullopt;
        changed_ = false;
        return label_;
    }

private:
    void set(const std::string& label) {
        std::lock_guard<std::mutex> lock(mutex_);
        label_ = label;
        changed_ = true;
    }
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::string label_;
    bool changed_ = false;
};

struct Fields {
    std::string days, kinds, id, password;
    bool save = false;
};

// The box filled with what is known; nothing when the user cancelled it.
std::optional<Fields> ask(HWND owner, const std::string& daysHint, const std::string& kinds,
                          const std::string& id, bool stored, const std::string& folder) {
    static const bool registered = registerWindowClass(kFetchClass, boxProc);
    (void)registered;
    Box state;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND box = CreateWindowExW(WS_EX_DLGMODALFRAME, kFetchClass, wide(kTitle).c_str(),
                               WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 10,
                               10, owner, nullptr, instance, &state);
    if (!box) throw Failure("", "JRDB から取得する画面を作れませんでした。");
    const int dpi = dpiOf(box);
    const int m = px(kMargin, dpi), row = px(kRow, dpi), lw = px(kLabelWidth, dpi),
              fw = px(kFieldWidth, dpi), bw = px(kButtonWidth, dpi);
    auto add = [&](DWORD exStyle, const wchar_t* cls, const std::string& text, DWORD style, int id,
                   int x, int y, int w) {
        return CreateWindowExW(exStyle, cls, wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x,
                               y, w, row - px(60, dpi), box,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
    };
    const struct {
        const char* label;
        int id;
        std::string text;
        DWORD style;
    } rows[] = {{"日付 (181201 など):", kFetchDays, "", 0},
                {"種類:", kFetchKinds, kinds, 0},
                {"会員 ID:", kFetchId, id, 0},
                {"パスワード:", kFetchPassword, "", ES_PASSWORD}};
    int y = m;
    for (const auto& r : rows) {
        add(0, L"STATIC", r.label, SS_NOPREFIX, -1, m, y + px(45, dpi), lw);
        add(WS_EX_CLIENTEDGE, L"EDIT", r.text, WS_TABSTOP | ES_AUTOHSCROLL | r.style, r.id, m + lw,
            y, fw);
        y += row;
    }
    SendDlgItemMessageW(box, kFetchDays, EM_SETCUEBANNER, TRUE,
                        reinterpret_cast<LPARAM>(wide(daysHint).c_str()));
    if (stored)
        SendDlgItemMessageW(box, kFetchPassword, EM_SETCUEBANNER, TRUE,
                            reinterpret_cast<LPARAM>(L"(保存済み)"));
    HWND save =
        add(0, L"BUTTON", "保存する", WS_TABSTOP | BS_AUTOCHECKBOX, kFetchSave, m + lw, y, fw);
    EnableWindow(save, platform::credentialStoreAvailable());
    y += row;
    add(0, L"STATIC", "保存先: " + folder, SS_NOPREFIX | SS_PATHELLIPSIS, -1, m, y, lw + fw);
    y += row + m;
    add(0, L"BUTTON", "取得", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, m + lw + fw - 2 * bw - m, y, bw);
    add(0, L"BUTTON", "キャンセル", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, m + lw + fw - bw, y, bw);
    HFONT font = messageFont(dpi);
    setChildFonts(box, font);
    setClientSize(box, 2 * m + lw + fw, y + row + m);
    // Over the owner's window, as a message box is.
    RECT o{}, b{};
    GetWindowRect(owner, &o);
    GetWindowRect(box, &b);
    SetWindowPos(box, nullptr, (o.left + o.right - (b.right - b.left)) / 2,
                 (o.top + o.bottom - (b.bottom - b.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    EnableWindow(owner, FALSE);
    ShowWindow(box, SW_SHOWNORMAL);
    SetFocus(GetDlgItem(box, kFetchDays));
    pump(box, [&] { return state.done; });
    std::optional<Fields> fields;
    if (state.accepted)
        fields =
            Fields{textOf(box, kFetchDays), textOf(box, kFetchKinds), textOf(box, kFetchId),
                   textOf(box, kFetchPassword), IsDlgButtonChecked(box, kFetchSave) == BST_CHECKED};
    EnableWindow(owner, TRUE);
    DestroyWindow(box);
    DeleteObject(font);
    SetActiveWindow(owner);
    return fields;
}

}  // namespace

void fetchFromJrdb(HWND owner, Dialogs& dialogs, const std::string& settingsFile,
                   const std::string& dataFolder,
                   const std::function<void(std::vector<std::string>)>& import) {
    auto fail = [&](const std::string& text) {
        dialogs.showMessage(owner, text, kTitle, Message::Icon::Exclamation);
    };
    WindowFetch start;
    FetchAnswers answers;
    try {
        start = startWindowFetch(settingsFile, dataFolder);
        const auto fields = ask(owner, start.daysHint, kindsText(start.settings.kinds),
                                start.stored ? start.stored->id : "", start.stored.has_value(),
                                start.settings.downloadFolder);
        if (!fields) return;
        answers =
            checkFetchAnswers(start, fields->days, fields->kinds, fields->id, fields->password);
        try {
            if (answers.selection.kinds != start.settings.kinds)
                storeFetchKinds(settingsFile, answers.selection.kinds);
            if (fields->save) platform::storeLogin(answers.login);
        } catch (const std::exception& e) {
            fail(describe(e));
        }
    } catch (const std::exception& e) {
        return fail(describe(e));
    }

    ProgressRelay relay;
    std::atomic<bool> finished{false};
    FetchDone done;
    std::exception_ptr failure;
    dialogs.showProgress(owner, "JRDB に接続しています…", 0, true, [&] { relay.cancel(); });
    std::thread worker([&] {
        try {
            done = runWindowFetch(start, answers, relay);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    pump(nullptr, [&] {
        if (auto label = relay.take())
            dialogs.showProgress(owner, *label, 0, true, [&] { relay.cancel(); });
        return finished.load();
    });
    worker.join();
    dialogs.endProgress();

    if (failure) return fail(describe(failure) + "\n何も取り込んでいません。");
    const std::string notes = fetchNotes(done.choice, done.paths.empty());
    if (!notes.empty() && (done.paths.empty() || !done.choice.unlisted.empty()))
        dialogs.showMessage(
            owner, notes, kTitle,
            done.choice.unlisted.empty() ? Message::Icon::None : Message::Icon::Exclamation);
    if (!done.paths.empty()) import(std::move(done.paths));
}

}  // namespace velt::win32
