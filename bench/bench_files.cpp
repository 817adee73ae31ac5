// Writes the large synthetic data files of the scale benchmarks. The catalogue part comes from the test
// builders; the bulk (data pages, document contents) is written page block by page block, so a 4 GiB file
// never has to sit in memory.
#include "bench/bench_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/text.h"
#include "tests/mdf/catalog_2005_fixture.h"
#include "tests/support/page_builder.h"
#include "tests/support/sharepoint_builder.h"

namespace benchfiles {

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::kPageSize;

void Put(Bytes& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A small deterministic generator: the same file every time.
struct Random {
    std::uint64_t state;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

// One user table of the large file: its catalogue ids and how it writes its n-th row.
struct TableShape {
    const char16_t* name;
    std::int32_t object_id;
    std::uint32_t unit;
    std::vector<catalog2005::ColumnDef> columns;
    Bytes (*row)(std::uint64_t n, Random& random);
};

// A record with a null bitmap and a variable part: fixed bytes, then the variable values in column order.
Bytes Record(const Bytes& fixed, std::uint16_t column_count, std::uint8_t null_bits, const std::vector<Bytes>& variable) {
    const std::size_t bitmap_bytes = (column_count + 7u) / 8u;
    std::size_t size = 4 + fixed.size() + 2 + bitmap_bytes + 2 + 2 * variable.size();
    for (const auto& v : variable) size += v.size();
    Bytes r(size, 0);
    std::size_t at = 0;
    auto put16 = [&](std::size_t v) {
        r[at++] = static_cast<std::uint8_t>(v);
        r[at++] = static_cast<std::uint8_t>(v >> 8);
    };
    auto copy = [&](const Bytes& b) {
        if (!b.empty()) std::memcpy(r.data() + at, b.data(), b.size());
        at += b.size();
    };
    r[at++] = 0x30;
    r[at++] = 0x00;
    put16(4 + fixed.size());
    copy(fixed);
    put16(column_count);
    r[at] = null_bits;
    at += bitmap_bytes;
    put16(variable.size());
    std::size_t end = at + 2 * variable.size();
    for (const auto& v : variable) {
        end += v.size();
        put16(end);
    }
    for (const auto& v : variable) copy(v);
    return r;
}

Bytes AsciiText(Random& random, std::size_t min, std::size_t max) {
    static const char kWords[] = "alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima ";
    const std::size_t n = min + random.Below(max - min + 1);
    Bytes b(n);
    const std::size_t start = random.Below(sizeof kWords - 1);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(kWords[(start + i) % (sizeof kWords - 1)]);
    return b;
}

Bytes WideText(Random& random, std::size_t min, std::size_t max) {
    const Bytes ascii = AsciiText(random, min, max);
    Bytes b;
    for (std::uint8_t c : ascii) {
        b.push_back(c);
        b.push_back(0);
    }
    return b;
}

// Orders: int, int, datetime, money, varchar(40) (null in every seventh row).
Bytes OrderRow(std::uint64_t n, Random& random) {
    Bytes fixed;
    Put(fixed, n + 1, 4);
    Put(fixed, random.Below(50000), 4);
    Put(fixed, random.Below(300u * 86400u), 4);      // time of day in 1/300 s
    Put(fixed, 36524 + random.Below(9000), 4);        // days since 1900
    Put(fixed, random.Below(1000000000ull), 8);       // money, 1/10000
    const bool null_note = n % 7 == 3;
    return Record(fixed, 5, null_note ? 0x10 : 0, {null_note ? Bytes{} : AsciiText(random, 8, 40)});
}

// Events: bigint, float, uniqueidentifier, smallint, nvarchar(200).
Bytes EventRow(std::uint64_t n, Random& random) {
    Bytes fixed;
    Put(fixed, n * 3 + 1, 8);
    const double value = static_cast<double>(random.Below(10000000)) / 1024.0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    Put(fixed, bits, 8);
    Put(fixed, random.Next(), 8);
    Put(fixed, random.Next(), 8);
    Put(fixed, random.Below(400), 2);
    return Record(fixed, 5, 0, {WideText(random, 10, 60)});
}

// Notes: int, decimal(18,2), nvarchar(1000).
Bytes NoteRow(std::uint64_t n, Random& random) {
    Bytes fixed;
    Put(fixed, n + 1, 4);
    fixed.push_back(1);  // positive
    Put(fixed, random.Below(100000000000ull), 8);
    return Record(fixed, 3, 0, {WideText(random, 100, 500)});
}

std::vector<TableShape> LargeTables() {
    using catalog2005::ColumnDef;
    return {
        {u"Orders", 1001, 90001,
         {ColumnDef(1001, 1, 56, 4, 4, u"OrderId"), ColumnDef(1001, 2, 56, 4, 4, u"CustomerId"),
          ColumnDef(1001, 3, 61, 8, 8, u"OrderDate"), ColumnDef(1001, 4, 60, 8, 8, u"Amount"),
          ColumnDef(1001, 5, 167, 40, 40, u"Note")},
         OrderRow},
        {u"Events", 1002, 90002,
         {ColumnDef(1002, 1, 127, 8, 8, u"EventId"), ColumnDef(1002, 2, 62, 8, 8, u"Reading"),
          ColumnDef(1002, 3, 36, 16, 16, u"Source"), ColumnDef(1002, 4, 52, 2, 2, u"Kind"),
          ColumnDef(1002, 5, 231, 400, 400, u"Message")},
         EventRow},
        {u"Notes", 1003, 90003,
         {ColumnDef(1003, 1, 56, 4, 4, u"NoteId"), ColumnDef(1003, 2, 106, 9, 9, u"Price", 18, 2),
          ColumnDef(1003, 3, 231, 2000, 2000, u"Body")},
         NoteRow},
    };
}

constexpr std::uint64_t kFirstDataPage = 256;        // extent-aligned, after the catalogue and IAM pages
constexpr std::uint64_t kFirstIamPage = 200;
constexpr std::uint64_t kIntervalPages = 511232;     // pages one IAM page maps
constexpr std::uint64_t kGroupPages = 64;            // runs of eight extents per table
constexpr std::size_t kIamBitmapBytes = 7988;

// Which table a run of pages belongs to: Orders, Orders, Events, Events, Notes, again and again.
std::size_t TableOfGroup(std::uint64_t group) {
    static constexpr std::size_t kPattern[] = {0, 0, 1, 1, 2};
    return kPattern[group % std::size(kPattern)];
}

class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_WRONLY | O_CREAT, 0644)) {
        if (fd_ < 0) throw std::runtime_error("cannot write " + path.string());
    }
    ~OutputFile() { ::close(fd_); }
    void WriteAt(std::uint64_t pos, const std::uint8_t* data, std::size_t n) {
        while (n > 0) {
            const ssize_t done = ::pwrite(fd_, data, n, static_cast<off_t>(pos));
            if (done <= 0) throw std::runtime_error("write failed");
            data += done;
            pos += static_cast<std::uint64_t>(done);
            n -= static_cast<std::size_t>(done);
        }
    }
    void Truncate(std::uint64_t size) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate failed");
    }

