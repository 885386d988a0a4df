// HTTP through libcurl. Redirects are followed here rather than by libcurl, so that each target
// is checked against the first address before anything is sent to it.
#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/http.h"
#include "platform/http_common.h"
#include "platform/system.h"

#ifndef CURL_WRITEFUNC_ERROR  // before libcurl 7.87
#define CURL_WRITEFUNC_ERROR 0
#endif

namespace velt::platform {
namespace {

// Bodies of answers other than 2xx are not the caller's: read this much of them, then stop.
constexpr std::uint64_t kDiscardLimit = 64 * 1024;

using Clock = std::chrono::steady_clock;

// "scheme://host:port" of an absolute HTTP address (the port filled in from the scheme).
std::optional<std::string> serverOf(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), curl_url_cleanup);
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    std::string parts[3];
    const CURLUPart which[3] = {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT};
    for (int i = 0; i < 3; ++i) {
        char* text = nullptr;
        if (curl_url_get(u.get(), which[i], &text, i == 2 ? CURLU_DEFAULT_PORT : 0) != CURLUE_OK)
            return {};
        parts[i] = text;
        curl_free(text);
    }
    if (parts[0] != "http" && parts[0] != "https") return {};
    for (char& c : parts[1]) c = char(std::tolower(static_cast<unsigned char>(c)));
    return parts[0] + "://" + parts[1] + ":" + parts[2];
}

// One transfer's state, seen by libcurl's callbacks.
struct Transfer {
    const std::function<bool(const char*, std::size_t)>* sink = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    std::uint64_t maxBytes = 0;
    std::chrono::milliseconds stallLimit{0};
    long status = 0;  // of the answer whose headers came last
    std::uint64_t received = 0, discarded = 0;
    Clock::time_point lastByte = Clock::now();
    bool tooLarge = false, sinkRefused = false, stalled = false, discardFull = false;

    bool forCaller() const { return status >= 200 && status < 300; }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    t.lastByte = Clock::now();
    const std::string_view line(data, size * count);
    // Each answer (a 100 Continue, a redirect, the last one) starts with its status line.
    if (line.starts_with("HTTP/")) {
        const auto space = line.find(' ');
        t.status = space == std::string_view::npos
                       ? 0
                       : std::atol(std::string(line.substr(space + 1, 3)).c_str());
    }
    return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    t.lastByte = Clock::now();
    if (!t.forCaller()) {
        t.discarded += n;
        if (t.discarded > kDiscardLimit) {
            t.discardFull = true;
            return CURL_WRITEFUNC_ERROR;
        }
        return n;
    }
    if (t.received + n > t.maxBytes) {
        t.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    if (!(*t.sink)(data, n)) {
        t.sinkRefused = true;
        return CURL_WRITEFUNC_ERROR;
    }
    t.received += n;
    return n;
}

// Called about once a second even while nothing arrives: cancel and the stall timer live here.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& t = *static_cast<Transfer*>(user);
    if (t.cancelled->load()) return 1;
    if (Clock::now() - t.lastByte > t.stallLimit) {
        t.stalled = true;
        return 1;
    }
    return 0;
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string withCause(std::string words, const char* errorBuffer) {
    if (errorBuffer[0] != '\0') words += std::string(" (") + errorBuffer + ")";
    return words;
}

class CurlClient final : public HttpClient {
public:
    explicit CurlClient(HttpOptions options) : options_(std::move(options)) {
        initialiseOnce();
        if (options_.caFile.empty()) {
            options_.caFile = environmentVariable("VELT_TEST_CA_FILE").value_or("");
        }
    }

    HttpResult get(const std::string& url, const HttpLogin* login, std::uint64_t maxBytes,
                   const std::function<bool(const char*, std::size_t)>& sink) override {
        return http::followRedirects(url, serverOf, [&](const std::string& at, std::string& next) {
            return once(at, login, maxBytes, sink, next);
        });
    }

    void cancel() override { cancelled_ = true; }

private:
    HttpResult once(const std::string& url, const HttpLogin* login, std::uint64_t maxBytes,
                    const std::function<bool(const char*, std::size_t)>& sink, std::string& next) {
        HttpResult result;
        if (cancelled_) {
            result.error = HttpResult::Error::Cancelled;
            result.detail = http::kCancelled;
            return result;
        }
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(),
                                                                   curl_easy_cleanup);
        if (!handle) {
            result.error = HttpResult::Error::Network;
            result.detail = "通信の準備ができません";
            return result;
        }
        CURL* h = handle.get();
        Transfer t;
        t.sink = &sink;
        t.cancelled = &cancelled_;
        t.maxBytes = maxBytes;
        t.stallLimit = std::chrono::milliseconds(options_.stallTimeoutMs);
        char errorBuffer[CURL_ERROR_SIZE] = {};

        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
#else
        curl_easy_setopt(h, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_USERAGENT, options_.userAgent.c_str());
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeoutMs);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!options_.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, options_.caFile.c_str());
        if (login) {
            curl_easy_setopt(h, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(h, CURLOPT_USERNAME, login->id.c_str());
            curl_easy_setopt(h, CURLOPT_PASSWORD, login->password.c_str());
        }
        // A declared length over the limit is refused before any of the body comes.
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes));
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);

        const CURLcode code = curl_easy_perform(h);

        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        result.status = int(status);
        curl_off_t declared = -1;
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        result.declared = declared > 0 ? std::uint64_t(declared) : 0;
        result.received = t.received;
        char* effective = nullptr;
        curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
        result.finalUrl = effective ? effective : url;
        char* location = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
            next = location;

        using E = HttpResult::Error;
        auto fail = [&](E error, std::string words) {
            result.error = error;
            result.detail = withCause(std::move(words), errorBuffer);
        };
        switch (code) {
            case CURLE_OK:
                break;
            case CURLE_WRITE_ERROR:
                if (t.tooLarge)
                    fail(E::TooLarge, http::tooLarge(maxBytes));
                else if (t.sinkRefused)
                    fail(E::Write, "受け取ったデータを書けません");
                else if (!t.discardFull)
                    fail(E::Network, "受け取れません");
                break;  // the rest of an error page is not needed
            case CURLE_FILESIZE_EXCEEDED:
                fail(E::TooLarge, http::tooLarge(maxBytes));
                break;
            case CURLE_ABORTED_BY_CALLBACK:
                result.error = t.stalled ? E::Timeout : E::Cancelled;
                result.detail =
                    t.stalled ? http::stalled(options_.stallTimeoutMs) : http::kCancelled;
                break;
            case CURLE_OPERATION_TIMEDOUT:
                fail(E::Timeout, "時間内に接続できません");
                break;
            case CURLE_PEER_FAILED_VERIFICATION:
            case CURLE_SSL_CONNECT_ERROR:
            case CURLE_SSL_CERTPROBLEM:
            case CURLE_SSL_CACERT_BADFILE:
            case CURLE_SSL_CIPHER:
            case CURLE_SSL_ISSUER_ERROR:
                fail(E::Tls, "サーバーの証明書を確かめられません");
                break;
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY:
                fail(E::Network, "サーバーの名前を引けません");
                break;
            case CURLE_COULDNT_CONNECT:
                fail(E::Network, "サーバーに接続できません");
                break;
            case CURLE_PARTIAL_FILE:
                fail(E::Network, http::kCutShort);
                break;
            default:
                fail(E::Network, "通信に失敗しました");
                break;
        }
        return result;
    }

    HttpOptions options_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace

std::unique_ptr<HttpClient> makeHttpClient(const HttpOptions& options) {
    return std::make_unique<CurlClient>(options);
}

}  // namespace velt::platform
