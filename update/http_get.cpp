// The GET over libcurl with redirects followed by hand.
#include "update/http_get.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace update {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "[::1]") return true;
    // 127.0.0.0/8 written as a dotted quad.
    if (host.rfind("127.", 0) != 0) return false;
    int dots = 0;
    for (char c : host) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots == 3;
}

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    const HttpRequest* request = nullptr;
    CURL* curl = nullptr;
    bool started = false;
    bool refused_start = false;
    bool too_large = false;
    bool sink_failed = false;
    long status = 0;
    std::optional<std::uint64_t> declared;
    std::uint64_t received = 0;
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) return bytes;  // the body of a redirect or an error page is not wanted
    if (!t.started) {
        t.started = true;
        t.status = status;
        curl_off_t length = -1;
        if (curl_easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0) {
            t.declared = static_cast<std::uint64_t>(length);
        }
        const std::uint64_t cap = t.request->limits.max_body;
        if (cap != 0 && t.declared && *t.declared > cap) {
            t.too_large = true;
            return 0;
        }
        if (t.request->on_start && !t.request->on_start(t.declared)) {
            t.refused_start = true;
            return 0;
        }
    }
    t.received += bytes;
    if (t.request->limits.max_body != 0 && t.received > t.request->limits.max_body) {
        t.too_large = true;
        return 0;
    }
    if (t.request->on_data && !t.request->on_data(data, bytes)) {
        t.sink_failed = true;
        return 0;
    }
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& t = *static_cast<Transfer*>(user);
    return t.request->cancel != nullptr && t.request->cancel->load() ? 1 : 0;
}

}  // namespace

std::string UrlHost(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest = rest.substr(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        return Lower(rest.substr(0, close == std::string_view::npos ? rest.size() : close + 1));
    }
    return Lower(rest.substr(0, rest.find(':')));
}

bool IsAllowedUpdateUrl(std::string_view url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    const std::string lower = Lower(url.substr(0, 8));
    if (lower.rfind("https://", 0) == 0) return !UrlHost(url).empty();
    if (lower.rfind("http://", 0) == 0) return IsLoopbackHost(UrlHost(url));
    return false;
}

HttpResult HttpGet(const HttpRequest& request) {
    GlobalInit();
    HttpResult result;
    std::string url = request.url;
    for (int hop = 0;; ++hop) {
        if (!IsAllowedUpdateUrl(url)) {
            result.outcome = HttpOutcome::NotFound;
            result.error = "address refused: only https (or http to this machine) is used";
            return result;
        }
        if (hop > request.limits.max_redirects) {
            result.outcome = HttpOutcome::NotFound;
            result.error = "too many redirects";
            return result;
        }
        std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
        if (!curl) {
            result.error = "no transfer handle";
            return result;
        }
        Transfer transfer;
        transfer.request = &request;
        transfer.curl = curl.get();
        char error_text[CURL_ERROR_SIZE] = {};
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, request.limits.connect_seconds);
        curl_easy_setopt(c, CURLOPT_TIMEOUT, request.limits.total_seconds);
        if (request.limits.low_speed_seconds > 0) {
            curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, request.limits.low_speed_bytes);
            curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, request.limits.low_speed_seconds);
        }
        curl_easy_setopt(c, CURLOPT_USERAGENT, "Brindlemoor update");
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnWrite);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 4096L);

        const CURLcode code = curl_easy_perform(c);
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        result.status = status;
        result.final_url = url;
        result.received = transfer.received;
        result.content_length = transfer.declared;
        result.error = error_text[0] != 0 ? error_text : curl_easy_strerror(code);

        if (transfer.too_large) {
            result.outcome = HttpOutcome::TooLarge;
            return result;
        }
        if (transfer.sink_failed || transfer.refused_start) {
            result.outcome = HttpOutcome::SinkFailed;
            return result;
        }
        if (code == CURLE_ABORTED_BY_CALLBACK ||
            (request.cancel != nullptr && request.cancel->load() && code != CURLE_OK)) {
            result.outcome = HttpOutcome::Cancelled;
            return result;
        }
        if (code == CURLE_PARTIAL_FILE) {
            result.outcome = HttpOutcome::Truncated;
            return result;
        }
        if (code != CURLE_OK) {
            result.outcome = HttpOutcome::Connection;
            return result;
        }
        if (status >= 300 && status < 400) {
            char* location = nullptr;
            if (curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || location == nullptr) {
                result.outcome = HttpOutcome::NotFound;
                result.error = "redirect without a usable Location";
                return result;
            }
            url = location;
            continue;
        }
        if (status != 200) {
            result.outcome = HttpOutcome::NotFound;
            result.error = "status " + std::to_string(status);
            return result;
        }
        if (!transfer.started && request.on_start && !request.on_start(std::nullopt)) {
            result.outcome = HttpOutcome::SinkFailed;  // an empty body that the receiver does not take
            return result;
        }
        if (transfer.declared && transfer.received < *transfer.declared) {
            result.outcome = HttpOutcome::Truncated;
            return result;
        }
        result.outcome = HttpOutcome::Ok;
        result.error.clear();
        return result;
    }
}

}  // namespace update
