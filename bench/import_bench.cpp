// Runs the import engine over a list of files with the fast or the reference output store and
// prints what it took, as lines that bench/run reads.
//
//   velt_bench_import [--reference] [--each] --data-folder DIR FILE... | @LIST
//   velt_bench_import --decode-only FILE... | @LIST
//
// Without --each the files go to the engine in one call, as velt-cli hands them over. With --each
// every file is imported by a call of its own and its time is counted to its kind (the name's
// prefix), so that text files give records per second of each converter. --decode-only decodes
// every member of the LHA archives in memory on one thread and converts nothing: the part of any
// import (and of its floor) that lhasa does.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../tests/support/reference_store.h"
#include "shell/import_engine.h"
#include "shell/lha_archive.h"

namespace {

struct Quiet : velt::Messages {
    int failures = 0;
    void message(const velt::Message& m) override {
        if (m.kind != velt::Message::Kind::Failure) return;
        ++failures;
        std::fprintf(stderr, "velt_bench_import: %s\n", m.text.c_str());
    }
};

std::string kindOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (name == "JracSei1.dat" || name.rfind("s3", 0) == 0) return "Lap";
    static const char* const kinds[] = {"JRDB", "PACI", "KYD", "KYG", "KYI", "SEB", "SEC", "SED",
                                        "ZEB",  "ZEC",  "ZED", "OZ",  "SKA", "SKB", "ZKA", "ZKB"};
    for (const char* k : kinds)
        if (name.rfind(k, 0) == 0) return k;
    return "other";
}

struct Tally {
    std::size_t files = 0, read = 0, written = 0, present = 0;
    double seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
    bool reference = false, each = false, decodeOnly = false;
    std::string folder;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--reference") {
            reference = true;
        } else if (arg == "--decode-only") {
            decodeOnly = true;
        } else if (arg == "--each") {
            each = true;
        } else if (arg == "--data-folder" && i + 1 < argc) {
            folder = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '@') {
            std::ifstream list(arg.substr(1));
            for (std::string line; std::getline(list, line);)
                if (!line.empty()) files.push_back(line);
        } else {
            files.push_back(arg);
        }
    }
    using Clock = std::chrono::steady_clock;
    if (decodeOnly) {
        const auto start = Clock::now();
        std::size_t bytes = 0;
        auto all = [](const std::vector<std::string>& names) {
            return std::set<std::string>(names.begin(), names.end());
        };
        for (const auto& f : files)
            for (const auto& [name, text] : velt::readLhaMembers(f, all, velt::LhaLimits{}))
                bytes += text.size();
        std::printf("decode files %zu bytes %zu seconds %.6f\n", files.size(), bytes,
                    std::chrono::duration<double>(Clock::now() - start).count());
        return 0;
    }
    if (folder.empty() || files.empty()) {
        std::fprintf(stderr,
                     "usage: velt_bench_import [--reference] [--each] --data-folder DIR "
                     "FILE... | @LIST\n");
        return 2;
    }

    Quiet messages;
    velt::ImportEngine engine(messages);
    engine.setDataFolder(folder);
    if (reference)
        engine.setStoreFactory([] { return std::make_unique<velt::test::ReferenceStore>(); });

    std::map<std::string, Tally> kinds;
    Tally total;
    auto count = [&](const velt::ImportSummary& s, double seconds) {
        for (Tally* t : {&kinds[kindOf(s.input)], &total}) {
            ++t->files;
            t->read += s.linesRead;
            t->written += s.linesWritten;
            t->present += s.present;
            t->seconds += seconds;
        }
    };
    const auto start = Clock::now();
    if (each) {
        for (const auto& f : files) {
            const auto t0 = Clock::now();
            auto sums = engine.importFiles({f}, true);
            count(sums.at(0), std::chrono::duration<double>(Clock::now() - t0).count());
        }
    } else {
        for (const auto& s : engine.importFiles(files, true)) count(s, 0);
    }
    total.seconds = std::chrono::duration<double>(Clock::now() - start).count();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    if (each)
        for (const auto& [kind, t] : kinds)
            std::printf("kind %s files %zu records %zu written %zu present %zu seconds %.6f\n",
                        kind.c_str(), t.files, t.read, t.written, t.present, t.seconds);
    std::printf("total files %zu records %zu written %zu present %zu seconds %.6f maxrss_kb %ld\n",
                total.files, total.read, total.written, total.present, total.seconds,
                usage.ru_maxrss);
    return messages.failures == 0 ? 0 : 1;
}
