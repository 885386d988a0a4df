#include "shell/import_report.h"

#include <gtest/gtest.h>

namespace velt {
namespace {

ImportSummary summary(std::string input, std::string kind, bool succeeded, std::size_t read,
                      std::string error = {}) {
    ImportSummary s;
    s.input = std::move(input);
    s.kind = std::move(kind);
    s.recognised = true;
    s.succeeded = succeeded;
    s.linesRead = read;
    s.written = read / 2;
    s.present = read - read / 2;
    s.error = std::move(error);
    return s;
}

// Every input once, failures first with their cause, then what went in, what a cancel left and
// what is no JRDB data; the counts of every input that was read.
TEST(ImportReport, ListsEveryInputFailuresFirst) {
    ImportSummary again = summary("/in/SED091122.txt", "SED", true, 4);
    again.previouslyImported = "2024-05-01";
    ImportSummary notes;
    notes.input = "/in/notes.txt";
    ImportSummary later = summary("/in/OZ091122.txt", "OZ", false, 0);
    later.cancelled = true;
    ImportSummary zec = summary("/in/ZEC091122.txt", "ZEC", true, 3);
    zec.outOfScope = 1, zec.malformed = 1;
    const std::vector<ImportSummary> sums = {
        again, notes, summary("/in/KYD091122.lzh", "KYD", false, 2, "壊れています\n2 行目"), later,
        zec};
    EXPECT_EQ(importReport(sums),
              "5 件のファイル: 取り込み 2 件、失敗 1 件、中止により未処理 1 件、"
              "対応データでないもの 1 件\n"
              "\n/in/KYD091122.lzh\n    KYD: 失敗\n"
              "    レコード: 読み込み 2、書き込み 1、既にあり 1、JRA 以外 0、不正 0\n"
              "    壊れています\n    2 行目\n"
              "\n/in/SED091122.txt\n    SED: 取り込みました、以前に取り込み済み (2024-05-01)\n"
              "    レコード: 読み込み 4、書き込み 2、既にあり 2、JRA 以外 0、不正 0\n"
              "\n/in/ZEC091122.txt\n    ZEC: 取り込みました\n"
              "    レコード: 読み込み 3、書き込み 1、既にあり 2、JRA 以外 1、不正 1\n"
              "\n/in/OZ091122.txt\n    OZ: 中止したため取り込んでいません\n"
              "\n/in/notes.txt\n    対応データではありません\n");
    EXPECT_EQ(importReport({}), "");
}

}  // namespace
}  // namespace velt
