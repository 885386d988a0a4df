// The native window driven as a user would: button clicks, drops and menus through its messages,
// with the dialogs scripted.

// windows.h comes first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
// clang-format on

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fetch_dialog.h"
#include "form1.h"
#include "layout.h"
#include "platform/file.h"
#include "shell/history.h"
#include "shell/settings.h"
#include "shell/window_texts.h"
#include "support/test_files.h"
#include "text.h"
#include "velt_about.h"

namespace velt::win32 {
namespace {

const std::string kComplete = "すべての処理完了\u3000V（＾0＾）";
const std::string kUnsupported = "対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！";

// A KYD record of racecourse 05, year 01, meeting 3, day 1, race 12: it goes to MD013東.DAT.
std::string kydRecord(const char* horse = "07") {
    std::string record = std::string("05013112") + horse;
    return record + std::string(332 - record.size(), ' ');
}

struct FakeDialogs : Dialogs {
    struct Shown {
        std::string text, title;
        Message::Icon icon;
    };
    std::deque<std::vector<std::string>> files;  // answers; none is a cancel
    std::deque<std::string> folders;             // answers; empty text is a cancel
    std::vector<std::string> fileTitles, fileStarts, folderTitles, folderStarts, documents,
        progress, reports;
    std::vector<std::vector<FileFilter>> filters;
    std::vector<Shown> messages;
    std::function<void()> cancel;  // the progress window's cancel button
    bool realProgress = false;     // the progress window is the real one
    WindowsDialogs real;

    static std::string take(std::deque<std::string>& answers) {
        if (answers.empty()) return {};
        std::string answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<std::string> chooseFiles(HWND, const std::string& title, const std::string& start,
                                         const std::vector<FileFilter>& shown) override {
        fileTitles.push_back(title);
        fileStarts.push_back(start);
        filters.push_back(shown);
        if (files.empty()) return {};
        auto answer = files.front();
        files.pop_front();
        return answer;
    }
    std::string chooseFolder(HWND, const std::string& title, const std::string& start) override {
        folderTitles.push_back(title);
        folderStarts.push_back(start);
        return take(folders);
    }
    void showMessage(HWND, const std::string& text, const std::string& title,
                     Message::Icon icon) override {
        messages.push_back({text, title, icon});
    }
    bool askYesNo(HWND, const std::string&, const std::string&) override { return false; }
    bool openDocument(const std::string& path) override {
        documents.push_back(path);
        return true;
    }
    void showProgress(HWND owner, const std::string& label, int permille, bool atOnce,
                      const std::function<void()>& cancelled) override {
        progress.push_back(label);
        cancel = cancelled;
        if (realProgress) real.showProgress(owner, label, permille, atOnce, cancelled);
    }
    void endProgress() override { real.endProgress(); }
    void showReport(HWND, const std::string&, const std::string& text) override {
        reports.push_back(text);
    }
    std::vector<std::string> firstLines() const {
        std::vector<std::string> lines;
        for (const Shown& m : messages) lines.push_back(m.text.substr(0, m.text.find('\n')));
        return lines;
    }
};

// Wine shows windows on an X display only; without one, the window tests are skipped.
bool canShowWindows() {
    HWND probe =
        CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        if (canShowWindows()) return;
        // Run where a display was promised: no window is a failure, not a reason to skip.
        if (std::getenv("VELT_REQUIRE_DISPLAY")) FAIL() << "no window could be shown";
        GTEST_SKIP() << "Wine has no display here (run under xvfb-run)";
    }
};

// A program folder, a Target data folder and the window, in a fresh temporary folder.
struct Bench {
    test::TempDir dir;
    std::string program = dir / "program\\", target = dir / "target\\";
    FakeDialogs dialogs;
    std::unique_ptr<Form1> form;

