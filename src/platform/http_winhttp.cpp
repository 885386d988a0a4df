// HTTP through WinHTTP, which Windows itself provides. Proxies are the system's; redirects are
// followed here, each checked against the first address; basic authentication is sent as UTF-8
// in the request's own header, since WinHTTP's credentials take no code page.
#include <windows.h>
// after windows.h, whose types it uses
#include <winhttp.h>

#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/http.h"
#include "platform/http_common.h"
#include "platform/windows_text.h"

namespace velt::platform {
namespace {

constexpr DWORD kChunk = 64 * 1024;
#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

struct Url {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
};

std::optional<Url> parse(const std::string& url) {
    const std::wstring w = wide(url);
    URL_COMPONENTS c = {};
    c.dwStructSize = sizeof c;
    c.dwSchemeLength = c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(w.c_str(), DWORD(w.size()), 0, &c)) return std::nullopt;
    if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS)
        return std::nullopt;
    Url u;
    u.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    u.host.assign(c.lpszHostName, c.dwHostNameLength);
    u.port = c.nPort;
    u.path.assign(c.lpszUrlPath, c.dwUrlPathLength);
    u.path.append(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (u.path.empty()) u.path = L"/";
    return u;
}

// "scheme://host:port" of an HTTP address.
std::optional<std::string> serverOf(const std::string& url) {
    const auto u = parse(url);
    if (!u) return std::nullopt;
    std::wstring host = u->host;
    CharLowerBuffW(host.data(), DWORD(host.size()));
    return std::string(u->secure ? "https" : "http") + "://" + utf8(host.c_str()) + ":" +
           std::to_string(u->port);
}

// A Location against the address that gave it: absolute, from the host's root, or relative.
std::string resolve(const std::string& base, const std::string& location) {
    if (location.find("://") != std::string::npos) return location;
    const auto scheme = base.find("://");
    if (location.rfind("//", 0) == 0) return base.substr(0, scheme + 1) + location;
    const auto root = base.find('/', scheme + 3);
    const std::string origin = base.substr(0, root);
    if (!location.empty() && location[0] == '/') return origin + location;
    std::string path = root == std::string::npos ? "/" : base.substr(root);
    path = path.substr(0, path.find_first_of("?#"));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

std::string base64(const std::string& in) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = unsigned(static_cast<unsigned char>(in[i])) << 16;
        if (i + 1 < in.size()) v |= unsigned(static_cast<unsigned char>(in[i + 1])) << 8;
        if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
        out += digits[v >> 18 & 63];
        out += digits[v >> 12 & 63];
        out += i + 1 < in.size() ? digits[v >> 6 & 63] : '=';
        out += i + 2 < in.size() ? digits[v & 63] : '=';
    }
    return out;
}

struct Handle {
    HINTERNET h = nullptr;
    Handle() = default;
    explicit Handle(HINTERNET handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

std::optional<std::wstring> header(HINTERNET request, DWORD which) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    text.resize(size / sizeof(wchar_t));
    return text;
}

class WinHttpClient final : public HttpClient {
public:
    explicit WinHttpClient(HttpOptions options) : options_(std::move(options)) {
        const std::wstring agent = wide(options_.userAgent);
        // The system's proxy settings: automatic ones from Windows 8.1 on, else Internet
        // Explorer's.
        session_.h = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_.h) {
            WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
            const bool named = WinHttpGetIEProxyConfigForCurrentUser(&ie) && ie.lpszProxy;
            session_.h = WinHttpOpen(
                agent.c_str(),
                named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                named ? ie.lpszProxy : WINHTTP_NO_PROXY_NAME,
                named && ie.lpszProxyBypass ? ie.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
            for (LPWSTR s : {ie.lpszAutoConfigUrl, ie.lpszProxy, ie.lpszProxyBypass})
                if (s) GlobalFree(s);
        }
        if (session_.h) {
            const int connect = int(options_.connectTimeoutMs),
                      stall = int(options_.stallTimeoutMs);
            WinHttpSetTimeouts(session_.h, connect, connect, stall, stall);
        }
    }

    HttpResult get(const std::string& url, const HttpLogin* login, std::uint64_t maxBytes,
                   const std::function<bool(const char*, std::size_t)>& sink) override {
        return http::followRedirects(url, serverOf, [&](const std::string& at, std::string& next) {
            return once(at, *parse(at), login, maxBytes, sink, next);
        });
    }

