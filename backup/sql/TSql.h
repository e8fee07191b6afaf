// The texts sent to SQL Server and to the ODBC driver manager, built so that no
// name or path is ever pasted in raw.
#pragma once

#include "sql/SqlDmo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dunmarrow::sql {

// Source of every error the SQL Server layer raises.
inline constexpr char kErrorSource[] = "Dunmarrow.SQLDMO";
// E_INVALIDARG: a name, path or file list that cannot be used.
inline constexpr std::int32_t kErrorInvalidArgument = -2147024809;

// Reads the bracketed name that starts at text[at] ("["), "]]" standing for
// "]" in it, into name and moves at past its closing "]". Returns false, at
// the end of text, when the bracket is never closed.
bool ReadBracketed(const std::string& text, std::size_t& at, std::string& name);

// BACKUP DATABASE [name] TO DISK = N'path'[, DISK = N'path'...] [WITH INIT].
// files is a bracketed list: "[a.bak]", "[a.bak],[b.bak]"; blanks, commas or
// semicolons may separate the items and "]]" stands for "]" inside one.
// Throws Error kErrorInvalidArgument for an empty database name, a list that
// is empty or not bracketed, an empty path, or a NUL character.
std::string BackupStatement(const std::string& database, const std::string& files, bool initialize);

// The switches of one backup; all off is a full backup WITH INIT left out.
struct BackupOptions {
    BackupAction action = BackupAction::Database;
    bool initialize = false;
    bool checksum = false;
    bool compression = false;
    bool copyOnly = false;
    // STATS = 1: a progress message (3211) for each percent written, which
    // shows the server is still at work.
    bool stats = false;
};

// BACKUP DATABASE|LOG [name] TO DISK = N'path'... followed by one WITH list in
// this order: DIFFERENTIAL, INIT, CHECKSUM, COMPRESSION, COPY_ONLY, STATS = 1
// (only those switched on). Throws as above.
std::string BackupStatement(const std::string& database, const std::string& files, const BackupOptions& options);

// RESTORE VERIFYONLY FROM DISK = N'path'[, DISK = N'path'...] [WITH CHECKSUM]
// (with stats: WITH [CHECKSUM, ]STATS = 1), files as for BackupStatement.
// Throws Error kErrorInvalidArgument for a list that is empty or not
// bracketed, an empty path, or a NUL character.
std::string VerifyStatement(const std::string& files, bool checksum, bool stats = false);

// The query of the server's databases, one row each: name, state, state_desc,
// recovery_model, 1 for a snapshot, is_distributor, 1 where this replica takes
// the backups (always, outside an availability group), 1 when a full backup has
// started the log chain, 1 when there is a base for a differential backup, then
// for each of namePatterns 1 when the name is LIKE it; in name order. Both the
// LIKE and the order are the server's, under its collation for names.
std::string CatalogueStatement(const std::vector<std::string>& namePatterns);

// Driver={driver};Server={server};[Trusted_Connection=Yes;][TDS_Version=7.4;]
// TDS_Version is added for FreeTDS, whose automatic mode falls back to an old
// protocol. "host,port" is passed through: both drivers read it as a port.
// Throws Error kErrorInvalidArgument when the driver name is empty, or when a
// value holds ';', '{', '}' or NUL, which a braced value cannot carry.
std::string ConnectionString(const std::string& driver, const std::string& server, bool integratedLogin);

} // namespace dunmarrow::sql
