// SharePoint capture: the wanted columns of AllDocs, AllDocStreams, AllLists and Webs/AllWebs.
#include "rows/row_capture.h"

#include <utility>

#include "mdf/recovery_engine.h"
#include "platform/text.h"

namespace rows {

namespace {
bool Is(const std::u16string& name, std::u16string_view wanted) { return platform::EqualsNoCase(name, wanted); }
}  // namespace

RowCapture::RowCapture(const mdf::TableNode& table, bool active) {
    if (!active) return;
    const std::u16string& name = table.m_pszName;
    if (Is(name, u"dbo.alldocs")) {
        m_bDocs = true;
    } else if (Is(name, u"dbo.alldocstreams")) {
        m_bStreams = true;
    } else if (Is(name, u"dbo.alllists")) {
        m_bLists = true;
    } else if (Is(name, u"dbo.webs") || Is(name, u"dbo.Allwebs")) {
        m_bWebs = true;
    }
}

void RowCapture::OnValue(const mdf::ColumnNode& column, const std::u16string& text) {
    const std::u16string& name = column.m_pszName;
    switch (column.m_nType) {
        case 36:  // uniqueidentifier
            if (m_bDocs) {
                // The web id is not kept: the document's place comes from its list, and the memory of a
                // million captured rows is what limits a large scan.
                if (Is(name, u"ID")) m_doc.ID = text;
                else if (Is(name, u"ParentId")) m_doc.ParentId = text;
                else if (Is(name, u"listId")) m_doc.listId = text;
            }
            if (m_bWebs) {
                if (Is(name, u"Id")) m_web.Id = text;
                else if (Is(name, u"SiteId")) m_web.SiteId = text;
                else if (Is(name, u"ParentWebId")) m_web.ParentWebId = text;
            }
            if (m_bLists) {
                if (Is(name, u"tp_WebId")) m_list.tp_WebId = text;
                else if (Is(name, u"tp_ID")) m_list.tp_ID = text;
            }
            if (m_bStreams) {
                // The stream's ParentId is not kept either: the join pairs streams by Id (or SiteId) only.
                if (Is(name, u"Id")) m_stream.Id = text;
                else if (Is(name, u"SiteId")) m_stream.SiteId = text;
            }
            break;
        case 231:  // nvarchar
            if (m_bDocs) {
                if (Is(name, u"DirName")) m_doc.DirName = text;
                else if (Is(name, u"LeafName")) m_doc.LeafName = text;
            }
            if (m_bWebs && Is(name, u"Title")) m_web.Title = text;
            if (m_bLists && Is(name, u"tp_Title")) m_list.tp_Title = text;
            break;
        case 48:  // tinyint
            if (m_bDocs && Is(name, u"TYPE")) m_doc.TYPE = text;
            break;
        case 56:  // int
            if (m_bDocs && Is(name, u"Size")) m_doc.Size = text;
            break;
        case 61:  // datetime
            if (m_bDocs) {
                if (Is(name, u"TimeCreated")) m_doc.TimeCreated = text;
                else if (Is(name, u"TimeLastModified")) m_doc.TimeLastModified = text;
            }
            break;
        default:
            break;
    }
}

void RowCapture::OnContent(const mdf::ColumnNode& column, std::uint64_t offset, std::uint64_t length,
                           std::uint16_t flags, platform::SharedState& app) {
    if (!m_bStreams || !Is(column.m_pszName, u"Content")) return;
    m_stream.ContentOffsetLow = static_cast<std::uint32_t>(offset);
    m_stream.ContentOffsetHigh = static_cast<std::uint32_t>(offset >> 32);
    m_stream.ContentLength = static_cast<std::uint32_t>(length);
    if (column.m_nType == 165) {
        m_stream.ContentFlags = flags;
        app.m_bVarBinaryContent = true;
    }
}

void RowCapture::Finish(mdf::CRecoveryEngine& engine) {
    // A capture serves one row: its records move into the arrays.
    if (m_bDocs) {
        engine.m_arrDocRows.push_back(std::move(m_doc));
    } else if (m_bWebs) {
        engine.m_arrWebRows.push_back(std::move(m_web));
    } else if (m_bLists) {
        engine.m_arrListRows.push_back(std::move(m_list));
    }
    if (m_bStreams) engine.m_arrStreamRows.push_back(std::move(m_stream));
    engine.m_bCaptureDocs = engine.m_bCaptureStreams = engine.m_bCaptureLists = engine.m_bCaptureWebs = false;
    m_bDocs = m_bStreams = m_bLists = m_bWebs = false;
}

}  // namespace rows
