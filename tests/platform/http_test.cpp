#include "platform/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "../support/fake_jrdb.h"
#include "../support/test_files.h"

namespace velt {
namespace {

using platform::HttpLogin;
using platform::HttpResult;
using E = HttpResult::Error;

const std::string kArchive = "/member/data/Paci/PACI181201.lzh";
const std::string kBody(5000, 'a');
const HttpLogin kLogin{"会員1", "パス word"};

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

class Http : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new test::TempDir("velt-http");
        std::filesystem::create_directories(*root_ / "member/data/Paci");
        test::writeFile(*root_ / ("." + kArchive), kBody);
    }
    static void TearDownTestSuite() { delete root_; }

    std::vector<std::string> serverArgs(std::vector<std::string> more = {}) const {
        std::vector<std::string> args{"--root", root_->path(), "--id", kLogin.id};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    static test::TempDir* root_;
};
test::TempDir* Http::root_ = nullptr;

// Each answer of the server, and each way a transfer ends, comes back as what it is; only a 2xx
// body reaches the sink.
TEST_F(Http, AnswersAndFaults) {
    test::FakeJrdb server(
        serverArgs({"--fault", "/member/404=404", "--fault", "/member/500=500", "--fault",
                    "/member/stall=stall", "--fault", "/member/short=short", "--fault",
                    "/member/huge=huge:300000000", "--fault", "/member/stream=stream:300000000",
                    "--fault", "/member/here=redirect:" + kArchive, "--fault",
                    "/member/away=redirect:http://localhost:1" + kArchive}),
        kLogin.password);
    const HttpLogin wrong{kLogin.id, "x"};
    struct Case {
        std::string path;
        const HttpLogin* login;
        E error;
        int status;
        std::string body;
    } cases[] = {
        {kArchive, &kLogin, E::None, 200, kBody},
        {"/member/here", &kLogin, E::None, 200, kBody},  // the same server: followed
        {kArchive, &wrong, E::None, 401, ""},
        {kArchive, nullptr, E::None, 401, ""},
        {"/member/404", &kLogin, E::None, 404, ""},
        {"/member/500", &kLogin, E::None, 500, ""},
        {"/member/stall", &kLogin, E::Timeout, 200, ""},
        {"/member/short", &kLogin, E::Network, 200, std::string(1000, 'x')},
        {"/member/huge", &kLogin, E::TooLarge, 200, ""},    // declared: refused before the body
        {"/member/stream", &kLogin, E::TooLarge, 200, ""},  // the body itself passes the limit
        {"/member/away", &kLogin, E::Network, 302, ""},     // another host: not followed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto client = platform::makeHttpClient(testOptions());
        const auto f = get(*client, server.url() + c.path.substr(1), c.login);
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

// Cancel from another thread ends a stalled GET at once, and every later one.
TEST_F(Http, CancelFromAnotherThread) {
    test::FakeJrdb server(serverArgs({"--fault", "/member/stall=stall"}), kLogin.password);
    auto options = testOptions();
    options.stallTimeoutMs = 60000;
    auto client = platform::makeHttpClient(options);
    const auto start = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        client->cancel();
    });
    const auto f = get(*client, server.url() + "member/stall", &kLogin);
    canceller.join();
    EXPECT_EQ(f.result.error, E::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(get(*client, server.url() + kArchive.substr(1), &kLogin).result.error, E::Cancelled);
}

// TLS: the test CA makes the server trusted; without it the certificate is refused.
TEST_F(Http, TlsVerified) {
    test::TempDir certs("velt-certs");
    test::FakeJrdb server(serverArgs({"--tls", certs.path()}), kLogin.password);
    ASSERT_EQ(server.url().rfind("https://", 0), 0u);
    auto options = testOptions();
    options.caFile = certs / "ca.pem";
    auto trusting = platform::makeHttpClient(options);
    const auto ok = get(*trusting, server.url() + kArchive.substr(1), &kLogin);
    EXPECT_EQ(ok.result.error, E::None) << ok.result.detail;
    EXPECT_EQ(ok.body, kBody);

    options.caFile = VELT_TEST_DATA "/../support/fake_jrdb.py";  // no CA in it
    for (const auto& o : {testOptions(), options}) {
        ::unsetenv("VELT_TEST_CA_FILE");
        auto client = platform::makeHttpClient(o);
        const auto refused = get(*client, server.url() + kArchive.substr(1), &kLogin);
        EXPECT_EQ(refused.result.error, E::Tls) << refused.result.detail;
        EXPECT_EQ(refused.body, "");
    }
}

}  // namespace
}  // namespace velt
