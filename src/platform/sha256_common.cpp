#include <vector>

#include "platform/file.h"
#include "platform/sha256.h"

namespace velt::platform {

std::string Sha256::hex() {
    unsigned char digest[32];
    finish(digest);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : digest) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 sha;
    sha.update(bytes);
    return sha.hex();
}

std::string sha256OfFile(const std::string& path) {
    File file = openRegularFile(path);
    Sha256 sha;
    std::vector<char> buffer(1 << 16);
    for (std::size_t n; (n = file.read(buffer.data(), buffer.size())) > 0;)
        sha.update(std::string_view(buffer.data(), n));
    return sha.hex();
}

}  // namespace velt::platform
