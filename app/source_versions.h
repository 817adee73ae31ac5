// The choices of the source-version dialog: on which server version the data file was created or to which
// it was converted. A click on a choice writes its version pair and flags into the shared state at once.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {
struct SharedState;
}

namespace app {

struct SourceVersionChoice {
    int radio_id;
    std::u16string_view text;
    std::uint32_t version_pair;  // creation version in the high word, current version in the low word
    bool sql2005_catalog;
    bool sql2000;
    bool sql2008_catalog;
    bool layout2005;
    bool created_on_2000;
    std::optional<bool> converted_from_2000;  // none: left as it is
    std::optional<bool> sql2012_catalog;      // none: left as it is
};

// The nine choices in the dialog's order; the first one is checked when the dialog opens.
const std::array<SourceVersionChoice, 9>& SourceVersionChoices();
// Writes the choice's fields into the state.
void ApplySourceVersionChoice(const SourceVersionChoice& choice, platform::SharedState& state);

}  // namespace app
