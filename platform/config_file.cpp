// Settings file: parsing, look-up and line-preserving edits.
#include "platform/config_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// "[name]" gives name; anything else gives nothing.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return Trim(line.substr(1, line.size() - 2));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> ParseKeyValue(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[') return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    KeyValue kv{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
    if (kv.value.size() >= 2 && kv.value.front() == '"' && kv.value.back() == '"') {
        kv.value = kv.value.substr(1, kv.value.size() - 2);
    }
    return kv;
}

}  // namespace

std::filesystem::path ConfigFile::DefaultPath() {
    if (const char* p = std::getenv("BRINDLEMOOR_CONFIG"); p && *p) return p;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x && x[0] == '/') {
        return std::filesystem::path(x) / "brindlemoor" / "brindlemoor.conf";
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/") / ".config" / "brindlemoor" / "brindlemoor.conf";
}

ConfigFile ConfigFile::Parse(std::string_view text) {
    ConfigFile config;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        config.m_lines.emplace_back(line);
        start = end + 1;
    }
    return config;
}

ConfigFile ConfigFile::LoadFrom(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

std::optional<std::string> ConfigFile::Get(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (const auto& line : m_lines) {
        if (auto name = SectionName(line)) {
            inside = SameName(*name, section);
            continue;
        }
        if (!inside) continue;
        if (auto kv = ParseKeyValue(line); kv && SameName(kv->key, key)) return std::string(kv->value);
    }
    return std::nullopt;
}

std::string ConfigFile::GetOr(std::string_view section, std::string_view key, std::string fallback) const {
    auto value = Get(section, key);
    return value ? *value : std::move(fallback);
}

bool ConfigFile::IsSecretKey(std::string_view key) {
    return SameName(Trim(key), "password") || SameName(Trim(key), "pwd");
}

bool ConfigFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (IsSecretKey(key)) return false;
    if (value.find_first_of("\r\n") != std::string_view::npos) return false;
    const std::string line = std::string(key) + " = " + std::string(value);
    bool inside = false;
    std::optional<std::size_t> section_end;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (auto name = SectionName(m_lines[i])) {
            inside = SameName(*name, section);
            if (inside) section_end = i + 1;
            continue;
        }
        if (!inside) continue;
        if (auto kv = ParseKeyValue(m_lines[i]); kv && SameName(kv->key, key)) {
            m_lines[i] = line;
            return true;
        }
        if (!Trim(m_lines[i]).empty()) section_end = i + 1;
    }
    if (section_end) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*section_end), line);
    } else {
        while (!m_lines.empty() && Trim(m_lines.back()).empty()) m_lines.pop_back();
        if (!m_lines.empty()) m_lines.emplace_back();
        m_lines.push_back("[" + std::string(section) + "]");
        m_lines.push_back(line);
    }
    return true;
}

std::string ConfigFile::Text() const {
    std::string text;
    for (const auto& line : m_lines) {
        text += line;
        text += '\n';
    }
    return text;
}

bool ConfigFile::SaveTo(const std::filesystem::path& path, std::string* error) const {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    const std::filesystem::path temp = path.string() + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail("cannot create the settings file");
    const std::string text = Text();
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail("cannot write the settings file");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot write the settings file");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot replace the settings file");
    }
    return true;
}

}  // namespace platform
