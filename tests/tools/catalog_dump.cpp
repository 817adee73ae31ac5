// catalog_dump FILE: reads a data file's catalogue as the scan job does and prints it in the format of the
// corpus expectations (expected/NAME.tsv). A test and diagnostic tool, not a user feature. Further listings
// are options (--NAME FILE ...), one function each, registered in kOptions below.
#include "tests/tools/catalog_dump.h"

#include <cstring>
#include <iostream>

#include "platform/messages.h"
#include "platform/shared_state.h"
#include "platform/text.h"
#include "tests/tools/dump_documents.h"
#include "tests/tools/dump_keys.h"
#include "tests/tools/dump_repair.h"
#include "tests/tools/dump_rows.h"

namespace catalog_dump {

namespace {

// Extra options: add one line per option here; put its code in a file of its own.
const Option kOptions[] = {
    {"keys", "", RunKeys},
    {"objects", "", RunObjects},
    {"rows", "", RunRows},
    {nullptr, nullptr, nullptr},
};

int Usage() {
    std::cerr << "usage: catalog_dump FILE\n";
    std::cerr << "       catalog_dump --documents OUTDIR FILE  (Document Recovery scan, every item saved below OUTDIR)\n";
    std::cerr << "       catalog_dump --repair FILE  (Complete Repair against a recording server: every statement "
                 "sent, then the end text; exit 0 completed, 5 finished with problems)\n";
    for (const auto& option : kOptions) {
        if (option.name) std::cerr << "       catalog_dump --" << option.name << " FILE " << option.usage << "\n";
    }
    return 2;
}

}  // namespace

}  // namespace catalog_dump

int main(int argc, char** argv) {
    using namespace catalog_dump;
    if (argc < 2) return Usage();
    // --documents OUTDIR FILE: the Document Recovery scan and a save of every item (its own scan).
    if (argc == 4 && std::strcmp(argv[1], "--documents") == 0) return RunDocuments(argv[2], argv[3], std::cout, std::cerr);
    // --repair FILE: the scan and Complete Repair of the job itself (their own scan).
    if (argc == 3 && std::strcmp(argv[1], "--repair") == 0) return RunRepair(argv[2], std::cout, std::cerr);
    const Option* option = nullptr;
    int file_arg = 1;
    if (std::strncmp(argv[1], "--", 2) == 0) {
        for (const auto& candidate : kOptions) {
            if (candidate.name && std::strcmp(argv[1] + 2, candidate.name) == 0) option = &candidate;
        }
        if (!option) return Usage();
        file_arg = 2;
    }
    if (argc <= file_arg) return Usage();

    platform::SharedState app;
    app.m_strDataFilePath = platform::FromUtf8(argv[file_arg]);
    platform::NullSink sink;
    mdf::CRecoveryEngine engine(app, &sink);
    // Exit codes: 0 done, 1 not opened or no catalogue, 2 usage, 3 documents not written (--documents),
    // kExitDamage done but damage seen, kExitRepairProblems repair finished with problems (--repair).
    std::uint64_t damage = 0;
    if (!RunScan(engine, std::cerr, &damage)) return 1;
    // What the listings meet (records, values) is logged as they meet it.
    LogPrinter printer(app, std::cerr);
    engine.m_hProgressWnd = &printer;
    int result = 0;
    if (!option) {
        PrintCatalog(engine, std::cout);
    } else {
        std::vector<std::string> args(argv + file_arg + 1, argv + argc);
        result = option->run(engine, args, std::cout);
    }
    std::cout.flush();
    // The report ends with every table the file lost some of, after whatever the listing read.
    const std::vector<std::u16string> incomplete = engine.IncompleteTableLines();
    for (const auto& line : incomplete) std::cerr << platform::ToUtf8(line) << "\n";
    engine.m_hProgressWnd = &sink;
    return result == 0 && (damage != 0 || !incomplete.empty()) ? kExitDamage : result;
}
