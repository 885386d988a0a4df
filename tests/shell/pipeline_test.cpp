// The plan and the prefetch on real archives: what an import will convert, decided before
// anything is read, and the texts read ahead within their budget.

#ifndef _WIN32
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "shell/plan.h"
#include "shell/prefetch.h"
#include "shell_test_util.h"

namespace velt {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

const fs::path kSamples = fs::path(VELT_TEST_DATA) / ".." / ".." / "samples";

std::string noRefusal(std::string_view, Kind, const std::string&) {
    return {};
}

class Pipeline : public ::testing::Test {
protected:
    // An archive in the folder holding sample files under the given names.
    std::string archive(const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& members) {
        test::TempDir src;
        std::vector<std::string> names;
        for (const auto& [member, sample] : members) {
            writeFile(src / member, readFile(kSamples / sample));
            names.push_back(member);
        }
        const std::string path = dir / name;
        fs::remove(path);
        EXPECT_TRUE(test::jlha(src.path(), "a", path, names));
        return path;
    }

    test::TempDir dir;
};

TEST_F(Pipeline, PlansFoldersByDateAndPackOrderWithTheirMembers) {
    archive("ZKA091122.lzh", {{"ZKA091122.txt", "ZKA091122.txt"}});
    archive("JRDB091121.lzh", {{"KYD091121.txt", "KYD091122.txt"},
                               {"ZEB091121.txt", "ZEB091122.txt"},
                               {"OZ091121.txt", "OZ091122.txt"},
                               {"ZKA091121.txt", "ZKA091122.txt"},
                               {"SKA091121.txt", "SKA091122.txt"}});
    archive("KYD091122.lzh", {{"KYD091122.txt", "KYD091122.txt"}});
    archive("SEB091122.lzh", {{"readme.txt", "SEB091122.txt"}});
    writeFile(dir / "notes.txt", "x");
    const Plan plan = planDrop({dir.path()}, true);

    struct Expected {
        std::string input;
        std::vector<std::string> texts;
        bool failure;
    };
    const Expected expected[] = {
        {"JRDB091121.lzh",
         {"KYD091121.txt", "ZEB091121.txt", "OZ091121.txt", "ZKA091121.txt"},
         false},
        {"KYD091122.lzh", {"KYD091122.txt"}, false},
        {"SEB091122.lzh", {}, true},  // its member is missing: told in its turn
        {"ZKA091122.lzh", {"ZKA091122.txt"}, false},
    };
    ASSERT_EQ(plan.inputs.size(), std::size(expected));
    for (std::size_t i = 0; i < plan.inputs.size(); ++i) {
        const PlannedInput& in = plan.inputs[i];
        SCOPED_TRACE(in.path);
        EXPECT_EQ(fs::path(in.path).filename(), expected[i].input);
        std::vector<std::string> texts;
        for (const auto& t : in.texts) texts.push_back(t.name);
        EXPECT_EQ(texts, expected[i].texts);
        EXPECT_EQ(bool(in.failure), expected[i].failure);
        EXPECT_EQ(in.lacksMember(), expected[i].failure);
    }
    EXPECT_EQ(plan.unsupported, std::vector<std::string>{dir / "notes.txt"});
}

TEST_F(Pipeline, PrefetchHandsEachInputItsOwnTextsWhateverTheOrderOfReads) {
    const std::string names[] = {"KYD091122.txt", "SEB091122.txt", "OZ091122.txt", "SKA091122.txt"};
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(archive(n.substr(0, n.size() - 4) + ".lzh", {{n, n}}));
    paths.push_back(archive("ZEB091122.lzh", {{"ZEB091122.txt", "ZEB091122.txt"}}));
    const Plan plan = planDrop(paths, true);
    {
        Prefetch prefetch(plan, &noRefusal);
        for (std::size_t i = 1; i < plan.inputs.size(); ++i) prefetch.request(i);
        // Taken out of order, and the last one requested never taken.
        for (std::size_t i : {2, 0, 1, 3}) {
            InputTexts texts = prefetch.take(i);
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_EQ(texts.text(0), readFile(kSamples / plan.inputs[i].texts[0].name));
        }
    }
    // A damaged member fails its own input only.
    std::string bytes = readFile(paths[1]);
    bytes[bytes.size() / 2] ^= 0x55;
    writeFile(paths[1], bytes);
    Prefetch prefetch(plan, &noRefusal);
    prefetch.request(1);
    prefetch.request(2);
    EXPECT_THROW(prefetch.take(1), Failure);
    EXPECT_EQ(prefetch.take(2).text(0), readFile(kSamples / "OZ091122.txt"));
}

TEST_F(Pipeline, AnArchiveReplacedAfterItsPlanFailsInsteadOfGivingEmptyText) {
    const std::string path = archive("ZKA091122.lzh", {{"ZKA091122.txt", "ZKA091122.txt"}});
    const Plan plan = planDrop({path}, true);
    archive("ZKA091122.lzh", {{"SKA091122.txt", "SKA091122.txt"}});
    for (bool ahead : {false, true}) {
        Prefetch prefetch(plan, &noRefusal);
        if (ahead) prefetch.request(0);
        try {
            prefetch.take(0);
            ADD_FAILURE() << "a replaced archive was read";
        } catch (const Failure& e) {
            EXPECT_EQ(e.file(), path);
            EXPECT_NE(e.cause().find("変わりました"), std::string::npos) << e.cause();
        }
    }
}

TEST_F(Pipeline, ScannedTextsAreKeptWithinTheBudgetAndGivenBackWhenTaken) {
    std::vector<std::string> paths;
    for (const char* date : {"091121", "091122", "091123"})
        paths.push_back(archive(std::string("ZKA") + date + ".lzh",
                                {{std::string("ZKA") + date + ".txt", "ZKA091122.txt"}}));
    const Plan plan = planDrop(paths, true);
    const std::uint64_t one = fs::file_size(kSamples / "ZKA091122.txt");
    struct Case {
        std::uint64_t budget, keptAfterScan;
    };
    for (const Case c :
         {Case{Prefetch::kBudget, 3 * one}, Case{2 * one, 2 * one}, Case{one - 1, 0}}) {
        SCOPED_TRACE(c.budget);
        Prefetch prefetch(plan, &noRefusal, c.budget);
        std::size_t scanned = 0;
        std::mutex mutex;
        prefetch.scan(Kind::SKAZKA, [&](std::string_view text) {
            std::lock_guard<std::mutex> hold(mutex);
            scanned += text.size() == one;
        });
        EXPECT_EQ(scanned, 3u);
        EXPECT_EQ(prefetch.held(), c.keptAfterScan);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(prefetch.take(i).text(0).size(), one);
        EXPECT_EQ(prefetch.held(), 0u);
    }
}

}  // namespace
}  // namespace velt
#endif
