// The private folder: mkdtemp makes it with mode 0700 and a name nobody could have taken before.
#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

fs::path DefaultBase() {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] == '/') {
            std::error_code error;
            if (fs::is_directory(value, error)) return value;
        }
    }
    return "/tmp";
}

}  // namespace

PrivateFolder::PrivateFolder(std::string prefix, fs::path base) : prefix_(std::move(prefix)), base_(std::move(base)) {}

PrivateFolder::~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

const fs::path& PrivateFolder::Path() {
    if (!path_.empty()) return path_;
    const fs::path base = base_.empty() ? DefaultBase() : base_;
    std::string pattern = (base / (prefix_ + "XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        error_ = std::string("the private folder could not be made in ") + base.string() + ": " + std::strerror(errno);
        return path_;
    }
    path_ = fs::path(buffer.data());
    error_.clear();
    return path_;
}

fs::path PrivateFolder::NewSubFolder() {
    if (Path().empty()) return {};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path sub = path_ / std::to_string(++next_);
        if (mkdir(sub.c_str(), 0700) == 0) return sub;
        if (errno != EEXIST) {
            error_ = std::string("a folder could not be made in the private folder: ") + std::strerror(errno);
            return {};
        }
    }
    return {};
}

bool PrivateFolder::Contains(const fs::path& path) const {
    if (path_.empty() || path.empty()) return false;
    const fs::path normal = path.lexically_normal();
    const fs::path relative = normal.lexically_relative(path_);
    if (relative.empty() || relative == ".") return false;
    return *relative.begin() != "..";
}

std::error_code PrivateFolder::Remove(const fs::path& path) {
    if (!Contains(path)) return std::make_error_code(std::errc::operation_not_permitted);
    std::error_code error;
    fs::remove_all(path, error);
    return error;
}

std::error_code PrivateFolder::MakeOwnerOnly(const fs::path& file) {
    if (chmod(file.c_str(), 0600) != 0) return {errno, std::generic_category()};
    return {};
}

}  // namespace platform