    Bench() {
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA"})
            std::filesystem::create_directories(test::fsPath(target + sub));
        std::filesystem::create_directories(test::fsPath(program));
    }
    void chooseTarget() const {
        test::writeFile(settingsPath(program), "[Velt]\r\npath=" + target + "\r\n");
    }
    Form1& open() {
        if (!canShowWindows()) throw std::runtime_error("Wine has no display");
        form = std::make_unique<Form1>(program, dialogs);
        form->show(SW_SHOWNOACTIVATE);
        return *form;
    }
    std::string file(const std::string& name, const std::string& bytes) const {
        test::writeFile(dir / name, bytes);
        return dir / name;
    }
    std::string output(const std::string& name) const {
        const auto path = test::fsPath(target + name);
        return std::filesystem::exists(path) ? test::readFile(target + name) : "<missing>";
    }
    // Handles the window's messages until the import under way has ended; `meanwhile` runs
    // between rounds.
    void waitForImport(const std::function<void()>& meanwhile = {}) const {
        const ULONGLONG until = GetTickCount64() + 30000;
        MSG msg;
        while (form->importing() && GetTickCount64() < until) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            if (meanwhile) meanwhile();
            Sleep(5);
        }
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    void click(const FormButton& button) const {
        SendMessageW(form->control(button.id), BM_CLICK, 0, 0);
        waitForImport();
    }
    void menu(Command command) const {
        SendMessageW(form->hwnd(), WM_COMMAND, formMenuItem(command).id, 0);
    }
    // Drops the files as Explorer does: a DROPFILES block of wide names, posted, then delivered.
    void drop(const std::vector<std::string>& paths) const {
        std::wstring names;
        for (const std::string& p : paths) names += wide(p) + L'\0';
        names += L'\0';
        names += L'\0';
        HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
        auto* files = static_cast<DROPFILES*>(GlobalLock(block));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(files + 1));
        GlobalUnlock(block);
        PostMessageW(form->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    void dropAndWait(const std::vector<std::string>& paths,
                     const std::function<void()>& meanwhile = {}) const {
        drop(paths);
        waitForImport(meanwhile);
    }
};

std::string textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

RECT clientRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(Window, ControlsCaptionsAndPlaces) {
    Bench b;
    Form1& form = b.open();
    const int dpi = dpiOf(form.hwnd());
    EXPECT_EQ(textOf(form.hwnd()), kAppTitle);
    RECT client{};
    GetClientRect(form.hwnd(), &client);
    EXPECT_EQ(client.right, px(kFormArea.width, dpi));
    EXPECT_EQ(client.bottom, px(kFormArea.height, dpi));
    auto expectAt = [dpi](HWND control, const Twips& place) {
        const RECT r = clientRect(control);
        EXPECT_EQ(r.left, px(place.left, dpi));
        EXPECT_EQ(r.top, px(place.top, dpi));
        EXPECT_EQ(r.right - r.left, px(place.width, dpi));
        EXPECT_EQ(r.bottom - r.top, px(place.height, dpi));
    };
    for (const FormButton& button : kFormButtons) {
        SCOPED_TRACE(button.name);
        HWND control = form.control(button.id);
        EXPECT_EQ(textOf(control), button.caption);
        expectAt(control, button.place);
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(utf8(font.lfFaceName) == "ＭＳ Ｐゴシック", button.gothic);
        if (button.gothic) {
            EXPECT_EQ(font.lfWeight, FW_BOLD);
            EXPECT_EQ(font.lfHeight, -MulDiv(kGothicPoints, dpi, 72));
        }
    }
    EXPECT_EQ(textOf(form.Label1()), kLabel1.caption);
    expectAt(form.Label1(), kLabel1.place);
    expectAt(form.control(kText1.id), kText1.place);

    HMENU bar = GetMenu(form.hwnd());
    ASSERT_EQ(GetMenuItemCount(bar), static_cast<int>(std::size(kFormMenus)));
    wchar_t text[64];
    for (std::size_t i = 0; i < std::size(kFormMenus); ++i) {
        GetMenuStringW(bar, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        EXPECT_EQ(utf8(text), kFormMenus[i].title);
        HMENU sub = GetSubMenu(bar, static_cast<int>(i));
        UINT position = 0;
        for (const FormMenuItem& item : kFormMenuItems) {
            if (item.menu != static_cast<int>(i)) continue;
            EXPECT_EQ(GetMenuItemID(sub, static_cast<int>(position)), static_cast<UINT>(item.id));
            GetMenuStringW(sub, position++, text, 64, MF_BYPOSITION);
            EXPECT_EQ(utf8(text), item.text);
        }
        EXPECT_EQ(GetMenuItemCount(sub), static_cast<int>(position));
    }
}

// Each import button: the file dialog's title, start (Downloads, then the folder last chosen from)
// and filter, and the engine's answer shown with the file's name on a line of its own.
TEST_F(Window, ButtonsImportOrRefuse) {
    const struct {
        Button button;
        const char* name;
        std::string content, message;
    } cases[] = {
        {Button::KYD, "KYD011117.txt", kydRecord() + "\r\n", "競走馬データを取り込みました"},
        {Button::SEBZEB, "KYD011117.lzh", "x", "成績データ(SEB/SEC/SED/ZEB/ZEC/ZED)ではありません"},
        {Button::OZ, "KYD011117.lzh", "x", "オッズデータ(OZ)ではありません"},
        {Button::SKAZKA, "SEB011117.lzh", "x", "成績拡張ファイル(SKA/SKB/ZKA/ZKB)ではありません"},
        {Button::J, "KYD011117.lzh", "x", "JRDBデータではありません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.chooseTarget();
        b.open();
        const std::string path = b.file(c.name, c.content);
        b.dialogs.files = {{path}};
        b.click(formButton(c.button));
        b.click(formButton(c.button));  // cancelled: nothing more happens
        EXPECT_EQ(b.dialogs.fileTitles,
                  (std::vector<std::string>{kFileDialogTitle, kFileDialogTitle}));
        EXPECT_EQ(b.dialogs.fileStarts,
                  (std::vector<std::string>{downloadsFolder(),
                                            path.substr(0, path.find_last_of("\\/") + 1)}));
        EXPECT_EQ(b.dialogs.filters[0].back().patterns, std::vector<std::string>{"*"});
        ASSERT_EQ(b.dialogs.firstLines(), std::vector<std::string>{c.message});
        // The button's own text, then why, and the file on a line of its own.
        const std::string& text = b.dialogs.messages[0].text;
        EXPECT_EQ(text.substr(0, text.find('\n')), c.message);
        EXPECT_EQ(text.substr(text.rfind('\n') + 1), path);
        EXPECT_EQ(b.dialogs.messages[0].title, kAppTitle);
        EXPECT_EQ(b.dialogs.reports.size(), 1u);
        if (c.button == Button::KYD) {
            EXPECT_EQ(b.output("MDATA/MD013東.DAT").substr(0, 12), "05013112070 ");
        }
        EXPECT_FALSE(b.form->importing());
    }
}

TEST_F(Window, DropsImportRecognisedFilesAndNameTheOthers) {
    const struct {
        std::vector<std::string> names;
        std::vector<std::string> messages;
        bool written;
    } cases[] = {
        {{}, {kComplete}, false},
        {{"notes.txt"}, {kUnsupported, kComplete}, false},
        {{"notes.txt", "KYD011117.txt"}, {kUnsupported, kComplete}, true},
    };
    for (const auto& c : cases) {
        Bench b;
        b.chooseTarget();
        b.open();
        std::vector<std::string> paths;
        for (const std::string& name : c.names)
            paths.push_back(b.file(name, name[0] == 'K' ? kydRecord() + "\r\n" : "x\r\n"));
        b.dropAndWait(paths);
        EXPECT_EQ(b.dialogs.firstLines(), c.messages);
        EXPECT_EQ(b.output("MDATA/MD013東.DAT").substr(0, 12),
                  c.written ? "05013112070 " : "<missing>");
    }
}

// An import that waits for another one holding the data folder keeps the window painted.
TEST_F(Window, WaitForAnotherImportKeepsTheWindowPainted) {
    Bench b;
    b.chooseTarget();
    b.open();
    auto held = *platform::FolderLock::tryAcquire(platform::FolderLock::fileOf(b.target));
    std::atomic<bool> painted{false};
    std::thread other([&] {
        Sleep(200);
        InvalidateRect(b.form->hwnd(), nullptr, TRUE);
        Sleep(300);
        painted = !GetUpdateRect(b.form->hwnd(), nullptr, FALSE);
        held = platform::FolderLock();
    });
    b.dropAndWait({b.file("KYD011117.txt", kydRecord() + "\r\n")});
    other.join();
    EXPECT_TRUE(painted);
    EXPECT_EQ(b.output("MDATA/MD013東.DAT").substr(0, 12), "05013112070 ");
}

// "設定" and its menu item alike: the chosen folder with a separator, saved; a cancel keeps it.
TEST_F(Window, FolderChoiceHelpAndAbout) {
    Bench b;
    Form1& form = b.open();
    b.dialogs.folders = {b.dir / "target", ""};
    b.click(formButton(Command::ChooseDataFolder));
    b.menu(Command::ChooseDataFolder);
    EXPECT_EQ(b.dialogs.folderTitles,
              (std::vector<std::string>{kFolderDialogTitle, kFolderDialogTitle}));
    EXPECT_EQ(b.dialogs.folderStarts, (std::vector<std::string>{"", b.dir / "target\\"}));
    EXPECT_EQ(textOf(form.control(kText1.id)), b.dir / "target\\");
    EXPECT_EQ(readSetting(settingsFile(b.program), "Velt", "path", std::string("<none>")),
              b.dir / "target\\");
    EXPECT_TRUE(b.dialogs.messages.empty());

    b.menu(Command::ShowHelp);
    ASSERT_EQ(b.dialogs.documents.size(), 1u);
    EXPECT_NE(b.dialogs.documents[0].find("readme.html"), std::string::npos);

    b.menu(Command::ShowAbout);
    ASSERT_NE(form.about(), nullptr);
    HWND about = form.about()->hwnd();
    b.menu(Command::ShowAbout);
    EXPECT_EQ(form.about()->hwnd(), about);  // one box, shown again
    const AboutTexts texts = aboutTexts();
    EXPECT_EQ(textOf(about), texts.caption);
    const std::pair<int, std::string> labels[] = {
        {1002, texts.title},   {1003, texts.version}, {1004, texts.description},
        {1006, texts.reports}, {1007, texts.help},    {IDOK, texts.ok},
    };
    for (const auto& [id, text] : labels) EXPECT_EQ(textOf(GetDlgItem(about, id)), text) << id;
    EXPECT_TRUE(IsWindowEnabled(form.hwnd()));
    SendMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(form.about()->hwnd(), nullptr);

    // 取り込み履歴: the data folder's days, a missing kind marked.
    HistoryEntry entry;
    entry.when = "2026-01-01 10:00:00";
    entry.kind = "SED";
    entry.raceDay = "2018-12-01";
    entry.succeeded = true;
    appendHistory(b.target, {entry});
    b.menu(Command::ShowHistory);
    HWND history = FindWindowW(L"VeltHistory", nullptr);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(textOf(history), kHistoryDialogTitle);
    HWND list = GetDlgItem(history, 1002);
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    wchar_t cell[32] = {};
    ListView_GetItemText(list, 0, 1, cell, 32);
    EXPECT_EQ(utf8(cell), "×");
    ListView_GetItemText(list, 0, 2, cell, 32);
    EXPECT_EQ(utf8(cell), "○");
    SendMessageW(history, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindow(history));
}

// A good file and a damaged archive dropped: the archive's first box names it, no completion
// follows the failure, and the summary lists the failure first, then the other file's counts.
TEST_F(Window, SummaryAfterADrop) {
    Bench b;
    b.chooseTarget();
    b.open();
    const std::string good = b.file("KYD011117.txt", kydRecord() + "\r\n");
    const std::string bad = b.file("KYD011118.lzh", "no archive at all");
    b.dropAndWait({good, bad});
    std::string texts;
    for (const auto& m : b.dialogs.messages) texts += m.text + "|";
    EXPECT_NE(texts.find("解凍に失敗しました。No.5\n" + bad), std::string::npos) << texts;
    EXPECT_EQ(texts.find(kComplete), std::string::npos) << texts;
    ASSERT_EQ(b.dialogs.reports.size(), 1u);
    const std::string& report = b.dialogs.reports[0];
    EXPECT_EQ(
        report.rfind("2 件のファイル: 取り込み 1 件、失敗 1 件\n\n" + bad + "\n    KYD: 失敗", 0),
        0u)
        << report;
    EXPECT_NE(report.find(good + "\n    KYD: 取り込みました\n    レコード: 読み込み 1、書き込み 1"),
              std::string::npos)
        << report;
}

// A long import: the window answers meanwhile (its timer fires) with its buttons disabled, the
// progress window appears after a moment, and its cancel stops the drop between files.
TEST_F(Window, LongImportAnswersAndCancels) {
    Bench b;
    b.chooseTarget();
    Form1& form = b.open();
    b.dialogs.realProgress = true;
    std::vector<std::string> paths;
    for (const char* day : {"011117", "011118", "011124", "011125", "011201", "011202"})
        paths.push_back(b.file(std::string("KYD") + day + ".txt", kydRecord() + "\r\n"));
    _putenv_s("VELT_TEST_PAUSE", "input-done:300");
    static int ticks;
    ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    bool shown = false, disabled = true;
    b.dropAndWait(paths, [&] {
        disabled = disabled && (!form.importing() ||
                                !IsWindowEnabled(form.control(formButton(Button::KYD).id)));
        HWND progress = FindWindowW(L"VeltProgress", nullptr);
        if (!shown && progress && IsWindowVisible(progress)) {
            shown = true;
            SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
        }
    });
    KillTimer(nullptr, timer);
    _putenv_s("VELT_TEST_PAUSE", "");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(disabled);
    EXPECT_GT(ticks, 20);
    EXPECT_TRUE(IsWindowEnabled(form.control(formButton(Button::KYD).id)));
    EXPECT_TRUE(b.dialogs.messages.empty());  // no completion: not everything was imported
    ASSERT_EQ(b.dialogs.reports.size(), 1u);
    EXPECT_NE(b.dialogs.reports[0].find("KYD011202.txt\n    KYD: 中止したため"), std::string::npos)
        << b.dialogs.reports[0];
}

// The real progress window: shown at once when asked, after half a second otherwise; its cancel
// button is answered once, and it is gone at the end.
TEST_F(Window, ProgressWindow) {
    Bench b;
    Form1& form = b.open();
    WindowsDialogs dialogs;
    int cancels = 0;
    dialogs.showProgress(form.hwnd(), "取り込み中: KYD011117.lzh", 0, false, [&] { ++cancels; });
    HWND progress = FindWindowW(L"VeltProgress", nullptr);
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(IsWindowVisible(progress));
    const ULONGLONG until = GetTickCount64() + 2000;
    MSG msg;
    while (!IsWindowVisible(progress) && GetTickCount64() < until) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(10);
    }
    EXPECT_TRUE(IsWindowVisible(progress));
    EXPECT_EQ(GetWindow(progress, GW_OWNER), form.hwnd());
    dialogs.showProgress(form.hwnd(), "取り込み中: KYD011117.lzh（1/2）", 500, true, {});
    EXPECT_EQ(textOf(GetWindow(progress, GW_CHILD)), "取り込み中: KYD011117.lzh（1/2）");
    SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
    SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(IsWindowVisible(progress));  // until the file under way is done
    dialogs.endProgress();
    EXPECT_EQ(FindWindowW(L"VeltProgress", nullptr), nullptr);
}

// ファイル › JRDB から取得… against the fake member area that fake_jrdb.py --run starts around
// this program: the box filled in, the day downloaded, and the window's own import of it.
TEST_F(Window, FetchFromJrdbDownloadsAndImports) {
    const char* url = std::getenv("VELT_TEST_JRDB_URL");
    if (!url) GTEST_SKIP() << "run by fake_jrdb.py --run";
    Bench b;
    std::filesystem::create_directories(test::fsPath(b.target + "KCOM_DATA\\2018"));
    test::writeFile(settingsPath(b.program),
                    "[Velt]\r\npath=" + b.target +
                        "\r\nfetchKinds=PACI\r\ndownloadFolder=" + (b.dir / "dl") + "\r\n");
    const std::vector<std::pair<const char*, std::string>> env{
        {"VELT_JRDB_URL", std::string(url) + "member/"},
        {"VELT_JRDB_ID", "m"},
        {"VELT_JRDB_PASSWORD", "pw"},
        {"VELT_TEST_FETCH_PAUSE_MS", "10"}};
    for (const auto& [name, value] : env) _putenv_s(name, value.c_str());
    Form1& form = b.open();
    // A quit left by the windows of the tests before would end the box's own loop at once.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    // What the box showed when it came up; a timer answers it from within its own loop.
    static std::vector<std::string> shown;
    shown.clear();
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND box = FindWindowW(kFetchClass, nullptr);
        if (!box) return;
        KillTimer(nullptr, timer);
        for (int id : {kFetchKinds, kFetchId}) shown.push_back(textOf(GetDlgItem(box, id)));
        SetDlgItemTextW(box, kFetchDays, L"181201");
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    });
    b.menu(Command::FetchFromJrdb);
    b.waitForImport();
    for (const auto& [name, value] : env) _putenv_s(name, "");

    EXPECT_EQ(shown, (std::vector<std::string>{"PACI", "m"}));
    EXPECT_EQ(FindWindowW(kFetchClass, nullptr), nullptr);
    EXPECT_TRUE(std::filesystem::exists(test::fsPath(b.dir / "dl\\PACI181201.lzh")));
    EXPECT_NE(b.output("velt-history.tsv"), "<missing>")
        << ::testing::PrintToString(b.dialogs.firstLines());
    ASSERT_EQ(b.dialogs.reports.size(), 1u);
    EXPECT_NE(b.dialogs.reports[0].find("取り込み 1 件、失敗 0 件"), std::string::npos)
        << b.dialogs.reports[0];
    EXPECT_TRUE(IsWindowEnabled(form.hwnd()));
}

}  // namespace
}  // namespace velt::win32
