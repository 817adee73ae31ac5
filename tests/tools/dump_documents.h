// catalog_dump's Document Recovery run (--documents OUTDIR FILE): the scan of the SharePoint tables, the
// document tree, and the save of every item of it below OUTDIR, with the log lines printed as they come.
#pragma once

#include <ostream>
#include <string>

namespace catalog_dump {

// Runs the scan and the save; 0 when the scan read the catalogue (whatever the save wrote), else 1.
int RunDocuments(const std::string& out_dir, const std::string& file, std::ostream& out, std::ostream& err);

}  // namespace catalog_dump