private:
    int fd_;
};

}  // namespace

std::filesystem::path Folder() {
    if (const char* dir = std::getenv("BRINDLEMOOR_BENCH_DIR"); dir && *dir) return dir;
    return "/tmp/brindlemoor-bench";
}

std::filesystem::path LargeFile() { return Folder() / "large.mdf"; }

std::vector<LargeTable> WriteLargeFile(const std::filesystem::path& path, std::uint64_t size_mib) {
    const std::uint64_t total_pages = std::max<std::uint64_t>(size_mib * 1024 * 1024 / kPageSize, kFirstDataPage + 1);
    const auto shapes = LargeTables();
    std::vector<LargeTable> summary;
    for (const auto& shape : shapes) summary.push_back({platform::ToUtf8(shape.name), 0, 0});

    // Catalogue: schema, objects, columns, rowsets, allocation units; one IAM page per table and interval.
    catalog2005::Database db;
    std::vector<std::uint64_t> first_page(shapes.size(), 0);
    for (std::uint64_t page = kFirstDataPage; page < total_pages; ++page) {
        const std::size_t t = TableOfGroup((page - kFirstDataPage) / kGroupPages);
        if (first_page[t] == 0) first_page[t] = page;
    }
    for (std::size_t t = 0; t < shapes.size(); ++t) {
        const auto& shape = shapes[t];
        db.Object(shape.object_id, 1, "U ", shape.name);
        for (const auto& column : shape.columns) db.Column(column);
        const auto key32 = static_cast<std::uint32_t>(shape.object_id) * 16 + 1;
        db.Rowset(shape.object_id, key32, 1);
        db.AllocUnit(shape.unit, key32, 1, static_cast<std::uint32_t>(first_page[t]));
    }
    const std::uint64_t intervals = (total_pages + kIntervalPages - 1) / kIntervalPages;
    std::uint64_t iam_page = kFirstIamPage;
    for (std::size_t t = 0; t < shapes.size(); ++t) {
        for (std::uint64_t interval = 0; interval < intervals; ++interval) {
            const std::uint64_t start = interval * kIntervalPages;
            Bytes bitmap(kIamBitmapBytes, 0);
            bool any = false;
            for (std::uint64_t page = std::max(start, kFirstDataPage); page < std::min(total_pages, start + kIntervalPages);
                 page += 8) {
                if (TableOfGroup((page - kFirstDataPage) / kGroupPages) != t) continue;
                const std::uint64_t bit = (page - start) / 8;
                bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | (1u << (bit % 8)));
                any = true;
            }
            if (!any) continue;
            db.File().SetPage(iam_page++, catalog2005::IamPage(shapes[t].unit, static_cast<std::uint32_t>(start), {}, bitmap));
        }
    }
    testsupport::TempDir scratch;
    const std::string catalogue = db.Write(scratch, 655, 655, "catalogue.mdf");
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::remove(path);
    std::filesystem::copy_file(catalogue, path);

    // Data pages, written in blocks of 1 MiB.
    OutputFile out(path);
    std::vector<Random> randoms;
    for (std::size_t t = 0; t < shapes.size(); ++t) randoms.push_back({0x9E3779B97F4A7C15ull + t});
    std::vector<Bytes> pending(shapes.size());  // a row that did not fit on the previous page
    constexpr std::uint64_t kBlockPages = 128;
    std::vector<std::uint8_t> block(kBlockPages * kPageSize);
    for (std::uint64_t first = kFirstDataPage; first < total_pages; first += kBlockPages) {
        const std::uint64_t count = std::min(kBlockPages, total_pages - first);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t page_number = first + i;
            const std::size_t t = TableOfGroup((page_number - kFirstDataPage) / kGroupPages);
            testsupport::PageBuilder page;
            page.Type(testsupport::kDataPage).ObjectId(shapes[t].unit);
            for (std::size_t slots = 0;; ++slots) {
                if (pending[t].empty()) pending[t] = shapes[t].row(summary[t].rows, randoms[t]);
                if (page.FreeOffset() + pending[t].size() > kPageSize - 2 * (slots + 1)) break;
                page.AddRecord(pending[t]);
                pending[t].clear();
                ++summary[t].rows;
            }
            ++summary[t].pages;
            std::uint8_t* const at = block.data() + i * kPageSize;
            std::memcpy(at, page.Build().data(), kPageSize);
            // Each page carries its own number and file 1, as the server writes them.
            for (int k = 0; k < 4; ++k) at[32 + k] = static_cast<std::uint8_t>(page_number >> (8 * k));
            at[36] = 1;
        }
        out.WriteAt(first * kPageSize, block.data(), count * kPageSize);
    }
    out.Truncate(total_pages * kPageSize);
    // The rowset rows keep each table's row count (at 31), as the server keeps it: written now that the rows
    // are counted, into the rowset pages of the catalogue written before.
    {
        const std::vector<std::uint8_t> written = [&] {
            std::ifstream in(catalogue, std::ios::binary);
            return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
        }();
        for (std::uint64_t page = 0; page < std::min<std::uint64_t>(kFirstIamPage, written.size() / kPageSize); ++page) {
            std::vector<std::uint8_t> bytes(written.begin() + static_cast<std::ptrdiff_t>(page * kPageSize),
                                            written.begin() + static_cast<std::ptrdiff_t>((page + 1) * kPageSize));
            auto u16 = [&](std::size_t at) { return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)); };
            auto u32 = [&](std::size_t at) { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); };
            if (u16(0) != testsupport::kDataPage || u32(24) != 5) continue;
            for (std::uint16_t slot = 0; slot < u16(22); ++slot) {
                const std::uint16_t row = u16(kPageSize - 2 - 2 * slot);
                for (std::size_t t = 0; t < shapes.size(); ++t) {
                    if (u32(row + 13u) != static_cast<std::uint32_t>(shapes[t].object_id)) continue;
                    for (int k = 0; k < 8; ++k) bytes[row + 31u + k] = static_cast<std::uint8_t>(summary[t].rows >> (8 * k));
                }
            }
            out.WriteAt(page * kPageSize, bytes.data(), kPageSize);
        }
    }
    return summary;
}

