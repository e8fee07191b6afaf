// The texts sent to SQL Server and to the ODBC driver manager, built so that no
// name or path is ever pasted in raw.
#pragma once

#include <cstdint>
#include <string>

namespace dunmarrow::sql {

// Source of every error the SQL Server layer raises.
inline constexpr char kErrorSource[] = "Dunmarrow.SQLDMO";
// E_INVALIDARG: a name, path or file list that cannot be used.
inline constexpr std::int32_t kErrorInvalidArgument = -2147024809;

// BACKUP DATABASE [name] TO DISK = N'path'[, DISK = N'path'...] [WITH INIT].
// files is a bracketed list: "[a.bak]", "[a.bak],[b.bak]"; blanks, commas or
// semicolons may separate the items and "]]" stands for "]" inside one.
// Throws Error kErrorInvalidArgument for an empty database name, a list that
// is empty or not bracketed, an empty path, or a NUL character.
std::string BackupStatement(const std::string& database, const std::string& files, bool initialize);

// Driver={driver};Server={server};[Trusted_Connection=Yes;][TDS_Version=7.4;]
// TDS_Version is added for FreeTDS, whose automatic mode falls back to an old
// protocol. "host,port" is passed through: both drivers read it as a port.
// Throws Error kErrorInvalidArgument when the driver name is empty, or when a
// value holds ';', '{', '}' or NUL, which a braced value cannot carry.
std::string ConnectionString(const std::string& driver, const std::string& server, bool integratedLogin);

} // namespace dunmarrow::sql
