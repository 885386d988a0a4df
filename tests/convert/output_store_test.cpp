#include "convert/output_store.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>
#include <random>

#ifndef _WIN32
#include "../support/in_child.h"
#endif
#include "../support/reference_store.h"
#include "platform/failure.h"
#include "convert_fixture.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::DataFolder;
using test::readFile;
using test::writeFile;

struct Op {
    std::string file;  // under the data folder
    std::string line;  // CP932; its first eleven characters are its key
    bool startAnew = false;
};

std::vector<Op> mixOfRecords(std::size_t count, std::size_t lineBytes, unsigned keys,
                             unsigned seed) {
    const char* files[] = {"MDATA/MD013東.DAT", "MDATA/MS012東.DAT", "MDATA/MDlf.DAT",
                           "MDATA/MDcr.DAT",    "MDATA/MDcut.DAT",   "MDATA/MDnew.DAT"};
    std::mt19937 random(seed);
    std::vector<Op> ops;
    for (std::size_t i = 0; i < count; ++i) {
        Op op;
        op.file = files[random() % std::size(files)];
        char key[24];
        std::snprintf(key, sizeof key, "050131%04u0", static_cast<unsigned>(random() % keys));
        op.line = key;
        if (random() % 7 == 0) op.line = test::sj("05ア311207") + "0";  // a key of 10 characters
        op.line += " ";
        while (op.line.size() < lineBytes) op.line += static_cast<char>('a' + random() % 26);
        ops.push_back(op);
    }
    return ops;
}

void seedFiles(const DataFolder& folder) {
    folder.write("MDATA/MD013東.DAT", test::crlfLines({"05013100010 逃", "05013100020 先"}));
    folder.write("MDATA/MS012東.DAT", "");
    folder.write("MDATA/MDlf.DAT", "05013100030 x\n05013100040 y\n");
    folder.write("MDATA/MDcr.DAT", "05013100050 x\r05013100060 y\r");
    folder.write("MDATA/MDcut.DAT", "05013100070 x\r\n05013100080 no line end");
}

TEST(OutputStore, SameBytesAsReadingEveryRecordAfresh) {
    struct Case {
        const char* name;
        std::size_t records, lineBytes;
        unsigned keys;  // few, so that records meet lines already there and each other
        int imports;
    } cases[] = {
        {"short lines, one import", 600, 40, 60, 1},
        {"short lines, three imports", 300, 71, 60, 3},
        // Lines long enough to pass the store's write-out size within one import.
        {"long lines", 200, 40000, 10000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder store, reference;
        // Every record reads its file afresh and appends by reopening it.
        test::ReferenceStore afresh;
        seedFiles(store);
        seedFiles(reference);
        for (int i = 0; i < c.imports; ++i) {
            for (const Op& op : mixOfRecords(c.records, c.lineBytes, c.keys, 7u + i)) {
                const std::string key = op.line.substr(0, cp932::prefixBytes(op.line, 11));
                const bool present = store.store.hasKey(store.path(op.file), key, 11);
                ASSERT_EQ(present, afresh.hasKey(reference.path(op.file), key, 11)) << op.line;
                if (!present) {
                    store.store.append(store.path(op.file), op.line);
                    afresh.append(reference.path(op.file), op.line);
                }
            }
            store.store.finish();
            EXPECT_EQ(test::tree(store.root()), test::tree(reference.root()));
        }
        if (c.lineBytes > 10000) {
            std::uintmax_t largest = 0;
            for (const auto& e : fs::recursive_directory_iterator(store.root()))
                if (e.is_regular_file()) largest = std::max(largest, e.file_size());
            EXPECT_GT(largest, std::uintmax_t{1} << 20);
        }
    }
}

TEST(OutputStore, PlainFilesStartAnewAndAppend) {
    DataFolder folder;
    const std::string od = folder.path("HDATA/OD011117.CSV");
    folder.write("HDATA/OD011117.CSV", "old, no line end");
    folder.store.append(od, "a");
    folder.store.finish();
    EXPECT_EQ(folder.read("HDATA/OD011117.CSV"), "old, no line end\r\na\r\n");
    folder.store.append(od, "b");
    folder.store.startAnew(od);
    EXPECT_EQ(folder.read("HDATA/OD011117.CSV"), "");
    folder.store.append(od, "c");
    folder.store.startAnew(od);
    folder.store.append(od, "d");
    folder.store.append(od, "e");
    folder.store.finish();
    EXPECT_EQ(folder.read("HDATA/OD011117.CSV"), "d\r\ne\r\n");
}

// A file missing when first named is made whole at the flush. Should another import make it
// meanwhile, it is written as a file that was there when read: appended to, or replaced (a sorted
// file, read once, and one started anew). A link to a missing file makes the file it names.
TEST(OutputStore, MissingFileMadeMeanwhile) {
    const struct {
        const char* file;
        const char* want;  // after "05013100010 theirs" was written meanwhile
        bool link = false;
    } cases[] = {
        {"MDATA/MD013東.DAT", "05013100010 theirs\r\n05013100020 ours\r\n"},
        {"KCOM_DATA/2009/KC2009112205.DAT", "05013100020 ours\r\n"},
        {"HDATA/OD011117.CSV", "05013100020 ours\r\n"},
        {"MDATA/MD013東.DAT", "05013100020 ours\r\n", true},
        {"KCOM_DATA/2009/KC2009112205.DAT", "05013100020 ours\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.link ? " (link)" : ""));
#ifdef _WIN32
        if (c.link) continue;  // Wine makes no symbolic links
#endif
        DataFolder folder;
        fs::create_directories(folder.path("KCOM_DATA/2009"));
        const std::string path = folder.path(c.file), line = "05013100020 ours";
        if (c.link) fs::create_symlink(folder.path("elsewhere"), path);
        if (c.file[0] == 'K')
            EXPECT_TRUE(folder.store.addSorted(path, line, 11));
        else if (c.file[0] == 'H')
            folder.store.startAnew(path);
        else
            EXPECT_FALSE(folder.store.hasKey(path, "05013100020", 11));
        if (c.file[0] != 'K') folder.store.append(path, line);
        EXPECT_FALSE(fs::exists(path));
        if (!c.link) folder.write(c.file, "05013100010 theirs\r\n");
        folder.store.finish();
        EXPECT_EQ(folder.read(c.link ? "elsewhere" : c.file), c.want);
        EXPECT_EQ(fs::is_symlink(path), c.link);
        EXPECT_EQ(folder.store.linesWritten(), 1u);
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()), {}), 1);
    }
}

