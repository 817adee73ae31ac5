// Writes a small SharePoint content database in the 2005 on-disk format: boot page, the system rows the
// catalogue reader needs (schemas, objects, columns, rowsets, allocation units), and the tables AllDocs,
// AllDocStreams, AllLists and Webs with their allocation maps, data pages and large-value pages. Sites, sub-sites,
// lists, folders and documents are added in code; the manifest says where each document must land when every
// item of the document tree is saved, with its size and SHA-256.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/page_builder.h"

namespace testsupport::sharepoint {

enum class Generation {
    Sp2007Image,      // AllDocStreams.Content image: every content in image pages behind a text pointer
    Sp2010VarBinary,  // AllDocStreams.Content varbinary(max): content in the row or in large-value chains
};

// Where a varbinary(max) content lies (image contents always lie in image pages).
enum class Storage {
    InRow,       // the bytes in the stream row itself
    Chains,      // an in-row root with one pointer per data record
    LargeRoot,   // an in-row root pointing to a large-root record that points to the data records
};

struct ManifestLine {
    std::string path;  // below the output folder, "/" between names, UTF-8
    std::uint64_t size = 0;
    std::string sha256;
};

class ContentDatabase {
public:
    explicit ContentDatabase(Generation generation) : generation_(generation) {}

    // Each returns the new item's number, which the later calls take as parent. parent_web -1: a top-level web.
    int AddWeb(int parent_web, std::u16string title);
    int AddList(int web, std::u16string title, std::u16string root_folder_name);
    // A folder inside a list's root folder (parent_folder -1) or inside another folder.
    int AddFolder(int list, int parent_folder, std::u16string name);
    int AddDocument(int list, int parent_folder, std::u16string name, std::vector<std::uint8_t> bytes,
                    Storage storage = Storage::InRow);
    // Stores the item's AllDocs row before every row added so far (a child before its parent).
    void StoreFirst(int item);
    // Writes the file as one created on 2000 and converted to 2005 (version pair 611, 539), every page written
    // with torn-page protection: the last byte of each sector carries the torn pattern until restored.
    void TornPages(bool torn) { torn_ = torn; }
    // Writes every document's Size as -1 (a size the server did not keep).
    void UnknownSizes(bool unknown) { unknown_sizes_ = unknown; }

    // The data file's pages.
    FileBuilder Build() const;
    // One line per document, in the order the documents were added.
    std::vector<ManifestLine> Manifest() const;

    // The fixture of make_fixture: two sites, a sub-site, lists and folders with awkward names, and documents
    // of every storage form of the generation.
    static ContentDatabase Sample(Generation generation);

private:
    struct Entity {
        enum Kind { Web, List, Folder, Document } kind;
        int parent = -1;   // web of a web/list; list of a folder/document
        int folder = -1;   // parent folder of a folder/document; -1 the list's root folder
        std::u16string name;
        std::u16string root_folder_name;  // lists
        std::vector<std::uint8_t> bytes;
        Storage storage = Storage::InRow;
    };
    std::string ExpectedFolder(int entity) const;

    Generation generation_;
    bool torn_ = false;
    bool unknown_sizes_ = false;
    std::vector<Entity> entities_;
    std::vector<int> doc_row_order_;  // AllDocs rows: folders and documents, in storage order
};

// The name a saved file or folder gets for a name read from the data file (separators and control
// characters "_", "|" a blank, placeholders for "", "." and "..", at most 255 UTF-8 bytes keeping the extension).
std::string ExpectedName(std::u16string_view name);

}  // namespace testsupport::sharepoint
