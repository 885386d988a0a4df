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
    // A meeting file is named by the racecourse, year and meeting that open horse data and
    // results alike: the records of a meeting follow one another, so one of them names it.
    const bool byMeeting = group == Kind::KYD || group == Kind::SEBZEB;
    constexpr std::size_t kMeetingBytes = race::kMeeting.pos + race::kMeeting.len - 1;
    std::string_view named;
    Lines lines(text);
    for (std::string_view line; lines.next(line);) {
        if (byMeeting && line.size() >= kMeetingBytes && !named.empty() &&
            line.substr(0, kMeetingBytes) == named)
            continue;
        sink.touched = false;
        convert(line, probe);
        if (byMeeting && sink.touched) named = line.substr(0, kMeetingBytes);
    }
}

}  // namespace velt
