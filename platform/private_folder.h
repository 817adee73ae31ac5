// A folder of this process alone: made new (mode 0700) under the user's runtime folder or the temporary
// folder, and removed with everything in it when the object goes. Other users cannot list or open what is
// inside; the object deletes only paths that lie inside it.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace platform {

class PrivateFolder {
public:
    // `prefix` starts the folder's name ("brindlemoor-preview-" gives brindlemoor-preview-Ab3dE9).
    // `base` empty: $XDG_RUNTIME_DIR when it is an absolute folder, else $TMPDIR, else /tmp.
    explicit PrivateFolder(std::string prefix, std::filesystem::path base = {});
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Makes the folder on first use; empty when it could not be made (error says why).
    const std::filesystem::path& Path();
    const std::string& Error() const { return error_; }

    // A new empty sub-folder (0700) with a fresh number; empty on failure.
    std::filesystem::path NewSubFolder();
    // True when `path` names something strictly inside this folder (after resolving "." and "..").
    bool Contains(const std::filesystem::path& path) const;
    // Removes `path` and everything below it when it lies inside this folder; anything else is left alone
    // and reported as an error. A path that does not exist is no error.
    std::error_code Remove(const std::filesystem::path& path);

    // Mode 0600 for a file made inside the folder.
    static std::error_code MakeOwnerOnly(const std::filesystem::path& file);

private:
    std::string prefix_;
    std::filesystem::path base_;
    std::filesystem::path path_;
    std::string error_;
    unsigned next_ = 0;
};

}  // namespace platform
