#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "platform/failure.h"

namespace velt {
namespace {

using test::crlfLines;
using test::DataFolder;
using test::makeRecord;
using test::sj;

TEST(Ky, Golden) {
    test::checkGolden("ky", ky);
}

TEST(Ky, AwkwardRecords) {
    struct Case {
        const char* name;
        std::string record;
        Outcome outcome;
        const char* file;  // under MDATA, or nullptr when nothing may be written
        const char* line;  // UTF-8
    } cases[] = {
        {"empty line", "", Outcome::Malformed, nullptr, nullptr},
        {"end-of-file mark", "\x1a", Outcome::Malformed, nullptr, nullptr},
        {"nine bytes", "050131120", Outcome::Malformed, nullptr, nullptr},
        {"just the key", "0501311207", Outcome::Written, "MD013東.DAT",
         "05013112070 ？ID ？ [調？][厩？]総【　　　|　　　】"},
        {"key cut in a two-byte character", "050131120\x83", Outcome::Written, "MD013東.DAT",
         "050131120?0 ？ID ？ [調？][厩？]総【　　　|　　　】"},
        {"figure cut in a two-byte character",
         makeRecord(332, {{1, "0501311207"}, {55, "  12"}, {59, "ア"}, {90, "1"}}),
         Outcome::Written, "MD013東.DAT",
         "05013112070 逃  12?ID ？ [調     ？][厩     ？]     総【　　　|　　　】"},
        {"codes of one blank and letters",
         makeRecord(332, {{1, "0501311207"}, {90, "A"}, {92, "x"}, {327, "1 A   "}}),
         Outcome::Written, "MD013東.DAT",
         "05013112070 ？     ID ？ [調     ？][厩     ？]     総【◎　　|　　　】"},
        {"course 0", "0001311207", Outcome::Written, "MD013？.DAT",
         "00013112070 ？ID ？ [調？][厩？]総【　　　|　　　】"},
        {"a negative year", "05-1311207", Outcome::Malformed, nullptr, nullptr},
        {"a folder separator in the year", "05/.311207", Outcome::Malformed, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        EXPECT_EQ(folder.importOne(ky, c.record), c.outcome);
        auto files = test::tree(folder.root());
        if (c.file == nullptr) {
            EXPECT_TRUE(files.empty());
            continue;
        }
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(cp932::toUtf8(folder.read(std::string("MDATA/") + c.file)),
                  std::string(c.line) + "\r\n");
    }
}

TEST(Ky, DuplicateTestLooksAtTheFirstElevenCharacters) {
    const std::string record = makeRecord(332, {{1, "0501311207"}, {90, "1"}});
    const std::string line =
        sj("05013112070 逃     ID ？ [調     ？][厩     ？]     総【　　　|　　　】");
    struct Case {
        const char* name;
        std::string existing;
        Outcome outcome;
    } cases[] = {
        {"same key, other text", crlfLines({"05013112070 something else"}), Outcome::Present},
        {"same key, LF only", "x\n05013112070\n", Outcome::Present},
        {"other horse", crlfLines({"05013112080 逃"}), Outcome::Written},
        {"other day", crlfLines({"05013212070 逃"}), Outcome::Written},
        {"results key", crlfLines({"05013112071 逃"}), Outcome::Written},
        {"line of ten characters", crlfLines({"0501311207"}), Outcome::Written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        folder.write("MDATA/MD013東.DAT", c.existing);
        EXPECT_EQ(folder.importOne(ky, record), c.outcome);
        const std::string expected =
            c.outcome == Outcome::Written ? c.existing + line + "\r\n" : c.existing;
        EXPECT_EQ(folder.read("MDATA/MD013東.DAT"), expected);
    }
}

TEST(Ky, KeyWithTwoByteCharactersIsFoundAgain) {
    // Its key (a two-byte horse number) is shorter than eleven characters, so no line's first
    // eleven characters equal it; it must still be found, or every import would add it again.
    const std::string record = sj("05013112ア");
    DataFolder folder;
    EXPECT_EQ(folder.importOne(ky, record), Outcome::Written);
    EXPECT_EQ(folder.importOne(ky, record), Outcome::Present);
    EXPECT_EQ(folder.import(ky, record + "\r\n" + record),
              (std::vector<Outcome>{Outcome::Present, Outcome::Present}));
    EXPECT_EQ(cp932::toUtf8(folder.read("MDATA/MD013東.DAT")),
              "05013112ア0 ？ID ？ [調？][厩？]総【　　　|　　　】\r\n");
}

TEST(Ky, MissingMdataFolderNamesTheFile) {
    DataFolder folder(false, true);
    try {
        ky("0501311207", folder.ctx);
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), folder.ctx.dataFolder + "MDATA/MD013東.DAT");
        EXPECT_NE(e.cause().find("MDATA"), std::string::npos) << e.cause();
    }
    EXPECT_TRUE(test::tree(folder.root()).empty());
}

}  // namespace
}  // namespace velt
