#pragma once
// Helpers every test folder shares: a private temporary folder, whole-file reads and writes, and
// the snapshot of a folder tree. Paths in std::string are UTF-8, on Windows too.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velt::test {

// A path from UTF-8 text, and back: a plain std::string is not taken as UTF-8 on Windows.
inline std::filesystem::path fsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string s = path.generic_u8string();
    return std::string(s.begin(), s.end());
}

// A fresh folder under the system temporary folder, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "velt-test") {
        static std::mt19937_64 random(std::random_device{}());
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; path_.empty(); ++attempt) {
            const auto dir = base / (prefix + "-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(dir)) {
                std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
                path_ = utf8(dir) + "/";
            } else if (attempt > 100) {
                throw std::runtime_error("cannot make a folder in " + utf8(base));
            }
        }
    }
    ~TempDir() {
        std::error_code ec;
        // A test may have taken the write permission away; Windows removes no read-only file.
#ifdef _WIN32
        for (const auto& e : std::filesystem::recursive_directory_iterator(fsPath(path_), ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
#endif
        std::filesystem::permissions(fsPath(path_), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(fsPath(path_), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const {
        return path_;
    }
    std::string operator/(const std::string& name) const {
        return path_ + name;
    }

private:
    std::string path_;
};

// Writes the bytes, creating the file's folders as needed.
inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + utf8(path));
}
inline void writeFile(const std::string& path, const std::string& bytes) {
    writeFile(fsPath(path), bytes);
}
inline void writeFile(const char* path, const std::string& bytes) {
    writeFile(fsPath(path), bytes);
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string readFile(const std::string& path) {
    return readFile(fsPath(path));
}
inline std::string readFile(const char* path) {
    return readFile(fsPath(path));
}

// Every regular file under `root` by relative path, with its bytes; with `everything`, folders
// ("<dir>") and links ("-> target") too. Empty when `root` is missing.
using Tree = std::map<std::string, std::string>;
inline Tree tree(const std::filesystem::path& root, bool everything = false) {
    namespace fs = std::filesystem;
    Tree files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = utf8(fs::relative(e.path(), root));
        if (everything && e.is_symlink())
            files[rel] = "-> " + utf8(fs::read_symlink(e.path()));
        else if (everything && e.is_directory())
            files[rel] = "<dir>";
        else if (e.is_regular_file() || (everything && !e.is_directory()))
            files[rel] = readFile(e.path());
    }
    return files;
}

}  // namespace velt::test
