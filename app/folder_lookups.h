// Folders the program looks up before it needs them: SharePoint's program folder on the SharePoint server
// (written into the re-attach batch file) and the local SQL Server's default data folder (the destination
// of a repair and the home of its failure files). They come from the settings file and the local server's
// own configuration.
#pragma once

#include <filesystem>
#include <string>

namespace platform {
class ConfigFile;
}

namespace app {

// "[sharepoint] bin_folder": a Windows path on the SharePoint server; empty when not set.
std::u16string ReadSharePointBinFolder(const platform::ConfigFile& config);

struct DataFolderPlaces {
    std::filesystem::path server_config = "/var/opt/mssql/mssql.conf";  // "[filelocation] defaultdatadir"
    std::filesystem::path server_default = "/var/opt/mssql/data";      // used when it is a folder
};

// The default data folder: "[sqlserver] default_data_folder", else the local server's configured
// "defaultdatadir", else the server's usual data folder when it exists; empty when none is found. `found`
// is set to true when a folder was found and left as it is otherwise.
std::u16string ReadSqlServerInstancePaths(const platform::ConfigFile& config, bool& found,
                                          const DataFolderPlaces& places = {});

}  // namespace app
