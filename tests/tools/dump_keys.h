// catalog_dump's key and definition-text listings (--keys, --objects), also used by the corpus tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"

namespace catalog_dump {

// Runs the key readers of the file's catalogue format, as a repair does before scripting the tables.
void ReadKeys(mdf::CRecoveryEngine& engine);

// One line per primary key, unique key and index: "key\tTABLE\tKIND\tNAME\tCLUSTERING\tCOLUMNS", KIND one of
// "primary key", "unique key", "index"; CLUSTERING "clustered" or "nonclustered", + " unique"; COLUMNS the key
// columns in key order, ", " apart, " DESC" after a descending one (included columns are not listed).
std::vector<std::string> KeyLines(const mdf::CRecoveryEngine& engine);

// One line per view, procedure, function, trigger, rule and default:
// "object\tKIND\tNAME\tOBJECT_ID\tTEXT" with the first 60 characters of the definition text (CR, LF, tab and
// backslash written as \r, \n, \t, \\).
std::vector<std::string> ObjectLines(mdf::CRecoveryEngine& engine);

// The definition text of a stored object: the row with sub-id 0, else the one with sub-id 1 (procedures).
std::u16string ObjectDefinition(mdf::CRecoveryEngine& engine, std::int32_t object_id);

int RunKeys(mdf::CRecoveryEngine& engine, const std::vector<std::string>& args, std::ostream& out);
int RunObjects(mdf::CRecoveryEngine& engine, const std::vector<std::string>& args, std::ostream& out);

}  // namespace catalog_dump
