#include "shell/output_files.h"

#include "convert/converters.h"
#include "convert/layouts.h"
#include "convert/record.h"

namespace velt {
namespace {

// Notes every path a converter names. A key is "present", so that the horse data and results stop
// at their file; comments are "missing", as their two files are named only on the way to adding.
class PathsOnly : public OutputSink {
public:
    explicit PathsOnly(std::set<std::string>& paths) : paths_(paths) {}

    bool hasKey(const std::string& path, std::string_view, std::size_t) override {
        note(path);
        return true;
    }
    void append(const std::string& path, std::string_view) override { note(path); }
    void startAnew(const std::string& path) override { note(path); }
    void ensureExists(const std::string& path) override { note(path); }
    bool addSorted(const std::string& path, std::string_view, std::size_t) override {
        note(path);
        return false;
    }

    bool touched = false;

private:
    void note(const std::string& path) {
        touched = true;
        if (path == last_) return;
        paths_.insert(path);
        last_ = path;
    }

    std::set<std::string>& paths_;
    std::string last_;
};

// The bytes a record's files are named from, where they are few: a record that shares them with
// the last one that named files names the same files. Records of one meeting (horse data,
// results) or of one day and racecourse (comments) follow one another, and the odds of a text all
// go to one file. Empty: the record is run through its converter.
std::string namingBytes(std::string_view line, Kind group) {
    constexpr std::size_t kMeeting = race::kMeeting.pos + race::kMeeting.len - 1;
    constexpr std::size_t kDateEnd = ska::kDate.pos + ska::kDate.len - 1;
    switch (group) {
        case Kind::KYD:
        case Kind::SEBZEB:
            return line.size() < kMeeting ? std::string() : std::string(line.substr(0, kMeeting));
        case Kind::SKAZKA:
            if (line.size() < kDateEnd) return {};
            return std::string(line.substr(0, race::kCourse.len))
                .append(line.substr(ska::kDate.pos - 1, ska::kDate.len));
        case Kind::OZ:
            return "OZ";
        default:
            return {};
    }
}

}  // namespace

Converter converterOf(Kind group) {
    switch (group) {
        case Kind::KYD:
            return &ky;
        case Kind::SEBZEB:
            return &Seiseki;
        case Kind::SKAZKA:
            return &kakuchouhenkan;
        case Kind::OZ:
            return &ozzhenkan;
        case Kind::Lap:
            return &Lap;
        default:
            return nullptr;
    }
}

void gatherOutputFiles(std::string_view text, Kind group, const ImportContext& ctx,
                       std::set<std::string>& paths) {
    const Converter convert = converterOf(group);
    if (!convert) return;
    ImportContext probe = ctx;
    PathsOnly sink(paths);
    probe.store = &sink;
    probe.oddsStartFlag = 1;
    std::string named;
    Lines lines(text);
    for (std::string_view line; lines.next(line);) {
        const std::string naming = namingBytes(line, group);
        if (!naming.empty() && naming == named) continue;
        sink.touched = false;
        convert(line, probe);
        if (sink.touched) named = naming;
    }
}

}  // namespace velt
