// The stored objects of a complete repair: rules, stand-alone defaults and their bindings, column default
// constraints, bindings of user-defined types, triggers, and the views, stored procedures and user-defined
// functions, which may depend on one another and are retried in rounds. Every definition is sent only whole and
// only when it is a CREATE statement of its kind; every refusal is counted and leaves a failure entry or a log
// line.
#include <optional>
#include <set>
#include <type_traits>

#include "mdf/recovery_engine.h"
#include "objects/definition_rows.h"
#include "objects/definition_text.h"
#include "objects/failure_file.h"
#include "platform/sql_connection.h"
#include "platform/text.h"
#include "target_db/sql_quoting.h"

namespace mdf {

namespace {

using objects::BracketedTableName;
using objects::BracketName;
using objects::FailureFile;
using objects::StoredDefinition;
using objects::StringArgument;
using objects::TextReading;

// A definition made ready to send: its text and the body of its failure entry; a second reading to try when
// the server refuses the first (triggers).
struct Prepared {
    bool ok = false;
    TextReading reading;
    std::optional<TextReading> second;
    std::u16string why;  // when not ok
};

std::vector<std::uint8_t> AnsiBytes(const std::u16string& text) {
    const std::string bytes = platform::AnsiCodePage().Encode(text);
    return {bytes.begin(), bytes.end()};
}

Prepared Prepare(const StoredDefinition& definition, ObjectKind kind) {
    Prepared prepared;
    const std::u16string wanted = u"CREATE " + std::u16string(objects::CreateWord(kind));
    if (!definition.damage.empty()) {
        prepared.why = definition.damage;
        const std::u16string note = u"-- " + objects::DescribeDefinition(definition) + u": " + definition.damage;
        prepared.reading = TextReading{note, AnsiBytes(note), false};
        return prepared;
    }
    const std::u16string zero_inside = u"the text holds a zero before its recorded end: it is not whole";
    if (definition.large) {
        prepared.reading = TextReading{definition.large_text, AnsiBytes(definition.large_text), false};
        prepared.ok = objects::BeginsWithCreate(definition.large_text, kind);
        if (!prepared.ok) {
            prepared.why = u"the text does not begin with " + wanted;
        } else if (objects::HasZeroInside(definition.large_text)) {
            prepared.ok = false;
            prepared.why = zero_inside;
        }
        return prepared;
    }
    std::optional<TextReading> cut;
    for (TextReading reading : {objects::ReadAs8Bit(definition.bytes), objects::ReadAsUtf16(definition.bytes)}) {
        if (!objects::BeginsWithCreate(reading.text, kind)) continue;
        if (reading.cut) {
            // Sent as read, the statement would end at the zero and still be a CREATE: a part would be lost.
            if (!cut) cut = std::move(reading);
            continue;
        }
        if (!prepared.ok) {
            prepared.ok = true;
            prepared.reading = std::move(reading);
        } else if (reading.text != prepared.reading.text) {
            prepared.second = std::move(reading);
        }
    }
    if (!prepared.ok && cut) {
        // The whole stored text goes to the failure entry, the zero included.
        prepared.reading = TextReading{cut->text, definition.bytes, cut->wide};
        prepared.why = zero_inside;
    } else if (!prepared.ok) {
        prepared.reading = objects::LikelyReading(definition.bytes);
        prepared.why = u"the text does not begin with " + wanted;
    }
    return prepared;
}

const std::u16string& NodeName(const ProcedureNode& node) { return node.m_strName; }
template <typename Node>
const std::u16string& NodeName(const Node& node) {
    return node.m_pszName;
}

template <typename List>
auto* FindNode(List& list, std::int32_t object_id) {
    for (auto& node : list) {
        if (node.m_nObjectId == object_id) return &node;
    }
    return static_cast<typename List::value_type*>(nullptr);
}

template <typename List>
objects::DefinitionQuery QueryFor(const List& list, bool status_byte_2000 = false) {
    std::set<std::int32_t> ids;
    for (const auto& node : list) ids.insert(node.m_nObjectId);
    return {[ids = std::move(ids)](std::int32_t id) { return ids.count(id) != 0; }, status_byte_2000,
            std::is_same_v<typename List::value_type, ProcedureNode>};
}

// Binds a created rule or stand-alone default to every column that uses it, each argument quoted; a refused
// binding is counted and leaves the definition's entry.
template <typename Node>
void BindToColumns(CRecoveryEngine& engine, const Node& node, std::u16string_view procedure, ObjectKind kind,
                   const std::u16string& what, FailureFile& file, const TextReading& reading) {
    const bool two_part = engine.App().m_bSql2005Catalog;
    for (const auto& binding : node.m_lstBindings) {
        const std::u16string column =
            BracketedTableName(binding.m_strTableName, two_part) + u"." + BracketName(binding.m_strColumnName);
        const std::u16string statement = u"EXEC " + std::u16string(procedure) + u" " +
                                         StringArgument(BracketName(node.m_pszName)) + u", " + StringArgument(column);
        if (engine.RunObjectStatement(statement)) {
            ++engine.m_repairTally[kind].created;
        } else {
            engine.RefuseObject(kind, what + u" on " + column, u"refused by the server", &file, reading.body,
                                reading.text);
        }
    }
}

}  // namespace

bool CRecoveryEngine::RunObjectStatement(const std::u16string& text) {
    if (text.empty()) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            platform::Command command;
            command.SetActiveConnection(m_pConnection);
            command.SetCommandText(text);
            command.Execute(platform::adCmdText);
            return true;
        } catch (const platform::SqlError& error) {
            (void)FormatComError(error);  // the server's words are not kept: the definition itself is
            // A lost link is opened again and the statement sent once more; a refusal is final. A link that
            // cannot be opened again ends the repair: every later statement would be lost the same way.
            if (attempt == 0 && platform::IsConnectionLost(error)) {
                if (Reconnect()) continue;
                EndRepairOnLostLink();
            }
        } catch (const std::exception&) {
        }
        return false;
    }
    return false;
}

