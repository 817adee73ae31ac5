// String table of the program.
#include "app/string_table.h"

#include <array>
#include <utility>

namespace app {

namespace {

constexpr std::array<std::pair<int, std::u16string_view>, 25> kStrings = {{
    {101, u"&About Brindlemoor..."},
    {109, u"Exit Brindlemoor ?"},
    {110, u"Can not exit!"},
    {114, u"Please first stop the current process before existing Brindlemoor."},
    {119, u"--------------------------------------------------------------"},
    {120, u" Log Report - Brindlemoor."},
    {170, u"Document Recovery reads the SharePoint tables of the damaged data file, shows its sites, lists, "
          u"folders and documents as a tree, and saves the documents you check into a folder."},
    {171, u"Complete Repair reads every table and stored object of the damaged data file and re-creates the "
          u"database, with its rows, on a SQL Server instance."},
    {176, u"Help Brindlemoor."},
    {177, u"About Brindlemoor."},
    {180, u"Update Brindlemoor."},
    {181, u"Back."},
    {182, u"Home."},
    {183, u"View Log Brindlemoor."},
    {184, u"Select database file."},
    {185, u"Stop search."},
    {186, u"Search files in drive."},
    {187, u"Start scan process."},
    {191, u"Stop current process."},
    {192, u"Clear list."},
    {193, u"Minimize."},
    {194, u"Close."},
    {200, u"Start repair process."},
    {103, u"MS SQL Server File Path"},
    {104, u"Size(KB)"},
}};

}  // namespace

std::u16string_view LoadString(int id) {
    for (const auto& [number, text] : kStrings) {
        if (number == id) return text;
    }
    return {};
}

}  // namespace app
