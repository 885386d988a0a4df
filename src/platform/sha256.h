#pragma once
// SHA-256 of bytes and of files, by the system's own library: OpenSSL's libcrypto on Linux,
// CNG (bcrypt.dll) on Windows, so that the Windows build needs no library of its own for it.

#include <memory>
#include <string>
#include <string_view>

namespace velt::platform {

// A digest fed in pieces.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::string_view bytes);
    // Lower-case hex of the 32 bytes; the digest takes no more bytes afterwards.
    std::string hex();

private:
    void finish(unsigned char (&digest)[32]);  // the system's part
    struct State;
    std::unique_ptr<State> state_;
};

std::string sha256Hex(std::string_view bytes);
// The file's digest, read a piece at a time. Throws FileError.
std::string sha256OfFile(const std::string& path);

}  // namespace velt::platform
