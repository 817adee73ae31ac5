// The SharePoint content database builder: the rows of the four tables (sharepoint_tables.h encodes them),
// their large values, the 2005 system rows that tie the tables to their pages, and the sample fixture.
#include "tests/support/sharepoint_builder.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/text.h"
#include "tests/support/sha256.h"
#include "tests/support/sharepoint_tables.h"

namespace testsupport::sharepoint {

using namespace tables;

namespace {

Bytes Utf16(std::u16string_view text) { return Utf16Le(text); }

// Deterministic ids: the kind and the number in the first bytes, a fixed tail.
Bytes Guid(std::uint8_t kind, std::uint32_t n) {
    Bytes g = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16),
               kind, 0x5A, 0xC3, 0x1E, 0x47, 0x9B, 0x2D, 0x61, 0x0F, 0xA4, 0x88, 0x3C, 0xD7};
    return g;
}
const Bytes kSiteGuid = Guid(0xEE, 1);
const Bytes kZeroGuid(16, 0);

Value Int32(std::int32_t v) { return LE32(static_cast<std::uint32_t>(v)); }
Value Tiny(std::uint8_t v) { return Bytes{v}; }
Value Flag(bool v) { return Bytes{static_cast<std::uint8_t>(v ? 1 : 0)}; }
Value When(std::int32_t days_since_1900, std::uint32_t ticks) {
    Bytes b = LE32(ticks);
    Append(b, LE32(static_cast<std::uint32_t>(days_since_1900)));
    return b;
}
Value Text(std::u16string_view text) { return Utf16(text); }

// Pages of one kind, filled record by record; a new page when the current one is full.
class PageRun {
public:
    PageRun(std::map<std::uint64_t, PageBuilder>& pages, std::uint64_t& next_page, std::uint16_t type,
            std::uint32_t object_id, std::uint16_t index_id)
        : pages_(pages), next_page_(next_page), type_(type), object_id_(object_id), index_id_(index_id) {}

    struct Placed {
        std::uint32_t page = 0;
        std::uint16_t slot = 0;
        std::uint64_t offset = 0;
    };
    Placed Add(const Bytes& record) {
        if (current_ == 0 || slots_ >= 400 ||
            pages_[current_].FreeOffset() + record.size() > kPageSize - 2 * (slots_ + 1u)) {
            current_ = next_page_++;
            slots_ = 0;
            pages_[current_].Type(type_).ObjectId(object_id_).IndexId(index_id_);
            used_.push_back(current_);
        }
        const std::uint16_t at = pages_[current_].AddRecord(record);
        ++records_;
        return {static_cast<std::uint32_t>(current_), slots_++, current_ * kPageSize + at};
    }
    const std::vector<std::uint64_t>& Pages() const { return used_; }
    std::uint64_t Records() const { return records_; }

private:
    std::map<std::uint64_t, PageBuilder>& pages_;
    std::uint64_t& next_page_;
    std::uint16_t type_;
    std::uint32_t object_id_;
    std::uint16_t index_id_;
    std::uint64_t current_ = 0;
    std::uint16_t slots_ = 0;
    std::uint64_t records_ = 0;
    std::vector<std::uint64_t> used_;
};

constexpr std::uint16_t kTextPage = 0x0301;

Bytes LobHeader(std::uint16_t type, std::size_t length) {
    Bytes r = {0x08, 0x00};
    Put16(r, 2, static_cast<std::uint16_t>(length));
    r.resize(12, 0);
    Append(r, LE16(type));
    return r;
}
Bytes DataRecord(const Bytes& data) {
    Bytes r = LobHeader(3, 14 + data.size());
    Append(r, data);
    return r;
}
Bytes SmallRoot(const Bytes& data) {
    Bytes r = LobHeader(0, 20 + data.size());
    Append(r, LE16(static_cast<std::uint16_t>(data.size())));
    r.resize(20, 0);
    Append(r, data);
    return r;
}
Bytes Pointer(std::uint32_t page, std::uint16_t slot) {
    Bytes p = LE32(page);
    Append(p, LE16(1));
    Append(p, LE16(slot));
    return p;
}
// Large root (type 5): count at 16, 12-byte entries from 28.
Bytes LargeRoot(const std::vector<PageRun::Placed>& parts) {
    Bytes r = LobHeader(5, 28 + 12 * parts.size());
    r.resize(16, 0);
    Append(r, LE16(static_cast<std::uint16_t>(parts.size())));
    r.resize(28, 0);
    for (const auto& p : parts) {
        Append(r, Pointer(p.page, p.slot));
        Append(r, Bytes(4, 0));
    }
    return r;
}