void CRecoveryEngine::RefuseObject(ObjectKind kind, const std::u16string& what, const std::u16string& why,
                                   objects::FailureFile* file, std::span<const std::uint8_t> body,
                                   const std::u16string& text) {
    ++m_repairTally[kind].refused;
    LogLine(u"Not created (" + std::u16string(objects::KindName(kind)) + u"): " + what + u": " + why);
    if (file) file->Append(body, text);
}

void CRecoveryEngine::ScriptMissingSchemas() {
    if (!m_app.m_bSql2005Catalog) return;
    std::set<std::u16string> made;
    for (const auto& table : m_lstTables) {
        const std::size_t dot = table.m_pszName.size() > 1 ? table.m_pszName.find(u'.', 1) : std::u16string::npos;
        if (dot == std::u16string::npos) continue;
        const std::u16string schema = table.m_pszName.substr(0, dot);
        if (platform::EqualsNoCase(schema, u"dbo") || !made.insert(schema).second) continue;
        const std::u16string statement = u"IF SCHEMA_ID(" + StringArgument(schema) + u") IS NULL EXEC(" +
                                         StringArgument(u"CREATE SCHEMA " + BracketName(schema)) + u")";
        if (!RunObjectStatement(statement)) LogLine(u"Schema " + schema + u" was not created.");
    }
}

