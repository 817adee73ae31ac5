// The program's user-visible texts by their string number, as the dialogs and messages load them.
#pragma once

#include <string_view>

namespace app {

// The text of string `id`; empty for a number without a text.
std::u16string_view LoadString(int id);

}  // namespace app
