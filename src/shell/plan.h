#pragma once
// The plan of an import: what the user gave (a button's file, a file given a kind, dropped files
// and folders) turned into the ordered texts to convert, before anything is read or written.
// Planning reads folders and archives' member lists, never a member's bytes.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "shell/lha_archive.h"
#include "shell/messages.h"
#include "shell/recognition.h"

namespace velt {

// A whole archive or folder that lacks a member the import needs.
class MemberMissing : public Failure {
public:
    using Failure::Failure;
};

// One text an input converts.
struct PlannedText {
    std::string name;  // the member's name, or the text file's path: what messages name
    std::string file;  // the file to read, for a text read from disk
    Kind group = Kind::None;
    std::string date;        // the `fileDate` its conversion sees
    std::uint64_t size = 0;  // its length as the archive's header or the folder declares it
    std::size_t zipIndex = 0;
    std::string kindName;  // the kind its name shows ("SED"), empty when a button or --as chose
};

// One member of an archive as the plan saw it: reading checks that the archive still holds these.
using ArchiveEntry = LhaEntry;

struct PlannedInput {
    enum class Source { Text, Lha, Zip };

    std::string path;  // as given
    Recognition recognition;
    Source source = Source::Text;
    std::string date;                   // the `fileDate` the input starts with
    std::vector<PlannedText> texts;     // in the order of conversion
    std::vector<ArchiveEntry> entries;  // an archive's whole member list
    std::exception_ptr failure;         // why it cannot be imported, told when its turn comes

    bool recognised() const { return recognition.kind != Kind::None; }
    // A damaged archive is what to report when it merely seems to lack a member.
    bool lacksMember() const;
};

struct Plan {
    std::vector<PlannedInput> inputs;      // in import order; a dropped name not recognised too
    std::vector<std::string> unsupported;  // dropped files and files in folders not recognised
    std::optional<Button> button;          // imported as this button imports
    // The paths as given, and whether each counts as recognised (a folder does): what a refusal
    // before anything is read reports on.
    std::vector<std::pair<std::string, bool>> given;
};

// The most an archive may hold: members are refused from their headers when far beyond a day's
// files, before they are decoded.
inline constexpr std::uint64_t kMemberLimit = 64u << 20;
inline constexpr std::uint64_t kArchiveLimit = 256u << 20;

// A button's file. `fileDate` is the date the window holds from its last import.
Plan planButton(Button button, const std::string& path, const std::string& fileDate);
// A file converted as `kind` whatever its name: a button's name ("SEBZEB") or a kind ("SED").
Plan planWithKind(const std::string& kind, const std::string& path);
bool acceptsGivenKind(const std::string& kind);
// Dropped files and folders, or the command line's list (which also takes "JracSei1.dat").
Plan planDrop(const std::vector<std::string>& paths, bool commandLine);

// Whether a folder's file recognised as `a` is imported before one recognised as `b`: by date,
// then in the order of a pack.
bool importsBefore(const Recognition& a, const Recognition& b);

// The plan in words, one input a line with its texts indented: what --dry-run prints.
std::string describePlan(const Plan& plan);

}  // namespace velt
