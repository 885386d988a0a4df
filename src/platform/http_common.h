#pragma once
// Inside the HTTP clients: what libcurl's and WinHTTP's sides share, so that both follow
// redirects alike and word their failures alike.

#include <functional>
#include <optional>
#include <string>

#include "platform/http.h"

namespace velt::platform::http {

inline const char kCancelled[] = "取り消しました";
inline const char kCutShort[] = "転送が途中で切れました";
std::string tooLarge(std::uint64_t maxBytes);
std::string stalled(long stallTimeoutMs);

// GETs `url` through `once`, which sets `location` to the absolute address a 3xx answer points
// to, and follows that only where `server` (scheme, host and port as one text; nullopt for an
// address that is not HTTP) is the first address's.
HttpResult followRedirects(
    const std::string& url,
    const std::function<std::optional<std::string>(const std::string&)>& server,
    const std::function<HttpResult(const std::string& url, std::string& location)>& once);

}  // namespace velt::platform::http