    // Closing the request's handle ends a call blocked on it in another thread (under Wine only
    // the receive timeout ends it; the GET still ends as cancelled).
    void cancel() override {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        if (request_) WinHttpCloseHandle(request_);
        request_ = nullptr;
    }

private:
    HttpResult once(const std::string& url, const Url& u, const HttpLogin* login,
                    std::uint64_t maxBytes,
                    const std::function<bool(const char*, std::size_t)>& sink,
                    std::string& location) {
        using E = HttpResult::Error;
        HttpResult result;
        result.finalUrl = url;
        bool answered = false;  // the headers came: a timeout now is a stall
        auto fail = [&](E error, std::string words) {
            result.error = error;
            result.detail = std::move(words);
            return result;
        };
        auto failed = [&](DWORD code) {
            if (cancelled_ || code == ERROR_WINHTTP_OPERATION_CANCELLED ||
                code == ERROR_INVALID_HANDLE)
                return fail(E::Cancelled, http::kCancelled);
            switch (code) {
                case ERROR_WINHTTP_TIMEOUT:
                case WSAETIMEDOUT:  // Wine's word for it
                    return answered || result.status
                               ? fail(E::Timeout, http::stalled(options_.stallTimeoutMs))
                               : fail(E::Timeout, "時間内に接続できないか、応答がありません");
                case ERROR_WINHTTP_NAME_NOT_RESOLVED:
                    return fail(E::Network, "サーバーの名前を引けません");
                case ERROR_WINHTTP_CANNOT_CONNECT:
                    return fail(E::Network, "サーバーに接続できません");
                case ERROR_WINHTTP_CONNECTION_ERROR:
                    return fail(E::Network, "接続が切れました");
                case ERROR_WINHTTP_SECURE_FAILURE:
                case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
                case ERROR_WINHTTP_SECURE_INVALID_CA:
                case ERROR_WINHTTP_SECURE_INVALID_CERT:
                case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
                case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
                case ERROR_WINHTTP_SECURE_CERT_REVOKED:
                    return fail(E::Tls, "サーバーの証明書を確かめられません");
                default:
                    return fail(E::Network, "通信に失敗しました (WinHTTP のエラー " +
                                                std::to_string(code) + ")");
            }
        };
        if (cancelled_) return fail(E::Cancelled, http::kCancelled);
        if (!session_.h) return failed(GetLastError());
        Handle connection(WinHttpConnect(session_.h, u.host.c_str(), u.port, 0));
        if (!connection.h) return failed(GetLastError());
        HINTERNET request =
            WinHttpOpenRequest(connection.h, L"GET", u.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, u.secure ? WINHTTP_FLAG_SECURE : 0);
        if (!request) return failed(GetLastError());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) {
                WinHttpCloseHandle(request);
                return fail(E::Cancelled, http::kCancelled);
            }
            request_ = request;
        }
        // Closed here unless cancel() closed it first.
        struct Release {
            WinHttpClient& self;
            ~Release() {
                std::lock_guard<std::mutex> lock(self.mutex_);
                if (self.request_) WinHttpCloseHandle(self.request_);
                self.request_ = nullptr;
            }
        } release{*this};

        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        std::wstring headers;
        if (login)
            headers = L"Authorization: Basic " + wide(base64(login->id + ":" + login->password));
        if (!WinHttpSendRequest(request,
                                headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                DWORD(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return failed(GetLastError());
        SecureZeroMemory(headers.data(), headers.size() * sizeof(wchar_t));
        if (!WinHttpReceiveResponse(request, nullptr)) return failed(GetLastError());
        answered = true;

        DWORD status = 0, size = sizeof status;
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        result.status = int(status);
        if (auto length = header(request, WINHTTP_QUERY_CONTENT_LENGTH))
            result.declared = std::wcstoull(length->c_str(), nullptr, 10);
        if (status >= 300 && status < 400) {
            if (auto where = header(request, WINHTTP_QUERY_LOCATION))
                location = resolve(url, utf8(where->c_str()));
        }
        if (status < 200 || status >= 300) return result;  // the body is not the caller's
        if (result.declared > maxBytes) return fail(E::TooLarge, http::tooLarge(maxBytes));

        std::string buffer(kChunk, '\0');
        for (;;) {
            DWORD read = 0;
            if (!WinHttpReadData(request, buffer.data(), kChunk, &read))
                return failed(GetLastError());
            if (read == 0) break;
            if (result.received + read > maxBytes)
                return fail(E::TooLarge, http::tooLarge(maxBytes));
            if (!sink(buffer.data(), read)) return fail(E::Write, "受け取ったデータを書けません");
            result.received += read;
        }
        if (result.declared && result.received < result.declared)
            return fail(E::Network, http::kCutShort);
        return result;
    }

    HttpOptions options_;
    Handle session_;
    std::mutex mutex_;
    std::atomic<bool> cancelled_{false};
    HINTERNET request_ = nullptr;  // the request under way, for cancel()
};

}  // namespace

std::unique_ptr<HttpClient> makeHttpClient(const HttpOptions& options) {
    return std::make_unique<WinHttpClient>(options);
}

}  // namespace velt::platform
