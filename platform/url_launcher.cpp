// Link checks and the exchangeable opener.
#include "platform/url_launcher.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex g_mutex;
UrlLauncher::Opener g_opener;
UrlLauncher::Logger g_logger;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

void Log(const std::string& line) {
    UrlLauncher::Logger logger;
    {
        std::lock_guard lock(g_mutex);
        logger = g_logger;
    }
    if (logger) {
        logger(line);
    } else {
        std::cerr << line << '\n';
    }
}

// The address as a log shows it: printable ASCII kept, every other byte as \xNN, cut after 200 characters.
std::string Printable(std::string_view url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url.substr(0, 200)) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (url.size() > 200) out += "...";
    return out;
}

}  // namespace

bool IsAllowedUrl(std::string_view url) {
    std::size_t rest = 0;
    if (StartsWithNoCase(url, "https://")) {
        rest = 8;
    } else if (StartsWithNoCase(url, "http://")) {
        rest = 7;
    } else if (StartsWithNoCase(url, "mailto:")) {
        rest = 7;
    } else {
        return false;
    }
    if (url.size() <= rest) return false;
    for (unsigned char c : url) {
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

bool UrlLauncher::Open(std::string_view url) {
    if (!IsAllowedUrl(url)) {
        Log("Link refused (only http, https and mailto are opened): \"" + Printable(url) + "\"");
        return false;
    }
    Opener opener;
    {
        std::lock_guard lock(g_mutex);
        opener = g_opener;
    }
    if (!opener) {
        Log("No program to open links is set up: \"" + Printable(url) + "\"");
        return false;
    }
    const std::string text(url);
    if (!opener(text)) {
        Log("The link could not be opened: \"" + Printable(url) + "\"");
        return false;
    }
    return true;
}

UrlLauncher::Opener UrlLauncher::SetOpener(Opener opener) {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_opener, std::move(opener));
}

UrlLauncher::Logger UrlLauncher::SetLogger(Logger logger) {
    std::lock_guard lock(g_mutex);
    return std::exchange(g_logger, std::move(logger));
}

}  // namespace platform