constexpr std::size_t kChunk = 8000;

std::vector<PageRun::Placed> PlaceChunks(PageRun& lob, const Bytes& bytes) {
    std::vector<PageRun::Placed> parts;
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, bytes.size() - at);
        parts.push_back(lob.Add(DataRecord(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + n)))));
    }
    return parts;
}

// In-row root of a varbinary(max) value kept outside the row: 12-byte header (type 4), then per part its
// running end offset (4 bytes) and its row pointer.
Bytes InlineRoot(const std::vector<std::pair<PageRun::Placed, std::uint32_t>>& parts) {
    Bytes r = {4, 0, 0, 0};
    r.resize(12, 0);
    for (const auto& [placed, end] : parts) {
        Append(r, LE32(end));
        Append(r, Pointer(placed.page, placed.slot));
    }
    return r;
}

}  // namespace

std::string ExpectedName(std::u16string_view name) {
    std::u16string out;
    for (char16_t c : name) {
        if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\') out.push_back(u'_');
        else if (c == u'|') out.push_back(u' ');
        else out.push_back(c);
    }
    if (out.empty() || out == u".") return "_";
    if (out == u"..") return "__";
    std::string utf8 = platform::ToUtf8(out);
    if (utf8.size() <= 255) return utf8;
    // Shortened in front of the extension: drop whole characters until the name fits.
    const std::size_t dot = out.rfind(u'.');
    std::u16string ext = dot == std::u16string::npos || dot == 0 ? u"" : out.substr(dot);
    std::u16string stem = out.substr(0, out.size() - ext.size());
    while (platform::ToUtf8(stem + ext).size() > 255) {
        stem.pop_back();
        if (!stem.empty() && stem.back() >= 0xD800 && stem.back() <= 0xDBFF) stem.pop_back();
    }
    return platform::ToUtf8(stem + ext);
}

int ContentDatabase::AddWeb(int parent_web, std::u16string title) {
    entities_.push_back({Entity::Web, parent_web, -1, std::move(title), {}, {}, Storage::InRow});
    return static_cast<int>(entities_.size()) - 1;
}

int ContentDatabase::AddList(int web, std::u16string title, std::u16string root_folder_name) {
    entities_.push_back({Entity::List, web, -1, std::move(title), std::move(root_folder_name), {}, Storage::InRow});
    return static_cast<int>(entities_.size()) - 1;
}

int ContentDatabase::AddFolder(int list, int parent_folder, std::u16string name) {
    entities_.push_back({Entity::Folder, list, parent_folder, std::move(name), {}, {}, Storage::InRow});
    doc_row_order_.push_back(static_cast<int>(entities_.size()) - 1);
    return doc_row_order_.back();
}

int ContentDatabase::AddDocument(int list, int parent_folder, std::u16string name, std::vector<std::uint8_t> bytes,
                                 Storage storage) {
    entities_.push_back({Entity::Document, list, parent_folder, std::move(name), {}, std::move(bytes), storage});
    doc_row_order_.push_back(static_cast<int>(entities_.size()) - 1);
    return doc_row_order_.back();
}

void ContentDatabase::StoreFirst(int item) {
    std::erase(doc_row_order_, item);
    doc_row_order_.insert(doc_row_order_.begin(), item);
}

