#pragma once
// Test helpers for the converters: a temporary Target data folder, CP932 records, file trees.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../support/test_files.h"
#include "codes/cp932.h"
#include "convert/converters.h"
#include "convert/output_store.h"
#include "convert/record.h"

namespace velt::test {

namespace fs = std::filesystem;

using Converter = Outcome (*)(std::string_view, ImportContext&);

// CP932 bytes of UTF-8 text.
inline std::string sj(std::string_view utf8) {
    return cp932::fromUtf8(utf8);
}

// A record of `length` blanks with UTF-8 texts put, as CP932, at 1-based byte positions. Texts
// that run past `length` are cut there.
inline std::string makeRecord(
    std::size_t length, std::initializer_list<std::pair<std::size_t, std::string_view>> fields) {
    std::string r(1000, ' ');
    for (const auto& [pos, text] : fields) r.replace(pos - 1, sj(text).size(), sj(text));
    r.resize(length);
    return r;
}

// CP932 file content: each UTF-8 line converted and ended with CR LF.
inline std::string crlfLines(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (std::string_view l : lines) out += sj(l) + "\r\n";
    return out;
}

// A path under a data folder that is also its UTF-8 text, for the calls that take std::string.
struct FolderPath : fs::path {
    using fs::path::path;
    FolderPath(fs::path p) : fs::path(std::move(p)) {}
    operator std::string() const { return utf8(*this); }
    std::string string() const { return utf8(*this); }
};

// A fresh Target data folder with MDATA and HDATA, removed with the object.
class DataFolder {
public:
    explicit DataFolder(bool mdata = true, bool hdata = true)
        : dir_("velt-convert"), root_(fsPath(dir_.path()).parent_path()) {
        if (mdata) fs::create_directory(root_ / "MDATA");
        if (hdata) fs::create_directory(root_ / "HDATA");
        ctx.dataFolder = utf8(root_) + "/";
        ctx.store = &store;
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    const fs::path& root() const { return root_; }
    FolderPath path(const std::string& rel) const { return root_ / fsPath(rel); }
    std::string read(const std::string& rel) const { return readFile(path(rel)); }
    void write(const std::string& rel, std::string_view data) const {
        writeFile(path(rel), std::string(data));
    }

    // One import as the engine runs it: every line of `text` to `convert`, then finish().
    std::vector<Outcome> import(Converter convert, std::string_view text) {
        std::vector<Outcome> outcomes;
        for (std::string_view line : splitLines(text)) {
            outcomes.push_back(convert(line, ctx));
        }
        store.finish();
        return outcomes;
    }
    // One record in an import of its own.
    Outcome importOne(Converter convert, std::string_view record) {
        Outcome o = convert(record, ctx);
        store.finish();
        return o;
    }

    OutputStore store;
    ImportContext ctx;

private:
    TempDir dir_;
    fs::path root_;
};

// A golden case of tests/data/convert: `before/` is copied into a fresh data folder, `input.txt`
// imported twice; after each import the folder must hold exactly the files of `expected/`.
inline void checkGolden(const std::string& name, Converter convert,
                        const std::function<void(ImportContext&)>& beforeImport = {}) {
    const fs::path dir = fs::path(VELT_TEST_DATA) / "convert" / name;
    DataFolder folder;
    if (fs::exists(dir / "before"))
        fs::copy(dir / "before", folder.root(), fs::copy_options::recursive);
    const std::string input = readFile(dir / "input.txt");
    ASSERT_FALSE(input.empty()) << dir;
    const auto expected = tree(dir / "expected");
    for (int round = 1; round <= 2; ++round) {
        if (beforeImport) beforeImport(folder.ctx);
        folder.import(convert, input);
        const auto got = tree(folder.root());
        ASSERT_EQ(got.size(), expected.size()) << name << " round " << round;
        for (const auto& [file, bytes] : expected) {
            auto it = got.find(file);
            ASSERT_NE(it, got.end()) << name << ": " << file << " not written";
            EXPECT_EQ(cp932::toUtf8(it->second), cp932::toUtf8(bytes)) << name << ": " << file;
            EXPECT_EQ(it->second, bytes) << name << ": " << file << " round " << round;
        }
    }
}

}  // namespace velt::test
