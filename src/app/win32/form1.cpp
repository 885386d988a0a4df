#include "form1.h"

#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "fetch_dialog.h"
#include "history_dialog.h"
#include "layout.h"
#include "shell/import_report.h"
#include "text.h"
#include "velt_about.h"

namespace velt::win32 {
namespace {

const wchar_t kClass[] = L"VeltForm1";
// A function to run on the window's thread (lParam); wParam 1: posted, and deleted once run.
const UINT kRunHere = WM_APP + 1;

void place(HWND control, const Twips& p, int dpi) {
    SetWindowPos(control, nullptr, px(p.left, dpi), px(p.top, dpi), px(p.width, dpi),
                 px(p.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Form1::Form1(std::string programFolder, Dialogs& dialogs)
    : dialogs_(dialogs),
      logic_(std::move(programFolder), *this),
      import_(
          *this,
          [this](std::function<void()> f) {
              SendMessageW(window_, kRunHere, 0, reinterpret_cast<LPARAM>(&f));
          },
          [this](std::function<void()> f) {
              auto* posted = new std::function<void()>(std::move(f));
              if (!PostMessageW(window_, kRunHere, 1, reinterpret_cast<LPARAM>(posted)))
                  delete posted;
          }) {
    static const bool registered = registerWindowClass(kClass, proc);
    (void)registered;

    HMENU bar = CreateMenu();
    for (std::size_t i = 0; i < std::size(kFormMenus); ++i) {
        HMENU menu = CreatePopupMenu();
        for (const FormMenuItem& item : kFormMenuItems)
            if (item.menu == static_cast<int>(i))
                AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.id),
                            wide(item.text).c_str());
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu),
                    wide(kFormMenus[i].title).c_str());
    }

    // A small fixed window: no resizing, no maximizing.
    CreateWindowExW(WS_EX_ACCEPTFILES, kClass, wide(kAppTitle).c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                    CW_USEDEFAULT, 400, 200, nullptr, bar, GetModuleHandleW(nullptr), this);
    if (!window_) throw std::runtime_error("メインウィンドウを作れませんでした。");
    createControls();
    layout(dpiOf(window_));

