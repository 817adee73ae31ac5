// Safe names, the numbering rule and the no-overwrite creation of files and folders of a document save.
#include "sharepoint/output_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/text.h"

namespace sharepoint {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Where the extension starts: the last "." unless it is the first character; npos without one.
std::size_t ExtensionStart(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return std::u16string_view::npos;
    return dot;
}

// stem + suffix + extension, the stem cut (never inside a surrogate pair) until the whole fits the limit.
// An extension too long to leave room for anything else is treated as part of the stem.
std::u16string Compose(std::u16string_view name, std::u16string_view suffix) {
    std::size_t dot = ExtensionStart(name);
    std::u16string_view ext = dot == std::u16string_view::npos ? std::u16string_view{} : name.substr(dot);
    if (Utf8Length(ext) + Utf8Length(suffix) > kMaxNameBytes / 2) {
        ext = {};
        dot = std::u16string_view::npos;
    }
    std::u16string stem(dot == std::u16string_view::npos ? name : name.substr(0, dot));
    const std::size_t fixed = Utf8Length(suffix) + Utf8Length(ext);
    std::size_t stem_bytes = Utf8Length(stem);
    while (!stem.empty() && stem_bytes + fixed > kMaxNameBytes) {
        stem.pop_back();
        if (!stem.empty() && IsHighSurrogate(stem.back())) stem.pop_back();
        stem_bytes = Utf8Length(stem);
    }
    return stem + std::u16string(suffix) + std::u16string(ext);
}

std::string ErrorText(int error_number) { return std::strerror(error_number); }

}  // namespace

std::u16string SafeName(std::u16string_view name) {
    std::u16string out;
    out.reserve(name.size());
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') out.push_back(u'_');
        else if (c == u'|') out.push_back(u' ');
        else out.push_back(c);
    }
    if (out.empty()) return u"_";
    if (out == u".") return u"_";
    if (out == u"..") return u"__";
    return Compose(out, {});
}

std::u16string NumberedName(std::u16string_view safe_name, int number) {
    return Compose(safe_name, u"[" + platform::Widen(std::to_string(number)) + u"]");
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    if (out.empty() || out.back() != u'/') out.push_back(u'/');
    return out + SafeName(name);
}

namespace {

// True when every component is a plain name: none empty (a doubled or trailing separator), none "." or "..".
// Such a path is its own lexically normal form.
bool IsPlainPath(std::string_view path) {
    std::size_t start = !path.empty() && path.front() == '/' ? 1 : 0;
    if (start >= path.size()) return false;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

bool IsInsideFolder(std::u16string_view folder, std::u16string_view path) {
    const std::string folder_text = platform::ToUtf8(folder);
    const std::string path_text = platform::ToUtf8(path);
    // The common case, a plain folder and plain names below it, needs no normalising: the comparison below
    // finds the folder's components at the start of the path's and no ".." after them.
    if (path_text.size() > folder_text.size() + 1 && path_text.compare(0, folder_text.size(), folder_text) == 0 &&
        path_text[folder_text.size()] == '/' && IsPlainPath(folder_text) &&
        IsPlainPath(std::string_view(path_text).substr(folder_text.size() + 1))) {
        return true;
    }
    const auto base = std::filesystem::path(folder_text).lexically_normal();
    const auto full = std::filesystem::path(path_text).lexically_normal();
    auto b = base.begin();
    auto f = full.begin();
    for (; b != base.end(); ++b, ++f) {
        if (b->empty() && std::next(b) == base.end()) break;  // the empty element of a trailing separator
        if (f == full.end() || *b != *f) return false;
    }
    for (; f != full.end(); ++f) {
        if (*f == "..") return false;
    }
    return true;
}

bool MakeFolder(const std::u16string& path, std::string* error) {
    const std::string native = platform::ToUtf8(path);
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    const int made_error = errno;
    struct stat info {};
    if (made_error == EEXIST && ::stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    if (error) *error = made_error == EEXIST ? "a file of that name exists" : ErrorText(made_error);
    return false;
}

NewFile CreateNewFile(const std::u16string& folder, std::u16string_view name) {
    NewFile result;
    const std::u16string safe = SafeName(name);
    for (int n = 0; n <= kMaxNumberedTries; ++n) {
        result.path = JoinPath(folder, n == 0 ? safe : NumberedName(safe, n));
        if (!IsInsideFolder(folder, result.path)) {
            result.error = "the name leads out of its folder";
            return result;
        }
        // "x" creates the file only when nothing of that name exists, so nothing is ever overwritten.
        result.file = std::fopen(platform::ToUtf8(result.path).c_str(), "wbx");
        if (result.file) return result;
        if (errno != EEXIST) {
            result.error = ErrorText(errno);
            return result;
        }
    }
    result.error = "the name and its " + std::to_string(kMaxNumberedTries) + " numbered forms all exist";
    return result;
}

std::u16string MakeNewFolder(const std::u16string& parent, std::u16string_view name, std::string* error) {
    const std::u16string safe = SafeName(name);
    for (int n = 0; n <= kMaxNumberedTries; ++n) {
        const std::u16string path = JoinPath(parent, n == 0 ? safe : NumberedName(safe, n));
        if (::mkdir(platform::ToUtf8(path).c_str(), 0777) == 0) return path;
        if (errno != EEXIST) {
            if (error) *error = ErrorText(errno);
            return {};
        }
    }
    if (error) *error = "the name and its " + std::to_string(kMaxNumberedTries) + " numbered forms all exist";
    return {};
}

}  // namespace sharepoint
