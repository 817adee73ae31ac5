// make_fixture KIND OUT.mdf: writes a synthetic data file of the given kind and prints what it holds, in the
// format of catalog_dump. A test tool, not a user feature. Each kind is one line in kFixtures below.
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>

#include "tests/support/sharepoint_builder.h"
#include "tests/support/sql2000_builder.h"

namespace {

// Writes the file and prints its listing; returns the process exit code.
int WriteSql2000(const std::filesystem::path& out, std::ostream& listing) {
    const auto database = testsupport::sql2000::SampleDatabase();
    database.Build().WriteTo(out);
    listing << database.Listing();
    return 0;
}

// The SharePoint content database; its listing is the manifest: one line per document, the path where the
// save of every tree item writes it, its size and its SHA-256.
int WriteSharePoint(const std::filesystem::path& out, std::ostream& listing,
                    testsupport::sharepoint::Generation generation, bool torn = false) {
    auto database = testsupport::sharepoint::ContentDatabase::Sample(generation);
    database.TornPages(torn);
    database.Build().WriteTo(out);
    listing << "# PATH_IN_SITE\tSIZE\tSHA256 of each document, paths below the output folder of a save of every item\n";
    for (const auto& line : database.Manifest()) listing << line.path << '\t' << line.size << '\t' << line.sha256 << '\n';
    return 0;
}
int WriteSharePoint2010(const std::filesystem::path& out, std::ostream& listing) {
    return WriteSharePoint(out, listing, testsupport::sharepoint::Generation::Sp2010VarBinary);
}
int WriteSharePoint2007(const std::filesystem::path& out, std::ostream& listing) {
    return WriteSharePoint(out, listing, testsupport::sharepoint::Generation::Sp2007Image);
}
int WriteSharePointTorn(const std::filesystem::path& out, std::ostream& listing) {
    return WriteSharePoint(out, listing, testsupport::sharepoint::Generation::Sp2010VarBinary, true);
}

struct Fixture {
    const char* kind;
    const char* description;
    int (*write)(const std::filesystem::path& out, std::ostream& listing);
};

const Fixture kFixtures[] = {
    {"sql2000", "a small database in the 2000 format (version 539) with tables of several column types", WriteSql2000},
    {"sharepoint", "a SharePoint content database (2005 format, varbinary(max) contents in the row and in chains)",
     WriteSharePoint2010},
    {"sharepoint-image", "the same sites with image contents in image pages", WriteSharePoint2007},
    {"sharepoint-torn", "the varbinary sites in a file converted from 2000, every page with torn sectors",
     WriteSharePointTorn},
};

int Usage() {
    std::cerr << "usage: make_fixture KIND OUT.mdf\n";
    for (const auto& fixture : kFixtures) std::cerr << "  " << fixture.kind << "\t" << fixture.description << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return Usage();
    for (const auto& fixture : kFixtures) {
        if (std::strcmp(argv[1], fixture.kind) != 0) continue;
        try {
            return fixture.write(argv[2], std::cout);
        } catch (const std::exception& e) {
            std::cerr << "make_fixture: " << e.what() << "\n";
            return 1;
        }
    }
    return Usage();
}
