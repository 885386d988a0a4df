// Imports run side by side into one data folder end as one import would: the meeting files hold
// the same set of lines, the comment and odds files the same bytes.

#include <gtest/gtest.h>

#include <set>

#include "fault_util.h"

namespace velt {
namespace {

using namespace test;

// The lines of a text with an odd (1st, 3rd, ...) or even position.
std::string everyOther(const std::string& text, bool odd) {
    std::string out;
    bool take = odd;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        if (take) out += text.substr(pos, end - pos);
        take = !take;
        pos = end;
    }
    return out;
}

std::multiset<std::string> linesOf(const std::string& text) {
    std::multiset<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.insert(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

// "" when `got` is what one import gave: MD and MS files as sets of lines, the rest byte for byte.
std::string difference(const Snapshot& want, const Snapshot& got) {
    for (const auto& [name, bytes] : want) {
        auto it = got.find(name);
        if (it == got.end()) return name + " is missing";
        const bool meeting = name.rfind("MDATA/", 0) == 0;
        if (meeting ? linesOf(it->second) != linesOf(bytes) : it->second != bytes)
            return name + " differs (" + std::to_string(linesOf(it->second).size()) +
                   " lines, want " + std::to_string(linesOf(bytes).size()) + ")";
    }
    for (const auto& [name, bytes] : got)
        if (!want.count(name)) return name + " should not be there";
    return "";
}

std::vector<std::string> importArgs(const std::string& target, std::vector<std::string> files) {
    files.insert(files.begin(), {"--data-folder", target});
    return files;
}

TEST(SideBySide, TwoOrThreeImportsEndAsOne) {
    TempDir dir;
    const std::string tmp = dir / "tmp/", base = dir / "base/", work = dir / "work/";
    fs::create_directories(tmp);
    makeBase(base, dir.path());

    // Identical inputs: every archive of the three days. Overlapping ones: the texts of one day
    // cut into odd and even lines (the odds file whole in each, as it starts anew).
    const std::vector<std::string> archives = generated(false);
    const std::string day = generated(true).at(0);
    const std::string date = fs::path(day).parent_path().filename().string();
    std::vector<std::string> odd, even, whole;
    for (const char* kind : {"KYD", "SEB", "SKA", "OZ"}) {
        const std::string name = kind + date + ".txt";
        const std::string text = readFile(day + name);
        const bool split = std::string(kind) != "OZ";
        writeFile(dir / "odd/" + name, split ? everyOther(text, true) : text);
        writeFile(dir / "even/" + name, split ? everyOther(text, false) : text);
        odd.push_back(dir / "odd/" + name);
        even.push_back(dir / "even/" + name);
        whole.push_back(day + name);
    }

    Snapshot one[2];
    for (int overlapping : {0, 1}) {
        copyTree(base, work);
        test::Run r = runCli(importArgs(work, overlapping ? whole : archives), inTmp(tmp));
        ASSERT_TRUE(r.exited(0)) << r.err;
        one[overlapping] = snapshot(work);
        one[overlapping].erase(".velt-lock");
    }
    for (int round = 0; round < 50; ++round) {
        const bool overlapping = round % 2 == 1;
        const int runs = round % 4 < 2 ? 2 : 3;
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(runs) +
                     (overlapping ? " overlapping imports" : " identical imports"));
        copyTree(base, work);
        std::vector<Child> children;
        for (int i = 0; i < runs; ++i) {
            const auto& files = !overlapping ? archives : i == 0 ? odd : i == 1 ? even : whole;
            children.push_back(startCli(importArgs(work, files), inTmp(tmp)));
        }
        for (Child& c : children) {
            test::Run r = finishCli(c);
            EXPECT_TRUE(r.exited(0)) << r.err;
        }
        Snapshot got = snapshot(work);
        got.erase(".velt-lock");
        ASSERT_EQ(difference(one[overlapping], got), "");
    }
}

}  // namespace
}  // namespace velt
