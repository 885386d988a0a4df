#pragma once
// Recognition of JRDB file names: the kind, stem, extension and date cut from a path's tail.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/messages.h"

namespace velt {

enum class Kind {
    None,    // not recognised
    KYD,     // horse data (KYD, KYG, KYI): ky
    SEBZEB,  // results (SEB, SEC, SED, ZEB, ZEC, ZED): Seiseki
    SKAZKA,  // extended results (SKA, SKB, ZKA, ZKB): kakuchouhenkan
    OZ,      // odds: ozzhenkan
    Lap,     // an "s3" archive or the lap file "JracSei1.dat": Lap
    Pack,    // a JRDB or PACI pack: one member of each group
    Zip,     // a year of one kind: a ZIP of daily text files
};

// Characters (not bytes) of a UTF-8 text. A path shorter than n gives the whole path.
std::string lastChars(std::string_view text, std::size_t n);
// Characters from..from+n-1 (0-based), short or empty when the text ends first.
std::string midChars(std::string_view text, std::size_t from, std::size_t n);

struct Recognition {
    Kind kind = Kind::None;
    std::string kindName;   // "KYI", "SED", "OZ", "JRDB"...: the kind its name shows
    std::string stem;       // kind + date as cut from the tail (the member's name without ".txt")
    std::string extension;  // the last four characters of the path
    std::string date;       // the six date characters (the pack's date for a pack; a ZIP's year)
    bool setsFileDate = false;             // whether the import sets `fileDate` to `date`
    std::vector<std::string> memberKinds;  // given a kind to read: the kinds a member may have
    bool archive() const { return extension == ".lzh"; }
};

// The group a kind name belongs to (Kind::KYD for "KYI"...), Kind::None for another name.
Kind groupOfKind(std::string_view kindName);
// The kind names of a group, newest layout first; a pack takes the first of its group present.
const std::vector<std::string>& kindsOfGroup(Kind group);
const std::vector<std::string>& packKindsOfGroup(Kind group);
// The group's name in messages ("競走馬データ"...).
const char* groupName(Kind group);
// Order of the groups within a day: packs, horse data, results, odds, comments, laps.
int groupOrder(Kind group);
// A sortable date (yyyymmdd) of a recognised name; "99999999" when it shows none.
std::string dateKey(const Recognition& r);

// A path whose name has the form of JRDB's names (kind + six digits + extension, a year's ZIP,
// the lap file) whatever its case and with a browser's copy mark ("PACI181201 (1).lzh") cut out,
// in JRDB's own case: "/d/PACI181201.lzh". Other paths as given, so that the rules below stay.
std::string asJrdbNames(std::string_view path);
// Whether two names are the same but for the case of ASCII letters.
bool sameLetters(std::string_view a, std::string_view b);
inline constexpr const char* kLapMember = "JracSei1.dat";

// A member or file named kind + six date characters + ".txt" (a daily text file): its recognition,
// or Kind::None.
Recognition recogniseDailyText(std::string_view name);

// What a button makes of the dialog's path. For "OZ" and "J" `date` and setsFileDate are filled
// even when the name is refused.
Recognition recogniseForButton(Button button, std::string_view path);

// What a drop makes of a dropped path (`date` is always set). The command line also recognises
// the lap file "JracSei1.dat" by name.
Recognition recogniseDropped(std::string_view path, bool commandLine);

// The texts of a button: its completion message and its rejection message.
const char* completionMessage(Button button);
// The rejection names the reason when given the refused path.
std::string rejectionMessage(Button button, std::string_view path = {});
// Why a name is not imported: no kind, no date, or (given a button) the button it belongs to.
std::string refusalReason(std::string_view path, std::optional<Button> button);
Button buttonOf(Kind group);

// The one message naming the files a drop or a folder holds that are not imported, and the kinds
// that are.
std::string unsupportedMessage(const std::vector<std::string>& files);
// The kinds a drop or the command line takes, in words.
const char* acceptedKindsText();

inline constexpr const char* kUnsupportedMessage =
    "対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！";
inline constexpr const char* kDropCompleteMessage = "すべての処理完了\u3000V（＾0＾）";

}  // namespace velt
