// The program's own version, compiled in: shown by the About box and compared by the update check.
#pragma once

namespace platform {

inline constexpr char16_t kProductVersion[] = u"1.0.0.1";
// The base name of the program's files on the update server and of its package.
inline constexpr char16_t kProductExeName[] = u"brindlemoor";

}  // namespace platform