TEST(OutputStore, MissingFolderNamesTheFileAndKeepsWhatCameBefore) {
    DataFolder folder(false, true);
    const std::string od = folder.path("HDATA/OD011117.CSV");
    const std::string md = folder.path("MDATA/MD013東.DAT");
    folder.store.startAnew(od);
    folder.store.append(od, "1");
    folder.store.append(od, "2");
    try {
        folder.store.hasKey(md, "05013112070", 11);
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), md);
        EXPECT_NE(e.cause().find(folder.path("MDATA").string()), std::string::npos) << e.cause();
    }
    folder.store.finish();
    EXPECT_EQ(folder.read("HDATA/OD011117.CSV"), "1\r\n2\r\n");
    EXPECT_FALSE(fs::exists(folder.path("MDATA")));
}

TEST(OutputStore, DestructorWritesWhatIsPending) {
    DataFolder folder;
    const std::string md = folder.path("MDATA/MD013東.DAT");
    {
        OutputStore store;
        EXPECT_FALSE(store.hasKey(md, "05013112070", 11));
        store.append(md, "05013112070 x");
    }
    EXPECT_EQ(folder.read("MDATA/MD013東.DAT"), "05013112070 x\r\n");
}

TEST(OutputStore, FolderInPlaceOfTheFile) {
    DataFolder folder;
    const std::string md = folder.path("MDATA/MD013東.DAT");
    fs::create_directory(test::fsPath(md));
    EXPECT_THROW(folder.store.hasKey(md, "05013112070", 11), Failure);

    // Taken away between the duplicate test and the write-out: the other files are still written
    // and the error names the file.
    const std::string ms = folder.path("MDATA/MS012東.DAT");
    const std::string od = folder.path("HDATA/OD011117.CSV");
    EXPECT_FALSE(folder.store.hasKey(ms, "05012311071", 11));
    folder.store.append(ms, "05012311071 x");
    folder.store.startAnew(od);
    folder.store.append(od, "y");
    fs::remove(test::fsPath(ms));
    fs::create_directory(test::fsPath(ms));
    try {
        folder.store.finish();
        FAIL() << "no error";
    } catch (const Failure& e) {
        EXPECT_EQ(e.file(), ms);
    }
    EXPECT_EQ(folder.read("HDATA/OD011117.CSV"), "y\r\n");
}

// Runs `check` where file permissions bind: in this process, or, as root, in a child that has
// become nobody. The check's failures come back as a non-zero exit. On Windows a read-only file
// binds everyone.
void whereModesBind(const fs::path& dir, const std::function<bool()>& check) {
#ifdef _WIN32
    (void)dir;
    EXPECT_TRUE(check());
#else
    if (::geteuid() != 0) {
        EXPECT_TRUE(check());
        return;
    }
    fs::permissions(dir, fs::perms::all);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && check();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
}

