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
#include "platform/tsql_text.h"

namespace mdf {

namespace {

using objects::FailureFile;
using objects::StoredDefinition;
using objects::TextReading;
using platform::BracketName;
using platform::UnicodeLiteral;

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

// The table of a binding as the statements name it: the one rule of platform::TableNameForm.
template <typename Binding>
std::u16string BindingTable(const CRecoveryEngine& engine, const Binding& binding) {
    return platform::TableNameForm(binding.m_strTableName, binding.m_strSchema, engine.App().m_bSql2005Catalog);
}

// True when the server did not create the binding's table: nothing is sent for it.
template <typename Binding>
bool TableNotCreated(const CRecoveryEngine& engine, const Binding& binding) {
    return engine.m_repairTally.tables_not_created.contains(binding.m_nTableObjectId);
}

// Binds a created rule or stand-alone default to every column that uses it, each argument quoted; a refused
// binding is counted and leaves the definition's entry. A column of a table the server did not create is named.
template <typename Node>
void BindToColumns(CRecoveryEngine& engine, const Node& node, std::u16string_view procedure, ObjectKind kind,
                   const std::u16string& what, FailureFile& file, const TextReading& reading) {
    for (const auto& binding : node.m_lstBindings) {
        const std::u16string column = BindingTable(engine, binding) + u"." + BracketName(binding.m_strColumnName);
        if (TableNotCreated(engine, binding)) {
            engine.RefuseObject(kind, what + u" on " + column, u"its table was not created: the binding is not sent",
                                nullptr, {}, {});
            continue;
        }
        const std::u16string statement = u"EXEC " + std::u16string(procedure) + u" " +
                                         UnicodeLiteral(BracketName(node.m_pszName)) + u", " + UnicodeLiteral(column);
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
    // Schemas in the order first met; dbo is every database's own.
    std::vector<std::u16string> schemas;
    std::set<std::u16string> seen;
    auto add = [&](const std::u16string& schema) {
        if (schema.empty() || platform::EqualsNoCase(schema, u"dbo")) return;
        if (seen.insert(platform::ToLower(schema)).second) schemas.push_back(schema);
    };
    if (m_app.m_bSql2005Catalog) {
        for (const auto& table : m_lstTables) add(platform::SplitTableName(table.m_pszName, table.m_strSchema).schema);
    }
    // The stored objects name their schema in their definitions: CREATE VIEW [Sales].[v] needs Sales even when
    // no table is in it.
    std::set<std::int32_t> ids;
    auto collect = [&ids](const auto& list) {
        for (const auto& node : list) ids.insert(node.m_nObjectId);
    };
    collect(m_lstViews);
    collect(m_lstProcedures);
    collect(m_lstFunctions);
    collect(m_lstTriggers);
    collect(m_lstRules);
    collect(m_lstDefaults);
    if (!ids.empty()) {
        // The passes that create these objects note what they find; this early look notes nothing.
        const std::set<std::int32_t> found_before = m_repairTally.definitions_found;
        const auto gathered = objects::GatherDefinitions(
            *this, {[&ids](std::int32_t id) { return ids.count(id) != 0; }, false, true});
        m_repairTally.definitions_found = found_before;
        if (gathered.stopped) return;
        for (const auto& definition : gathered.definitions) {
            if (!definition.damage.empty()) continue;
            if (definition.large) {
                add(platform::ReadCreateHead(definition.large_text).Schema());
                continue;
            }
            for (const TextReading& reading : {objects::ReadAs8Bit(definition.bytes), objects::ReadAsUtf16(definition.bytes)}) {
                const platform::CreateHead head = platform::ReadCreateHead(reading.text);
                if (head.ok) {
                    add(head.Schema());
                    break;
                }
            }
        }
    }
    for (const auto& schema : schemas) {
        const std::u16string statement = u"IF SCHEMA_ID(" + UnicodeLiteral(schema) + u") IS NULL EXEC(" +
                                         UnicodeLiteral(u"CREATE SCHEMA " + BracketName(schema)) + u")";
        if (!RunObjectStatement(statement)) LogLine(u"Schema " + schema + u" was not created.");
    }
}

void CRecoveryEngine::ApplyModuleSettings(const ModuleSettings& stored) {
    // Without the catalogue's word the module is made with the session as it is.
    if (!stored.m_bKnown) return;
    const bool ansi_nulls = stored.m_bAnsiNulls;
    const bool quoted = stored.m_bQuotedIdentifier;
    ModuleSettings& session = m_repairTally.session;
    bool ok = true;
    if (!session.m_bKnown || session.m_bAnsiNulls != ansi_nulls) {
        ok = RunObjectStatement(ansi_nulls ? u"SET ANSI_NULLS ON" : u"SET ANSI_NULLS OFF") && ok;
    }
    if (!session.m_bKnown || session.m_bQuotedIdentifier != quoted) {
        ok = RunObjectStatement(quoted ? u"SET QUOTED_IDENTIFIER ON" : u"SET QUOTED_IDENTIFIER OFF") && ok;
    }
    session.m_bKnown = ok;
    session.m_bAnsiNulls = ansi_nulls;
    session.m_bQuotedIdentifier = quoted;
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
        m_repairTally.session.m_bQuotedIdentifier = true;  // as before the default, when it was known
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::ScriptDefaultConstraints() {
    FailureFile file(*this, objects::FailureFileName(ObjectKind::DefaultConstraint), FailureFile::Mode::Append);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstDefaults));
    if (gathered.stopped) return;
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
        if (!platform::IsSingleExpression(expression.text)) {
            // Pasted in, it could end the ALTER TABLE and start a statement of its own.
            RefuseObject(ObjectKind::DefaultConstraint, what, u"its expression is not one expression in parentheses",
                         &file, expression.body, expression.text);
            continue;
        }
        bool any_column = false;
        for (const auto& binding : node->m_lstBindings) {
            if (binding.m_nDefaultObjectId != node->m_nObjectId) continue;
            any_column = true;
            if (TableNotCreated(*this, binding)) {
                RefuseObject(ObjectKind::DefaultConstraint,
                             what + u" on " + BindingTable(*this, binding) + u"." + BracketName(binding.m_strColumnName),
                             u"its table was not created: the constraint is not sent", nullptr, {}, {});
                continue;
            }
            const std::u16string statement = u"ALTER TABLE " + BindingTable(*this, binding) +
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
        // The type as it was created: one name, whatever characters it holds.
        const std::u16string statement = u"EXEC " + procedure + u" " + UnicodeLiteral(BracketName(object)) + u", " +
                                         UnicodeLiteral(BracketName(type));
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

namespace {

// The statement that leaves a created trigger disabled, as its object row marks it.
std::u16string DisableTriggerStatement(const platform::TriggerHead& head) {
    // Names as schema.name at most: the statement takes no database part, and a trigger of the database no
    // schema at all.
    auto last_two = [](std::vector<std::u16string> parts, std::size_t keep) {
        if (parts.size() > keep) parts.erase(parts.begin(), parts.end() - static_cast<std::ptrdiff_t>(keep));
        return platform::BracketedParts(parts);
    };
    if (head.scope != platform::TriggerScope::Table) return u"DISABLE TRIGGER " + last_two(head.name, 1) + u" ON DATABASE";
    return u"DISABLE TRIGGER " + last_two(head.name, 2) + u" ON " + last_two(head.target, 2);
}

}  // namespace

void CRecoveryEngine::ScriptTriggers() {
    m_arrHeldTriggers.clear();
    FailureFile file(*this, objects::FailureFileName(ObjectKind::Trigger), FailureFile::Mode::Create);
    const auto gathered = objects::GatherDefinitions(*this, QueryFor(m_lstTriggers, true));
    if (gathered.stopped) return;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(gathered.definitions.size()));
    for (const auto& definition : gathered.definitions) {
        if (StopRequested()) return;
        const TriggerNode* node = FindNode(m_lstTriggers, definition.object_id);
        const std::u16string what = u"trigger " + node->m_pszName;
        const Prepared prepared = Prepare(definition, ObjectKind::Trigger);
        SendProgress(platform::kProgressStep, 0);
        if (!prepared.ok) {
            RefuseObject(ObjectKind::Trigger, what, prepared.why, &file, prepared.reading.body, prepared.reading.text);
            continue;
        }
        // Only a trigger of a table, a view or the database is made. Anything else (a trigger of the whole
        // server, which would run at every login of the target, or a text that does not read as one of these)
        // is never sent, in either reading of its bytes.
        std::vector<std::pair<const TextReading*, platform::TriggerHead>> readings;
        bool other = false;
        for (const TextReading* reading : {&prepared.reading, prepared.second ? &*prepared.second : nullptr}) {
            if (reading == nullptr) continue;
            platform::TriggerHead head = platform::ReadTriggerHead(reading->text);
            if (head.scope == platform::TriggerScope::Other) other = true;
            readings.emplace_back(reading, std::move(head));
        }
        if (other) {
            RefuseObject(ObjectKind::Trigger, what,
                         u"it is not a trigger of a table, a view or the database (ON ALL SERVER, or a text that does "
                         u"not read as one): it is not sent",
                         &file, prepared.reading.body, prepared.reading.text);
            continue;
        }
        if (readings.front().second.scope == platform::TriggerScope::Database) {
            // Made now, it would fire on the repair's own statements: it waits for the very end.
            HeldTrigger held{what, {}, readings.back().first->body, node->m_settings, node->m_bDisabled};
            for (const auto& reading : readings) held.texts.push_back(reading.first->text);
            m_arrHeldTriggers.push_back(std::move(held));
            continue;
        }
        const platform::TriggerHead* made = nullptr;
        for (const auto& [reading, head] : readings) {
            ApplyModuleSettings(node->m_settings);
            if (RunObjectStatement(reading->text)) {
                made = &head;
                break;
            }
        }
        if (made == nullptr) {
            const TextReading& last = *readings.back().first;
            RefuseObject(ObjectKind::Trigger, what, u"refused by the server", &file, last.body, last.text);
            continue;
        }
        ++m_repairTally[ObjectKind::Trigger].created;
        if (node->m_bDisabled && !RunObjectStatement(DisableTriggerStatement(*made))) {
            RefuseObject(ObjectKind::Trigger, what, u"created, but it could not be disabled as it was: it is enabled",
                         nullptr, {}, {});
        }
    }
    SendProgress(platform::kProgressEnd, 0);
}

void CRecoveryEngine::CreateDatabaseTriggers() {
    if (m_arrHeldTriggers.empty()) return;
    const std::vector<HeldTrigger> held = std::move(m_arrHeldTriggers);
    m_arrHeldTriggers.clear();
    FailureFile file(*this, objects::FailureFileName(ObjectKind::Trigger), FailureFile::Mode::Append);
    for (const HeldTrigger& trigger : held) {
        if (StopRequested()) return;
        const std::u16string* made = nullptr;
        for (const auto& text : trigger.texts) {
            ApplyModuleSettings(trigger.settings);
            if (RunObjectStatement(text)) {
                made = &text;
                break;
            }
        }
        if (made == nullptr) {
            RefuseObject(ObjectKind::Trigger, trigger.what, u"refused by the server", &file, trigger.body,
                         trigger.texts.back());
            continue;
        }
        ++m_repairTally[ObjectKind::Trigger].created;
        if (trigger.disabled && !RunObjectStatement(DisableTriggerStatement(platform::ReadTriggerHead(*made)))) {
            RefuseObject(ObjectKind::Trigger, trigger.what,
                         u"created, but it could not be disabled as it was: it is enabled", nullptr, {}, {});
        }
    }
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
        if (!prepared.ok) continue;
        ApplyModuleSettings(FindNode(m_lstFunctions, definition.object_id)->m_settings);
        if (RunObjectStatement(prepared.reading.text)) {
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
        ModuleSettings settings;
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
            Pending item{kind, label + NodeName(*node), Prepare(definition, kind), &*file, node->m_settings};
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
            ApplyModuleSettings(item.settings);
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
