// The target database's name and CREATE DATABASE statement, and the repair's private temporary folder: the
// pure pieces of CRecoveryEngine::CreateTargetDatabase, open to tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <filesystem>
#include <string>
#include <string_view>

#include "mdf/catalog_records.h"

namespace target {

// The longest name the server takes for a database or a file's logical name.
inline constexpr std::size_t kMaxNameLength = 128;
// How many names one repair tries (the base name, then 1 to 99 appended) before it gives up.
inline constexpr int kMaxDatabaseNames = 100;
// Server answers that mean "try the next name": the database exists (1801), its file exists (5170).
inline constexpr int kDatabaseExists = 1801;
inline constexpr int kFileExists = 5170;

// "[" + name with every "]" doubled + "]".
std::u16string Bracketed(std::u16string_view name);
// "N'" + text with every "'" doubled + "'".
std::u16string NQuoted(std::u16string_view text);

// The base name cut so that it, the suffix and "_data" fit kMaxNameLength (never inside a surrogate pair),
// then the suffix.
std::u16string DatabaseName(std::u16string_view base, std::u16string_view suffix);

// CREATE DATABASE for name: with the file clause only when a server-side data folder is given (a local
// folder means nothing to a remote server), without sizes (the server takes the model database's); with the
// collation clause when a collation is given.
std::u16string CreateDatabaseStatement(std::u16string_view name, std::u16string_view server_data_folder,
                                      std::u16string_view collation);

// The database's collation name: the boot page's id when it names a collation, else the collation most
// character columns of the catalogue carry; empty when neither is known (the server's default is taken).
std::u16string DatabaseCollation(std::uint32_t boot_page_id, const std::list<mdf::TableNode>& tables);

// Why a connection attempt failed, in the user's words. Without a login the driver signs in with Kerberos:
// when the user holds no Kerberos ticket, or the driver says its own set-up cannot do it, that is what went
// wrong, and the driver's words (a pointer to its debug log) would not say it. Otherwise the server name is
// the likely fault, with the driver's text on the last line.
std::u16string NoConnectionText(bool login_given, bool kerberos_ticket, std::u16string_view driver_text);
// Whether the user holds a Kerberos ticket: the credentials cache that $KRB5CCNAME names, or the usual file
// cache /tmp/krb5cc_<uid>, exists. A cache kept elsewhere (a keyring, a daemon) counts as present.
bool KerberosTicketPresent();

// Makes a new folder only this user can enter (0700) under base (made when missing); empty path when it
// cannot be made, with the system's reason in error.
std::filesystem::path MakePrivateFolder(const std::filesystem::path& base, std::string* error = nullptr);
// Where the repair's private folders go: $XDG_CACHE_HOME/brindlemoor (or ~/.cache/brindlemoor).
std::filesystem::path RepairFolderBase();

// The log line of the embedded road where the edition's local service would be restarted.
inline constexpr const char16_t* kServiceRestartLeft =
    u"The server's service is not restarted from here: restarting it is left to the server's administrator.";

}  // namespace target