std::filesystem::path ContentDatabaseFile(std::uint64_t documents, bool small_contents) {
    return Folder() / ("content_" + std::to_string(documents) + (small_contents ? "_small" : "") + ".mdf");
}

ContentSummary WriteContentDatabase(const std::filesystem::path& path, std::uint64_t documents, bool small_contents) {
    using testsupport::sharepoint::ContentDatabase;
    using testsupport::sharepoint::Storage;
    ContentDatabase db(testsupport::sharepoint::Generation::Sp2010VarBinary);
    ContentSummary summary;
    Random random{0xC0FFEE1234567ull};

    // Two sites, each with two sub-sites; every web holds five lists of ten folders with ten sub-folders each.
    std::vector<std::pair<int, int>> folders;  // (list, folder)
    for (int s = 0; s < 2; ++s) {
        const std::u16string site = u"Site " + std::u16string(1, static_cast<char16_t>(u'A' + s));
        const int top = db.AddWeb(-1, site);
        std::vector<int> webs = {top};
        for (int w = 0; w < 2; ++w) webs.push_back(db.AddWeb(top, site + u" team " + std::u16string(1, static_cast<char16_t>(u'1' + w))));
        summary.webs += webs.size();
        for (int web : webs) {
            for (int l = 0; l < 5; ++l) {
                const std::u16string n(1, static_cast<char16_t>(u'1' + l));
                const int list = db.AddList(web, u"Library " + n, u"Library" + n);
                ++summary.lists;
                for (int f = 0; f < 10; ++f) {
                    const std::u16string fn(1, static_cast<char16_t>(u'0' + f));
                    const int folder = db.AddFolder(list, -1, u"Folder " + fn);
                    ++summary.folders;
                    for (int g = 0; g < 10; ++g) {
                        const int sub = db.AddFolder(list, folder, u"Part " + fn + std::u16string(1, static_cast<char16_t>(u'0' + g)));
                        ++summary.folders;
                        folders.push_back({list, sub});
                    }
                }
            }
        }
    }
    for (std::uint64_t d = 0; d < documents; ++d) {
        const auto [list, folder] = folders[d % folders.size()];
        const std::size_t size = small_contents ? 16 + random.Below(240) : 256 + random.Below(16 * 1024 - 256);
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((d * 31 + i * 7) & 0xFF);
        const Storage storage = size <= 4000 ? Storage::InRow : (d % 5 == 0 ? Storage::LargeRoot : Storage::Chains);
        std::u16string name = u"Document " + platform::FromUtf8(std::to_string(d)) + u".docx";
        summary.content_bytes += size;
        db.AddDocument(list, folder, std::move(name), std::move(bytes), storage);
    }
    summary.documents = documents;
    std::filesystem::create_directories(path.parent_path());
    db.Build().WriteTo(path);
    return summary;
}

}  // namespace benchfiles
