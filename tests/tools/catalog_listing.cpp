// The scan as the scan job runs it and the catalogue listing in the format of the corpus expectations; shared
// by the catalog_dump tool and the corpus tests.
#include <ostream>

#include "platform/messages.h"
#include "platform/text.h"
#include "tests/tools/catalog_dump.h"

namespace catalog_dump {

namespace {

std::string TypeBaseName(const mdf::ColumnNode& column) {
    switch (column.m_nType) {
        case 34: return "image";
        case 35: return "text";
        case 36: return "uniqueidentifier";
        case 40: return "date";
        case 41: return "time";
        case 42: return "datetime2";
        case 43: return "datetimeoffset";
        case 48: return "tinyint";
        case 52: return "smallint";
        case 56: return "int";
        case 58: return "smalldatetime";
        case 59: return "real";
        case 60: return "money";
        case 61: return "datetime";
        case 62: return "float";
        case 98: return "sql_variant";
        case 99: return "ntext";
        case 104: return "bit";
        case 106: return "decimal";
        case 108: return "numeric";
        case 122: return "smallmoney";
        case 127: return "bigint";
        case 165: return "varbinary";
        case 167: return "varchar";
        case 173: return "binary";
        case 175: return "char";
        case 189: return "timestamp";
        case 231: return "nvarchar";
        case 239: return "nchar";
        case 240:
            switch (column.m_nUserType) {
                case 128: return "hierarchyid";
                case 129: return "geometry";
                case 130: return "geography";
                default: return "udt";
            }
        case 241: return "xml";
        default: return "type" + std::to_string(column.m_nType);
    }
}

}  // namespace

std::string ColumnTypeName(const mdf::ColumnNode& column) {
    std::string name = TypeBaseName(column);
    const std::uint16_t length = column.m_nLength != 0 ? column.m_nLength : column.m_nMaxInRowLength;
    switch (column.m_nType) {
        case 167: case 175: case 165: case 173:
            return name + "(" + (length == 0xFFFF ? std::string("max") : std::to_string(length)) + ")";
        case 231: case 239:
            return name + "(" + (length == 0xFFFF ? std::string("max") : std::to_string(length / 2)) + ")";
        default:
            return name;
    }
}

void LogPrinter::Send(unsigned message, platform::WPARAM, platform::LPARAM) {
    if (message == platform::WM_LOG_LINE) out_ << platform::ToUtf8(app_.m_strLogLine) << "\n";
}

std::uint64_t ReportDamageTo(mdf::CRecoveryEngine& engine, std::ostream& err) {
    LogPrinter printer(engine.App(), err);
    platform::IMessageSink* const previous = engine.m_hProgressWnd;
    engine.m_hProgressWnd = &printer;
    const std::uint64_t found = engine.ReportDamage();
    engine.m_hProgressWnd = previous;
    return found;
}

bool RunScan(mdf::CRecoveryEngine& engine, std::ostream& err, std::uint64_t* damage) {
    auto& app = engine.App();
    if (!engine.OpenDataFile()) {
        err << "cannot open " << platform::ToUtf8(app.m_strDataFilePath) << ": " << platform::ToUtf8(engine.m_strOpenError) << "\n";
        return false;
    }
    app.m_bSql2005Catalog = app.m_bSql2000 = app.m_bSql2008Catalog = false;
    app.m_bConvertedFrom2000 = app.m_bLayout2005 = app.m_bSql2012Catalog = false;
    app.m_bFileInUse = false;
    app.m_bDocumentMode = false;
    if (!engine.ReadCatalogForVersion()) {
        err << "the catalogue could not be read";
        if (!app.m_strLogLine.empty()) err << ": " << platform::ToUtf8(app.m_strLogLine);
        err << "\n";
        return false;
    }
    engine.ComputeColumnOffsets();
    const std::uint64_t found = ReportDamageTo(engine, err);
    if (damage) *damage = found;
    return true;
}

void PrintCatalog(const mdf::CRecoveryEngine& engine, std::ostream& out) {
    const std::uint32_t pair = engine.App().m_dwVersionPair;
    out << "version\t" << (pair & 0xFFFF) << "\t" << (pair >> 16) << "\n";
    for (const auto& table : engine.m_lstTables) {
        out << "table\t" << platform::ToUtf8(table.m_pszName) << "\t" << table.m_nRowCount << "\t";
        bool first = true;
        for (const auto& column : table.m_lstColumns) {
            out << (first ? "" : ", ") << platform::ToUtf8(column.m_pszName) << " " << ColumnTypeName(column);
            first = false;
        }
        out << "\n";
    }
}

}  // namespace catalog_dump
