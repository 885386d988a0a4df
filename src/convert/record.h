#pragma once
// A record: the CP932 bytes of one input line, cut into fields by 1-based byte position.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velt {

// A field of a record: 1-based byte position and byte length.
struct Field {
    std::size_t pos;
    std::size_t len;
};

// Fields of one length, one after another: the i-th (1-based) of them.
struct FieldRun {
    std::size_t pos;
    std::size_t len;
    constexpr Field operator[](std::size_t i) const { return {pos + len * (i - 1), len}; }
};

class Record {
public:
    explicit Record(std::string_view bytes);

    std::size_t size() const { return bytes_.size(); }

    // Bytes pos .. pos+len-1 (1-based). A field partly or wholly beyond the end comes back short
    // or empty. Any byte that is not part of a whole CP932 character inside the field (the half of
    // a two-byte character the cut split, a stray lead byte, an invalid byte) becomes '?', so the
    // field keeps its width and the output line stays readable.
    std::string field(std::size_t pos, std::size_t len) const;
    void appendField(std::string& out, std::size_t pos, std::size_t len) const;
    std::string field(Field f) const { return field(f.pos, f.len); }
    void appendField(std::string& out, Field f) const { appendField(out, f.pos, f.len); }

private:
    // For each byte: 0 a whole single-byte character, 1 the lead of a pair, 2 its trail, 3 invalid.
    // Made on the first field of a record that is not all ASCII; a record of the usual length
    // needs no allocation.
    const unsigned char* kinds() const;

    std::string_view bytes_;
    bool ascii_;
    mutable bool kindsMade_ = false;
    mutable std::array<unsigned char, 1024> small_;
    mutable std::vector<unsigned char> large_;
};

// What a race key (the first 8 bytes of a record) says of its record. Racecourse and year hold
// digits or blanks; meeting, day and race number ASCII letters, digits or blanks (other organisers'
// races hold letters there, as in "68163QA2"). Anything else (punctuation, control bytes, two-byte
// characters) is no key: it would name a file no one asked for. A key of blanks only is a run
// outside JRA's (ZEC), which Target has no place for. Only the bytes given are judged, so the
// head of a line too short for its key can be judged too.
enum class KeyShape {
    Race,   // can place its record
    Blank,  // all blanks (or empty): out of scope
    Bad,    // no race key: the record is malformed
};
KeyShape raceKeyShape(std::string_view key);

// The lines of a file's bytes, one at a time: split at CR LF, a lone CR or a lone LF. Empty lines
// and an end-of-file mark (Ctrl-Z) that end the text are not lines. Nothing is kept per line, so
// a file of nothing but line ends costs no memory.
class Lines {
public:
    explicit Lines(std::string_view text);
    // The next line, or false after the last.
    bool next(std::string_view& line);
    // Where the next line starts, in bytes from the start of the text.
    std::size_t offset() const { return pos_; }

private:
    std::size_t nextOf(char c, std::size_t& found) const;

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t cr_ = std::string_view::npos, lf_ = std::string_view::npos;  // see nextOf
};

// All the lines at once, as Lines gives them (for small texts: one view per line).
std::vector<std::string_view> splitLines(std::string_view text);

}  // namespace velt
