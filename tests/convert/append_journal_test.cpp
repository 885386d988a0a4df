#include "convert/append_journal.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "convert/output_store.h"
#include "convert_fixture.h"
#include "platform/failure.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::DataFolder;
using test::readFile;
using test::writeFile;

constexpr const char* kOld = "05013112070 x\r\n";
constexpr const char* kMd = "MDATA/MD09051.DAT";

// What a killed import left in the data folder's journal: acted on once, then the journal goes.
// Only whole entries count, and they cut only a file of Target's names inside the data folder,
// reached without a link, and the very file that was written when the entry says which (earlier
// versions wrote the path alone). Entries that fail are left alone and named.
TEST(AppendJournal, LeftEntriesCutOnlyTheFileWritten) {
    const std::string size = std::to_string(std::string(kOld).size());
    const std::string torn = std::string(kOld) + "a\r\nb", cut = std::string(kOld) + "a\r\n";
    enum class Plant { None, FileLink, FolderLink };
    struct Case {
        const char* name;
        std::string journal;  // "ID" stands for the file's identity, "OUTSIDE" for a file outside
        Plant plant;
        std::string md;       // kMd afterwards
        std::string outside;  // the file outside, afterwards
        std::vector<std::string> leftAlone;
    } cases[] = {
        {"entry of an earlier version",
         "velt-append " + size + " " + kMd + "\n",
         Plant::None,
         cut,
         "o\nt",
         {}},
        {"entry with its identity",
         "velt-append " + size + " ID " + kMd + "\n",
         Plant::None,
         cut,
         "o\nt",
         {}},
        {"entry naming another file",
         "velt-append " + size + " 1:2 " + kMd + "\n",
         Plant::None,
         torn,
         "o\nt",
         {kMd}},
        {"entry cut short", "velt-append " + size + " " + kMd, Plant::None, torn, "o\nt", {}},
        {"beside-file form", "velt-append " + size + "\n", Plant::None, torn, "o\nt", {}},
        {"above the data folder",
         "velt-append 2 ../OUTSIDE\n",
         Plant::None,
         torn,
         "o\nt",
         {"../OUTSIDE"}},
        {"no name of Target's",
         "velt-append 2 MDATA/evil.DAT\nvelt-append 1 notes.txt\n",
         Plant::None,
         torn,
         "o\nt",
         {"MDATA/evil.DAT", "notes.txt"}},
        {"a link to a file outside",
         "velt-append 2 MDATA/MD09052.DAT\n",
         Plant::FileLink,
         torn,
         "o\nt",
         {"MDATA/MD09052.DAT"}},
        {"a linked folder",
         "velt-append 2 HDATA/OD091128.CSV\n",
         Plant::FolderLink,
         torn,
         "o\nt",
         {"HDATA/OD091128.CSV"}},
        {"missing file, then an entry",
         "velt-append 0 MDATA/MD09053.DAT\nvelt-append " + size + " " + kMd + "\n",
         Plant::None,
         cut,
         "o\nt",
         {}},
        {"too large to be ours", std::string(2 << 20, '\n'), Plant::None, torn, "o\nt", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder folder(true, c.plant != Plant::FolderLink);
        const std::string data = folder.path("");
        const std::string outside = folder.root().string() + "-outside";
        folder.write(kMd, torn);
        writeFile(outside, "o\nt");
        std::error_code noLink;  // Wine makes no symbolic links
        if (c.plant == Plant::FileLink)
            fs::create_symlink(outside, folder.path("MDATA/MD09052.DAT"), noLink);
        if (c.plant == Plant::FolderLink) {
            fs::create_directory(outside + "-folder");
            writeFile(outside + "-folder/OD091128.CSV", "o\nt");
            fs::create_directory_symlink(outside + "-folder", folder.path("HDATA"), noLink);
        }
        if (noLink) continue;
        std::string planted = c.journal;
        const std::string outsideName = folder.root().filename().string() + "-outside";
        if (auto at = planted.find("OUTSIDE"); at != std::string::npos)
            planted.replace(at, 7, outsideName);
        if (auto at = planted.find("ID"); at != std::string::npos) {
            const platform::FileId id = platform::File(folder.path(kMd), platform::Read).id();
            planted.replace(at, 2, std::to_string(id.device) + ":" + std::to_string(id.inode));
        }
        folder.write(".velt-append", planted);
        {
            AppendJournal journal(data);
            EXPECT_EQ(folder.read(".velt-append"), "");
            std::vector<std::string> leftAlone = c.leftAlone;
            for (std::string& rel : leftAlone)
                if (rel == "../OUTSIDE") rel = "../" + outsideName;
            EXPECT_EQ(journal.leftAlone(), leftAlone);
        }
        EXPECT_EQ(folder.read(kMd), c.md);
        EXPECT_EQ(readFile(outside), c.outside);
        if (c.plant == Plant::FolderLink) {
            EXPECT_EQ(readFile(outside + "-folder/OD091128.CSV"), "o\nt");
        }
        EXPECT_FALSE(fs::exists(folder.path(".velt-append")));
        fs::remove(outside);
        fs::remove_all(outside + "-folder");
    }
}

// An append holds its entry until it is whole; a write that failed with its torn line left keeps
// it for the next import. Appends through the store use the journal, never a file beside.
TEST(AppendJournal, EntryLastsAsLongAsTheWrite) {
    DataFolder folder;
    const std::string data = folder.path(""), md = folder.path(kMd);
    folder.write(kMd, kOld);
    const platform::FileId id = platform::File(md, platform::Read).id();
    const std::string identity = std::to_string(id.device) + ":" + std::to_string(id.inode);
    {
        AppendJournal journal(data);
        ASSERT_TRUE(journal.begin(md, 15));
        EXPECT_EQ(folder.read(".velt-append"), "velt-append 15 " + identity + " " + kMd + "\n");
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
        folder.write(kMd, std::string(kOld) + "05013112");
    }
    EXPECT_EQ(folder.read(".velt-append"), "velt-append 15 " + identity + " " + kMd + "\n");
    AppendJournal next(data);
    EXPECT_EQ(folder.read(kMd), kOld);
}

#ifndef _WIN32
// Something planted at the journal's name is refused, never followed nor waited on.
TEST(AppendJournal, NameTakenByNoRegularFileIsRefused) {
    for (const char* kind : {"link", "pipe", "folder"}) {
        SCOPED_TRACE(kind);
        DataFolder folder;
        const std::string journal = folder.path(".velt-append");
        const std::string outside = folder.root().string() + "-outside";
        writeFile(outside, "velt-append 0 MDATA/MD09051.DAT\n");
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
        EXPECT_EQ(readFile(outside), "velt-append 0 MDATA/MD09051.DAT\n");
        fs::remove(outside);
    }
}
#endif

}  // namespace
}  // namespace velt
