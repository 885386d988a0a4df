#pragma once
// Recognition of JRDB file names: the kind, stem, extension and date cut from a path's tail.

#include <cstddef>
#include <string>
#include <string_view>

#include "shell/import_engine.h"

namespace velt {

enum class Kind {
    None,    // not recognised
    KYD,     // horse data: ky
    SEBZEB,  // results: Seiseki
    SKAZKA,  // extended results: kakuchouhenkan
    OZ,      // odds: ozzhenkan
    Lap,     // an "s3" archive or the lap file "JracSei1.dat": Lap
    Pack,    // a JRDB pack: KYD, ZEB, OZ and ZKA members
};

// Characters (not bytes) of a UTF-8 text. A path shorter than n gives the whole path.
std::string lastChars(std::string_view text, std::size_t n);
// Characters from..from+n-1 (0-based), short or empty when the text ends first.
std::string midChars(std::string_view text, std::size_t from, std::size_t n);

struct Recognition {
    Kind kind = Kind::None;
    std::string stem;       // kind + date as cut from the tail (the member's name without ".txt")
    std::string extension;  // the last four characters of the path
    std::string date;       // the six date characters (the pack's date for a pack)
    bool setsFileDate = false;  // whether the import sets `fileDate` to `date`
    bool archive() const { return extension == ".lzh"; }
};

// What a button makes of the dialog's path. For "OZ" and "J" `date` and setsFileDate are filled
// even when the name is refused.
Recognition recogniseForButton(Button button, std::string_view path);

// What a drop makes of a dropped path (`date` is always set). The command line also recognises
// JRDB packs and the lap file "JracSei1.dat" by name.
Recognition recogniseDropped(std::string_view path, bool commandLine);

// The texts of a button: its completion message and its rejection message.
const char* completionMessage(Button button);
const char* rejectionMessage(Button button);

inline constexpr const char* kUnsupportedMessage =
    "対応データで無いんです（ -.-）ノ-=≡≡≡卍卍(シュ)！";
inline constexpr const char* kDropCompleteMessage = "すべての処理完了\u3000V（＾0＾）";

}  // namespace velt
