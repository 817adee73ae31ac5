// The one way the program opens a link (the About box's support link, the update wizard's upgrade page): only
// http, https and mailto addresses are handed on; anything else is refused and logged. What opens an allowed
// address is an exchangeable opener: the window side installs the desktop's browser, tests a recorder. With
// no opener installed an allowed address is logged and not opened. Nothing here starts a process.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// True for an address whose scheme is http, https or mailto (any case) and that holds no blank, control
// character or non-ASCII byte, and that has something after the scheme.
bool IsAllowedUrl(std::string_view url);

class UrlLauncher {
public:
    // Opens an allowed address and returns the opener's answer; refuses (false) anything else.
    using Opener = std::function<bool(const std::string& url)>;
    // Receives one line per refusal or failure.
    using Logger = std::function<void(const std::string& line)>;

    static bool Open(std::string_view url);

    // Installs an opener or logger and returns the one it replaces; an empty function removes it (refusals
    // then go to the standard error stream).
    static Opener SetOpener(Opener opener);
    static Logger SetLogger(Logger logger);
};

}  // namespace platform
