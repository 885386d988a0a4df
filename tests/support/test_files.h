#pragma once
// Helpers every test folder shares: a private temporary folder, whole-file reads and writes, and
// the snapshot of a folder tree.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>

namespace velt::test {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "velt-test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern + "/";
    }
    ~TempDir() {
        std::error_code ec;
        // A test may have taken the write permission away.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Writes the bytes, creating the file's folders as needed.
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

// Every regular file under `root` by relative path, with its bytes; with `everything`, folders
// ("<dir>") and links ("-> target") too. Empty when `root` is missing.
using Tree = std::map<std::string, std::string>;
inline Tree tree(const std::filesystem::path& root, bool everything = false) {
    namespace fs = std::filesystem;
    Tree files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        if (everything && e.is_symlink())
            files[rel] = "-> " + fs::read_symlink(e.path()).string();
        else if (everything && e.is_directory())
            files[rel] = "<dir>";
        else if (e.is_regular_file() || (everything && !e.is_directory()))
            files[rel] = readFile(e.path());
    }
    return files;
}

}  // namespace velt::test
