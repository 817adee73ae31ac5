// Version comparison, version-file rules and progress texts.
#include "update/version_rules.h"

#include <array>
#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace update {

namespace {

// Up to four numbers; nullopt when the text is malformed.
std::optional<std::array<std::uint32_t, 4>> SplitVersion(std::u16string_view text) {
    std::array<std::uint32_t, 4> numbers{};
    int count = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'.', start);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view piece = text.substr(start, end - start);
        if (!piece.empty()) {
            if (!IsAllDigits(piece) || count == 4) return std::nullopt;
            std::uint64_t value = 0;
            for (char16_t c : piece) {
                value = value * 10 + static_cast<std::uint64_t>(c - u'0');
                if (value > 0xFFFFFFFFu) return std::nullopt;
            }
            numbers[count++] = static_cast<std::uint32_t>(value);
        }
        start = end + 1;
    }
    if (count == 0) return std::nullopt;
    return numbers;
}

std::u16string Printf(const char* format, double value, const char* unit) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value, unit);
    return platform::Widen(buffer);
}

}  // namespace

bool IsAllDigits(std::u16string_view text) {
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
    }
    return true;
}

int CompareVersions(std::u16string_view offered, std::u16string_view installed) {
    const auto a = SplitVersion(offered);
    if (!a) return -21;
    const auto b = SplitVersion(installed);
    if (!b) return -22;
    if ((*a)[0] > (*b)[0]) return 2;
    if ((*a)[0] < (*b)[0]) return -1;
    for (int i = 1; i < 4; ++i) {
        if ((*a)[i] > (*b)[i]) return 1;
        if ((*a)[i] < (*b)[i]) return -1;
    }
    return 0;
}

VersionOffer EvaluateVersionFile(std::string_view body, std::u16string_view installed) {
    VersionOffer offer;
    if (body.size() > kMaxVersionFileSize) return offer;
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) end = body.size();
        std::string_view line = body.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    // A last empty line is only the file's final line break.
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.empty() || lines.size() > 2) return offer;

    struct Line {
        std::u16string version;
        std::u16string description;
    };
    std::vector<Line> parsed;
    for (std::string_view line : lines) {
        // The version runs up to the separator (a blank or a tab); the description follows it.
        std::size_t separator = line.find_first_of(" \t");
        const std::string_view version = line.substr(0, separator);
        if (version.empty() || version.size() > kMaxVersionLength) return offer;
        const std::string_view description =
            separator == std::string_view::npos ? std::string_view() : line.substr(separator + 1);
        parsed.push_back({platform::FromUtf8(version), platform::FromUtf8(description)});
    }

    const int r1 = CompareVersions(parsed[0].version, installed);
    int outcome = r1;
    offer.version = parsed[0].version;
    offer.description = parsed[0].description;
    if (parsed.size() == 2) {
        const int r2 = CompareVersions(parsed[1].version, installed);
        if (r2 == -21 || r2 == -22 || r1 == -21 || r1 == -22) {
            outcome = r1 < -1 ? r1 : r2;
        } else {
            outcome = r1 == 1 ? 3 : r2;
            if (r2 == 1 || r2 == -1) {
                offer.version = parsed[1].version;
                offer.description = parsed[1].description;
            }
        }
    }
    switch (outcome) {
        case 0:
        case -1: offer.result = kCheckUpToDate; break;
        case 1: offer.result = kCheckNewer; break;
        case 2: offer.result = kCheckNewMajor; break;
        case 3: offer.result = kCheckNewerAndSecond; break;
        default: offer.result = kCheckMalformed; break;
    }
    return offer;
}

std::optional<Manifest> ParseManifest(std::string_view body) {
    if (body.size() > kMaxVersionFileSize) return std::nullopt;
    Manifest manifest;
    std::string_view rest = body;
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
    const std::size_t last_break = rest.rfind('\n');
    const std::size_t last_start = last_break == std::string_view::npos ? 0 : last_break + 1;
    std::string_view last = rest.substr(last_start);
    constexpr std::string_view kPackage = "package ";
    if (last.substr(0, kPackage.size()) != kPackage) {
        manifest.version_lines = std::string(body);
        return manifest;
    }
    manifest.version_lines = std::string(body.substr(0, last_start));
    last.remove_prefix(kPackage.size());
    // Exactly three fields, one blank apart.
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= last.size()) {
        std::size_t end = last.find(' ', start);
        if (end == std::string_view::npos) end = last.size();
        fields.push_back(last.substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() != 3) return std::nullopt;
    PackageEntry package;
    package.version = platform::FromUtf8(fields[0]);
    if (fields[0].empty() || fields[0].size() > kMaxVersionLength || CompareVersions(package.version, u"0") < -1) {
        return std::nullopt;
    }
    const std::string_view size = fields[1];
    if (size.empty() || size.size() > 15 || size[0] == '0') return std::nullopt;  // no leading zero, not 0
    for (char c : size) {
        if (c < '0' || c > '9') return std::nullopt;
        package.size = package.size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    const std::string_view hash = fields[2];
    if (hash.size() != 64) return std::nullopt;
    for (char c : hash) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    }
    package.sha256 = std::string(hash);
    manifest.package = std::move(package);
    return manifest;
}

std::string ShellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string InstallCommand(const std::string& package_path, const std::string& sha256) {
    // sha256sum reads "<hash>  <name>" to the line's end, so the name needs no escaping of its own.
    return "echo " + ShellQuote(sha256 + "  " + package_path) + " | sha256sum --check && sudo apt install " +
           ShellQuote(package_path);
}

std::u16string FormatFileSize(std::int64_t bytes) {
    if (bytes / (1LL << 30) != 0) return Printf("%.2f %s", static_cast<double>(bytes) / (1LL << 30), "GB");
    if (bytes / (1LL << 20) != 0) return Printf("%.2f %s", static_cast<double>(bytes) / (1LL << 20), "MB");
    if (bytes / 1024 != 0) return Printf("%.2f %s", static_cast<double>(bytes) / 1024, "KB");
    return Printf("%.2f %s", static_cast<double>(bytes), "bytes");
}

std::u16string FormatTimeText(int seconds, std::uint64_t done, std::optional<std::uint64_t> expected) {
    if (expected) {
        return platform::Widen(std::to_string(seconds) + " sec(") +
               FormatFileSize(static_cast<std::int64_t>(done)) + u" of " +
               FormatFileSize(static_cast<std::int64_t>(*expected)) + u" copied)";
    }
    return platform::Widen(std::to_string(done / 1024) + " Ko in " + std::to_string(seconds) + " sec");
}

std::u16string FormatRateText(std::uint64_t done, int seconds) {
    const std::uint64_t per_second = done / static_cast<std::uint64_t>(seconds < 1 ? 1 : seconds);
    return FormatFileSize(static_cast<std::int64_t>(per_second)) + u"/sec";
}

}  // namespace update