void CRecoveryEngine::ScriptRules() {
    FailureFile file(*this, objects::FailureFileName(ObjectKind::Rule), FailureFile::Mode::Create);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstRules));
    if (gathered.stopped) return;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        const RuleNode* rule = FindNode(m_lstRules, definition.object_id);
        const Prepared prepared = Prepare(definition, ObjectKind::Rule);
        const std::u16string what = u"rule " + rule->m_pszName;
        if (!prepared.ok) {
            RefuseObject(ObjectKind::Rule, what, prepared.why, &file, prepared.reading.body, prepared.reading.text);
        } else if (!RunObjectStatement(prepared.reading.text)) {
            // Its bindings are not tried: there is no rule to bind.
            RefuseObject(ObjectKind::Rule, what, u"refused by the server", &file, prepared.reading.body,
                         prepared.reading.text);
        } else {
            ++m_repairTally[ObjectKind::Rule].created;
            BindToColumns(*this, *rule, u"sp_bindrule", ObjectKind::RuleBinding, what, file, prepared.reading);
        }
        SendProgress(platform::kProgressStep, 0);
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ScriptDefaults() {
    FailureFile file(*this, objects::FailureFileName(ObjectKind::Default), FailureFile::Mode::Create);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstDefaults));
    if (gathered.stopped) return;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        const DefaultNode* node = FindNode(m_lstDefaults, definition.object_id);
        const Prepared prepared = Prepare(definition, ObjectKind::Default);
        const std::u16string what = u"default " + node->m_pszName;
        SendProgress(platform::kProgressStep, 0);
        if (!prepared.ok) {
            // A column default constraint's expression is no statement: its own pass makes it.
            if (definition.damage.empty()) continue;
            RefuseObject(ObjectKind::Default, what, prepared.why, &file, prepared.reading.body, prepared.reading.text);
            continue;
        }
        RunObjectStatement(u"SET QUOTED_IDENTIFIER OFF");
        if (!RunObjectStatement(prepared.reading.text)) {
            RefuseObject(ObjectKind::Default, what, u"refused by the server", &file, prepared.reading.body,
                         prepared.reading.text);
        } else {
            ++m_repairTally[ObjectKind::Default].created;
            BindToColumns(*this, *node, u"sp_bindefault", ObjectKind::DefaultBinding, what, file, prepared.reading);
        }
        RunObjectStatement(u"SET QUOTED_IDENTIFIER ON");
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ScriptDefaultConstraints() {
    FailureFile file(*this, objects::FailureFileName(ObjectKind::DefaultConstraint), FailureFile::Mode::Append);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstDefaults));
    if (gathered.stopped) return;
    const bool two_part = m_app.m_bSql2005Catalog;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        SendProgress(platform::kProgressStep, 0);
        // Damaged texts were reported by the defaults pass; stand-alone defaults were made there.
        if (!definition.damage.empty() || Prepare(definition, ObjectKind::Default).ok) continue;
        const DefaultNode* node = FindNode(m_lstDefaults, definition.object_id);
        const TextReading expression = definition.large
                                           ? TextReading{definition.large_text, AnsiBytes(definition.large_text), false}
                                           : objects::ExpressionReading(definition.bytes);
        const std::u16string what = u"default constraint " + node->m_pszName;
        if (expression.cut || objects::HasZeroInside(expression.text)) {
            RefuseObject(ObjectKind::DefaultConstraint, what, u"its expression holds a zero before its recorded end",
                         &file, definition.large ? expression.body : definition.bytes, expression.text);
            continue;
        }
        if (expression.text.empty()) {
            RefuseObject(ObjectKind::DefaultConstraint, what, u"its expression is empty", &file, expression.body,
                         expression.text);
            continue;
        }
        if (!target::IsSingleExpression(expression.text)) {
            // Pasted in, it could end the ALTER TABLE and start a statement of its own.
            RefuseObject(ObjectKind::DefaultConstraint, what, u"its expression is not one expression in parentheses",
                         &file, expression.body, expression.text);
            continue;
        }
        bool any_column = false;
        for (const auto& binding : node->m_lstBindings) {
            if (binding.m_nDefaultObjectId != node->m_nObjectId) continue;
            any_column = true;
            const std::u16string statement = u"ALTER TABLE " + BracketedTableName(binding.m_strTableName, two_part) +
                                             u" WITH NOCHECK ADD CONSTRAINT " + BracketName(node->m_pszName) +
                                             u" default " + expression.text + u" For " +
                                             BracketName(binding.m_strColumnName);
            if (RunObjectStatement(statement)) {
                ++m_repairTally[ObjectKind::DefaultConstraint].created;
            } else {
                RefuseObject(ObjectKind::DefaultConstraint, what, u"refused by the server", &file, AnsiBytes(statement),
                             statement);
            }
        }
        if (!any_column) {
            RefuseObject(ObjectKind::DefaultConstraint, what, u"no column of the catalogue uses it", &file,
                         expression.body, expression.text);
        }
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::BindTypeDefaultsAndRules() {
    auto bind = [this](const std::u16string& procedure, const std::u16string& object, const std::u16string& type) {
        const bool two_part = type.find(u'.', 1) != std::u16string::npos;
        const std::u16string statement = u"EXEC " + procedure + u" " + StringArgument(BracketName(object)) + u", " +
                                         StringArgument(BracketedTableName(type, two_part));
        if (RunObjectStatement(statement)) {
            ++m_repairTally[ObjectKind::TypeBinding].created;
        } else {
            RefuseObject(ObjectKind::TypeBinding, object + u" on type " + type, u"refused by the server", nullptr, {},
                         {});
        }
    };
    for (const auto& type : m_lstUserTypes) {
        if (type.m_nDefaultObjectId != 0) {
            if (const DefaultNode* node = FindNode(m_lstDefaults, type.m_nDefaultObjectId)) {
                bind(u"sp_bindefault", node->m_pszName, type.m_strName);
            }
        }
        if (type.m_nRuleObjectId != 0) {
            if (const RuleNode* node = FindNode(m_lstRules, type.m_nRuleObjectId)) {
                bind(u"sp_bindrule", node->m_pszName, type.m_strName);
            }
        }
    }
}

