// Archive extraction on arbitrary bytes: Unlha extracts a fuzzed .lzh into a private folder, and
// nothing may appear anywhere but in its destination, flat, as regular files.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "fuzz_util.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup s;
    velt::fuzz::clearFolder(s.root.path());
    fs::create_directories(s.dest);
    velt::test::writeFile(s.archive, std::string(reinterpret_cast<const char*>(data), size));

    char output[1024];
    std::string line = velt::unlhaCommandLine("e", "-x1m0", s.archive, s.dest);
    std::int32_t r = velt::Unlha(0, line.c_str(), output, sizeof output);
    checkOnlyDestination(s);
    if (r != 0 && !fs::is_empty(s.dest)) found("a failed extraction left files behind");
    if (r != 0 && output[0] == '\0') found("a failed extraction without a cause");

    // The reader alone, counting what it decodes.
    try {
        velt::LhaReader reader(s.archive);
        velt::LhaMember member;
        while (reader.next(member)) {
            if (member.directory) continue;
            std::uint64_t total = 0;
            reader.read([&](const char*, std::size_t n) { total += n; });
            if (total != member.length) found("a member read short without an error");
        }
    } catch (const velt::Failure&) {
    }
    return 0;
}
