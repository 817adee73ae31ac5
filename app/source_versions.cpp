// The source-version choices as a table.
#include "app/source_versions.h"

#include "platform/shared_state.h"

namespace app {

const std::array<SourceVersionChoice, 9>& SourceVersionChoices() {
    static const std::array<SourceVersionChoice, 9> kChoices = {{
        {1005, u"File created on MS SQL Server 2000", 0x021B021B, false, true, false, false, true, {}, {}},
        {1006, u"File created on MS SQL Server 2005", 0x02630263, true, false, false, true, false, {}, {}},
        {1021, u"File created on MS SQL Server 2008", 0x028F028F, true, false, true, true, false, {}, {}},
        {1063, u"File created on MS SQL Server 2000 and converted to 2005", 0x021B0263, true, false, false, false,
         true, true, {}},
        {1064, u"File created on MS SQL Server 2000 and converted to 2008", 0x021B028F, true, false, true, false,
         true, true, {}},
        {1065, u"File created on MS SQL Server 2005 and converted to 2008", 0x0263028F, true, false, true, true,
         false, {}, {}},
        {1147, u"File created on MS SQL Server 2012", 0x02C102C1, true, false, true, true, false, {}, true},
        {1148, u"File created on MS SQL Server 2005 or Server 2008 and converted to 2012", 0x026302C1, true, false,
         true, true, false, {}, true},
        {1149, u"File created on MS SQL Server 2000 and converted to 2012", 0x021B02C1, true, false, true, true, true,
         true, true},
    }};
    return kChoices;
}

void ApplySourceVersionChoice(const SourceVersionChoice& choice, platform::SharedState& state) {
    state.m_dwVersionPair = choice.version_pair;
    state.m_bSql2005Catalog = choice.sql2005_catalog;
    state.m_bSql2000 = choice.sql2000;
    state.m_bSql2008Catalog = choice.sql2008_catalog;
    state.m_bLayout2005 = choice.layout2005;
    state.m_bCreatedOn2000 = choice.created_on_2000;
    if (choice.converted_from_2000) state.m_bConvertedFrom2000 = *choice.converted_from_2000;
    if (choice.sql2012_catalog) state.m_bSql2012Catalog = *choice.sql2012_catalog;
}

}  // namespace app