void CRecoveryEngine::ScriptTriggers() {
    FailureFile file(*this, objects::FailureFileName(ObjectKind::Trigger), FailureFile::Mode::Create);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstTriggers, true));
    if (gathered.stopped) return;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        const TriggerNode* node = FindNode(m_lstTriggers, definition.object_id);
        const std::u16string what = u"trigger " + node->m_pszName;
        const Prepared prepared = Prepare(definition, ObjectKind::Trigger);
        if (!prepared.ok) {
            RefuseObject(ObjectKind::Trigger, what, prepared.why, &file, prepared.reading.body, prepared.reading.text);
        } else if (objects::IsServerTrigger(prepared.reading.text) ||
                   (prepared.second && objects::IsServerTrigger(prepared.second->text))) {
            // It would run at every login or server-wide event of the target, and no user database holds one.
            RefuseObject(ObjectKind::Trigger, what, u"a trigger on the whole server is not made in a database", &file,
                         prepared.reading.body, prepared.reading.text);
        } else if (RunObjectStatement(prepared.reading.text) ||
                   (prepared.second && RunObjectStatement(prepared.second->text))) {
            ++m_repairTally[ObjectKind::Trigger].created;
        } else {
            const TextReading& last = prepared.second ? *prepared.second : prepared.reading;
            RefuseObject(ObjectKind::Trigger, what, u"refused by the server", &file, last.body, last.text);
        }
        SendProgress(platform::kProgressStep, 0);
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ScriptUserFunctions() {
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstFunctions));
    if (gathered.stopped) return;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        SendProgress(platform::kProgressStep, 0);
        if (m_repairTally.created_functions.count(definition.object_id) != 0) continue;
        // What is refused here is tried again once the tables exist, and only reported then.
        const Prepared prepared = Prepare(definition, ObjectKind::Function);
        if (prepared.ok && RunObjectStatement(prepared.reading.text)) {
            m_repairTally.created_functions.insert(definition.object_id);
            ++m_repairTally[ObjectKind::Function].created;
        }
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ScriptDependentObjects(bool views, bool procedures, bool functions) {
    struct Pending {
        ObjectKind kind;
        std::u16string what;
        Prepared prepared;
        FailureFile* file;
    };
    std::optional<FailureFile> view_file, procedure_file, function_file;
    std::vector<Pending> pending;

    auto gather = [&](ObjectKind kind, std::optional<FailureFile>& file, const objects::DefinitionQuery& query,
                      auto& list, const std::u16string& label) {
        file.emplace(*this, objects::FailureFileName(kind), FailureFile::Mode::Create);
        const auto gathered = objects::GatherDefinitions(*this, query);
        if (gathered.stopped) return false;
        for (const auto& definition : gathered.definitions) {
            if (kind == ObjectKind::Function && m_repairTally.created_functions.count(definition.object_id) != 0) {
                continue;
            }
            const auto* node = FindNode(list, definition.object_id);
            Pending item{kind, label + NodeName(*node), Prepare(definition, kind), &*file};
            if (!item.prepared.ok) {
                RefuseObject(kind, item.what, item.prepared.why, item.file, item.prepared.reading.body,
                             item.prepared.reading.text);
            } else {
                pending.push_back(std::move(item));
            }
        }
        return true;
    };
    if (views && !gather(ObjectKind::View, view_file, QueryFor(m_lstViews, true), m_lstViews, u"view ")) return;
    if (procedures &&
        !gather(ObjectKind::Procedure, procedure_file, QueryFor(m_lstProcedures, true), m_lstProcedures,
                u"stored procedure ")) {
        return;
    }
    if (functions &&
        !gather(ObjectKind::Function, function_file, QueryFor(m_lstFunctions), m_lstFunctions, u"function ")) {
        return;
    }

    // An object that needs another one is refused until that one exists: rounds go on while a round creates
    // something, and only what the last round refused is reported.
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pending.size()));
    bool created_any = true;
    while (!pending.empty() && created_any) {
        created_any = false;
        std::vector<Pending> refused;
        for (auto& item : pending) {
            if (StopRequested()) return;
            if (RunObjectStatement(item.prepared.reading.text)) {
                ++m_repairTally[item.kind].created;
                created_any = true;
                SendProgress(platform::kProgressStep, 0);
            } else {
                refused.push_back(std::move(item));
            }
        }
        pending = std::move(refused);
    }
    for (const auto& item : pending) {
        RefuseObject(item.kind, item.what, u"refused by the server", item.file, item.prepared.reading.body,
                     item.prepared.reading.text);
        SendProgress(platform::kProgressStep, 0);
    }
    SendProgress(platform::kProgressEnd, 0);
}

}  // namespace mdf
