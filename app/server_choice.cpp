#include "app/server_choice.h"

#include <cstdlib>

#include "platform/target_settings.h"
#include "platform/text.h"

namespace app {

platform::ServerChoice ServerChoiceFromConfig(const platform::ConfigFile& config,
                                              const std::u16string& default_failure_folder) {
    const platform::TargetSettings settings = platform::TargetSettings::FromConfig(config);
    platform::ServerChoice choice;
    choice.server = settings.m_strServer;
    choice.login = settings.m_strLogin;
    choice.password = settings.m_strPassword;
    choice.data_folder = settings.m_strDataFolder;
    choice.failure_folder = settings.m_strFailureFolder;
    if (choice.failure_folder.empty()) choice.failure_folder = default_failure_folder;
    return choice;
}

std::u16string DefaultFailureFolder() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        base = data;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/share";
    } else {
        base = "/tmp";
    }
    return platform::FromUtf8(base + "/brindlemoor/failures");
}

bool InjectsIntoConnection(std::u16string_view text) {
    return text.find_first_of(u";{}=") != std::u16string_view::npos;
}

int ServerChoiceProblem(const platform::ServerChoice& choice, bool embedded) {
    if (embedded && (choice.embedded_database.empty() || InjectsIntoConnection(choice.embedded_database))) return 211;
    if (choice.server.empty() || InjectsIntoConnection(choice.server) || InjectsIntoConnection(choice.login)) return 144;
    return 0;
}

}  // namespace app
