// Checks and text of the re-attach batch file.
#include "app/reattach_batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/text.h"

namespace app {

namespace {

constexpr std::u16string_view kBatchSpecials = u"&|<>^%\"!";

// The field's problem, or empty: characters that the command interpreter reads as syntax, line breaks and
// every character outside printable ASCII are refused (the file is ASCII and is never cut to low bytes).
std::u16string CheckField(std::u16string_view field, std::u16string_view name) {
    for (char16_t c : field) {
        if (c < 0x20 || c >= 0x7F) {
            return std::u16string(u"The ") + std::u16string(name) +
                   u" may only hold plain ASCII characters, without line breaks.";
        }
        if (kBatchSpecials.find(c) != std::u16string_view::npos) {
            return std::u16string(u"The ") + std::u16string(name) +
                   u" may not contain any of these characters: & | < > ^ % \" !";
        }
    }
    return {};
}

std::string Ascii(std::u16string_view text) { return platform::ToUtf8(text); }

}  // namespace

std::u16string CheckReattachInput(const ReattachInput& input) {
    if (input.url.empty() || input.damaged_database.empty() || input.damaged_server.empty()) {
        return u"Please Enter website url , corrupted database name and servername.";
    }
    const std::pair<std::u16string_view, std::u16string_view> fields[] = {
        {input.url, u"web application URL"},
        {input.damaged_database, u"corrupted database name"},
        {input.damaged_server, u"SQL Server instance name"},
        {input.repaired_database, u"recovered database name"},
        {input.repaired_server, u"recovered database's server name"},
        {input.bin_folder, u"SharePoint bin folder"},
    };
    for (const auto& [value, name] : fields) {
        std::u16string problem = CheckField(value, name);
        if (!problem.empty()) return problem;
    }
    if (input.repaired_database.empty() || input.repaired_server.empty()) {
        return u"The recovered database and its server are not known; add the database manually.";
    }
    return {};
}

std::string BuildReattachBatch(const ReattachInput& input) {
    const std::string url = Ascii(input.url);
    const std::string add_line = "stsadm.exe -o addcontentdb -url " + url + " -databasename \"" +
                                 Ascii(input.repaired_database) + "\" -databaseserver " +
                                 Ascii(input.repaired_server);
    const std::string stop_on_failure = "\r\n if errorlevel 1 goto fail";

    std::string text = "@echo off";
    if (input.bin_folder.empty()) {
        text += "\r\n REM SharePoint's bin folder is not known: stsadm.exe must be on the PATH.";
    } else {
        text += "\r\n cd /d \"" + Ascii(input.bin_folder) + "\"";
    }
    text += "\r\n echo removing corrupted database from your web application...........";
    if (input.embedded_edition) {
        text += "\r\n stsadm.exe -o deletecontentdb -url " + url + " -databasename \"" +
                Ascii(input.repaired_database) + "\" -databaseserver " + Ascii(input.repaired_server);
        text += stop_on_failure;
    }
    text += "\r\n stsadm.exe -o deletecontentdb -url " + url + " -databasename \"" +
            Ascii(input.damaged_database) + "\" -databaseserver " + Ascii(input.damaged_server);
    text += stop_on_failure;
    text += "\r\n echo database removing completed.\r\n";
    text += "\r\n echo adding recovered database to your web application...........";
    text += "\r\n " + add_line;
    text += stop_on_failure;
    text += "\r\n echo database adding completed.";
    text += "\r\n pause";
    text += "\r\n exit /b 0";
    text += "\r\n:fail";
    text += "\r\n echo The last command failed. Attach the recovered database by hand with:";
    text += "\r\n echo " + add_line;
    text += "\r\n pause";
    text += "\r\n exit /b 1";
    return text;
}

bool WriteFileReplacing(const std::filesystem::path& target, const std::string& bytes, std::string* error) {
    auto fail = [&](const std::string& what, int code) {
        if (error != nullptr) *error = what + ": " + std::strerror(code);
        return false;
    };
    std::random_device random;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = target;
        temp += ".tmp" + std::to_string(random());
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail("Cannot create " + temp.string(), errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return fail("Cannot write " + temp.string(), code);
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    int code = errno;
    const bool closed = ::close(fd) == 0;
    if (synced && !closed) code = errno;
    if (!synced || !closed) {
        ::unlink(temp.c_str());
        return fail("Cannot write " + temp.string(), code);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        code = errno;
        ::unlink(temp.c_str());
        return fail("Cannot save " + target.string(), code);
    }
    return true;
}

}  // namespace app