std::string ContentDatabase::ExpectedFolder(int entity) const {
    const Entity& e = entities_[static_cast<std::size_t>(entity)];
    switch (e.kind) {
        case Entity::Web:
            return (e.parent < 0 ? std::string() : ExpectedFolder(e.parent) + "/") + ExpectedName(e.name);
        case Entity::List:
            return ExpectedFolder(e.parent) + "/" + ExpectedName(e.name) + "/" + ExpectedName(e.root_folder_name);
        case Entity::Folder:
        case Entity::Document:
            return (e.folder < 0 ? ExpectedFolder(e.parent) : ExpectedFolder(e.folder)) + "/" + ExpectedName(e.name);
    }
    return {};
}

std::vector<ManifestLine> ContentDatabase::Manifest() const {
    std::vector<ManifestLine> lines;
    for (const auto& e : entities_) {
        if (e.kind != Entity::Document) continue;
        const int index = static_cast<int>(&e - entities_.data());
        lines.push_back({ExpectedFolder(index), e.bytes.size(), Sha256Hex(e.bytes)});
    }
    return lines;
}

FileBuilder ContentDatabase::Build() const {
    std::map<std::uint64_t, PageBuilder> pages;
    std::uint64_t next_page = 16;

    const TableDef tables[] = {AllDocsTable(), AllDocStreamsTable(generation_), AllListsTable(), WebsTable()};
    constexpr std::uint32_t kFirstObjectId = 0x1A2B0001;
    auto unit_of = [](std::size_t t) { return static_cast<std::uint32_t>(0x00310000 + t); };
    auto key_of = [](std::size_t t) { return static_cast<std::uint32_t>(0x00420000 + t); };

    // ---- System rows ----
    PageRun schemas(pages, next_page, kDataPage, 64, 1);
    {
        Bytes r = {0x30, 0x00};
        Put16(r, 2, 33);
        r.resize(5, 0);
        r[4] = 3;  // schema class
        Put32(r, 5, 1);
        Put16(r, 33, 6);
        r.resize(36, 0);
        Put16(r, 36, 2);
        const Bytes name = Utf16(u"dbo");
        Put16(r, 38, 42);
        Put16(r, 40, static_cast<std::uint16_t>(42 + name.size()));
        Append(r, name);
        schemas.Add(r);
    }
    PageRun objects(pages, next_page, kDataPage, 34, 1);
    PageRun columns(pages, next_page, kDataPage, 41, 1);
    PageRun rowsets(pages, next_page, kDataPage, 5, 1);
    PageRun units(pages, next_page, kDataPage, 7, 1);
    std::vector<PageRun::Placed> rowset_rows;  // the row count is written once the table's rows are placed
    for (std::size_t t = 0; t < std::size(tables); ++t) {
        const std::uint32_t object_id = kFirstObjectId + static_cast<std::uint32_t>(t) * 16;
        Bytes o = {0x30, 0x00};
        Put16(o, 2, 0x2C);
        Put32(o, 4, object_id);
        Put32(o, 8, 1);  // schema dbo
        o.resize(17, 0);
        o.push_back('U');
        o.push_back(' ');
        o.resize(44, 0);
        Put16(o, 44, 13);
        o.resize(48, 0);
        Put16(o, 48, 1);
        const Bytes name = Utf16(tables[t].name);
        Put16(o, 50, static_cast<std::uint16_t>(52 + name.size()));
        Append(o, name);
        objects.Add(o);

        std::uint32_t column_id = 0;
        for (const auto& column : tables[t].columns) {
            Bytes c = {0x30, 0x00};
            Put16(c, 2, 0x2D);
            Put32(c, 4, object_id);
            Put32(c, 10, ++column_id);
            c.resize(14, 0);
            c.push_back(column.type);
            Put32(c, 15, column.type);
            Put16(c, 19, column.max_length);
            c.resize(27, 0);
            c.push_back(column.not_null ? 1 : 0);
            c.resize(31, 0);
            Put16(c, 31, column.max_length);
            c.resize(45, 0);
            Put16(c, 45, 15);
            c.resize(49, 0);
            Put16(c, 49, 1);
            const Bytes column_name = Utf16(column.name);
            Put16(c, 51, static_cast<std::uint16_t>(53 + column_name.size()));
            Append(c, column_name);
            columns.Add(c);
        }

        Bytes rs = {0x30, 0x00};
        Put16(rs, 2, 39);
        Put32(rs, 6, key_of(t));
        Put16(rs, 10, 0);
        rs[12] = 1;
        Put32(rs, 13, object_id);
        Put32(rs, 17, 0);  // heap
        rs.resize(43, 0);
        rowset_rows.push_back(rowsets.Add(rs));
    }

    // ---- Rows of the four tables ----
    std::vector<std::unique_ptr<PageRun>> data;
    for (std::size_t t = 0; t < std::size(tables); ++t) {
        data.push_back(std::make_unique<PageRun>(pages, next_page, kDataPage, unit_of(t), 0));
    }
    PageRun lob(pages, next_page, kTextPage, 0x00510000, 0);

    auto id_of = [](int entity) { return Guid(0x10, static_cast<std::uint32_t>(entity) + 1); };
    auto web_root_of = [](int web) { return Guid(0x20, static_cast<std::uint32_t>(web) + 1); };
    auto list_root_of = [](int list) { return Guid(0x30, static_cast<std::uint32_t>(list) + 1); };
    auto web_of_list = [&](int list) { return entities_[static_cast<std::size_t>(list)].parent; };
    const Value created = When(40000, 300 * 3600);
    const Value modified = When(40100, 300 * 7200);

    auto doc_row = [&](const Bytes& id, const Bytes& web, const Value& list, std::uint8_t type,
                       const std::u16string& dir, const std::u16string& leaf, const Value& size, const Bytes& parent) {
        Row row;
        row[u"Id"] = {id};
        row[u"SiteId"] = {kSiteGuid};
        row[u"DirName"] = {Text(dir)};
        row[u"LeafName"] = {Text(leaf)};
        row[u"WebId"] = {web};
        row[u"ListId"] = {list};
        row[u"Type"] = {Tiny(type)};
        row[u"Size"] = {size};
        row[u"UIVersion"] = {Int32(512)};
        row[u"Dirty"] = {Flag(false)};
        row[u"ListDataDirty"] = {Flag(type == 0)};
        row[u"ThicketFlag"] = {Flag(true)};
        row[u"DocFlags"] = {Int32(type == 0 ? 0x104 : 0)};
        row[u"TimeCreated"] = {created};
        row[u"TimeLastModified"] = {modified};
        row[u"ParentId"] = {parent};
        row[u"DeleteTransactionId"] = {Bytes{}};
        data[0]->Add(EncodeRecord(tables[0], row));
    };

    // Webs, their root folders, lists and their root folders.
    for (std::size_t i = 0; i < entities_.size(); ++i) {
        const Entity& e = entities_[i];
        const int index = static_cast<int>(i);
        if (e.kind == Entity::Web) {
            Row row;
            row[u"Id"] = {id_of(index)};
            row[u"SiteId"] = {kSiteGuid};
            row[u"FullUrl"] = {Text(u"sites/web" + platform::Widen(std::to_string(i)))};
            row[u"ParentWebId"] = {e.parent < 0 ? Value{} : Value{id_of(e.parent)}};
            row[u"FirstUniqueAncestorWebId"] = {id_of(index)};
            row[u"Author"] = {Int32(1)};
            row[u"Title"] = {Text(e.name)};
            row[u"TimeCreated"] = {created};
            row[u"CachedNavDirty"] = {Int32(0)};
            data[3]->Add(EncodeRecord(tables[3], row));
            doc_row(web_root_of(index), id_of(index), {}, 1, u"sites", u"", {}, kZeroGuid);
        } else if (e.kind == Entity::List) {
            Row row;
            row[u"tp_WebId"] = {id_of(e.parent)};
            row[u"tp_ID"] = {id_of(index)};
            row[u"tp_Title"] = {Text(e.name)};
            for (const char16_t* date : {u"tp_Created", u"tp_Modified", u"tp_LastDeleted", u"tp_LastSecurityChange"}) {
                row[date] = {created};
            }
            row[u"tp_DeleteCount"] = {Int32(0)};
            row[u"tp_Version"] = {Int32(3)};
            row[u"tp_BaseType"] = {Int32(1)};
            row[u"tp_ServerTemplate"] = {Int32(101)};
            row[u"tp_RootFolder"] = {list_root_of(index)};
            row[u"tp_ImageUrl"] = {Text(u"/_layouts/images/itdl.gif")};
            row[u"tp_ReadSecurity"] = {Int32(1)};
            row[u"tp_WriteSecurity"] = {Int32(1)};
            data[2]->Add(EncodeRecord(tables[2], row));
            doc_row(list_root_of(index), id_of(e.parent), id_of(index), 1, u"sites", e.root_folder_name, {},
                    web_root_of(e.parent));
        }
    }

    // Folders and documents in their storage order; a document's stream row follows its contents.
    for (int index : doc_row_order_) {
        const Entity& e = entities_[static_cast<std::size_t>(index)];
        const Bytes parent = e.folder < 0 ? list_root_of(e.parent) : id_of(e.folder);
        const bool document = e.kind == Entity::Document;
        doc_row(id_of(index), id_of(web_of_list(e.parent)), id_of(e.parent), document ? 0 : 1, u"sites/lib", e.name,
                document ? Int32(unknown_sizes_ ? -1 : static_cast<std::int32_t>(e.bytes.size())) : Value{}, parent);
        if (!document) continue;

        Cell content;
        if (generation_ == Generation::Sp2007Image) {
            PageRun::Placed root;
            if (e.bytes.size() <= 4000) {
                root = lob.Add(SmallRoot(e.bytes));
            } else {
                root = lob.Add(LargeRoot(PlaceChunks(lob, e.bytes)));
            }
            Bytes pointer(8, 0);  // timestamp; its first byte is not 2 or 4
            Append(pointer, Pointer(root.page, root.slot));
            content = {pointer, false};
        } else if (e.storage == Storage::InRow) {
            content = {e.bytes, false};
        } else {
            std::vector<std::pair<PageRun::Placed, std::uint32_t>> parts;
            if (e.storage == Storage::Chains) {
                std::uint32_t end = 0;
                for (const auto& placed : PlaceChunks(lob, e.bytes)) {
                    end += static_cast<std::uint32_t>(std::min(kChunk, e.bytes.size() - end));
                    parts.emplace_back(placed, end);
                }
            } else {
                parts.emplace_back(lob.Add(LargeRoot(PlaceChunks(lob, e.bytes))),
                                   static_cast<std::uint32_t>(e.bytes.size()));
            }
            content = {InlineRoot(parts), true};
        }
        Row stream;
        stream[u"Id"] = {id_of(index)};
        stream[u"SiteId"] = {kSiteGuid};
        stream[u"InternalVersion"] = {Int32(1)};
        stream[u"ParentId"] = {parent};
        stream[u"Size"] = {Int32(unknown_sizes_ ? -1 : static_cast<std::int32_t>(e.bytes.size()))};
        stream[u"Content"] = content;
        data[1]->Add(EncodeRecord(tables[1], stream));
    }

    // ---- Allocation units and their allocation maps ----
    for (std::size_t t = 0; t < std::size(tables); ++t) {
        // The rowset row keeps the table's row count (at 31), as the server keeps it.
        const auto& rowset = rowset_rows[t];
        pages[rowset.page].U64(static_cast<std::size_t>(rowset.offset % kPageSize) + 31, data[t]->Records());
        const auto& table_pages = data[t]->Pages();
        Bytes u = {0x30, 0x00};
        Put16(u, 2, 35);
        Put32(u, 6, unit_of(t));
        u.resize(12, 0);
        u.push_back(1);  // in-row data
        Put32(u, 15, key_of(t));
        Put16(u, 19, 0);
        Put32(u, 27, table_pages.empty() ? 0 : static_cast<std::uint32_t>(table_pages.front()));
        Put16(u, 31, 1);
        u.resize(60, 0);
        const auto placed = units.Add(u);
        if (!table_pages.empty()) {
            // The unit's first allocation map is the next page: its number and file at row bytes 39 and 43.
            const auto row = static_cast<std::size_t>(placed.offset % kPageSize);
            pages[placed.page].U32(row + 39, static_cast<std::uint32_t>(next_page)).U16(row + 43, 1);
        }
        for (std::size_t first = 0; first < table_pages.size(); first += 8) {
            PageBuilder& iam = pages[next_page++];
            iam.Type(kIamPage).ObjectId(unit_of(t));
            Bytes header = {0x00, 0x00};
            Put16(header, 2, 94);
            header.resize(40, 0);
            Put32(header, 40, 0);
            Put16(header, 44, 1);
            for (std::size_t s = 0; s < 8; ++s) {
                const std::uint32_t page = first + s < table_pages.size() ? static_cast<std::uint32_t>(table_pages[first + s]) : 0;
                Put32(header, 46 + 6 * s, page);
                Put16(header, 50 + 6 * s, page ? 1 : 0);
            }
            header.resize(94, 0);
            iam.AddRecord(header);
        }
    }

    FileBuilder file;
    file.BootVersion(611, torn_ ? 539 : 611);
    for (auto& [number, page] : pages) {
        if (torn_) page.Tear(0);
        file.SetPage(number, page);
    }
    file.PageCount(next_page + 1);
    return file;
}

