#pragma once
// HTTP GET for the JRDB member area: basic authentication, a body limit, timeouts and cancel.
// libcurl on Linux, WinHTTP on Windows; nothing above the platform layer sees either.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velt::platform {

struct HttpOptions {
    std::string userAgent;                 // "Velt/<version>"
    long connectTimeoutMs = 15000;         // to connect
    long stallTimeoutMs = 30000;           // without a byte
    // A CA bundle trusted instead of the system's (tests). Empty: VELT_TEST_CA_FILE when set,
    // else the system's. Certificates are always verified.
    std::string caFile;
};

struct HttpLogin {
    std::string id;        // UTF-8, sent as UTF-8
    std::string password;  // UTF-8, sent as UTF-8; never logged, never in a message
};

// What a GET came to. Transport failures are not thrown: they come back with `error` set, so
// that the caller words them with the page or file they concern.
struct HttpResult {
    enum class Error { None, Network, Timeout, TooLarge, Cancelled, Tls, Write };
    Error error = Error::None;
    std::string detail;        // the transport's own cause, in plain words (no password)
    int status = 0;            // HTTP status when a response came
    std::uint64_t received = 0;  // body bytes handed to the sink
    std::uint64_t declared = 0;  // Content-Length when given, else 0
    std::string finalUrl;        // after redirects
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    // GETs `url`; the body goes to `sink` piece by piece (false from the sink stops with
    // Error::Write). Only a 2xx answer's body reaches the sink; any other status comes back in
    // `status` with Error::None. More than `maxBytes` of body, or a Content-Length declaring more,
    // stops with Error::TooLarge. Redirects are followed only within the same scheme, host and
    // port; one elsewhere ends with Error::Network and its 3xx status. Proxies are the system's.
    virtual HttpResult get(const std::string& url, const HttpLogin* login, std::uint64_t maxBytes,
                           const std::function<bool(const char*, std::size_t)>& sink) = 0;
    // From any thread: the GET under way, and every later one, ends with Error::Cancelled.
    virtual void cancel() = 0;
};

std::unique_ptr<HttpClient> makeHttpClient(const HttpOptions& options);

}  // namespace velt::platform
