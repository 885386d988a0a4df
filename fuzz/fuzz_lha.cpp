// LHA archives on arbitrary bytes: an extraction into a private folder, where nothing may appear
// anywhere but in its destination, flat, as regular files, and nothing at all when it fails; and
// the reading an import does, whose members come back as long as their headers say, or fail.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_util.h"
#include "platform/failure.h"
#include "shell/lha_archive.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void found(const std::string& what) {
    std::fprintf(stderr, "fuzz_lha: %s\n", what.c_str());
    std::abort();
}

struct Setup {
    velt::fuzz::TempFolder root;
    std::string work = root.path() + "work/";
    std::string archive = work + "in.lzh";
    std::string dest = work + "dest/";
    Setup() {
        // Members that decode to far more than the archive holds fail with EFBIG instead of
        // filling the disk.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{8 << 20, 8 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
};

void checkOnlyDestination(const Setup& s) {
    for (const auto& e : fs::directory_iterator(s.root.path()))
        if (e.path().filename() != "work")
            found("written beside the work folder: " + e.path().string());
    for (const auto& e : fs::directory_iterator(s.work)) {
        auto name = e.path().filename();
        if (name != "in.lzh" && name != "dest")
            found("written beside the destination: " + e.path().string());
    }
    for (const auto& e : fs::directory_iterator(s.dest))
        if (!e.is_regular_file() || e.is_symlink())
            found("not a plain member file: " + e.path().string());
}

void extract(const Setup& s) {
    try {
        const velt::Extraction done = velt::extractArchive(s.archive, s.dest);
        for (const velt::Failure& f : done.notWritten)
            if (f.cause().empty() || f.file().empty()) found("a member left out without a cause");
    } catch (const velt::Failure& e) {
        if (!fs::is_empty(s.dest)) found("a failed extraction left files behind");
        if (e.cause().empty()) found("a failed extraction without a cause");
    }
    checkOnlyDestination(s);
}

void readAsAnImport(const Setup& s) {
    try {
        const auto planned = velt::listLhaMembers(s.archive, {});
        std::set<std::string> chosen;
        for (const auto& e : planned)
            if (!e.name.empty()) chosen.insert(e.name);
        const auto members = velt::readLhaMembers(s.archive, planned, chosen, {});
        if (members.size() != chosen.size()) found("a chosen member missing without an error");
        for (const auto& e : planned)
            if (!e.name.empty() && members.at(e.name).size() != e.length)
                found("a member read short without an error");
    } catch (const velt::Failure& e) {
        if (e.cause().empty()) found("a failed read without a cause");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup s;
    velt::fuzz::clearFolder(s.root.path());
    fs::create_directories(s.dest);
    velt::test::writeFile(s.archive, std::string(reinterpret_cast<const char*>(data), size));
    extract(s);
    readAsAnImport(s);
    return 0;
}
