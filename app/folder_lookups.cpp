// Settings-file and server-configuration look-ups of the two folders.
#include "app/folder_lookups.h"

#include <system_error>

#include "platform/config_file.h"
#include "platform/text.h"

namespace app {

std::u16string ReadSharePointBinFolder(const platform::ConfigFile& config) {
    return platform::FromUtf8(config.GetOr("sharepoint", "bin_folder", {}));
}

std::u16string ReadSqlServerInstancePaths(const platform::ConfigFile& config, bool& found,
                                          const DataFolderPlaces& places) {
    std::string folder = config.GetOr("sqlserver", "default_data_folder", {});
    if (folder.empty()) {
        const auto server = platform::ConfigFile::LoadFrom(places.server_config);
        folder = server.GetOr("filelocation", "defaultdatadir", {});
    }
    if (folder.empty()) {
        std::error_code error;
        if (!places.server_default.empty() && std::filesystem::is_directory(places.server_default, error)) {
            folder = places.server_default.string();
        }
    }
    if (folder.empty()) return {};
    found = true;
    return platform::FromUtf8(folder);
}

}  // namespace app
