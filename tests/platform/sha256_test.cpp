// SHA-256 against the published test vectors (FIPS 180-2 and NIST's examples), whole and fed
// in pieces, and of a file.

#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/test_files.h"

namespace {

TEST(Sha256, PublishedVectors) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    velt::test::TempDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(velt::platform::sha256Hex(c.input), c.digest);
        velt::platform::Sha256 pieces;
        for (std::size_t at = 0; at < c.input.size(); at += 4099)
            pieces.update(std::string_view(c.input).substr(at, 4099));
        EXPECT_EQ(pieces.hex(), c.digest);
        velt::test::writeFile(dir / "f", c.input);
        EXPECT_EQ(velt::platform::sha256OfFile(dir / "f"), c.digest);
    }
}

}  // namespace
