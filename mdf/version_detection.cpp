// Version detection from the boot page: the quick probe run before a scan, and the choice (and run) of the
// catalogue reader for the file's version pair, with the source-version question for unknown pairs.
#include "mdf/version_detection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "mdf/allocation_maps.h"
#include "mdf/page_check.h"
#include "mdf/recovery_engine.h"
#include "mdf/table_pages.h"
#include "platform/read_only_file.h"
#include "platform/text.h"

namespace mdf {

namespace {

using R = CatalogReader;

// current, creation versions, 2005 catalogue, 2000, 2008, 2012, converted from 2000, created on 2000, reader
const std::vector<VersionRow> kVersionRows = {
    {655, {655, 611}, true, false, true, false, false, false, R::Catalog2005},
    {655, {539}, true, false, true, false, true, true, R::Catalog2005},
    {611, {611, 587}, true, false, false, false, false, false, R::Catalog2005},
    {611, {539, 515}, true, false, false, false, true, true, R::Catalog2005},
    {539, {}, false, true, false, false, false, true, R::Catalog2000},
    {661, {661, 655, 643, 611}, true, false, true, false, false, false, R::Catalog2005},
    {643, {643}, true, false, true, false, false, false, R::Catalog2005},
    {661, {539, 515}, true, false, true, false, true, true, R::Catalog2005},
    {705, {705, 679, 661, 655, 611}, true, false, true, true, false, false, R::Catalog2005},
    {705, {539, 515}, true, false, true, true, true, true, R::Catalog2005},
    {706, {706, 705, 661, 655, 611}, true, false, true, true, false, false, R::Catalog2005},
    {706, {539, 515}, true, false, true, true, true, true, R::Catalog2005},
    {700, {700, 661, 655, 611}, true, false, true, true, false, false, R::Catalog2005},
    {700, {539, 515}, true, false, true, true, true, true, R::Catalog2005},
};

// Said before the source-version question when the boot page names no version of the table.
std::u16string UnknownVersionText(std::uint16_t version) {
    return u"This file is not a SQL Server data file of a known version: its boot page names version " +
           platform::Widen(std::to_string(version)) +
           u".\nIf you know which SQL Server version made it, choose that version next; otherwise select another "
           u"file.";
}

// Why the file cannot be a data file at all, or empty when it may be one. Every data file holds a boot page, and
// the header of its first page holds zero bytes, however damaged the rest is; a file without either (an empty
// file, a text file given the data file's extension) gets no version question, since no answer could help.
std::u16string NotADataFileReason(std::uint64_t file_size, const std::vector<std::uint8_t>& first_page) {
    if (file_size < kBootPageVersionOffset + 4) {
        return u"at " + platform::Widen(std::to_string(file_size)) + u" bytes it is too short to hold a boot page.";
    }
    if (!first_page.empty() && std::find(first_page.begin(), first_page.end(), 0) == first_page.end()) {
        return u"its first page holds no zero byte, as text does; a data file's page header always holds some.";
    }
    return {};
}

// Said when a known-version file's catalogue lists no table.
std::u16string NoTableLine(std::uint64_t pages) {
    return u"No table was found in " + platform::Widen(std::to_string(pages)) + u" pages read.";
}

constexpr std::uint64_t kBootPage = 9;
constexpr std::uint8_t kPageTypeByteBoot = 13;

// Why the boot page cannot be believed, or empty when it is a sound boot page: it carries a header with its
// own number and the boot page's type, and its own checksum or torn-page stamp holds.
std::u16string BootPageDamage(CRecoveryEngine& engine) {
    if ((kBootPage + 1) * kPageSize > engine.m_nFileSize) return {};  // too short: said as such elsewhere
    const auto page = engine.ReadBytes(kBootPage * kPageSize, kPageSize);
    if (!IsSoundPageHeader(page, kBootPage)) return ForeignPageText(std::span(page).first(40), kBootPage);
    if (page[1] != kPageTypeByteBoot) return u"page type " + platform::Widen(std::to_string(page[1]));
    const PageDamage damage = CheckPage(page);
    if (damage != PageDamage::None) return platform::Widen(PageDamageText(damage));
    return {};
}

// Said before the source-version question when the boot page is damaged.
std::u16string DamagedBootPageText(const std::u16string& why) {
    return u"The boot page of this file (page 9) is damaged (" + why +
           u"): the file's version cannot be read from it.\nIf you know which SQL Server version made it, choose "
           u"that version next; otherwise select another file.";
}

}  // namespace

const std::vector<VersionRow>& VersionRows() { return kVersionRows; }

std::optional<VersionRow> FindVersionRow(std::uint16_t current, std::uint16_t created) {
    for (const auto& row : kVersionRows) {
        if (row.current != current) continue;
        if (row.created.empty() || std::find(row.created.begin(), row.created.end(), created) != row.created.end()) {
            return row;
        }
    }
    return std::nullopt;
}

bool IsVersion2000(std::uint16_t version) { return version == 515 || version == 539; }

bool IsVersion2005Plus(std::uint16_t version) {
    switch (version) {
        case 611: case 655: case 661: case 662: case 679: case 684: case 700: case 705: case 706:
            return true;
        default:
            return false;
    }
}

bool CRecoveryEngine::DetectDatabaseVersion() {
    // Both flags describe this file only: a version the probe does not know leaves neither set, whatever an
    // earlier probe found.
    m_app.m_bFileIs2000 = false;
    m_app.m_bFileIs2005Plus = false;
    platform::ReadOnlyFile file;
    constexpr int kAttempts = 6;
    bool opened = false;
    for (int attempt = 1; attempt <= kAttempts && !opened; ++attempt) {
        opened = file.Open(platform::ToSystemName(m_app.m_strDataFilePath));
        if (!opened && !file.LastOpenWasBusy()) break;  // only a busy file is worth another attempt
        if (!opened && attempt < kAttempts) m_sleep(std::chrono::milliseconds(100));
    }
    if (!opened) {
        m_strOpenError = platform::FromUtf8(file.LastError());
        m_bOpenBusy = file.LastOpenWasBusy();
        return false;
    }
    std::uint8_t words[4] = {};
    file.ReadAt(kBootPageVersionOffset, words, sizeof words);
    const auto version = static_cast<std::uint16_t>(words[0] | (words[1] << 8));
    if (IsVersion2000(version)) {
        m_app.m_bFileIs2000 = true;
    } else if (IsVersion2005Plus(version)) {
        m_app.m_bFileIs2005Plus = true;
    }
    return true;
}

bool CRecoveryEngine::ReadCatalogForVersion() {
    const std::uint16_t current = Read16(kBootPageVersionOffset);
    const std::uint16_t created = Read16(kBootPageVersionOffset + 2);
    m_app.m_dwVersionPair = static_cast<std::uint32_t>(current) | (static_cast<std::uint32_t>(created) << 16);
    const bool document_mode = m_app.m_bDocumentMode;
    m_strBootPageDamage = BootPageDamage(*this);

    int result = 0;
    if (const auto row = FindVersionRow(current, created)) {
        m_app.m_bSql2005Catalog = row->sql2005;
        m_app.m_bSql2000 = row->sql2000;
        m_app.m_bSql2008Catalog = row->sql2008;
        m_app.m_bCreatedOn2000 = row->created_on_2000;
        if (row->converted_from_2000) m_app.m_bConvertedFrom2000 = true;
        if (row->sql2012) m_app.m_bSql2012Catalog = true;
        if (row->reader == CatalogReader::Catalog2000) {
            result = ReadCatalog2000();
        } else {
            result = document_mode ? ReadSharePointCatalog() : ReadCatalog2005();
        }
    } else {
        m_app.m_bFileInUse = true;
        const std::u16string not_a_data_file = NotADataFileReason(
            m_nFileSize, ReadBytes(0, static_cast<std::size_t>(std::min<std::uint64_t>(m_nFileSize, kPageSize))));
        if (!not_a_data_file.empty()) {
            const std::u16string line = u"This file is not a SQL Server data file: " + not_a_data_file;
            LogLine(line);
            ShowError(u"", line + u"\nPlease select another file.");
            return false;
        }
        if (!m_strBootPageDamage.empty()) {
            const std::u16string text = DamagedBootPageText(m_strBootPageDamage);
            LogLine(text.substr(0, text.find(u'\n')));
            ShowMessage(u"", text);
        } else {
            ShowMessage(u"", UnknownVersionText(current));
        }
        if (!m_pPrompts->SelectSourceVersion(m_app)) return false;
        if (m_app.m_bLayout2005) {
            result = document_mode ? ReadSharePointCatalog() : ReadCatalog2005();
        } else {
            result = ReadCatalog2000();
        }
    }
    if (result != 0) return true;
    if (m_app.m_bStopJob) {
        m_app.m_bFileInUse = true;
        return false;
    }
    // A catalogue that was read but names no table: a database without user tables, or one that lost the rows
    // of its tables (its rowset rows name them still); and a file whose scan met damage. The damage report says
    // which, and names what is lost.
    if (!m_catalogue.objects.empty() || !m_catalogue.rowsets.empty() || ScanFoundDamage()) return true;

    m_app.m_bFileInUse = true;
    if (FindVersionRow(current, created)) {
        // The version is right (the table names it): what is missing is the tables themselves.
        const std::u16string line = NoTableLine(m_nFileSize / kPageSize);
        LogLine(line);
        ShowError(u"", line + u"\nThe file holds no user table, or it was cut off before its system pages. Select "
                                u"another file, or a whole copy of this one.");
        return false;
    }
    LogLine(u"Invalid Database File Version.");
    ShowError(u"", u"Invalid Database file version.\nPlease select the appropriate Database file version.");
    return false;
}

}  // namespace mdf
