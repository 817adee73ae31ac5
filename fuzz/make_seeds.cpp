// make_seeds OUT_DIR [CORPUS_DIR]: writes the starting inputs of every fuzz target into OUT_DIR/<target>/:
// pages and small files from the page builder, and pages of the real data files read from CORPUS_DIR at run
// time (the real files are never copied into the project).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fixed_catalog.h"
#include "fuzz/page_image.h"
#include "fuzz/seed_pages.h"
#include "mdf/catalog_records.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"
#include "tests/support/sql2000_builder.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

fs::path g_out;
int g_written = 0;

void Seed(const std::string& target, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(g_out / target);
    std::ofstream(g_out / target / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                  static_cast<std::streamsize>(bytes.size()));
    ++g_written;
}

std::vector<std::uint8_t> PageVector(const PageBytes& page) { return {page.begin(), page.end()}; }

// Record lister: a page and a flag byte (bit 0 torn-sector restoration on, bit 1 2005 catalogue, bit 2
// converted from 2000).
void RecordListingSeeds(const std::vector<fuzzseed::CorpusFile>& files) {
    auto with_flags = [](std::vector<std::uint8_t> page, std::uint8_t flags) {
        page.push_back(flags);
        return page;
    };
    PageBuilder plain;
    plain.Type(kDataPage);
    plain.AddRecord({0x10, 0x00, 0x08, 0x00, 1, 2, 3, 4, 0x01, 0x00, 0x00});
    plain.AddRecord({0x3C, 0x00, 0x08, 0x00, 1, 2, 3, 4, 0x01, 0x00, 0x00});
    plain.AddRecord({0x30, 0x00, 0x08, 0x00, 1, 2, 3, 4, 0x01, 0x00, 0x00});
    Seed("record_listing", "builder_plain", with_flags(PageVector(plain.Build()), 2));
    PageBuilder torn = plain;
    torn.Tear(3);
    Seed("record_listing", "builder_torn", with_flags(PageVector(torn.Build()), 1 | 2 | 4));
    PageBuilder damaged = plain;
    damaged.SlotCount(0xFFFF);
    Seed("record_listing", "builder_count", with_flags(PageVector(damaged.Build()), 2));
    Seed("record_listing", "builder_short", with_flags(std::vector<std::uint8_t>(plain.Build().begin(),
                                                                                  plain.Build().begin() + 700), 2));
    for (const auto& file : files) {
        int taken = 0;
        for (std::uint64_t n = 0; n < file.PageCount() && taken < 24; ++n) {
            const auto page = file.Page(n);
            if (fuzzseed::SlotCount(page) == 0) continue;
            Seed("record_listing", file.name + "_p" + std::to_string(n), with_flags(page, file.Flags()));
            ++taken;
        }
    }
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::uint8_t> Ascii(std::string_view s) { return {s.begin(), s.end()}; }

// Large-value records: header (status, length, value id, type), then the type's fields.
std::vector<std::uint8_t> LobHeader(std::size_t length, std::uint16_t type) {
    return Concat({{0x08, 0x00}, LE16(static_cast<std::uint16_t>(length)), LE64(0x77), LE16(type)});
}
std::vector<std::uint8_t> SmallRoot(const std::vector<std::uint8_t>& data) {
    return Concat({LobHeader(20 + data.size(), 0), LE16(static_cast<std::uint16_t>(data.size())), {0, 0, 0, 0}, data});
}
std::vector<std::uint8_t> DataRecord(const std::vector<std::uint8_t>& data) {
    return Concat({LobHeader(14 + data.size(), 3), data});
}
std::vector<std::uint8_t> NodeRecord(std::uint16_t type, const std::vector<std::pair<std::uint32_t, std::uint16_t>>& entries) {
    const std::size_t entry_size = type == 2 ? 16 : 12;
    auto out = Concat({LobHeader(28 + entry_size * entries.size(), type), LE16(0),
                       LE16(static_cast<std::uint16_t>(entries.size())), std::vector<std::uint8_t>(10, 0)});
    for (const auto& [page, slot] : entries) {
        out = Concat({out, LE32(page), LE16(1), LE16(slot), std::vector<std::uint8_t>(entry_size - 8, 0)});
    }
    return out;
}
// A row id as a row keeps it: page, file, slot.
std::vector<std::uint8_t> RowId(std::uint32_t page, std::uint16_t slot) { return Concat({LE32(page), LE16(1), LE16(slot)}); }

// A data record for the table: every fixed column filled with a running byte pattern, then the variable values.
std::vector<std::uint8_t> RowRecord(const mdf::TableNode& table, const std::vector<std::vector<std::uint8_t>>& var_values,
                                    std::uint8_t null_bits = 0, std::vector<bool> complex = {}) {
    std::uint16_t fixed_end = 4;
    for (const auto& c : table.m_lstColumns) {
        if (c.m_nLeafOffset > 0 && c.m_nMaxInRowLength != 0xFFFF && c.m_nLeafOffset < 0x7000) {
            fixed_end = std::max<std::uint16_t>(fixed_end, static_cast<std::uint16_t>(c.m_nLeafOffset + c.m_nMaxInRowLength));
        }
    }
    std::vector<std::uint8_t> rec = {0x30, 0x00};
    auto put = [&rec](const std::vector<std::uint8_t>& b) { rec.insert(rec.end(), b.begin(), b.end()); };
    put(LE16(fixed_end));
    for (std::uint16_t i = 4; i < fixed_end; ++i) rec.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    const auto n = static_cast<std::uint16_t>(table.m_lstColumns.size());
    put(LE16(n));
    std::vector<std::uint8_t> bitmap((n + 7) / 8, 0);
    bitmap[0] = null_bits;
    put(bitmap);
    put(LE16(static_cast<std::uint16_t>(var_values.size())));
    std::size_t end = rec.size() + 2 * var_values.size();
    for (std::size_t k = 0; k < var_values.size(); ++k) {
        end += var_values[k].size();
        std::uint16_t e = static_cast<std::uint16_t>(end);
        if (k < complex.size() && complex[k]) e |= 0x8000;
        put(LE16(e));
    }
    for (const auto& v : var_values) put(v);
    return rec;
}

// Row decoder input: the pages from page 2 on, the record's page offset, flags and mode.
std::vector<std::uint8_t> RowInput(const std::vector<PageBytes>& pages, std::uint16_t record_in_page, std::uint8_t flags,
                                   std::uint8_t mode) {
    std::vector<std::uint8_t> out;
    for (const auto& p : pages) out.insert(out.end(), p.begin(), p.end());
    out = Concat({out, LE16(record_in_page), {flags, mode}});
    return out;
}

void RowDecoderSeeds(const std::vector<fuzzseed::CorpusFile>& files) {
    mdf::TableNode all;
    fuzz::FillAllTypesTable(all);
    // Page 3 holds the out-of-row values the text, ntext and image pointers and the in-row roots lead to.
    PageBuilder values;
    values.Type(0x0301);
    values.AddRecord(SmallRoot(Ascii("text value")));
    values.AddRecord(SmallRoot(Utf16Le(u"ntext value")));
    values.AddRecord(NodeRecord(5, {{3, 3}, {3, 4}}));
    values.AddRecord(DataRecord(Ascii("image part one ")));
    values.AddRecord(DataRecord(Ascii("image part two")));
    const auto text_ptr = [](std::uint16_t slot) { return Concat({LE64(0x1234), RowId(3, slot)}); };
    const auto in_row_root = Concat({{4, 0, 0, 0}, LE32(0), LE64(29), LE32(29), RowId(3, 3)});
    const std::vector<std::vector<std::uint8_t>> var_values = {
        Ascii("hello"), Utf16Le(u"wide text"), {0xDE, 0xAD, 0xBE, 0xEF},
        text_ptr(0), text_ptr(1), text_ptr(2),
        Concat({{56, 1}, LE32(1234)}),                       // sql_variant int
        Concat({{0xDF, 0xFF, 0x01, 0xB0, 0x04}, Utf16Le(u"x")}),  // xml: a few stored-form bytes
        in_row_root, Utf16Le(u"max text"), {1, 2, 3},
    };
    std::vector<bool> complex(var_values.size(), false);
    complex[8] = true;
    PageBuilder page;
    page.Type(kDataPage);
    const std::uint16_t full = page.AddRecord(RowRecord(all, var_values, 0, complex));
    const std::uint16_t nulls = page.AddRecord(RowRecord(all, var_values, 0xA5));
    for (std::uint8_t mode : {0, 1}) {
        for (std::uint8_t flags : {0, 1, 8}) {
            const std::string suffix = "_m" + std::to_string(mode) + "_f" + std::to_string(flags);
            Seed("row_decoder", "builder_full" + suffix, RowInput({page.Build(), values.Build()}, full, flags, mode));
            Seed("row_decoder", "builder_nulls" + suffix, RowInput({page.Build(), values.Build()}, nulls, flags, mode));
        }
    }
    // SharePoint capture: a row of each of the four tables (mode 2 + 3 x table; + 12 for a varbinary Content).
    for (int which = 0; which < 4; ++which) {
        mdf::TableNode sp;
        fuzz::FillSharePointTable(sp, which);
        std::vector<std::vector<std::uint8_t>> vars;
        for (const auto& c : sp.m_lstColumns) {
            if (c.m_nType == 231) vars.push_back(Utf16Le(which == 0 ? u"Shared Documents/readme.txt" : u"Title"));
            if (c.m_nType == 34) vars.push_back(text_ptr(2));
        }
        PageBuilder p;
        p.Type(kDataPage);
        const std::uint16_t at = p.AddRecord(RowRecord(sp, vars));
        const auto mode = static_cast<std::uint8_t>(2 + 3 * which);
        Seed("row_decoder", "builder_capture" + std::to_string(which), RowInput({p.Build(), values.Build()}, at, 0, mode));
        if (which == 1) {
            Seed("row_decoder", "builder_capture_vb", RowInput({p.Build(), values.Build()}, at, 0, static_cast<std::uint8_t>(mode + 12)));
        }
    }
    // Real records: the first records of data pages, with the page after them.
    for (const auto& file : files) {
        int taken = 0;
        for (std::uint64_t n = 16; n + 1 < file.PageCount() && taken < 12; ++n) {
            const auto bytes = file.Page(n);
            if (fuzzseed::PageType(bytes) != 1 || fuzzseed::SlotCount(bytes) == 0) continue;
            std::vector<std::uint8_t> input = bytes;
            const auto next = file.Page(n + 1);
            input.insert(input.end(), next.begin(), next.end());
            std::uint8_t flags = 0;
            if (file.created_version < 611) flags |= 1;
            if (file.version < 611) flags |= 2;
            if (file.version >= 611 && file.created_version < 611) flags |= 4;
            if (file.version >= 655) flags |= 8;
            input = Concat({input, LE16(fuzzseed::U16At(bytes, 8190)), {flags, static_cast<std::uint8_t>(taken % 3)}});
            Seed("row_decoder", file.name + "_p" + std::to_string(n), input);
            ++taken;
        }
    }
}

// Large-value walk input: a file image, then first page and slot, flags and the consumer.
std::vector<std::uint8_t> LargeValueInput(const std::map<std::uint32_t, std::vector<std::uint8_t>>& pages,
                                          std::uint32_t page_count, std::uint16_t page, std::uint16_t slot,
                                          std::uint8_t flags, std::uint8_t consumer) {
    return Concat({fuzz::EncodePageImage(page_count, pages), LE16(slot), LE16(page), {flags, consumer}});
}

// The pages a chain reaches from (page, slot) in a real file: the record's own page and, for roots and internal
// nodes, the pages of their entries, breadth first, at most 12 pages.
std::map<std::uint32_t, std::vector<std::uint8_t>> ChainPages(const fuzzseed::CorpusFile& file, std::uint32_t page,
                                                             std::uint16_t slot) {
    std::map<std::uint32_t, std::vector<std::uint8_t>> out;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> queue = {{page, slot}};
    for (std::size_t i = 0; i < queue.size() && out.size() < 12 && i < 200; ++i) {
        const auto [p, s] = queue[i];
        if (p >= file.PageCount()) continue;
        const auto bytes = file.Page(p);
        out[p] = bytes;
        if (s >= fuzzseed::SlotCount(bytes) || s >= 4000) continue;
        const std::uint16_t at = fuzzseed::U16At(bytes, 8190 - 2 * s);
        if (at < 96 || at + 28 > 8192) continue;
        const std::uint16_t type = fuzzseed::U16At(bytes, at + 12);
        if (type != 2 && type != 4 && type != 5) continue;
        const std::size_t entry = type == 2 ? 16 : 12;
        const std::uint16_t count = fuzzseed::U16At(bytes, at + 16);
        for (std::size_t k = 0; k < count && at + 28 + entry * (k + 1) <= 8192; ++k) {
            const std::size_t e = at + 28 + entry * k;
            queue.push_back({fuzzseed::U32At(bytes, e), fuzzseed::U16At(bytes, e + 6)});
        }
    }
    return out;
}

void LargeValueSeeds(const std::vector<fuzzseed::CorpusFile>& files) {
    PageBuilder chain;
    chain.Type(0x0301);
    chain.AddRecord(SmallRoot(Ascii("a small value")));
    chain.AddRecord(NodeRecord(5, {{2, 2}, {2, 3}, {3, 0}}));
    chain.AddRecord(DataRecord(Ascii("first part, ")));
    chain.AddRecord(DataRecord(Ascii("second part, ")));
    chain.AddRecord(NodeRecord(2, {{2, 2}, {2, 1}}));  // an internal node back into the chain
    PageBuilder more;
    more.Type(0x0301);
    more.AddRecord(DataRecord(Utf16Le(u"third part")));
    PageBuilder torn = chain;
    torn.Tear(2);
    const std::map<std::uint32_t, std::vector<std::uint8_t>> pages = {
        {2, PageVector(chain.Build())}, {3, PageVector(more.Build())}};
    const std::map<std::uint32_t, std::vector<std::uint8_t>> torn_pages = {
        {2, PageVector(torn.Build())}, {3, PageVector(more.Build())}};
    for (std::uint8_t consumer = 0; consumer < 3; ++consumer) {
        for (std::uint16_t slot = 0; slot < 5; ++slot) {
            Seed("large_value", "builder_s" + std::to_string(slot) + "_c" + std::to_string(consumer),
                 LargeValueInput(pages, 4, 2, slot, static_cast<std::uint8_t>(slot % 2 ? 16 : 0), consumer));
        }
        Seed("large_value", "builder_torn_c" + std::to_string(consumer), LargeValueInput(torn_pages, 4, 2, 1, 1, consumer));
    }
    for (const auto& file : files) {
        int taken = 0;
        for (std::uint32_t n = 16; n < file.PageCount() && taken < 16; ++n) {
            const auto bytes = file.Page(n);
            if (fuzzseed::PageType(bytes) != 3 && fuzzseed::PageType(bytes) != 4) continue;
            for (std::uint16_t s = 0; s < std::min<std::uint16_t>(fuzzseed::SlotCount(bytes), 2); ++s) {
                Seed("large_value", file.name + "_p" + std::to_string(n) + "_s" + std::to_string(s),
                     LargeValueInput(ChainPages(file, n, s), static_cast<std::uint32_t>(file.PageCount()),
                                     static_cast<std::uint16_t>(n), s, static_cast<std::uint8_t>(file.Flags() | (taken % 2 ? 16 : 0)),
                                     static_cast<std::uint8_t>(taken % 3)));
                ++taken;
            }
        }
    }
}

std::map<std::uint32_t, std::vector<std::uint8_t>> NonZeroPages(const std::vector<std::uint8_t>& file) {
    std::map<std::uint32_t, std::vector<std::uint8_t>> pages;
    for (std::size_t at = 0; at + kPageSize <= file.size(); at += kPageSize) {
        const auto begin = file.begin() + static_cast<std::ptrdiff_t>(at);
        if (std::all_of(begin, begin + kPageSize, [](std::uint8_t b) { return b == 0; })) continue;
        pages[static_cast<std::uint32_t>(at / kPageSize)] = {begin, begin + kPageSize};
    }
    return pages;
}

// Catalogue input: a file image, the message at which the job is stopped (0: never) and a choice byte (bit 0
// Document Recovery, bit 1 key readers, the rest the answer to the source-version dialog).
std::vector<std::uint8_t> CatalogInput(const std::vector<std::uint8_t>& image, std::uint8_t choice,
                                       std::uint8_t stop_at = 0) {
    auto out = image;
    out.push_back(stop_at);
    out.push_back(choice);
    return out;
}

bool IsSystemObject(std::uint32_t object_id) {
    switch (object_id) {
        case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 13: case 14: case 34: case 41: case 50:
        case 54: case 55: case 60: case 64: case 74:
            return true;
        default:
            return false;
    }
}

void CatalogSeeds(const std::vector<fuzzseed::CorpusFile>& files) {
    const auto sql2000 = testsupport::sql2000::SampleDatabase().Build().Bytes();
    const auto image2000 = fuzz::EncodePageImage(static_cast<std::uint32_t>(sql2000.size() / kPageSize), NonZeroPages(sql2000));
    Seed("catalog", "builder_sql2000", CatalogInput(image2000, 0));
    Seed("catalog", "builder_sql2000_keys", CatalogInput(image2000, 2));
    Seed("catalog", "builder_sql2000_documents", CatalogInput(image2000, 1));
    for (const auto generation : {testsupport::sharepoint::Generation::Sp2010VarBinary,
                                  testsupport::sharepoint::Generation::Sp2007Image}) {
        const auto bytes = testsupport::sharepoint::ContentDatabase::Sample(generation).Build().Bytes();
        const auto image = fuzz::EncodePageImage(static_cast<std::uint32_t>(bytes.size() / kPageSize), NonZeroPages(bytes));
        const std::string name = generation == testsupport::sharepoint::Generation::Sp2007Image ? "image" : "varbinary";
        Seed("catalog", "builder_sharepoint_" + name, CatalogInput(image, 1));
        Seed("catalog", "builder_sharepoint_" + name + "_repair", CatalogInput(image, 2));
    }
    // Real files: the pages the catalogue readers use (file header and allocation pages, boot page, IAM pages),
    // three pages of each system table (the first, middle or last three: a whole catalogue makes inputs too
    // large to mutate quickly) and one data page of each of the first user tables.
    for (const auto& file : files) {
        std::map<std::uint32_t, std::vector<std::uint8_t>> base;
        std::map<std::uint32_t, std::vector<std::uint32_t>> system_pages;
        std::map<std::uint32_t, std::uint32_t> first_data_page;
        for (std::uint32_t n = 0; n < file.PageCount(); ++n) {
            const auto page = file.Page(n);
            const std::uint8_t type = fuzzseed::PageType(page);
            const std::uint32_t object = fuzzseed::U32At(page, 24);
            if (n < 16 || type == 10) {
                base[n] = page;
            } else if ((type == 1 || type == 2) && IsSystemObject(object)) {
                system_pages[object].push_back(n);
            } else if (type == 1 && first_data_page.size() < 8 && !first_data_page.count(object)) {
                first_data_page[object] = n;
            }
        }
        const auto count = static_cast<std::uint32_t>(file.PageCount());
        // Every page of the tables the table and column lists come from (not the definition texts), when that
        // still makes a small input: whole tables with all their columns reach the table views.
        {
            auto pages = base;
            for (const auto& [object, numbers] : system_pages) {
                if (object == 60 || object == 54 || object == 6) continue;
                for (std::uint32_t n : numbers) pages[n] = file.Page(n);
            }
            for (const auto& [object, n] : first_data_page) pages[n] = file.Page(n);
            const auto image = fuzz::EncodePageImage(count, pages);
            if (image.size() < 440000) Seed("catalog", file.name + "_tables", CatalogInput(image, 2));
        }
        const char* parts[] = {"first", "middle", "last"};
        for (int part = 0; part < 3; ++part) {
            auto pages = base;
            for (const auto& [object, numbers] : system_pages) {
                const std::size_t take = std::min<std::size_t>(3, numbers.size());
                std::size_t from = part == 0 ? 0 : part == 1 ? (numbers.size() - take) / 2 : numbers.size() - take;
                for (std::size_t k = from; k < from + take; ++k) pages[numbers[k]] = file.Page(numbers[k]);
            }
            for (const auto& [object, n] : first_data_page) pages[n] = file.Page(n);
            const auto image = fuzz::EncodePageImage(count, pages);
            Seed("catalog", file.name + "_" + parts[part], CatalogInput(image, static_cast<std::uint8_t>(part == 1 ? 2 : 0)));
            if (part == 0) Seed("catalog", file.name + "_documents", CatalogInput(image, 1));
            if (part == 2) Seed("catalog", file.name + "_stopped", CatalogInput(image, 2, 40));
        }
    }
}

// SharePoint capture and tree input: pages 2 to 5 (one per SharePoint table), pool bytes, flags, page length.
void SharePointTreeSeeds() {
    std::vector<std::uint8_t> pages;
    for (int which = 0; which < 4; ++which) {
        mdf::TableNode sp;
        fuzz::FillSharePointTable(sp, which);
        PageBuilder p;
        p.Type(kDataPage);
        for (int row = 0; row < 3; ++row) {
            std::vector<std::vector<std::uint8_t>> vars;
            for (const auto& c : sp.m_lstColumns) {
                if (c.m_nType == 231) vars.push_back(Utf16Le(row == 0 ? u"Shared Documents" : u"readme.txt"));
                if (c.m_nType == 34) vars.push_back(Concat({LE64(1), LE32(0), LE16(1), LE16(0)}));
            }
            p.AddRecord(RowRecord(sp, vars));
        }
        pages.insert(pages.end(), p.Build().begin(), p.Build().end());
    }
    for (std::uint8_t flags : {0, 1, 2}) {
        Seed("sharepoint_tree", "builder_capture_f" + std::to_string(flags), Concat({pages, {flags}, LE16(32768)}));
    }
    // Pool rows only, from a fixed pseudo-random stream.
    std::uint32_t state = 12345;
    for (std::size_t length : {64u, 256u, 1024u, 4096u}) {
        std::vector<std::uint8_t> bytes(length);
        for (auto& b : bytes) {
            state = state * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(state >> 16);
        }
        Seed("sharepoint_tree", "pool_" + std::to_string(length), Concat({bytes, {0}, LE16(0)}));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_seeds OUT_DIR [CORPUS_DIR]\n");
        return 2;
    }
    g_out = argv[1];
    std::vector<fuzzseed::CorpusFile> files;
    if (argc > 2) files = fuzzseed::LoadCorpus(argv[2]);
    if (files.empty()) std::fprintf(stderr, "make_seeds: no real data files; builder seeds only\n");

    RecordListingSeeds(files);
    RowDecoderSeeds(files);
    LargeValueSeeds(files);
    CatalogSeeds(files);
    SharePointTreeSeeds();
    std::printf("make_seeds: %d seeds from %zu real files\n", g_written, files.size());
    return 0;
}
