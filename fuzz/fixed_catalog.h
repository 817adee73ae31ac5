// The fixed catalogues the row fuzz targets decode against: one table with a column of every type the row
// decoder knows (fixed columns back to back from record offset 4, then the variable ones, a computed column
// and one of an unknown type), and the four SharePoint tables with the columns the capture keeps.
#pragma once

#include "mdf/catalog_records.h"

namespace fuzz {

// "dbo.AllTypes": every column type, NULL allowed.
void FillAllTypesTable(mdf::TableNode& table);

// The SharePoint tables by index 0..3: dbo.AllDocs, dbo.AllDocStreams, dbo.AllLists, dbo.Webs.
void FillSharePointTable(mdf::TableNode& table, int which);

}  // namespace fuzz
