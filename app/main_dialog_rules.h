// The main dialog's page and button rules as data: which controls each page change shows, hides, enables and
// disables, the enable rules that run on every message, and whether Exit asks or refuses. The dialog applies
// the changes to its controls; tests read them as tables.
#pragma once

#include <map>
#include <optional>
#include <vector>

namespace app {

struct ControlChange {
    int id = 0;
    std::optional<bool> shown;
    std::optional<bool> enabled;
    bool operator==(const ControlChange&) const = default;
};
using ControlChanges = std::vector<ControlChange>;

struct ControlState {
    bool shown = true;
    bool enabled = true;
    bool operator==(const ControlState&) const = default;
};
using ControlTable = std::map<int, ControlState>;

// Applies the changes in order (a later change of the same control wins); unknown controls are added.
void ApplyChanges(ControlTable& table, const ControlChanges& changes);

// The home page's set-up hides every control of the file and result pages (and disables three statics).
ControlChanges InitHomePageChanges();
// Home (and the home-page part of Back): the home page's controls shown, everything else hidden.
// `for_back` leaves the table-mode backdrop as it is and shows the frame, as Back to the home page does.
ControlChanges HomePageChanges(bool for_back);
// The result page's lists, tree, preview statics and bars put away (Home, and Back from the result page).
ControlChanges ClearResultPageChanges();
// Back from the result page to the file page.
ControlChanges BackToFilePageChanges();
// The file page as the mode buttons open it.
ControlChanges FilePageChanges();

// What the per-message button rules read.
struct ButtonRuleInputs {
    bool selected_path_has_text = false;  // edit 1017
    bool search_runs = false;             // a search thread exists
    bool job_runs = false;                // a job thread exists
    bool table_view_started = false;
    bool repair_started = false;
    bool found_list_has_rows = false;
    bool tree_has_root = false;
    bool document_mode = false;
    int root_check_state = 0;  // 2 checked, 3 partly checked
};

// The enable and show rules that run on every message; controls they leave alone are not listed.
ControlChanges ButtonRuleChanges(const ButtonRuleInputs& inputs);

enum class ExitDecision { Refuse, Ask };

// Exit is refused while a search runs, and while a job runs unless it was asked with F4.
ExitDecision DecideExit(bool job_idle, bool exit_by_key, bool search_runs);

}  // namespace app
