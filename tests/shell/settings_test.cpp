#include "shell/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#ifndef _WIN32
#include "../support/in_child.h"
#endif
#include "platform/failure.h"
#include "platform/system.h"
#include "shell/install_layout.h"
#include "shell_test_util.h"

namespace velt {
namespace {

TEST(Settings, FileBesideTheProgram) {
    EXPECT_EQ(settingsPath("/opt/velt/"), "/opt/velt/velt.ini");
    EXPECT_EQ(settingsPath("/opt/velt"), "/opt/velt/velt.ini");
    EXPECT_EQ(settingsPath("/"), "/velt.ini");  // a root: no doubled separator
    std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(platform::isSeparator(folder.back()));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

#ifdef _WIN32
// Windows: beside the program while its folder takes files, else in %APPDATA%\Velt.
TEST(Settings, WindowsFallsBackToAppData) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "app");
    test::writeFile(dir / "readonly/velt.ini", "");
    ASSERT_EQ(_putenv_s("APPDATA", (dir / "roaming").c_str()), 0);
    const struct {
        const char* what;
        std::string programFolder, settings;
    } cases[] = {
        {"portable folder", dir / "app/", dir / "app/velt.ini"},
        {"portable folder typed with backslashes", dir / "app\\", dir / "app\\velt.ini"},
        {"a folder that takes no files", dir / "missing/", dir / "roaming\\Velt\\velt.ini"},
        {"a settings file already there", dir / "readonly/", dir / "readonly/velt.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(settingsFile(c.programFolder), c.settings);
    }
    // The configuration folder is made on the first save, as on other systems.
    const std::string file = settingsFile(dir / "missing/");
    createSettingsFolder(file);
    writeSetting(file, "Velt", "path", "C:\\Target\\");
    EXPECT_EQ(readSetting(file, "Velt", "path", ""), "C:\\Target\\");
}
#endif

// setenv and the XDG rule: POSIX only (the Windows rule is tested above).
#ifndef _WIN32

// Which settings file and help page a program folder uses: a portable folder keeps its own, an
// install uses the user's configuration folder and share/velt/.
TEST(Settings, WhereTheFilesLie) {
    struct Case {
        const char* what;
        std::vector<std::string> files;  // in the test folder
        const char* xdg;                 // $XDG_CONFIG_HOME, "" for none; "@" is the test folder
        std::string settings, help;      // expected, "@" standing for the test folder
    };
    const Case cases[] = {
        {"portable", {"app/readme.html"}, "", "@app/velt.ini", "@app/readme.html"},
        {"nothing beside", {}, "", "@app/velt.ini", "@app/readme.html"},
        {"install",
         {"share/velt/readme.html"},
         "",
         "@home/.config/velt/velt.ini",
         "@share/velt/readme.html"},
        {"install, XDG_CONFIG_HOME",
         {"share/velt/readme.html"},
         "@cfg",
         "@cfg/velt/velt.ini",
         "@share/velt/readme.html"},
        {"install, relative XDG_CONFIG_HOME",
         {"share/velt/readme.html"},
         "cfg",
         "@home/.config/velt/velt.ini",
         "@share/velt/readme.html"},
        {"install that holds its settings",
         {"share/velt/readme.html", "app/velt.ini"},
         "",
         "@app/velt.ini",
         "@share/velt/readme.html"},
        {"help page in both places",
         {"share/velt/readme.html", "app/readme.html"},
         "",
         "@app/velt.ini",
         "@app/readme.html"},
    };
    auto at = [](const test::TempDir& dir, std::string text) {
        if (!text.empty() && text[0] == '@') text = dir.path() + text.substr(1);
        return text;
    };
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        std::filesystem::create_directory(dir / "app");
        for (const auto& f : c.files) test::writeFile(dir / f, "");
        ::setenv("HOME", (dir / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", at(dir, c.xdg).c_str(), 1);
        EXPECT_EQ(settingsFile(dir / "app/"), at(dir, c.settings));
        EXPECT_EQ(helpPage(dir / "app/"), at(dir, c.help));
    }
    ::setenv("HOME", oldHome.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
}
#endif  // _WIN32

TEST(Settings, ConfigurationFolderIsCreated) {
    test::TempDir dir;
    createSettingsFolder(dir / "config/velt/velt.ini");
    writeSetting(dir / "config/velt/velt.ini", "Velt", "path", "/x/");
#ifndef _WIN32  // Windows' folders have ACLs, not modes
    EXPECT_EQ(std::filesystem::status(dir / "config/velt").permissions(),
              std::filesystem::perms::owner_all);
#endif
    createSettingsFolder(dir / "config/velt/velt.ini");  // already there

    test::writeFile(dir / "file", "");
    try {
        createSettingsFolder(dir / "file/velt/velt.ini");
        ADD_FAILURE() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), dir / "file/velt");
    }
}

TEST(Settings, Reading) {
    struct Case {
        const char* what;
        const char* bytes;  // nullptr: no file
        std::string expected;
    };
    const std::string a300(300, 'a');
    std::string kana150;
    for (int i = 0; i < 150; ++i) kana150 += "\x82\xa0";  // "あ" in CP932, 300 bytes
    std::string kana127;
    for (int i = 0; i < 127; ++i) kana127 += "あ";
    const std::string long1 = "[Velt]\r\npath=" + a300 + "\r\n";
    const std::string long2 = "[Velt]\r\npath=" + kana150 + "\r\n";
    const std::string utf8long = "[Velt]\r\npath.utf8=" + std::string(254, 'a') + "é/\r\n";
    const Case cases[] = {
        {"written by the program", "[Velt]\r\npath=/mnt/target/\r\n", "/mnt/target/"},
        {"a root", "[Velt]\r\npath=/\r\n", "/"},
        {"a root and a second separator", "[Velt]\r\npath=//\r\n", "//"},
        {"CP932 path", "[Velt]\r\npath=/home/\x8b\xa3\x94\x6e/\r\n", "/home/競馬/"},
        {"case and spaces", "[velt]\n  PATH =  /x/ \n", "/x/"},
        {"quoted", "[Velt]\r\npath=\"/a b/\"\r\n", "/a b/"},
        {"lone CR and no final line end", "[Other]\rpath=/no/\r[Velt]\rpath=/yes/", "/yes/"},
        {"300 bytes", long1.c_str(), std::string(255, 'a')},
        {"300 bytes of kana", long2.c_str(), kana127},
        {"missing file", nullptr, "FALLBACK"},
        {"missing section", "[Other]\r\npath=/x/\r\n", "FALLBACK"},
        {"missing key", "[Velt]\r\nfolder=/x/\r\n", "FALLBACK"},
        {"empty value", "[Velt]\r\npath=\r\n", ""},
        {"commented key", "[Velt]\r\n;path=/x/\r\n", "FALLBACK"},
        {"UTF-8 beside an older CP932 key", "[Velt]\r\npath=/x/\r\npath.utf8=/café/\r\n", "/café/"},
        {"300 bytes of UTF-8", utf8long.c_str(), std::string(254, 'a')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        if (c.bytes) test::writeFile(dir / "velt.ini", c.bytes);
        EXPECT_EQ(readSetting(dir / "velt.ini", "Velt", "path", "FALLBACK"), c.expected);
    }
}

TEST(Settings, WritingKeepsTheRestOfTheFile) {
    struct Case {
        const char* what;
        const char* before;  // nullptr: no file
        const char* value;
        std::string after;
    };
    const Case cases[] = {
        {"new file", nullptr, "/mnt/target/", "[Velt]\r\npath=/mnt/target/\r\n"},
        {"a root", nullptr, "/", "[Velt]\r\npath=/\r\n"},
        {"CP932", nullptr, "/home/競馬/", "[Velt]\r\npath=/home/\x8b\xa3\x94\x6e/\r\n"},
        {"empty", nullptr, "", "[Velt]\r\npath=\r\n"},
        {"replaces the key", "[Other]\r\nk=v\r\n[Velt]\r\npath=/old/\r\nextra=1\r\n", "/new/",
         "[Other]\r\nk=v\r\n[Velt]\r\npath=/new/\r\nextra=1\r\n"},
        {"key of another case", "[VELT]\npath = /old/\n", "/new/", "[VELT]\npath=/new/\n"},
        {"adds the key to its section", "[Velt]\r\nextra=1\r\n\r\n[Z]\r\na=b\r\n", "/n/",
         "[Velt]\r\nextra=1\r\npath=/n/\r\n\r\n[Z]\r\na=b\r\n"},
        {"adds the section", "[Z]\r\na=b", "/n/", "[Z]\r\na=b\r\n[Velt]\r\npath=/n/\r\n"},
        {"same key in another section", "[Z]\r\npath=/z/\r\n", "/n/",
         "[Z]\r\npath=/z/\r\n[Velt]\r\npath=/n/\r\n"},
        {"not in CP932: UTF-8 under a key of its own", "[Velt]\r\npath=/old/\r\nextra=1\r\n",
         "/home/café/한국/", "[Velt]\r\nextra=1\r\npath.utf8=/home/café/한국/\r\n"},
        {"back to CP932", "[Velt]\r\npath.utf8=/café/\r\n", "/競馬/",
         "[Velt]\r\npath=/\x8b\xa3\x94\x6e/\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        if (c.before) test::writeFile(dir / "velt.ini", c.before);
        writeSetting(dir / "velt.ini", "Velt", "path", c.value);
        EXPECT_EQ(test::readFile(dir / "velt.ini"), c.after);
        EXPECT_EQ(readSetting(dir / "velt.ini", "Velt", "path", "FALLBACK"), c.value);
    }
}

TEST(Settings, FailedWriteNamesTheFile) {
    test::TempDir dir;
    try {
        writeSetting(dir / "missing/velt.ini", "Velt", "path", "/x/");
        ADD_FAILURE() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), dir / "missing/velt.ini");
        EXPECT_EQ(e.cause(), "設定ファイルに書き込めません: フォルダがありません");
    }
    EXPECT_THROW(writeSetting(dir / "other.ini", "Velt", "path", "/a\n[X]"), Failure);
    EXPECT_FALSE(test::exists(dir / "other.ini"));
}

// A folder the file cannot hold exactly is refused with the reason, and the old setting stays;
// so it does when the new file cannot be written (here: past a size limit).
TEST(Settings, RefusedOrFailedWriteKeepsTheOldSetting) {
    const std::string old = "[Velt]\r\npath=/old/\r\n";
    std::string kana128;
    for (int i = 0; i < 128; ++i) kana128 += "\xe3\x81\x82";  // あ, two bytes in CP932
    struct Case {
        const char* what;
        std::string value;
        const char* cause;  // after the value; nullptr: stored
    } cases[] = {
        {"256 bytes of UTF-8", "/" + std::string(253, 'a') + "é",
         " が長すぎて保存できません (255 バイトまで)"},
        {"256 bytes", "/" + std::string(255, 'a'), " が長すぎて保存できません (255 バイトまで)"},
        {"256 bytes of kana", kana128, " が長すぎて保存できません (255 バイトまで)"},
        {"255 bytes", "/" + std::string(254, 'a'), nullptr},
        {"a question mark", "/what?/", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        test::writeFile(dir / "velt.ini", old);
        if (!c.cause) {
            writeSetting(dir / "velt.ini", "Velt", "path", c.value);
            EXPECT_EQ(readSetting(dir / "velt.ini", "Velt", "path", ""), c.value);
            continue;
        }
        try {
            writeSetting(dir / "velt.ini", "Velt", "path", c.value);
            ADD_FAILURE() << "stored";
        } catch (const Failure& e) {
            EXPECT_EQ(e.file(), dir / "velt.ini");
            EXPECT_EQ(e.cause(), c.value + c.cause);
        }
        EXPECT_EQ(test::readFile(dir / "velt.ini"), old);
    }
#ifndef _WIN32  // a size limit needs RLIMIT_FSIZE and fork
    test::TempDir dir;
    test::writeFile(dir / "velt.ini", old);
    EXPECT_TRUE(test::inChild(
        [&] {
            try {
                writeSetting(dir / "velt.ini", "Velt", "path", "/a/much/longer/folder/");
            } catch (const Failure& e) {
                return e.cause().find("書き込めません") != std::string::npos;
            }
            return false;
        },
        old.size()));
    EXPECT_EQ(test::readFile(dir / "velt.ini"), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
#endif
}

// A settings file that is there but cannot be read is no setting left unmade: reading it fails,
// naming it and why, without waiting on a pipe, and a new setting does not replace it.
TEST(Settings, UnreadableFileIsAFailureAndNotReplaced) {
    const std::string big = "[Velt]\r\npath=/old/\r\n" + std::string(2 << 20, ';');
    struct Case {
        const char* what;
        std::function<void(const std::string&)> plant;
        const char* cause;
    } cases[] = {
        {"far too large", [&](const std::string& ini) { test::writeFile(ini, big); },
         "設定ファイルを読めません: ファイルが大きすぎます"},
        {"a folder", [](const std::string& ini) { std::filesystem::create_directory(ini); },
         "設定ファイルを読めません: ファイルではなくフォルダです"},
#ifndef _WIN32
        {"a pipe", [](const std::string& ini) { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); },
         "設定ファイルを読めません: 通常のファイルではありません (パイプや装置、フォルダなど)"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string ini = dir / "velt.ini";
        c.plant(ini);
        const auto kind = std::filesystem::status(ini).type();
        for (const auto& call : std::vector<std::function<void()>>{
                 [&] { readSetting(ini, "Velt", "path", "FALLBACK"); },
                 [&] { writeSetting(ini, "Velt", "path", "/new/"); }}) {
            try {
                call();
                ADD_FAILURE() << "no error";
            } catch (const Failure& e) {
                EXPECT_EQ(e.file(), ini);
                EXPECT_EQ(e.cause(), c.cause);
            }
        }
        EXPECT_EQ(std::filesystem::status(ini).type(), kind);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
        if (kind == std::filesystem::file_type::regular) {
            EXPECT_TRUE(test::readFile(ini) == big);
        }
    }
}

}  // namespace
}  // namespace velt
