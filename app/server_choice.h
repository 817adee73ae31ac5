// The server dialog's values outside the window: pre-filled from the settings file, and checked before OK
// closes the dialog. A server or database name is put into the connection's settings, so a name holding one
// of ; { } = (which would add or change a setting) is refused like an empty one.
#pragma once

#include <string>
#include <string_view>

#include "platform/config_file.h"
#include "platform/user_prompts.h"

namespace app {

// The choice as the settings file's target section gives it; the failure folder falls back to
// default_failure_folder.
platform::ServerChoice ServerChoiceFromConfig(const platform::ConfigFile& config,
                                              const std::u16string& default_failure_folder);
// Where the failure files go when nothing else is chosen: $XDG_DATA_HOME (or ~/.local/share) + /brindlemoor/failures.
std::u16string DefaultFailureFolder();

// True when the text holds a character that would reach into the connection's settings.
bool InjectsIntoConnection(std::u16string_view text);
// The number of the text that refuses the choice (144 server, 211 database name), or 0 when it is fine.
int ServerChoiceProblem(const platform::ServerChoice& choice, bool embedded);

}  // namespace app
