#pragma once
// Helpers of the shell tests: a temporary folder, whole-file reads and writes, jlha, and a
// Messages implementation that records what the user would have seen.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/import_engine.h"

namespace velt::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velt-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern + "/";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Runs jlha in `folder`: `jlha <command> <archive> <files...>`. True on success.
inline bool jlha(const std::string& folder, const std::string& command, const std::string& archive,
                 const std::vector<std::string>& files) {
    std::string line = "cd '" + folder + "' && jlha " + command + " '" + archive + "'";
    for (const auto& f : files) line += " '" + f + "'";
    line += " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

struct RecordingMessages : Messages {
    struct Shown {
        std::string text, title;
        Icon icon;
    };
    std::vector<Shown> shown;
    std::vector<std::string> failures;
    int progressCalls = 0;

    void message(const std::string& text, const std::string& title, Icon icon) override {
        shown.push_back({text, title, icon});
    }
    void failure(const std::string& report) override { failures.push_back(report); }
    void progress(const std::string&, std::uint64_t, std::uint64_t) override { ++progressCalls; }

    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.text);
        return t;
    }
};

}  // namespace velt::test
