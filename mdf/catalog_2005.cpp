// The full catalogue of a 2005-and-later data file: owners, tables, procedures, functions, defaults, rules,
// views, triggers, foreign keys and check constraints from the object rows, then the columns.
#include "mdf/object_rows_2005.h"
#include "platform/text.h"

namespace mdf {

int CRecoveryEngine::ReadCatalog2005() {
    ScanPages2005();
    // A stop anywhere ends the reader with 0 at once: a half-read catalogue is never reported as complete.
    if (StopRequested()) return 0;
    if (!ReadSchemaRows2005(*this)) return 0;

    const auto owners = IndexOwners(*this);
    bool handled = false;
    const bool completed = ReadObjectRows2005(*this, false, [&](const ObjectRow2005& row) {
        auto& app = m_app;
        if (row.TypeIs("U ")) {
            const std::u16string name = ReadObjectName2005(*this, row.record);
            if (platform::EqualsNoCase(name, u"dtproperties")) return;
            handled = true;
            AddTableFromRow2005(*this, owners, row, name);
        } else if (row.TypeIs("P ")) {
            handled = true;
            ProcedureNode& node = AddProcedure();
            node.m_strName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            node.m_settings = ModuleSettingsOf2005(row.status);
            ++app.m_nProcedureCount;
        } else if (row.TypeIs("FN") || row.TypeIs("IF") || row.TypeIs("TF")) {
            handled = true;
            FunctionNode& node = AddFunction();
            node.m_pszName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            node.m_settings = ModuleSettingsOf2005(row.status);
            ++app.m_nFunctionCount;
        } else if (row.TypeIs("D ")) {
            handled = true;
            DefaultNode& node = AddDefault();
            node.m_pszName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            node.m_nParentObjectId = row.parent_id;
            node.m_nParentColumnId = row.property16;
            node.m_nStatusHigh = row.status_high;
            if (row.status_byte15 != 2) ++app.m_nDefaultCount;
        } else if (row.TypeIs("R ")) {
            handled = true;
            RuleNode& node = AddRule();
            node.m_pszName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            ++app.m_nRuleCount;
        } else if (row.TypeIs("V ")) {
            handled = true;
            ViewNode& node = AddView();
            node.m_pszName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            node.m_settings = ModuleSettingsOf2005(row.status);
            ++app.m_nViewCount;
        } else if (row.TypeIs("TR")) {
            handled = true;
            TriggerNode& node = AddTrigger();
            node.m_pszName = ReadObjectName2005(*this, row.record);
            node.m_nObjectId = row.object_id;
            node.m_settings = ModuleSettingsOf2005(row.status);
            node.m_bDisabled = (row.status & kTriggerDisabled2005) != 0;
            ++app.m_nTriggerCount;
        } else if (row.TypeIs("F ")) {
            handled = true;
            Fkey2005& key = m_arrForeignKeys2005.emplace_back();
            key.m_strName = ReadObjectName2005(*this, row.record);
            key.m_nObjectId = row.object_id;
            key.m_nStatus = row.status_byte14;
            key.m_nParentObjectId = row.parent_id;
        } else if (row.TypeIs("C ")) {
            handled = true;
            structCheckCons& check = m_arrCheckConstraints.emplace_back();
            check.m_strName = ReadObjectName2005(*this, row.record);
            check.m_nObjectId = row.object_id;
            check.m_nParentObjectId = row.parent_id;
            check.m_nStatus = row.status_byte14;
        }
    });
    if (!completed) return 0;

    ReadColumns2005();
    if (StopRequested()) return 0;
    return handled ? 1 : 0;
}

}  // namespace mdf
