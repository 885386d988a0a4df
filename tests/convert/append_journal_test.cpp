#include "convert/append_journal.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/failure.h"
#include "convert/output_store.h"
#include "convert_fixture.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::DataFolder;
using test::readFile;
using test::writeFile;

constexpr const char* kOld = "05013112070 x\r\n";

// What a killed import left in the data folder's journal: acted on once, then the journal goes;
// only whole entries naming a file inside the data folder count.
TEST(AppendJournal, LeftEntriesCutTornLinesInsideTheDataFolderOnly) {
    const std::string size = std::to_string(std::string(kOld).size());
    struct Case {
        const char* name;
        std::string journal;
        std::string md;       // MDATA/MD.DAT afterwards
        std::string outside;  // a file beside the data folder, afterwards
    } cases[] = {
        {"entry", "velt-append " + size + " MDATA/MD.DAT\n", std::string(kOld) + "a\r\n", "o\nt"},
        {"entry cut short", "velt-append " + size + " MDATA/MD.D", std::string(kOld) + "a\r\nb",
         "o\nt"},
        {"beside-file form", "velt-append " + size + "\n", std::string(kOld) + "a\r\nb", "o\nt"},
        {"above the data folder", "velt-append 2 ../OUTSIDE\n", std::string(kOld) + "a\r\nb",
         "o\nt"},
        {"missing file, then an entry", "velt-append 0 MDATA/none\nvelt-append 0 MDATA/MD.DAT\n",
         std::string(kOld) + "a\r\n", "o\nt"},
        {"too large to be ours", std::string(2 << 20, '\n'), std::string(kOld) + "a\r\nb", "o\nt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder;
        const std::string data = folder.path("");
        const std::string outside = folder.root().string() + "-outside";
        folder.write("MDATA/MD.DAT", std::string(kOld) + "a\r\nb");
        writeFile(outside, "o\nt");
        std::string planted = c.journal;
        if (auto at = planted.find("OUTSIDE"); at != std::string::npos)
            planted.replace(at, 7, folder.root().filename().string() + "-outside");
        folder.write(".velt-append", planted);
        {
            AppendJournal journal(data);
            EXPECT_EQ(folder.read(".velt-append"), "");
        }
        EXPECT_EQ(folder.read("MDATA/MD.DAT"), c.md);
        EXPECT_EQ(readFile(outside), c.outside);
        EXPECT_FALSE(fs::exists(folder.path(".velt-append")));
        fs::remove(outside);
    }
}

// An append holds its entry until it is whole; a write that failed with its torn line left keeps
// it for the next import. Appends through the store use the journal, never a file beside.
TEST(AppendJournal, EntryLastsAsLongAsTheWrite) {
    DataFolder folder;
    const std::string data = folder.path(""), md = folder.path("MDATA/MD.DAT");
    folder.write("MDATA/MD.DAT", kOld);
    {
        AppendJournal journal(data);
        ASSERT_TRUE(journal.begin(md, 15));
        EXPECT_EQ(folder.read(".velt-append"), "velt-append 15 MDATA/MD.DAT\n");
        journal.end(md);
        EXPECT_EQ(folder.read(".velt-append"), "");
        EXPECT_FALSE(journal.begin(folder.root().string() + "-x", 0));

        OutputStore store(&journal);
        EXPECT_FALSE(store.hasKey(md, "05013112080", 11));
        store.append(md, "05013112080 y");
        store.finish();
        EXPECT_EQ(folder.read(".velt-append"), "");
        EXPECT_FALSE(fs::exists(md + ".velt-append"));

        ASSERT_TRUE(journal.begin(md, 15));  // a write that failed and left its torn line
        folder.write("MDATA/MD.DAT", std::string(kOld) + "05013112");
    }
    EXPECT_EQ(folder.read(".velt-append"), "velt-append 15 MDATA/MD.DAT\n");
    AppendJournal next(data);
    EXPECT_EQ(folder.read("MDATA/MD.DAT"), kOld);
}

#ifndef _WIN32
// Something planted at the journal's name is refused, never followed nor waited on.
TEST(AppendJournal, NameTakenByNoRegularFileIsRefused) {
    for (const char* kind : {"link", "pipe", "folder"}) {
        SCOPED_TRACE(kind);
        DataFolder folder;
        const std::string journal = folder.path(".velt-append");
        const std::string outside = folder.root().string() + "-outside";
        writeFile(outside, "velt-append 0 MDATA/MD.DAT\n");
        if (std::string(kind) == "link")
            fs::create_symlink(outside, journal);
        else if (std::string(kind) == "pipe")
            ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
        else
            fs::create_directory(journal);
        try {
            AppendJournal j(folder.path(""));
            ADD_FAILURE() << "no error";
        } catch (const Failure& e) {
            EXPECT_EQ(e.file(), journal);
            EXPECT_NE(e.cause().find("通常のファイルでない"), std::string::npos) << e.cause();
        }
        EXPECT_EQ(readFile(outside), "velt-append 0 MDATA/MD.DAT\n");
        fs::remove(outside);
    }
}
#endif

}  // namespace
}  // namespace velt
