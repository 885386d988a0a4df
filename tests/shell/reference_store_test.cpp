// The fast output store against the reference one: the same imports, the same bytes on disk.

#include "../support/reference_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "shell/history.h"
#include "shell_test_util.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::readFile;
// Target's files: the history, which holds each import's time, left out.
test::Tree tree(const std::string& root) {
    test::Tree all = test::tree(root);
    all.erase(kHistoryFileName);
    return all;
}
using test::writeFile;

const std::string kGenerator = std::string(VELT_TEST_DATA) + "/../../scripts/gen-jrdb";

// One Target data folder and an engine writing into it through the given kind of store.
struct Target {
    test::TempDir dir;
    test::RecordingMessages messages;
    ImportEngine engine{messages};

    explicit Target(bool reference) {
        for (const char* sub : {"MDATA", "HDATA", "KCOM_DATA/2009", "KCOM_DATA/2010"})
            fs::create_directories(dir / sub);
        engine.setDataFolder(dir.path());
        if (reference)
            engine.setStoreFactory([] { return std::make_unique<test::ReferenceStore>(); });
    }
    std::string root() const { return dir.path(); }
    std::vector<ImportSummary> import(const std::vector<std::string>& files) {
        return engine.importFiles(files, true);
    }
};

// Lines of a CR LF file, and back.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}
std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

// Files as a user might have left them between imports: a comment file out of order with a line
// gone, a meeting file cut short in the middle of its last line.
void tamper(const std::string& root) {
    for (const auto& e : fs::recursive_directory_iterator(root + "KCOM_DATA")) {
        if (!e.is_regular_file() || e.path().filename().string().rfind("KC", 0) != 0) continue;
        auto lines = linesOf(readFile(e.path()));
        std::reverse(lines.begin(), lines.end());
        lines.erase(lines.begin() + static_cast<long>(lines.size() / 2));
        writeFile(e.path(), joined(lines));
        break;
    }
    for (const auto& e : fs::directory_iterator(root + "MDATA")) {
        if (e.path().filename().string().rfind("MD", 0) != 0) continue;
        std::string text = readFile(e.path());
        writeFile(e.path(), text.substr(0, text.size() - 3 * 73 - 10));
        break;
    }
}

TEST(ReferenceStore, EngineWritesTheSameBytesThroughEitherStore) {
#ifdef _WIN32
    GTEST_SKIP() << "needs scripts/gen-jrdb run through a POSIX shell";
#endif
    test::TempDir in;
    const std::string command =
        "python3 '" + kGenerator + "' --out '" + in.path() + "' --days 2 --seed 5 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::vector<std::string>> days;
    for (const auto& e : fs::directory_iterator(in.path())) {
        const std::string stamp = e.path().filename().string();
        std::vector<std::string> files;
        for (const char* kind : {"KYD", "SEB", "ZEB", "OZ", "SKA", "ZKA"})
            files.push_back(e.path().string() + "/" + kind + stamp + ".txt");
        files.push_back(e.path().string() + "/JracSei1.dat");
        days.push_back(files);
    }
    std::sort(days.begin(), days.end());
    ASSERT_EQ(days.size(), 2u);
    std::vector<std::string> all;
    for (const auto& d : days) all.insert(all.end(), d.begin(), d.end());

    Target fast(false), reference(true);
    auto importBoth = [&](const std::vector<std::string>& files) {
        auto a = fast.import(files), b = reference.import(files);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            SCOPED_TRACE(a[i].input);
            EXPECT_TRUE(a[i].succeeded) << a[i].error;
            EXPECT_TRUE(b[i].succeeded) << b[i].error;
            EXPECT_EQ(a[i].linesRead, b[i].linesRead);
            EXPECT_EQ(a[i].linesWritten, b[i].linesWritten);
            EXPECT_EQ(a[i].present, b[i].present);
        }
        const auto ta = tree(fast.root()), tb = tree(reference.root());
        ASSERT_EQ(ta.size(), tb.size());
        for (const auto& [name, bytes] : ta) EXPECT_TRUE(tb.at(name) == bytes) << name;
    };

    importBoth(days[0]);
    tamper(fast.root());
    tamper(reference.root());
    ASSERT_EQ(tree(fast.root()), tree(reference.root()));
    importBoth(all);
    const auto afterOnce = tree(fast.root());
    EXPECT_GE(afterOnce.size(), 10u);
    importBoth(all);
    EXPECT_EQ(tree(fast.root()), afterOnce) << "a second import changed the files";
}

}  // namespace
}  // namespace velt
