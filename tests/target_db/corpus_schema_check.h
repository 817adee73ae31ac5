// What a repair of a real data file must have sent: the expected catalogue's tables, one INSERT per live row,
// the keys of expected/NAME.keys.tsv, and an order a server can follow.
#pragma once

#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/sql_connection.h"
#include "target_db/schema_script.h"

namespace corpusschema {

void ExpectScriptedLikeTheFile(const std::string& base, const std::vector<platform::SqlStatement>& sent,
                               const mdf::CRecoveryEngine& engine, const target::RepairScript& script);

}  // namespace corpusschema
