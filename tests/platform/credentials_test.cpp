#include "platform/credentials.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/failure.h"

namespace velt {
namespace {

// Against a real Secret Service only in the private D-Bus session that keyring_test.py starts,
// so that a developer's own stored login is never touched.
TEST(Credentials, StoreReplaceForget) {
    if (!std::getenv("VELT_TEST_KEYRING")) GTEST_SKIP() << "run by keyring_test.py";
    ASSERT_TRUE(platform::credentialStoreAvailable());
    using Login = platform::HttpLogin;
    struct Step {
        std::optional<Login> store;  // nullopt: forget
        std::optional<Login> loaded;
    } steps[] = {
        {std::nullopt, std::nullopt},  // nothing stored is no failure
        {Login{"会員1", "パス\nワード: x"}, Login{"会員1", "パス\nワード: x"}},
        {Login{"member2", ""}, Login{"member2", ""}},  // replaces
        {std::nullopt, std::nullopt},
    };
    for (const auto& s : steps) {
        if (s.store)
            platform::storeLogin(*s.store);
        else
            platform::forgetLogin();
        const auto loaded = platform::loadLogin();
        ASSERT_EQ(loaded.has_value(), s.loaded.has_value());
        if (loaded) {
            EXPECT_EQ(loaded->id, s.loaded->id);
            EXPECT_EQ(loaded->password, s.loaded->password);
        }
    }
}

}  // namespace
}  // namespace velt
