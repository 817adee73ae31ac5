#include "objects/failure_file.h"

#include "mdf/recovery_engine.h"
#include "objects/definition_text.h"
#include "platform/text.h"

namespace objects {

std::u16string FailureFilePath(const std::u16string& folder, std::u16string_view name) {
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'/') path.push_back(u'/');
    path += name;
    return path;
}

FailureFile::FailureFile(mdf::CRecoveryEngine& engine, std::u16string_view name, Mode mode)
    : engine_(engine), name_(name), path_(FailureFilePath(engine.m_strFailureFolder, name)) {
    if (!engine.m_strFailureFolder.empty()) {
        file_ = std::fopen(platform::ToUtf8(path_).c_str(), mode == Mode::Create ? "wb" : "ab");
    }
    if (!file_) Fail();
}

FailureFile::~FailureFile() {
    if (file_ && std::fclose(file_) != 0) Fail();
}

void FailureFile::Fail() {
    file_ = nullptr;
    auto& tally = engine_.m_repairTally;
    if (!tally.unwritable_files.insert(name_).second) return;
    engine_.LogLine(u"The failure file " + path_ + u" could not be written; its entries are kept in this log.");
}

void FailureFile::Append(std::span<const std::uint8_t> body, const std::u16string& text) {
    if (file_) {
        const auto entry = FailureEntry(body);
        if (std::fwrite(entry.data(), 1, entry.size(), file_) != entry.size() || std::fflush(file_) != 0) {
            std::fclose(file_);
            Fail();
        }
    }
    if (!file_) engine_.m_repairTally.unwritten_entries.emplace_back(name_, text);
}

}  // namespace objects
