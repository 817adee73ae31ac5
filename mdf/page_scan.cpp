// The whole-file page scan: one pass over every page header files the data pages of the system tables that
// the catalogue readers need into their page lists, and every allocation-map (IAM) page into the IAM list.
// The file is read in large sequential blocks; only the first 28 bytes of each page are looked at.
#include <cstring>

#include "mdf/catalog_page.h"
#include "mdf/recovery_engine.h"

namespace mdf {

namespace {

struct PageHeaderFields {
    std::uint16_t type = 0;
    std::uint16_t slot_count = 0;
    std::uint32_t object_id = 0;
};

PageHeaderFields ParseHeader(std::span<const std::uint8_t> page) {
    std::uint8_t header[28] = {};
    std::memcpy(header, page.data(), std::min<std::size_t>(sizeof header, page.size()));
    PageHeaderFields f;
    f.type = static_cast<std::uint16_t>(header[0] | (header[1] << 8));
    f.slot_count = static_cast<std::uint16_t>(header[22] | (header[23] << 8));
    f.object_id = static_cast<std::uint32_t>(header[24]) | (static_cast<std::uint32_t>(header[25]) << 8) |
                  (static_cast<std::uint32_t>(header[26]) << 16) | (static_cast<std::uint32_t>(header[27]) << 24);
    return f;
}

}  // namespace

bool CRecoveryEngine::ScanPages2000() {
    const std::uint64_t pages = m_nFileSize / kPageSize;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    bool data_page_met = false;
    bool stopped = false;
    m_hDataFile.ForEachPage(0, pages, [&](std::uint64_t i, std::span<const std::uint8_t> page) {
        if (StopRequested()) {
            stopped = true;
            return false;
        }
        const auto h = ParseHeader(page);
        const std::uint64_t offset = i * kPageSize;
        if (h.type == kPageTypeData) {
            data_page_met = true;
            PageList* list = nullptr;
            switch (h.object_id) {
                case 1: list = &m_plObjects; break;
                case 2: list = &m_plIndexes; break;
                case 3: list = &m_plColumns; break;
                case 4: list = &m_plTypes; break;
                case 6: list = &m_plDefinitions; break;
                case 14: list = &m_plReferences; break;
                default: break;
            }
            if (list) list->Add(offset, h.slot_count);
        } else if (h.type == kPageTypeIam) {
            m_arrIamPages.push_back(offset);
        }
        SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped) return false;
    SendProgress(platform::kProgressEnd, 0);
    return data_page_met;
}

bool CRecoveryEngine::ScanPages2005() {
    m_plObjects.clear();
    m_plColumns.clear();
    m_plTypes.clear();
    m_plRowsetColumns.clear();
    m_arrVisitedPages.clear();
    m_arrVisitedSlots.clear();

    const std::uint64_t pages = m_nFileSize / kPageSize;
    SendProgress(platform::kProgressStart, static_cast<platform::LPARAM>(pages));
    const std::uint32_t rowset_columns_object = m_app.m_bSql2008Catalog ? 3 : 4;
    bool data_page_met = false;
    bool stopped = false;
    m_hDataFile.ForEachPage(0, pages, [&](std::uint64_t i, std::span<const std::uint8_t> page) {
        if (StopRequested()) {
            stopped = true;
            return false;
        }
        const auto h = ParseHeader(page);
        const std::uint64_t offset = i * kPageSize;
        if (h.type == kPageTypeData || h.type == kPageTypeData2005) {
            data_page_met = true;
            PageList* list = nullptr;
            switch (h.object_id) {
                case 34: list = &m_plObjects; break;
                case 5: list = &m_plRowsets; break;
                case 7: list = &m_plAllocationUnits; break;
                case 13: list = &m_plColumnLayouts; break;
                case 55: list = &m_plIndexes; break;
                case 41: list = &m_plColumns; break;
                case 60: list = &m_plDefinitions; break;
                case 50: list = &m_plTypes; break;
                case 54: list = &m_plIndexStats; break;
                case 64: list = &m_plSchemas; break;
                case 74: list = &m_plForeignKeyColumns; break;
                default:
                    if (h.object_id == rowset_columns_object) list = &m_plRowsetColumns;
                    break;
            }
            if (list) list->Add(offset, h.slot_count);
        } else if (h.type == kPageTypeIam) {
            m_arrIamPages.push_back(offset);
        }
        if (i % 2 == 0) SendProgress(platform::kProgressStep, 0);
        if (StopRequested()) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped) return false;
    SendProgress(platform::kProgressEnd, 0);
    return data_page_met;
}

}  // namespace mdf
