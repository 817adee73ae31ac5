// The catalogue that Document Recovery needs from a 2005-and-later data file: only the user tables of the
// SharePoint content (documents, document streams, lists, webs), with their columns.
#include "mdf/object_rows_2005.h"
#include "platform/text.h"

namespace mdf {

namespace {

bool IsSharePointTableName(const std::u16string& name) {
    static constexpr std::u16string_view kKept[] = {u"alldocs", u"alldocstreams", u"alllists", u"webs", u"Allwebs"};
    for (auto kept : kKept) {
        if (platform::EqualsNoCase(name, kept)) return true;
    }
    return false;
}

}  // namespace

int CRecoveryEngine::ReadSharePointCatalog() {
    ScanPages2005();
    if (StopRequested()) return 0;
    if (!ReadSchemaRows2005(*this)) return 0;

    const auto owners = IndexOwners(*this);
    bool kept = false;
    const bool completed = ReadObjectRows2005(*this, true, [&](const ObjectRow2005& row) {
        if (!row.TypeIs("U ")) return;
        const std::u16string name = ReadObjectName2005(*this, row.record);
        if (platform::EqualsNoCase(name, u"dtproperties") || !IsSharePointTableName(name)) return;
        kept = true;
        AddTableFromRow2005(*this, owners, row, name);
    });
    if (!completed) return 0;

    ReadColumns2005();
    if (StopRequested()) return 0;
    return kept ? 1 : 0;
}

}  // namespace mdf
