// Cost per record of the horse-data converter as a meeting's file grows: it should stay flat.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../tests/support/test_files.h"
#include "convert/converters.h"
#include "convert/output_store.h"

namespace {

namespace fs = std::filesystem;

// A KYD record of meeting 05/01/3 whose bytes 6-10 (day, race, horse) spell `n` in base 62, so
// that every n is a horse key of its own in the same file.
std::string record(long n) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string r(547, ' ');
    r.replace(0, 5, "05013");
    for (int i = 9; i >= 5; --i, n /= 62) r[static_cast<std::size_t>(i)] = digits[n % 62];
    r.replace(54, 5, " 45.5");
    r.replace(89, 1, "1");
    r.replace(91, 1, "2");
    r.replace(326, 6, "12345 ");
    return r;
}

class Meeting {
public:
    explicit Meeting(long existing) : dir_("velt-bench") {
        fs::create_directory(dir_ / "MDATA");
        ctx.dataFolder = dir_.path();
        ctx.store = &store;
        for (long i = 0; i < existing; ++i) velt::ky(record(i), ctx);
        store.finish();
        file_ = dir_ / "MDATA/MD013\xe6\x9d\xb1.DAT";  // MD013東.DAT
        original_ = velt::test::readFile(file_);
    }
    // Puts the file back as it was made, for the next import.
    void reset() const { velt::test::writeFile(file_, original_); }
    Meeting(const Meeting&) = delete;
    Meeting& operator=(const Meeting&) = delete;

    velt::OutputStore store;
    velt::ImportContext ctx;

private:
    velt::test::TempDir dir_;
    std::string file_;
    std::string original_;
};

// New records, each appended to a file that already holds `existing` lines.
void BM_kyNewRecord(benchmark::State& state) {
    const long existing = state.range(0);
    Meeting meeting(existing);
    long n = existing;
    for (auto _ : state) benchmark::DoNotOptimize(velt::ky(record(n++), meeting.ctx));
    meeting.store.finish();
    state.SetItemsProcessed(state.iterations());
}

// Records already present: the duplicate test alone.
void BM_kyPresentRecord(benchmark::State& state) {
    const long existing = state.range(0);
    Meeting meeting(existing);
    long n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(velt::ky(record(n), meeting.ctx));
        n = (n + 1) % existing;
    }
    state.SetItemsProcessed(state.iterations());
}

// A whole import of 500 new records into a meeting file of `existing` lines: the file is read
// once and written once.
void BM_kyImportOf500(benchmark::State& state) {
    const long existing = state.range(0);
    Meeting meeting(existing);
    for (auto _ : state) {
        state.PauseTiming();
        meeting.reset();
        state.ResumeTiming();
        for (long n = existing; n < existing + 500; ++n)
            benchmark::DoNotOptimize(velt::ky(record(n), meeting.ctx));
        meeting.store.finish();
    }
    state.SetItemsProcessed(state.iterations() * 500);
}

// A record of meeting 05/01/3 whose race number is a two-byte character, so that its horse key
// has fewer than eleven characters; day and horse number spell `n` in base 62.
std::string twoByteRecord(long n) {
    std::string r = record(0);
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    r.replace(6, 2, "\x82\xa0");  // あ
    for (int i : {9, 8, 5}) {
        r[static_cast<std::size_t>(i)] = digits[n % 62];
        n /= 62;
    }
    return r;
}

// A whole import of `records` new records into an empty meeting file, with ASCII keys (arg 1
// = 0) or two-byte keys (1): the cost per record stays flat either way.
void BM_kyImportByKey(benchmark::State& state) {
    const long records = state.range(0);
    const bool twoByte = state.range(1) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        Meeting meeting(0);
        state.ResumeTiming();
        for (long n = 0; n < records; ++n)
            benchmark::DoNotOptimize(velt::ky(twoByte ? twoByteRecord(n) : record(n), meeting.ctx));
        meeting.store.finish();
        if (meeting.store.linesWritten() != static_cast<std::size_t>(records))
            state.SkipWithError("not every record was written");
    }
    state.SetItemsProcessed(state.iterations() * records);
}

BENCHMARK(BM_kyNewRecord)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_kyPresentRecord)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(BM_kyImportOf500)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_kyImportByKey)
    ->ArgsProduct({{20000, 40000, 80000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
