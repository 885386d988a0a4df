// Name recognition of buttons and drops on arbitrary paths.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/recognition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view path(reinterpret_cast<const char*>(data), size);
    for (velt::Button b : {velt::Button::KYD, velt::Button::SEBZEB, velt::Button::OZ,
                           velt::Button::SKAZKA, velt::Button::J}) {
        velt::Recognition r = velt::recogniseForButton(b, path);
        if (r.kind != velt::Kind::None && r.extension.empty()) std::abort();
    }
    for (bool commandLine : {false, true}) {
        velt::Recognition r = velt::recogniseDropped(path, commandLine);
        // A recognised name has an extension; a browser's copy mark may have stood inside the
        // tail it came from, so it need not be found in the path as it stands.
        if (r.kind != velt::Kind::None && r.extension.empty()) std::abort();
    }
    for (std::size_t n : {1, 4, 6, 9, 12})
        if (velt::lastChars(path, n).size() > path.size()) std::abort();
    if (velt::midChars(path, 2, 6).size() > path.size()) std::abort();
    return 0;
}