    loading_ = true;
    logic_.load();
    loading_ = false;
}

Form1::~Form1() {
    if (window_) DestroyWindow(window_);
}

void Form1::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const FormButton& b : kFormButtons)
        CreateWindowExW(0, L"BUTTON", wide(b.caption).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON, 0, 0,
                        10, 10, window_, reinterpret_cast<HMENU>(INT_PTR(b.id)), instance, nullptr);
    label1_ = CreateWindowExW(0, L"STATIC", wide(kLabel1.caption).c_str(),
                              WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 10, 10, window_,
                              nullptr, instance, nullptr);
    CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 10, 10, window_,
                    reinterpret_cast<HMENU>(INT_PTR(kText1.id)), instance, nullptr);
    // Decoration only, behind the buttons.
    for (HWND& shape : shapes_) {
        shape = CreateWindowExW(0, L"STATIC", L"",
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_ETCHEDFRAME, 0, 0, 10,
                                10, window_, nullptr, instance, nullptr);
        SetWindowPos(shape, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

// Places the controls and makes the fonts for `dpi`, and sizes the window to its client area.
void Form1::layout(int dpi) {
    for (HFONT f : {font_, buttonFont_, gothic_})
        if (f) DeleteObject(f);
    font_ = messageFont(dpi);
    gothic_ = gothicFont(kGothicPoints, true, dpi);

    // The captions keep the message font unless one is wider than a button: then all of them
    // take the largest size at which every caption fits.
    int widest = 0;
    HDC dc = GetDC(window_);
    HGDIOBJ old = SelectObject(dc, font_);
    for (const FormButton& b : kFormButtons) {
        if (b.gothic) continue;
        const std::wstring caption = wide(b.caption);
        SIZE size{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    const int room = px(kButtonSide - 90, dpi);
    LOGFONTW logFont{};
    GetObjectW(font_, sizeof logFont, &logFont);
    if (widest > room) logFont.lfHeight = MulDiv(logFont.lfHeight, room, widest);
    buttonFont_ = CreateFontIndirectW(&logFont);

    setChildFonts(window_, font_);
    for (const FormButton& b : kFormButtons) {
        place(control(b.id), b.place, dpi);
        SendMessageW(control(b.id), WM_SETFONT,
                     reinterpret_cast<WPARAM>(b.gothic ? gothic_ : buttonFont_), TRUE);
    }
    for (std::size_t i = 0; i < shapes_.size(); ++i) place(shapes_[i], kShapes[i].place, dpi);
    place(label1_, kLabel1.place, dpi);
    place(control(kText1.id), kText1.place, dpi);

    setClientSize(window_, px(kFormArea.width, dpi), px(kFormArea.height, dpi));
}

void Form1::show(int how) {
    ShowWindow(window_, how);
    UpdateWindow(window_);
    // What went wrong at load is shown once the window is up.
    const std::vector<Message> atLoad = std::exchange(atLoad_, {});
    for (const Message& m : atLoad) showMessage(m);
}

LRESULT CALLBACK Form1::proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return form ? form->handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT Form1::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_CREATE:
            windowOpened();
            return 0;
        case WM_COMMAND:
            if (HIWORD(w) == BN_CLICKED) command(LOWORD(w));  // 0: a click, or a menu item
            return 0;
        case WM_DROPFILES:
            dropped(w);
            return 0;
        case kRunHere: {
            auto* run = reinterpret_cast<std::function<void()>*>(l);
            (*run)();
            if (w) delete run;
            return 0;
        }
        case WM_DPICHANGED: {
            layout(HIWORD(w));
            const auto* suggested = reinterpret_cast<const RECT*>(l);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_CLOSE:
            // The import under way finishes first.
            if (!busy_) DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            windowClosed();
            return 0;
        case WM_NCDESTROY: {
            HWND window = window_;
            window_ = nullptr;
            for (HFONT f : {font_, buttonFont_, gothic_})
                if (f) DeleteObject(f);
            font_ = buttonFont_ = gothic_ = nullptr;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, w, l);
        }
        default:
            return DefWindowProcW(window_, message, w, l);
    }
}

void Form1::command(int id) {
    for (const FormButton& b : kFormButtons)
        if (b.id == id) return logic_.run(b.command, b.import);
    for (const FormMenuItem& item : kFormMenuItems)
        if (item.id == id) return logic_.run(item.command);
}

void Form1::closeWindow() {
    SendMessageW(window_, WM_CLOSE, 0, 0);
}

void Form1::showAbout() {
    // One box, shown again when asked twice; a window of its own, which outlives this one.
    if (!about_) about_ = std::make_unique<VeltAbout>();
    about_->show();
}

void Form1::showHistory(const std::vector<HistoryDay>& days, const std::string& file) {
    if (!history_) history_ = std::make_unique<HistoryDialog>();
    history_->show(days, file);
}

void Form1::fetchFromJrdb() {
    win32::fetchFromJrdb(window_, dialogs_, logic_.settingsFileInUse(), dataFolderText(),
                         [this](std::vector<std::string> paths) { importAsDrop(paths); });
}

std::string Form1::dataFolderText() const {
    HWND text = control(kText1.id);
    std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
    buffer.resize(static_cast<std::size_t>(
        GetWindowTextW(text, buffer.data(), static_cast<int>(buffer.size()))));
    return utf8(buffer);
}

void Form1::setDataFolderText(const std::string& text) {
    SetWindowTextW(control(kText1.id), wide(text).c_str());
}

std::string Form1::chooseFolder(const std::string& title, const std::string& start) {
    return dialogs_.chooseFolder(window_, title, start);
}

void Form1::showMessage(const Message& m) {
    if (loading_)
        atLoad_.push_back(m);
    else
        dialogs_.showMessage(window_, boxText(m), titleOf(m), m.icon);
}

bool Form1::askYesNo(const std::string& question) {
    return dialogs_.askYesNo(window_, question, kAppTitle);
}

void Form1::showProgress(const std::string& label, int permille, bool atOnce,
                         const std::function<void()>& cancel) {
    dialogs_.showProgress(window_, label, permille, atOnce, cancel);
}

void Form1::endProgress() {
    dialogs_.endProgress();
}

void Form1::showReport(const std::string& report) {
    dialogs_.showReport(window_, kReportTitle, report);
}

bool Form1::openDocument(const std::string& path) {
    return dialogs_.openDocument(path);
}

void Form1::setImporting(bool importing) {
    busy_ = importing;
    for (const FormButton& b : kFormButtons) EnableWindow(control(b.id), !importing);
    EnableMenuItem(GetMenu(window_), static_cast<UINT>(formMenuItem(Command::ChooseDataFolder).id),
                   MF_BYCOMMAND | (importing ? MF_GRAYED : MF_ENABLED));
    DragAcceptFiles(window_, !importing);
}

void Form1::startImport(const std::vector<std::string>& inputs, WindowImport::Work work) {
    setImporting(true);
    import_.start(inputs, dataFolderText(), std::move(work), [this] { setImporting(false); });
}

void Form1::importWith(Button button) {
    if (busy_) return;
    const std::vector<std::string> paths = dialogs_.chooseFiles(
        window_, kFileDialogTitle, logic_.fileFolder(downloadsFolder()), fileFilters(button));
    if (paths.empty()) return;
    logic_.rememberFileFolder(paths.front());
    startImport(paths, [button, paths](ImportEngine& engine, Messages& messages) {
        return importEachAs(engine, messages, button, paths);
    });
}

void Form1::dropped(WPARAM w) {
    auto drop = reinterpret_cast<HDROP>(w);
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && !busy_; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        if (!path.empty()) paths.push_back(utf8(path));
    }
    DragFinish(drop);
    importAsDrop(paths);
}

void Form1::importAsDrop(const std::vector<std::string>& paths) {
    if (busy_) return;
    startImport(paths, [paths](ImportEngine& engine, Messages&) {
        return engine.importFiles(paths, false);
    });
}

}  // namespace velt::win32