ContentDatabase ContentDatabase::Sample(Generation generation) {
    ContentDatabase db(generation);
    auto text = [](const std::string& seed, std::size_t n) {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed[i % seed.size()] + (i / 97) % 5);
        return b;
    };
    const int team = db.AddWeb(-1, u"Team|Site");
    const int shared = db.AddList(team, u"Shared Documents", u"Shared Documents");
    db.AddDocument(shared, -1, u"welcome.txt", text("Welcome to the team site. ", 300));
    db.AddDocument(shared, -1, u"年度報告.docx", text("PK\x03\x04 annual report ", 20000), Storage::Chains);
    const int years = db.AddFolder(shared, -1, u"2020/2021");
    db.AddDocument(shared, years, u"..", text("a document named with two dots ", 500));
    const int quarter = db.AddFolder(shared, years, u"Q1");
    db.StoreFirst(quarter);  // the sub-folder's row lies before its parent's
    db.AddDocument(shared, quarter, u"budget.xlsx", text("budget figures; ", 12000), Storage::LargeRoot);
    // 128 characters, the column's limit, but 376 bytes in UTF-8: the saved name is shortened.
    db.AddDocument(shared, -1, std::u16string(124, u'文') + u".pdf", text("%PDF-1.4 long name ", 100));
    const int plans = db.AddList(team, u"Q1|Q2 Plans", u"Plans");
    db.AddDocument(plans, -1, u"plan.txt", text("plan: ship it. ", 1200));
    const int sales = db.AddWeb(team, u"Отдел продаж");
    const int docs = db.AddList(sales, u"Документы", u"Documents");
    db.AddDocument(docs, -1, u"отчёт.txt", text("Квартальный отчёт ", 9000), Storage::Chains);
    const int archive = db.AddWeb(-1, u"Archive");
    const int old = db.AddList(archive, u"Old", u"Old");
    const int dot = db.AddFolder(old, -1, u".");
    db.AddDocument(old, dot, u"readme", text("no extension here ", 60));
    return db;
}

}  // namespace testsupport::sharepoint
