// The folder of a web, list or folder node of a save, with its substitute: when the wanted folder cannot be
// made, a new folder named after the node is made directly below the output folder (never one that existed
// before), with "Actual path in site.txt" holding the wanted path in UTF-8.
#pragma once

#include <string>

#include "mdf/recovery_engine.h"
#include "sharepoint/output_folder.h"

namespace sharepoint {

// The folder to fill: wanted, or the substitute. When neither can be made the failure is logged and counted
// and wanted is returned (what is written into it then fails and is logged too).
std::u16string MakeFolderOrSubstitute(mdf::CRecoveryEngine& engine, const std::u16string& wanted,
                                      const std::u16string& node_name);

// The open output folder that folder lies in: the engine's output folder when folder is inside it, else
// folder itself (a document written on its own, as the preview does). Opened once and kept by the engine.
OutputFolder& OutputFolderFor(mdf::CRecoveryEngine& engine, const std::u16string& folder);

}  // namespace sharepoint
