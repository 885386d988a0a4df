#pragma once
// What a window's progress dialog shows while an import runs: its label and how far it is, and
// whether that changed since it was last shown (every repaint costs the import time).

#include <cstdint>
#include <string>
#include <vector>

namespace velt {

class ImportProgress {
public:
    // The files of the import that starts: a drop of several shows its progress at once.
    void begin(std::vector<std::string> inputs);
    void end() { permille_ = -1; }
    // "取り込み中: NAME", with "（i/n）" in a drop of several. False when nothing visible changed.
    bool update(const std::string& input, std::uint64_t done, std::uint64_t total);
    // The wait for another import that holds the data folder. False when it is shown already.
    bool waiting(const std::string& dataFolder);

    const std::string& label() const { return label_; }
    int permille() const { return permille_; }
    bool several() const { return inputs_.size() > 1; }

private:
    std::vector<std::string> inputs_;
    std::string label_;
    int permille_ = -1;
};

}  // namespace velt
