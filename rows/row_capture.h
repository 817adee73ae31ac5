// The SharePoint capture of one row: which of the four SharePoint tables the row belongs to, the wanted
// column texts of it, and the record appended to the engine's arrays at the end of the row.
#pragma once

#include <cstdint>
#include <string>

#include "mdf/catalog_records.h"
#include "mdf/sharepoint_records.h"
#include "platform/shared_state.h"

namespace mdf {
class CRecoveryEngine;
}

namespace rows {

class RowCapture {
public:
    // Matches the table's whole name ("dbo.alldocs", ...), case-insensitively; an inactive capture matches none.
    RowCapture(const mdf::TableNode& table, bool active);
    bool Active() const { return m_bDocs || m_bStreams || m_bLists || m_bWebs; }
    bool Docs() const { return m_bDocs; }
    bool Streams() const { return m_bStreams; }
    bool Lists() const { return m_bLists; }
    bool Webs() const { return m_bWebs; }

    // A present, non-NULL value of a tinyint, int, datetime, nvarchar or uniqueidentifier column, as its grid
    // text.
    void OnValue(const mdf::ColumnNode& column, const std::u16string& text);
    // The varbinary or image "Content" column of a document stream: where its bytes lie in the row.
    void OnContent(const mdf::ColumnNode& column, std::uint64_t offset, std::uint64_t length, std::uint16_t flags,
                   platform::SharedState& app);
    // Appends the records of the row to the engine's arrays.
    void Finish(mdf::CRecoveryEngine& engine);

private:
    bool m_bDocs = false;
    bool m_bStreams = false;
    bool m_bLists = false;
    bool m_bWebs = false;
    mdf::SharepointDocs m_doc;
    mdf::SPSDocStream m_stream;
    mdf::AllList m_list;
    mdf::AllWebs m_web;
};

}  // namespace rows
