#pragma once
// Helpers of the shell tests: a temporary folder, whole-file reads and writes, jlha, and a
// Messages implementation that records what the user would have seen.

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/test_files.h"
#include "shell/import_engine.h"
#include "shell/lha_archive.h"

namespace velt::test {

inline bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Appends v as `bytes` little-endian bytes.
inline void put(std::string& s, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A stored member with a level-0 header, written by hand so that its name can be anything an
// attacker likes; `declared` replaces the true length when given.
inline std::string level0(const std::string& name, const std::string& data,
                          std::uint64_t declared = UINT64_MAX, const char* method = "-lh0-") {
    const std::uint64_t length = declared == UINT64_MAX ? data.size() : declared;
    std::string h = method;
    put(h, data.size(), 4);
    put(h, length, 4);
    put(h, 0x5A210000, 4);
    h += '\x20';
    h += '\0';
    h += static_cast<char>(name.size());
    h += name;
    put(h, crc16(0, data.data(), data.size()), 2);
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    std::string member;
    member += static_cast<char>(h.size());
    member += static_cast<char>(sum & 0xFF);
    return member + h + data;
}

// Runs jlha in `folder`: `jlha <command> <archive> <files...>`. True on success.
inline bool jlha(const std::string& folder, const std::string& command, const std::string& archive,
                 const std::vector<std::string>& files) {
    std::string line = "cd '" + folder + "' && jlha " + command + " '" + archive + "'";
    for (const auto& f : files) line += " '" + f + "'";
    line += " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// The engine's failure reports go to `failures`, every other message to `shown`.
struct RecordingMessages : Messages {
    using Shown = Message;
    std::vector<Shown> shown;
    std::vector<std::string> failures;
    int progressCalls = 0;

    void message(const Message& m) override {
        if (m.kind == Message::Kind::Failure && m.icon == Message::Icon::Warning)
            failures.push_back(m.text);
        else
            shown.push_back(m);
    }
    void progress(const std::string&, std::uint64_t, std::uint64_t, std::size_t) override {
        ++progressCalls;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.text);
        return t;
    }
};

}  // namespace velt::test
