#include "platform/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include "../support/fake_jrdb.h"
#endif
#include "../support/test_files.h"

namespace velt {
namespace {

using platform::HttpLogin;
using platform::HttpResult;
using E = HttpResult::Error;

const HttpLogin kLogin{"会員1", "パス word"};  // as tests/platform/CMakeLists.txt gives it

// What the fake server's "huge:5000" sends.
std::string pattern(std::size_t size) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += char(i % 256);
    return body;
}

struct Fetched {
    HttpResult result;
    std::string body;
};

Fetched get(platform::HttpClient& client, const std::string& url, const HttpLogin* login,
            std::uint64_t limit = 1 << 20) {
    Fetched f;
    f.result = client.get(url, login, limit, [&](const char* p, std::size_t n) {
        f.body.append(p, n);
        return true;
    });
    return f;
}

platform::HttpOptions testOptions() {
    platform::HttpOptions o;
    o.userAgent = "Velt/test";
    o.stallTimeoutMs = 1500;
    return o;
}

// The fake member area with the faults of http_faults.json: started here, or under Wine given by
// CTest, which runs the tests inside fake_jrdb.py --run.
class Http : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        const char* url = std::getenv("VELT_TEST_JRDB_URL");
        if (!url) GTEST_SKIP() << "run by fake_jrdb.py --run";
        url_ = url;
#else
        server_ = std::make_unique<test::FakeJrdb>(serverArgs(), kLogin.password);
        url_ = server_->url();
#endif
    }

    static std::vector<std::string> serverArgs(std::vector<std::string> more = {}) {
        std::vector<std::string> args{
            "--root",  VELT_TEST_DATA, "--id",
            kLogin.id, "--faults",     "@" VELT_TEST_DATA "/../platform/http_faults.json"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::string url_;
#ifndef _WIN32
    std::unique_ptr<test::FakeJrdb> server_;
#endif
};

// Each answer of the server, and each way a transfer ends, comes back as what it is; only a 2xx
// body reaches the sink.
TEST_F(Http, AnswersAndFaults) {
    const HttpLogin wrong{kLogin.id, "x"};
    struct Case {
        std::string path;
        const HttpLogin* login;
        E error;
        int status;
        std::string body;
    } cases[] = {
        {"ok", &kLogin, E::None, 200, pattern(5000)},
        {"here", &kLogin, E::None, 200, pattern(5000)},  // the same server: followed
        {"ok", &wrong, E::None, 401, ""},
        {"ok", nullptr, E::None, 401, ""},
        {"404", &kLogin, E::None, 404, ""},
        {"500", &kLogin, E::None, 500, ""},
        {"stall", &kLogin, E::Timeout, 200, ""},
        {"short", &kLogin, E::Network, 200, std::string(1000, 'x')},
        {"huge", &kLogin, E::TooLarge, 200, ""},    // declared: refused before the body
        {"stream", &kLogin, E::TooLarge, 200, ""},  // the body itself passes the limit
        {"away", &kLogin, E::Network, 302, ""},     // another host: not followed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto client = platform::makeHttpClient(testOptions());
        const auto f = get(*client, url_ + "member/" + c.path, c.login);
        EXPECT_EQ(f.result.error, c.error) << f.result.detail;
        EXPECT_EQ(f.result.status, c.status);
        if (c.error != E::TooLarge) {
            EXPECT_EQ(f.body, c.body);
        }
        EXPECT_LE(f.body.size(), 1u << 20);
        EXPECT_EQ(f.result.received, f.body.size());
        EXPECT_EQ(f.result.detail.find(kLogin.password), std::string::npos);
    }
}

// Cancel from another thread ends a stalled GET as cancelled, and every later one.
TEST_F(Http, CancelFromAnotherThread) {
    auto options = testOptions();
    options.stallTimeoutMs = 3000;  // Wine's WinHTTP ends a blocked read only by its timeout
    auto client = platform::makeHttpClient(options);
    const auto start = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        client->cancel();
    });
    const auto f = get(*client, url_ + "member/stall", &kLogin);
    canceller.join();
    EXPECT_EQ(f.result.error, E::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(get(*client, url_ + "member/ok", &kLogin).result.error, E::Cancelled);
}

#ifndef _WIN32
// TLS: the test CA makes the server trusted; without it the certificate is refused.
TEST_F(Http, TlsVerified) {
    test::TempDir certs("velt-certs");
    test::FakeJrdb server(serverArgs({"--tls", certs.path()}), kLogin.password);
    ASSERT_EQ(server.url().rfind("https://", 0), 0u);
    auto options = testOptions();
    options.caFile = certs / "ca.pem";
    auto trusting = platform::makeHttpClient(options);
    const auto ok = get(*trusting, server.url() + "member/ok", &kLogin);
    EXPECT_EQ(ok.result.error, E::None) << ok.result.detail;
    EXPECT_EQ(ok.body, pattern(5000));

    options.caFile = VELT_TEST_DATA "/../platform/http_faults.json";  // no CA in it
    ::unsetenv("VELT_TEST_CA_FILE");
    for (const auto& o : {testOptions(), options}) {
        auto client = platform::makeHttpClient(o);
        const auto refused = get(*client, server.url() + "member/ok", &kLogin);
        EXPECT_EQ(refused.result.error, E::Tls) << refused.result.detail;
        EXPECT_EQ(refused.body, "");
    }
}
#endif

}  // namespace
}  // namespace velt
