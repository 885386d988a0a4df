// What another program or user leaves in the data folder or beside velt-cli: journal entries that
// name links or files that are not Target's, a lock file removed while an import holds it, and a
// settings file that cannot be read. velt-cli runs as a process on real files.

#include <gtest/gtest.h>

#include "../support/lock_probe.h"
#include "fault_util.h"

namespace velt {
namespace {

using namespace test;

// Entries planted in the journal cut nothing but the torn line of a Target file written: not a
// link's target, not a file in a linked folder, not a file of another name.
TEST(Journal, PlantedEntriesCutOnlyTargetFiles) {
    TempDir dir;
    const std::string target = makeTarget(dir / "target/"), outside = dir / "outside/";
    const std::string day = generated(true).at(0);
    const std::string kyd = day + "KYD" + fs::path(day).parent_path().filename().string() + ".txt";
    ASSERT_TRUE(runCli({"--data-folder", target, kyd}, {}).exited(0));
    const Snapshot imported = snapshot(target);
    std::string md;
    for (const auto& [name, bytes] : imported)
        if (name.rfind("MDATA/MD", 0) == 0) md = name;
    ASSERT_NE(md, "");

    writeFile(outside + "evil", std::string(46, 'e') + "\n");
    writeFile(outside + "folder/x", "x\nxx");
    writeFile(target + "notes.txt", "abc\ndef");
    fs::create_symlink(outside + "evil", target + "MDATA/MD0901evil.DAT");
    fs::create_symlink(outside + "folder", target + "HDATA/linkdir");
    const std::string torn = readFile(target + md) + "05013";
    writeFile(target + md, torn);
    writeFile(target + ".velt-append",
              "velt-append 16 MDATA/MD0901evil.DAT\nvelt-append 0 HDATA/linkdir/x\n"
              "velt-append 3 notes.txt\nvelt-append " +
                  std::to_string(imported.at(md).size()) + " " + md + "\n");
    const Snapshot outsideBefore = snapshot(outside);

    test::Run r = runCli({"--data-folder", target, kyd}, {});
    EXPECT_TRUE(r.exited(0)) << r.err;
    EXPECT_EQ(snapshot(outside), outsideBefore);
    EXPECT_EQ(readFile(target + "notes.txt"), "abc\ndef");
    EXPECT_EQ(readFile(target + md), imported.at(md));
    EXPECT_FALSE(fs::exists(target + ".velt-append"));
}

// The lock file removed while an import holds it, a second import started: both end as one import
// would, byte for byte, every time. The first holds the lock a moment before it goes on (a pause
// the test asks for), so that the second starts while it is held and, let in, would write beside
// it.
TEST(Lock, RemovedLockFileLetsNoSecondImportIn) {
    TempDir dir;
    const std::string tmp = dir / "tmp/", base = dir / "base/", work = dir / "work/";
    fs::create_directories(tmp);
    makeBase(base, dir.path());
    std::vector<std::string> args = generated(false);
    args.insert(args.begin(), {"--data-folder", work});

    copyTree(base, work);
    ASSERT_TRUE(runCli(args, inTmp(tmp)).exited(0));
    const Snapshot one = snapshot(work);
    RunOptions holding = inTmp(tmp);
    holding.env = {{"VELT_TEST_PAUSE", "locked:40"}};
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        copyTree(base, work);
        Child first = startCli(args, holding);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!lockHeld(work + ".velt-lock") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fs::remove(work + ".velt-lock");
        Child second = startCli(args, inTmp(tmp));
        test::Run a = finishCli(first), b = finishCli(second);
        EXPECT_TRUE(a.exited(0)) << a.err;
        EXPECT_TRUE(b.exited(0)) << b.err;
        const Snapshot got = snapshot(work);
        for (const auto& [name, bytes] : one) {
            ASSERT_TRUE(got.count(name) && got.at(name) == bytes) << name << " differs";
        }
        ASSERT_EQ(got.size(), one.size());
    }
}

// A settings file that cannot be read stops velt-cli at once, naming it and why, instead of
// waiting on a pipe for ever or taking the data folder for one never set.
TEST(Settings, UnreadableSettingsFileIsAFailure) {
    TempDir dir;
    const std::string app = dir / "app/", ini = app + "velt.ini";
    fs::create_directories(app);
    fs::copy_file(VELT_CLI, app + "velt-cli");
    const std::string input = dir / "KYD091128.txt";
    writeFile(input, "");
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool asNobody;
        const char* cause;
    } cases[] = {
        {"pipe", [&] { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); }, false,
         "通常のファイルではありません"},
        {"folder", [&] { fs::create_directory(ini); }, false, "ファイルではなくフォルダです"},
        {"no permission to read",
         [&] {
             writeFile(ini, "[Velt]\r\npath=/x/\r\n");
             fs::permissions(ini, fs::perms::none);
         },
         ::getuid() == 0, "読み取りが許可されていません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.plant();
        RunOptions o;
        o.program = app + "velt-cli";
        if (c.asNobody) {
            o.user = 65534;
            for (const auto& e : fs::recursive_directory_iterator(dir.path()))
                if (e.is_directory()) fs::permissions(e.path(), fs::perms::all);
            fs::permissions(dir.path(), fs::perms::all);
            fs::permissions(input, fs::perms::all);
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--help"}, std::vector<std::string>{input}}) {
            test::Run r = finishCli(startCli(args, o), std::chrono::seconds(10));
            EXPECT_TRUE(r.exited(1)) << r.err;
            EXPECT_NE(r.err.find(ini + ": 設定ファイルを読めません: " + c.cause), std::string::npos)
                << r.err;
            EXPECT_EQ(r.err.find("設定されていません"), std::string::npos) << r.err;
        }
        fs::permissions(app, fs::perms::all);
        fs::remove_all(ini);
    }
}

}  // namespace
}  // namespace velt
