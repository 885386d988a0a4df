#include "shell/form_logic.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/test_files.h"
#include "platform/system.h"
#include "shell/settings.h"
#include "shell/version.h"

namespace velt {
namespace {

// The window as the form logic sees it: the text box, a folder dialog that answers `chosen`.
struct View : FormView {
    std::string text, chosen, folderTitle;
    std::vector<Message> shown;
    std::vector<std::string> opened;
    std::string dataFolderText() const override { return text; }
    void setDataFolderText(const std::string& t) override { text = t; }
    std::string chooseFolder(const std::string& title) override {
        folderTitle = title;
        return chosen;
    }
    void showMessage(const Message& m) override { shown.push_back(m); }
    bool openDocument(const std::string& path) override {
        opened.push_back(path);
        return false;
    }
};

// Remember, choose, append the separator, restore on cancel, save in every case; warn only of a
// chosen folder that holds none of Target's folders.
TEST(FormLogic, DataFolderChoice) {
    test::TempDir dir;
    test::writeFile(dir / "target/MDATA/x", "");
    test::writeFile(dir / "other/x", "");
    const std::string sep(1, platform::kSeparator);  // as the system's folder dialog ends folders
    struct Case {
        std::string before, chosen, after;
        bool warned;
    } cases[] = {
        {"", dir / "target", dir / "target" + sep, false},
        {dir / "target/", "", dir / "target/", false},
        {"", "", "", false},
        {dir / "target/", dir / "other", dir / "other" + sep, true},
    };
    for (const auto& c : cases) {
        View view;
        view.text = c.before;
        view.chosen = c.chosen;
        FormLogic logic(dir.path(), view);
        logic.chooseDataFolder();
        EXPECT_EQ(view.folderTitle, "フォルダを選択してください");
        EXPECT_EQ(view.text, c.after);
        EXPECT_EQ(readSetting(settingsPath(dir.path()), "Velt", "path", "none"), c.after);
        EXPECT_EQ(view.shown.size(), c.warned ? 1u : 0u) << c.chosen;

        View loaded;
        FormLogic(dir.path(), loaded).load();
        EXPECT_EQ(loaded.text, c.after);
    }
}

// A folder the settings file cannot hold is used for this run only, and the warning names what
// stays stored.
TEST(FormLogic, FolderThatCannotBeSavedIsUsedForThisRunOnly) {
    test::TempDir dir;
    const std::string refused = dir / "target😀";
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

}  // namespace
}  // namespace velt
