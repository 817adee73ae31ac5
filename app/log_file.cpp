// Writing the log file with every system call checked, through the document writer's safe write.
#include "app/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/text.h"
#include "sharepoint/output_folder.h"

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

std::u16string DescribeLogFileError(const std::filesystem::path& path, int error, const char* action,
                                    const std::string& reason) {
    const std::u16string name = platform::FromUtf8(path.string());
    if (error == EACCES || error == EPERM || error == EROFS) return u"Access to " + name + u" was denied.";
    if (error == ENOSPC || error == EDQUOT) return u"There was not enough disk space to save " + name + u".";
    std::u16string text = u"The log could not be saved: ";
    text += platform::FromUtf8(action);
    text += u" " + name + u" failed (" +
            platform::FromUtf8(reason.empty() ? std::strerror(error != 0 ? error : EIO) : reason) + u").";
    return text;
}

std::u16string WriteLogFile(const std::filesystem::path& path, std::u16string_view text) {
    // The file is written under a temporary name beside its own and renamed over it only when whole: a cut
    // write never replaces an older log, and a symbolic link at the name is replaced, never written through.
    sharepoint::OutputFolder folder;
    const std::u16string folder_text = platform::FromUtf8(path.parent_path().empty() ? "." : path.parent_path().string());
    if (!folder.Open(folder_text)) return DescribeLogFileError(path, errno, "creating");
    sharepoint::PendingFile file = folder.CreateFile(folder.Root(), platform::FromUtf8(path.filename().string()));
    if (!file.IsOpen()) return DescribeLogFileError(path, file.ErrorNumber(), "creating", file.Error());
    const std::vector<std::uint8_t> bytes = LogFileBytes(text);
    if (!file.Write(bytes.data(), bytes.size())) return DescribeLogFileError(path, file.ErrorNumber(), "writing");
    if (!file.CommitReplacing()) return DescribeLogFileError(path, file.ErrorNumber(), "writing", file.Error());
    return {};
}

SaveLogOutcome SaveLog(const SaveLogQuestions& questions, std::u16string_view text) {
    for (;;) {
        const auto folder = questions.pick_folder();
        if (!folder) return SaveLogOutcome::Cancelled;
        const std::filesystem::path path = LogFilePath(*folder);
        std::error_code ignored;
        // A symbolic link at the name counts as there, even when it points nowhere: it would be replaced.
        if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored)) && !questions.confirm_overwrite())
            continue;
        const std::u16string error = WriteLogFile(path, text);
        if (error.empty()) return SaveLogOutcome::Saved;
        questions.show_error(error);
        return SaveLogOutcome::Failed;
    }
}

}  // namespace app
