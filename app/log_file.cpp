// Writing the log file with every system call checked.
#include "app/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/text.h"

namespace app {

std::filesystem::path LogFilePath(const std::filesystem::path& folder) {
    return folder / platform::ToUtf8(kLogFileName);
}

std::vector<std::uint8_t> LogFileBytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

namespace {

std::u16string DescribeFileError(const std::filesystem::path& path, int error, const char* action) {
    const std::u16string name = platform::FromUtf8(path.string());
    if (error == EACCES || error == EPERM || error == EROFS) return u"Access to " + name + u" was denied.";
    if (error == ENOSPC || error == EDQUOT) return u"There was not enough disk space to save " + name + u".";
    std::u16string text = u"The log could not be saved: ";
    text += platform::FromUtf8(action);
    text += u" " + name + u" failed (" + platform::FromUtf8(std::strerror(error)) + u").";
    return text;
}

}  // namespace

std::u16string WriteLogFile(const std::filesystem::path& path, std::u16string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return DescribeFileError(path, errno, "creating");

    const std::vector<std::uint8_t> bytes = LogFileBytes(text);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return DescribeFileError(path, error, "writing");
        }
        written += static_cast<std::size_t>(n);
    }
    // A full disk or a network folder may report a lost write only when the file is flushed or closed.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        return DescribeFileError(path, error, "writing");
    }
    if (::close(fd) != 0) return DescribeFileError(path, errno, "closing");
    return {};
}

SaveLogOutcome SaveLog(const SaveLogQuestions& questions, std::u16string_view text) {
    for (;;) {
        const auto folder = questions.pick_folder();
        if (!folder) return SaveLogOutcome::Cancelled;
        const std::filesystem::path path = LogFilePath(*folder);
        std::error_code ignored;
        if (std::filesystem::exists(path, ignored) && !questions.confirm_overwrite()) continue;
        const std::u16string error = WriteLogFile(path, text);
        if (error.empty()) return SaveLogOutcome::Saved;
        questions.show_error(error);
        return SaveLogOutcome::Failed;
    }
}

}  // namespace app
