#include "platform/http_common.h"

namespace velt::platform::http {

namespace {
constexpr int kMaxRedirects = 5;
}

std::string tooLarge(std::uint64_t maxBytes) {
    return "大きすぎます (上限 " + std::to_string(maxBytes) + " バイト)";
}

std::string stalled(long stallTimeoutMs) {
    // "30", or "1.5" for a test's shortened timeout.
    std::string seconds = std::to_string(stallTimeoutMs / 1000);
    if (stallTimeoutMs % 1000 != 0) seconds += "." + std::to_string(stallTimeoutMs % 1000 / 100);
    return seconds + " 秒のあいだ何も届きません";
}

HttpResult followRedirects(
    const std::string& url,
    const std::function<std::optional<std::string>(const std::string&)>& server,
    const std::function<HttpResult(const std::string& url, std::string& location)>& once) {
    HttpResult result;
    const auto first = server(url);
    if (!first) {
        result.error = HttpResult::Error::Network;
        result.detail = "アドレスが正しくありません: " + url;
        return result;
    }
    std::string current = url;
    for (int hop = 0;; ++hop) {
        std::string location;
        result = once(current, location);
        if (result.error != HttpResult::Error::None || result.status < 300 ||
            result.status >= 400 || location.empty())
            return result;
        if (server(location) != first) {
            result.error = HttpResult::Error::Network;
            result.detail = "別のサーバーへの転送には従いません: " + location;
            return result;
        }
        if (hop + 1 >= kMaxRedirects) {
            result.error = HttpResult::Error::Network;
            result.detail = "転送が多すぎます: " + location;
            return result;
        }
        current = location;
    }
}

}  // namespace velt::platform::http
