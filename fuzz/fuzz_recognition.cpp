// Name recognition of buttons and drops on arbitrary paths.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/recognition.h"

namespace {
std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view path(reinterpret_cast<const char*>(data), size);
    for (velt::Button b : {velt::Button::KYD, velt::Button::SEBZEB, velt::Button::OZ,
                           velt::Button::SKAZKA, velt::Button::J}) {
        velt::Recognition r = velt::recogniseForButton(b, path);
        if (r.kind != velt::Kind::None && r.extension.empty()) std::abort();
    }
    for (bool commandLine : {false, true}) {
        velt::Recognition r = velt::recogniseDropped(path, commandLine);
        // A recognised name comes from the path's tail, whatever the case it was written in.
        if (r.kind != velt::Kind::None &&
            lower(path).find(lower(r.extension)) == std::string::npos)
            std::abort();
    }
    for (std::size_t n : {1, 4, 6, 9, 12})
        if (velt::lastChars(path, n).size() > path.size()) std::abort();
    if (velt::midChars(path, 2, 6).size() > path.size()) std::abort();
    return 0;
}
