// Micro-benchmarks of the functions every record goes through, so that a slower import shows
// where the time went: field cutting, numeric value, one converter's line, the duplicate test,
// the check of a whole text.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../tests/support/reference_store.h"
#include "../tests/support/test_files.h"
#include "codes/cp932.h"
#include "codes/numeric.h"
#include "convert/converters.h"
#include "convert/output_store.h"
#include "convert/record.h"
#include "shell/text_check.h"

namespace {

namespace fs = std::filesystem;

// A KYD record of meeting 05/09/3 whose bytes 6-10 (day, race, horse) spell `n` in base 62; its
// horse name is kana, as in real files, so that the record is not plain ASCII.
std::string kydRecord(long n) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const std::string name = velt::cp932::fromUtf8("アドマイヤベガ　　　　　　　　　　");
    std::string r(430, ' ');
    r.replace(0, 5, "05093");
    for (int i = 9; i >= 5; --i, n /= 62) r[static_cast<std::size_t>(i)] = digits[n % 62];
    r.replace(18, name.size(), name);
    r.replace(54, 5, " 45.5");
    r.replace(84, 5, " 52.0");
    r.replace(89, 3, "1 2");
    r.replace(144, 12, " 38.0 40.513");
    r.replace(326, 6, "12345 ");
    return r;
}

// A fresh Target data folder with MDATA, removed afterwards.
class DataFolder {
public:
    DataFolder() : dir_("velt-micro") { fs::create_directory(dir_ / "MDATA"); }
    const std::string& root() const { return dir_.path(); }

private:
    velt::test::TempDir dir_;
};

// A store that has no lines and keeps none: what is left of ky is its line composition.
class DiscardingStore : public velt::OutputSink {
public:
    bool hasKey(const std::string&, std::string_view, std::size_t) override { return false; }
    void append(const std::string&, std::string_view line) override {
        benchmark::DoNotOptimize(line.data());
    }
    void startAnew(const std::string&) override {}
    void ensureExists(const std::string&) override {}
    bool addSorted(const std::string&, std::string_view, std::size_t) override { return true; }
};

void BM_Field(benchmark::State& state) {
    const std::string bytes = kydRecord(12345);
    for (auto _ : state) {
        velt::Record r(bytes);  // a record is cut once per line, as the converters do
        benchmark::DoNotOptimize(r.field(1, 2));
        benchmark::DoNotOptimize(r.field(55, 5));
        benchmark::DoNotOptimize(r.field(145, 5));
    }
}
BENCHMARK(BM_Field);

void BM_AppendField(benchmark::State& state) {
    const std::string bytes = kydRecord(12345);
    const velt::Record r(bytes);
    std::string out;
    out.reserve(64);
    for (auto _ : state) {
        out.clear();
        r.appendField(out, 55, 5);
        r.appendField(out, 145, 5);
        r.appendField(out, 19, 36);  // the kana name: the two-byte path
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_AppendField);

void BM_NumericValue(benchmark::State& state) {
    const char* const texts[] = {"1", " 45.5", "  ", "-12.3", "999"};
    for (auto _ : state)
        for (const char* t : texts) benchmark::DoNotOptimize(velt::numericValue(t));
    state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_NumericValue);

void BM_KyComposition(benchmark::State& state) {
    DiscardingStore store;
    velt::ImportContext ctx;
    ctx.dataFolder = "/nowhere/";
    ctx.store = &store;
    const std::string line = kydRecord(777);
    for (auto _ : state) benchmark::DoNotOptimize(velt::ky(line, ctx));
}
BENCHMARK(BM_KyComposition);

// ky through the real store into a new file: key test, composition and the buffered append.
void BM_KyFreshStore(benchmark::State& state) {
    DataFolder folder;
    auto store = std::make_unique<velt::OutputStore>();
    velt::ImportContext ctx;
    ctx.dataFolder = folder.root();
    ctx.store = store.get();
    std::vector<std::string> lines;
    for (long i = 0; i < 4096; ++i) lines.push_back(kydRecord(i));
    std::size_t i = 0;
    for (auto _ : state) {
        if (i == lines.size()) {
            state.PauseTiming();
            store->finish();
            fs::remove(folder.root() + "MDATA/MD093\xe6\x9d\xb1.DAT");  // MD093東.DAT
            i = 0;
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(velt::ky(lines[i++], ctx));
    }
}
BENCHMARK(BM_KyFreshStore);

// A meeting file of state.range(0) lines, as ky writes them.
std::string meetingFile(const DataFolder& folder, long lines) {
    velt::OutputStore store;
    velt::ImportContext ctx;
    ctx.dataFolder = folder.root();
    ctx.store = &store;
    for (long i = 0; i < lines; ++i) velt::ky(kydRecord(i), ctx);
    store.finish();
    return folder.root() + "MDATA/MD093\xe6\x9d\xb1.DAT";
}

// The duplicate test once the file's keys are read: every record after the first of an import.
void BM_HasKey(benchmark::State& state) {
    DataFolder folder;
    const std::string path = meetingFile(folder, state.range(0));
    velt::OutputStore store;
    const std::string present = kydRecord(state.range(0) / 2).substr(0, 10) + "0";
    const std::string absent = kydRecord(state.range(0) + 1).substr(0, 10) + "0";
    store.hasKey(path, present, 11);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.hasKey(path, present, 11));
        benchmark::DoNotOptimize(store.hasKey(path, absent, 11));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_HasKey)->Arg(100)->Arg(1000)->Arg(10000);

// The first duplicate test of an import: reads the file's keys.
void BM_HasKeyFirstRead(benchmark::State& state) {
    DataFolder folder;
    const std::string path = meetingFile(folder, state.range(0));
    const std::string absent = kydRecord(state.range(0) + 1).substr(0, 10) + "0";
    for (auto _ : state) {
        velt::OutputStore store;
        benchmark::DoNotOptimize(store.hasKey(path, absent, 11));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HasKeyFirstRead)->Arg(100)->Arg(1000)->Arg(10000);

// The same test read afresh from the first line, as the reference store does for every record.
void BM_HasKeyReference(benchmark::State& state) {
    DataFolder folder;
    const std::string path = meetingFile(folder, state.range(0));
    const std::string absent = kydRecord(state.range(0) + 1).substr(0, 10) + "0";
    velt::test::ReferenceStore store;
    for (auto _ : state) benchmark::DoNotOptimize(store.hasKey(path, absent, 11));
}
BENCHMARK(BM_HasKeyReference)->Arg(100)->Arg(1000)->Arg(10000);

// The check every text passes before it is converted, over a file of KYD records: its cost per
// byte against the whole import's.
void BM_RefusalReason(benchmark::State& state) {
    std::string text;
    for (long i = 0; i < 10000; ++i) text += kydRecord(i) + "\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(velt::refusalReason(text, velt::Kind::KYD, "KYD"));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_RefusalReason);

}  // namespace

BENCHMARK_MAIN();
