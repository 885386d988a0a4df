#include "shell/form_logic.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "../support/test_files.h"
#include "platform/system.h"
#include "shell/settings.h"
#include "shell/version.h"
#include "shell/window_texts.h"

namespace velt {
namespace {

// The window as the form logic sees it: the text box, a folder dialog that answers `chosen`, and
// the window's own commands, recorded in `done`.
struct View : FormView {
    std::string text, chosen, folderTitle, folderStart;
    std::vector<Message> shown;
    std::vector<std::string> questions;
    bool yes = false;
    std::vector<std::string> opened, done;
    bool busy = false;
    std::string dataFolderText() const override { return text; }
    void setDataFolderText(const std::string& t) override { text = t; }
    std::string chooseFolder(const std::string& title, const std::string& start) override {
        folderTitle = title;
        folderStart = start;
        done.push_back("folder");
        return chosen;
    }
    void showMessage(const Message& m) override { shown.push_back(m); }
    bool askYesNo(const std::string& question) override {
        questions.push_back(question);
        return yes;
    }
    bool openDocument(const std::string& path) override {
        opened.push_back(path);
        done.push_back("open");
        return false;
    }
    void importWith(Button import) override {
        done.push_back("import " + std::to_string(static_cast<int>(import)));
    }
    void closeWindow() override { done.push_back("close"); }
    void showAbout() override { done.push_back("about"); }
    void showHistory(const std::vector<HistoryDay>& days, const std::string& file) override {
        done.push_back("history " + std::to_string(days.size()) + " " + file);
    }
    bool importing() const override { return busy; }
};

// Every command of the window's buttons and menus; the data folder waits for the import's end.
TEST(FormLogic, Commands) {
    test::TempDir dir;
    const struct {
        Command command;
        Button import;
        bool busy;
        std::vector<std::string> done;
    } cases[] = {
        {Command::Import, Button::OZ, false, {"import 2"}},
        {Command::Import, Button::J, true, {"import 4"}},  // the window refuses it itself
        {Command::ChooseDataFolder, Button::KYD, false, {"folder"}},
        {Command::ChooseDataFolder, Button::KYD, true, {}},
        {Command::Exit, Button::KYD, false, {"close"}},
        {Command::ShowHelp, Button::KYD, false, {"open"}},
        {Command::ShowAbout, Button::KYD, false, {"about"}},
        {Command::ShowHistory, Button::KYD, false, {}},  // no data folder: told so
    };
    for (const auto& c : cases) {
        View view;
        view.busy = c.busy;
        FormLogic(dir.path(), view).run(c.command, c.import);
        EXPECT_EQ(view.done, c.done) << static_cast<int>(c.command);
    }
    View view;
    view.text = dir / "target";
    HistoryEntry entry;
    entry.when = "2026-01-01 00:00:00";
    entry.raceDay = "2018-12-01";
    test::writeFile(dir / "target/MDATA/x", "");
    appendHistory(dir / "target/", {entry});
    FormLogic(dir.path(), view).run(Command::ShowHistory);
    EXPECT_EQ(view.done, std::vector<std::string>{
                             "history 1 " + historyFileOf(dir / "target" + platform::kSeparator)});
}

// Remember, choose (starting at the folder set), append the separator, restore on cancel, save in
// every case; a chosen folder that holds none of Target's folders is asked about first, and a no
// is a cancel.
TEST(FormLogic, DataFolderChoice) {
    test::TempDir dir;
    test::writeFile(dir / "target/MDATA/x", "");
    test::writeFile(dir / "other/x", "");
    const std::string sep(1, platform::kSeparator);  // as the system's folder dialog ends folders
    struct Case {
        std::string before, chosen;
        bool yes;
        std::string after;
        bool asked;
    } cases[] = {
        {"", dir / "target", false, dir / "target" + sep, false},
        {dir / "target/", "", false, dir / "target/", false},
        {"", "", false, "", false},
        {dir / "target/", dir / "other", true, dir / "other" + sep, true},
        {dir / "target/", dir / "other", false, dir / "target/", true},
    };
    for (const auto& c : cases) {
        View view;
        view.text = c.before;
        view.chosen = c.chosen;
        view.yes = c.yes;
        FormLogic logic(dir.path(), view);
        logic.chooseDataFolder();
        EXPECT_EQ(view.folderTitle, kFolderDialogTitle);
        EXPECT_EQ(view.folderStart, c.before);
        EXPECT_EQ(view.text, c.after);
        EXPECT_EQ(readSetting(settingsPath(dir.path()), "Velt", "path", "none"), c.after);
        EXPECT_TRUE(view.shown.empty());
        EXPECT_EQ(view.questions.size(), c.asked ? 1u : 0u) << c.chosen;

        View loaded;
        FormLogic(dir.path(), loaded).load();
        EXPECT_EQ(loaded.text, c.after);
    }
}

// The file dialog opens where a file was last chosen, else in the Downloads folder given; a
// remembered folder that has gone falls back too.
TEST(FormLogic, FileDialogFolder) {
    test::TempDir dir;
    test::writeFile(dir / "in/KYD011117.lzh", "");
    const struct {
        std::string chosen, opens;
    } cases[] = {
        {"", "/Downloads"},
        {dir / "in/KYD011117.lzh", dir / "in/"},
        {dir / "gone/KYD011117.lzh", "/Downloads"},
    };
    for (const auto& c : cases) {
        View view;
        FormLogic logic(dir.path(), view);
        if (!c.chosen.empty()) logic.rememberFileFolder(c.chosen);
        EXPECT_EQ(FormLogic(dir.path(), view).fileFolder("/Downloads"), c.opens) << c.chosen;
    }
}

// A folder the settings file cannot hold (over 255 bytes) is used for this run only, and the
// warning names what stays stored.
TEST(FormLogic, FolderThatCannotBeSavedIsUsedForThisRunOnly) {
    test::TempDir dir;
    // Over 255 bytes as UTF-8, yet short enough in characters for Windows' paths.
    std::string half;
    for (int i = 0; i < 32; ++i) half += "😀";
    const std::string refused = dir / (half + "/" + half);
    test::writeFile(refused + "/MDATA/x", "");
    struct Case {
        std::string stored, says;
    } cases[] = {
        {"", "データフォルダは保存されていません。"},
        {dir / "old/", "保存されているデータフォルダは " + (dir / "old/") + " のままです。"},
    };
    for (const auto& c : cases) {
        if (!c.stored.empty()) writeSetting(settingsPath(dir.path()), "Velt", "path", c.stored);
        View view;
        view.chosen = refused;
        FormLogic(dir.path(), view).chooseDataFolder();
        const std::string shown = refused + platform::kSeparator;
        EXPECT_EQ(view.text, shown);
        EXPECT_EQ(readSetting(settingsPath(dir.path()), "Velt", "path", ""), c.stored);
        ASSERT_EQ(view.shown.size(), 1u);
        EXPECT_NE(view.shown[0].text.find(c.says + "選んだフォルダ " + shown +
                                          " はこの起動の間だけ使います。"),
                  std::string::npos)
            << view.shown[0].text;
    }
}

TEST(FormLogic, HelpPageAndAboutTexts) {
    test::TempDir dir;
    View view;
    FormLogic(dir.path(), view).openHelp();
    ASSERT_EQ(view.opened, std::vector<std::string>{dir / "readme.html"});
    ASSERT_EQ(view.shown.size(), 1u);  // the page could not be opened: said so, naming it
    EXPECT_NE(view.shown[0].text.find(dir / "readme.html"), std::string::npos);
    const AboutTexts about = aboutTexts();
    EXPECT_EQ(about.caption, "Veltのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(about.title, "Velt");
    EXPECT_EQ(about.version, "ﾊﾞｰｼﾞｮﾝ " + std::string(kVersionText));
}

// The table both windows build from: the native window tells its controls and menu items apart
// by id alone, and lays them out by their places.
TEST(WindowTexts, EveryCommandOnceAndEveryButtonInItsFrame) {
    std::set<int> ids{kText1.id};
    for (const FormButton& b : kFormButtons) {
        EXPECT_TRUE(ids.insert(b.id).second) << b.name;
        EXPECT_TRUE(kFormArea.contains(b.place)) << b.name;
        int frames = 0;
        for (const FormControl& shape : kShapes) frames += shape.place.contains(b.place);
        EXPECT_EQ(frames, 1) << b.name;
    }
    for (const FormMenuItem& m : kFormMenuItems) {
        EXPECT_TRUE(ids.insert(m.id).second) << m.name;
        EXPECT_LT(static_cast<std::size_t>(m.menu), std::size(kFormMenus)) << m.name;
    }
    for (const Button import : {Button::KYD, Button::SEBZEB, Button::OZ, Button::SKAZKA, Button::J})
        EXPECT_EQ(formButton(import).import, import);
    for (const Command command :
         {Command::ChooseDataFolder, Command::Exit, Command::ShowHelp, Command::ShowAbout,
          Command::FetchFromJrdb})
        EXPECT_EQ(formMenuItem(command).command, command);
    EXPECT_TRUE(kFormArea.contains(kLabel1.place) && kFormArea.contains(kText1.place));
}

}  // namespace
}  // namespace velt
