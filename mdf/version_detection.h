// The on-disk version pairs (current, creation) that choose the catalogue reader, as a table that the reader
// choice and the tests share.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace mdf {

enum class CatalogReader { Catalog2000, Catalog2005 };

struct VersionRow {
    std::uint16_t current = 0;
    std::vector<std::uint16_t> created;  // empty: any creation version
    bool sql2005 = false;
    bool sql2000 = false;
    bool sql2008 = false;
    bool sql2012 = false;
    bool converted_from_2000 = false;
    bool created_on_2000 = false;
    // The 2005 reader means ReadCatalog2005 in Complete Repair and ReadSharePointCatalog in Document Recovery.
    CatalogReader reader = CatalogReader::Catalog2005;
};

// The rows in the order they are tried.
const std::vector<VersionRow>& VersionRows();
// The first row for the pair, or nothing (the user then chooses the source version).
std::optional<VersionRow> FindVersionRow(std::uint16_t current, std::uint16_t created);

// The probe's sorting of a current version: 515 and 539 are the 2000 format; 611, 655, 661, 662, 679, 684,
// 700, 705 and 706 the 2005-and-later formats.
bool IsVersion2000(std::uint16_t version);
bool IsVersion2005Plus(std::uint16_t version);

}  // namespace mdf
