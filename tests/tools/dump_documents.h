// catalog_dump's Document Recovery run (--documents OUTDIR FILE): the scan of the SharePoint tables, the
// document tree, and the save of every item of it below OUTDIR, with the log lines printed as they come.
#pragma once

#include <ostream>
#include <string>

namespace catalog_dump {

// Exit code when some item of the save was not written.
constexpr int kExitNotWritten = 3;

// Runs the scan and the save: 0 when every item was written, kExitNotWritten when some were not (or were kept
// as ".incomplete" files, or the output could not be flushed), 1 when the file could not be opened or its
// catalogue read, catalog_dump::kExitDamage when all was written but the scan saw damage (damaged pages, or a
// content table that gave no content; its lines go to err).
int RunDocuments(const std::string& out_dir, const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace catalog_dump
