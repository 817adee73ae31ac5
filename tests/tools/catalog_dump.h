// The catalogue dump tool's pieces: the scan as the scan job runs it, the catalogue listing, and the table of
// extra options (each option's code lives in its own file and adds one line to the table in catalog_dump.cpp).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mdf/recovery_engine.h"
#include "platform/messages.h"
#include "platform/shared_state.h"

namespace catalog_dump {

// Exit code of a run that saw damage (pages failing their checksum or torn-page stamp, pages of a table beyond
// the end of the file or not readable as its pages, lost allocation maps or catalogue rows, slots that list one
// record twice, column rows that contradict their table, catalogue rows lost or contradicting the pages, a cut
// file, or a damaged catalogue without tables) but otherwise succeeded. A sound database without user tables is
// no damage.
constexpr int kExitDamage = 4;

// Opens the data file and reads the catalogue as the scan job does (version flags cleared, the reader chosen by
// the version pair in Complete Repair mode, column positions computed). False, with a line on err, on failure.
// The damage lines go to err; damage, when given, receives their number.
bool RunScan(mdf::CRecoveryEngine& engine, std::ostream& err, std::uint64_t* damage = nullptr);

// Prints every log line when it is sent, as the log window would show it.
class LogPrinter final : public platform::IMessageSink {
public:
    LogPrinter(const platform::SharedState& app, std::ostream& out) : app_(app), out_(out) {}
    void Send(unsigned message, platform::WPARAM, platform::LPARAM) override;
    void Post(unsigned, platform::WPARAM, platform::LPARAM) override {}

private:
    const platform::SharedState& app_;
    std::ostream& out_;
};

// The scan's damage report (CRecoveryEngine::ReportDamage) with its lines on err; the number of findings.
std::uint64_t ReportDamageTo(mdf::CRecoveryEngine& engine, std::ostream& err);

// The base system type name of a column; character and binary types with their declared length in
// characters ("nvarchar(40)", "varchar(max)").
std::string ColumnTypeName(const mdf::ColumnNode& column);

// "version\tCUR\tCREATED", then "table\tNAME\tLIVE_ROWS\tCOL TYPE, ..." per table.
void PrintCatalog(const mdf::CRecoveryEngine& engine, std::ostream& out);

// An extra option: `catalog_dump --NAME FILE [ARGS...]` scans FILE, then runs `run` with the ARGS.
struct Option {
    const char* name;  // without the leading "--"
    const char* usage;
    int (*run)(mdf::CRecoveryEngine& engine, const std::vector<std::string>& args, std::ostream& out);
};

}  // namespace catalog_dump
