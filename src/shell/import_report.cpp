#include "shell/import_report.h"

#include <algorithm>

#include "shell/shown.h"

namespace velt {
namespace {

enum class Result { Failed, Imported, Cancelled, NotImported };

Result resultOf(const ImportSummary& s) {
    if (s.cancelled) return Result::Cancelled;
    if (!s.recognised) return s.error.empty() ? Result::NotImported : Result::Failed;
    return s.succeeded ? Result::Imported : Result::Failed;
}

const char* wordOf(Result o) {
    switch (o) {
        case Result::Failed:
            return "失敗";
        case Result::Imported:
            return "取り込みました";
        case Result::Cancelled:
            return "中止したため取り込んでいません";
        case Result::NotImported:
            return "対応データではありません";
    }
    return "";
}

std::string counts(const ImportSummary& s) {
    return "レコード: 読み込み " + std::to_string(s.linesRead) + "、書き込み " +
           std::to_string(s.written) + "、既にあり " + std::to_string(s.present) + "、JRA 以外 " +
           std::to_string(s.outOfScope) + "、不正 " + std::to_string(s.malformed);
}

// Every line of a text indented under its input.
std::string indented(const std::string& text) {
    std::string out = "    ";
    for (char c : text) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

}  // namespace

std::string importReport(const std::vector<ImportSummary>& summaries) {
    if (summaries.empty()) return {};
    std::vector<const ImportSummary*> rows;
    std::size_t tally[4] = {};
    auto count = [&](Result r) { return std::to_string(tally[static_cast<int>(r)]); };
    for (const auto& s : summaries) {
        rows.push_back(&s);
        ++tally[static_cast<int>(resultOf(s))];
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto* a, const auto* b) { return resultOf(*a) < resultOf(*b); });

    std::string text = std::to_string(summaries.size()) + " 件のファイル: 取り込み " +
                       count(Result::Imported) + " 件、失敗 " + count(Result::Failed) + " 件";
    if (count(Result::Cancelled) != "0")
        text += "、中止により未処理 " + count(Result::Cancelled) + " 件";
    if (count(Result::NotImported) != "0")
        text += "、対応データでないもの " + count(Result::NotImported) + " 件";
    text += "\n";
    for (const auto* s : rows) {
        const Result o = resultOf(*s);
        text += "\n" + shown(s->input) + "\n    ";
        if (!s->kind.empty()) text += s->kind + ": ";
        text += wordOf(o);
        if (!s->previouslyImported.empty())
            text += "、以前に取り込み済み (" + s->previouslyImported + ")";
        text += "\n";
        if (o == Result::Failed || o == Result::Imported) text += "    " + counts(*s) + "\n";
        if (o == Result::Failed && !s->error.empty()) text += indented(s->error) + "\n";
    }
    return text;
}

}  // namespace velt
