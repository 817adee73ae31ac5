// One HTTP GET over libcurl with the update's safety rules: https only (plain http only to this machine's
// loopback addresses), redirects followed by hand and checked the same way (at most five), status 200 only,
// this machine never reached through a proxy, time limits, a cap on the body, and a cancel between blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace update {

// https://..., or http:// to localhost, 127.x.x.x or [::1].
bool IsAllowedUpdateUrl(std::string_view url);
// The host part of an absolute URL ("" when it has none).
std::string UrlHost(std::string_view url);

struct HttpLimits {
    long connect_seconds = 10;
    long total_seconds = 30;        // 0: no limit on the whole transfer
    long low_speed_bytes = 0;       // below this many bytes a second ...
    long low_speed_seconds = 0;     // ... for this long the transfer is given up; 0: no such limit
    std::uint64_t max_body = 0;     // 0: no cap; a larger declared or received body is refused
    int max_redirects = 5;
};

enum class HttpOutcome {
    Ok,
    NotFound,       // a status other than 200, a refused or too long chain of redirects
    Connection,     // no connection, a time limit, a broken transfer
    TooLarge,       // the body (declared or received) exceeds the cap
    Truncated,      // fewer bytes than the server declared
    Cancelled,
    SinkFailed,     // the receiver of the body refused a block
};

struct HttpResult {
    HttpOutcome outcome = HttpOutcome::Connection;
    long status = 0;
    std::optional<std::uint64_t> content_length;  // as the final response declared it
    std::uint64_t received = 0;
    std::string final_url;
    std::string error;  // libcurl's or our reason, for the log
};

struct HttpRequest {
    std::string url;
    HttpLimits limits;
    const std::atomic<bool>* cancel = nullptr;
    // Called once the final response's headers are in, with its declared length; false refuses the body.
    std::function<bool(std::optional<std::uint64_t> declared)> on_start;
    // Each block of the 200 response's body; false stops the transfer (SinkFailed).
    std::function<bool(const char* data, std::size_t size)> on_data;
};

HttpResult HttpGet(const HttpRequest& request);

}  // namespace update
