#pragma once
// What the engine tells the user (`Messages`, each message of a kind) and the import buttons
// (`Button`), shared by the engine, the archive code and the front ends.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velt {

enum class Button { KYD, SEBZEB, OZ, SKAZKA, J };

// One message box's worth. The front ends decide where it goes by its kind alone.
struct Message {
    enum class Kind {
        Outcome,     // one import went in (a button's completion text)
        Rejection,   // names that are not imported (a button's refusal, a drop's other files)
        Failure,     // an import failed: the engine's report, or the extraction's own boxes
        Completion,  // a drop or a file list has been worked through: closes the run
    };
    enum class Icon { None, Exclamation, Warning };

    Kind kind;
    std::string text;   // UTF-8
    std::string title;  // empty: the program's own title
    Icon icon = Icon::None;
    // The file the box is about: a window adds its name on a line of its own below the text,
    // which stays as it has always been. Empty: none, or the text names it already.
    std::string file = {};
};

// How the engine's messages reach the user: the window shows message boxes, the command line
// prints. Besides the messages: the yes/no question and the progress of long work.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void message(const Message& message) = 0;
    // A yes/no question (whether to create the missing year folders): the window asks, the
    // command line answers from its options. No unless a front end says yes.
    virtual bool confirm(const std::string& question) {
        (void)question;
        return false;
    }
    // Long work: the input being imported, how far it is (bytes of its text) and the records
    // read from it so far. Optional.
    virtual void progress(const std::string& input, std::uint64_t done, std::uint64_t total,
                          std::size_t records) {
        (void)input, (void)done, (void)total, (void)records;
    }
    // Asked between inputs, never within one: true stops the import before the next input.
    virtual bool cancelled() { return false; }
    // Another import holds the data folder: this one waits for it to end. Called again and again
    // while it waits (so that a window stays drawn), never once the wait is over. Optional.
    virtual void waiting(const std::string& dataFolder) { (void)dataFolder; }
};

}  // namespace velt