TEST(OutputStore, ReadOnlyFileNamesTheFileAndKeepsWhatCameBefore) {
    DataFolder folder;
    for (const char* sub : {"", "MDATA", "HDATA"})
        fs::permissions(folder.path(sub), fs::perms::all);
    const std::string locked = folder.path("MDATA/MD013東.DAT");
    const std::string other = folder.path("MDATA/MS012東.DAT");
    folder.write("MDATA/MD013東.DAT", "05013112070 x\r\n");
    fs::permissions(test::fsPath(locked),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    whereModesBind(folder.root(), [&] {
        OutputStore store;
        if (store.hasKey(other, "05012311071", 11)) return false;
        store.append(other, "05012311071 kept");
        if (!store.hasKey(locked, "05013112070", 11)) return false;  // reading is allowed
        if (store.hasKey(locked, "05013112080", 11)) return false;
        try {
            store.append(locked, "05013112080 y");
            return false;
        } catch (const Failure& e) {
            if (e.file() != locked) return false;
        }
        store.finish();
        return readFile(other) == "05012311071 kept\r\n" && readFile(locked) == "05013112070 x\r\n";
    });
}

// Pipes, links, alarms and size limits: POSIX only (Wine makes no links; Windows has no pipes in
// a folder, no alarm() and no RLIMIT_FSIZE).
#ifndef _WIN32
// Something not a regular file at the journal's name, there before the import or planted while
// it runs: the write is refused naming the journal, at once (a pipe is not waited on), and
// nothing outside the data folder changes.
TEST(OutputStore, JournalThatIsNoRegularFile) {
    alarm(30);  // a pipe waited on would hang here
    for (bool planted : {false, true}) {
        for (const char* kind : {"link", "pipe", "folder"}) {
            SCOPED_TRACE(std::string(kind) + (planted ? " planted during the import" : ""));
            DataFolder folder;
            const std::string md = folder.path("MDATA/MD013東.DAT");
            const std::string journal = md + ".velt-append";
            const std::string outside = folder.path("outside");
            folder.write("MDATA/MD013東.DAT", "05013112070 x\r\n");
            writeFile(outside, "outside\n");
            auto plant = [&] {
                if (std::string(kind) == "link")
                    fs::create_symlink(outside, journal);
                else if (std::string(kind) == "pipe")
                    ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
                else
                    fs::create_directory(journal);
            };
            OutputStore store;
            try {
                if (!planted) plant();
                EXPECT_FALSE(store.hasKey(md, "05013112080", 11));
                if (planted) plant();
                store.append(md, "05013112080 y");
                store.finish();
                ADD_FAILURE() << "no error";
            } catch (const Failure& e) {
                EXPECT_EQ(e.file(), journal);
                EXPECT_NE(e.cause().find("通常のファイルでない"), std::string::npos) << e.cause();
            }
            EXPECT_EQ(readFile(outside), "outside\n");
            EXPECT_EQ(store.linesWritten(), 0u);
            EXPECT_EQ(folder.read("MDATA/MD013東.DAT"), "05013112070 x\r\n");
        }
    }
    alarm(0);
}

std::size_t linesOf(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Writes that fail (a size limit: a sorted file that cannot be rewritten, an append cut
// part-way): the count of lines written is the count of lines that reached the disk.
TEST(OutputStore, CountAfterFailedWritesIsWhatIsOnDisk) {
    DataFolder folder;
    fs::create_directories(folder.path("KCOM_DATA/2009"));
    const std::string kc = folder.path("KCOM_DATA/2009/KC2009112205.DAT");
    const std::string md = folder.path("MDATA/MD013東.DAT");
    std::string old;
    for (int h = 1; h <= 5; ++h)
        old += "2009112205010111" + std::string(h < 10 ? "0" : "") + std::to_string(h) +
               std::string(490, 'c') + "\r\n";
    const std::size_t limits[] = {old.size() + 10, old.size() + 600, old.size() + 3000,
                                  old.size() + 100000};
    for (std::size_t limit : limits) {
        SCOPED_TRACE(limit);
        folder.write("KCOM_DATA/2009/KC2009112205.DAT", old);
        folder.write("MDATA/MD013東.DAT", old);
        EXPECT_TRUE(test::inChild(
            [&] {
                OutputStore store;
                for (int h = 6; h <= 9; ++h) {
                    const std::string n = std::to_string(h);
                    store.addSorted(kc, "20091122050101110" + n + std::string(490, 'n'), 18);
                    const std::string key = "050131120" + n + "0";
                    if (!store.hasKey(md, key, 11)) store.append(md, key + std::string(490, 'n'));
                }
                try {
                    store.finish();
                } catch (const Failure&) {
                }
                const std::size_t onDisk =
                    linesOf(readFile(kc)) + linesOf(readFile(md)) - 2 * linesOf(old);
                if (store.linesWritten() == onDisk) return true;
                std::fprintf(stderr, "%zu counted, %zu on disk\n", store.linesWritten(), onDisk);
                return false;
            },
            limit));
    }
}
#endif  // _WIN32

}  // namespace
}  // namespace velt
