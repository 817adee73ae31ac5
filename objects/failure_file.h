// One failure file of a stored-object pass: created anew (or opened for appending) in the engine's failure
// folder, entries appended whole. A file that cannot be written is reported once in the log, and its entries
// are kept in the repair's tally so the job report still holds them.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace mdf {
class CRecoveryEngine;
}

namespace objects {

class FailureFile {
public:
    enum class Mode { Create, Append };
    FailureFile(mdf::CRecoveryEngine& engine, std::u16string_view name, Mode mode);
    ~FailureFile();
    FailureFile(const FailureFile&) = delete;
    FailureFile& operator=(const FailureFile&) = delete;

    // Appends one entry with this body; text is the body as the log shows it when the file cannot take it.
    void Append(std::span<const std::uint8_t> body, const std::u16string& text);
    const std::u16string& Path() const { return path_; }

private:
    void Fail();

    mdf::CRecoveryEngine& engine_;
    std::u16string name_;
    std::u16string path_;
    std::FILE* file_ = nullptr;
};

// The path of a failure file in the folder.
std::u16string FailureFilePath(const std::u16string& folder, std::u16string_view name);

}  // namespace objects
