#include "shell/window_texts.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "shell/recognition.h"
#include "shell/version.h"

namespace velt {
namespace {

template <typename Row, std::size_t N, typename Match>
const Row& find(const Row (&rows)[N], Match match) {
    const Row* row = std::find_if(std::begin(rows), std::end(rows), match);
    if (row == std::end(rows)) throw std::logic_error("the window has no such command");
    return *row;
}

}  // namespace

const FormButton& formButton(Button import) {
    return find(kFormButtons, [import](const FormButton& b) {
        return b.command == Command::Import && b.import == import;
    });
}

const FormButton& formButton(Command command) {
    return find(kFormButtons, [command](const FormButton& b) { return b.command == command; });
}

const FormMenuItem& formMenuItem(Command command) {
    return find(kFormMenuItems, [command](const FormMenuItem& m) { return m.command == command; });
}

std::vector<FileFilter> fileFilters(Button import) {
    FileFilter kinds;
    std::vector<std::string> names;
    if (import == Button::J) {
        kinds.name = "JRDBデータ";
        names = {"JRDB", "PACI"};
    } else {
        const Kind group = import == Button::KYD      ? Kind::KYD
                           : import == Button::SEBZEB ? Kind::SEBZEB
                           : import == Button::OZ     ? Kind::OZ
                                                      : Kind::SKAZKA;
        kinds.name = groupName(group);
        names = kindsOfGroup(group);
    }
    for (const bool lower : {false, true})
        for (std::string name : names) {
            if (lower)
                for (char& c : name) c = static_cast<char>(c - 'A' + 'a');
            kinds.patterns.push_back(name + "*");
        }
    return {kinds, {"すべてのファイル", {"*"}}};
}

AboutTexts aboutTexts() {
    return {std::string(kAppTitle) + "のﾊﾞｰｼﾞｮﾝ情報", kAppTitle,
            "ﾊﾞｰｼﾞｮﾝ " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                std::to_string(kVersionRevision)};
}

}  // namespace velt
