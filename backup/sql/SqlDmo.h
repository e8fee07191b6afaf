// The two SQL Server management objects the backup job uses: a server object
// that connects with the integrated login, and a backup object that has the
// connected server write a database backup to files. Every failure raises a
// brenlix::Error with a number and a description.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dunmarrow::sql {

// ERROR_TIMEOUT: the number of the error raised when the server stops
// answering during a watched backup or verify.
inline constexpr std::int32_t kErrorNoAnswer = 1460;

// One row of a result set: each column as text (numbers in decimal, bit as 0
// or 1), nothing for NULL.
using ResultRow = std::vector<std::optional<std::string>>;

class SQLServer {
public:
    virtual ~SQLServer() = default;
    // Integrated (Windows) login: no login name or password is sent.
    virtual void LoginSecure(bool value) = 0;
    // Seconds Connect waits for the server to complete the login (the
    // provider's bound when never set); a server that stays silent longer
    // fails Connect.
    virtual void LoginTimeout(unsigned seconds) = 0;
    virtual void Connect(const std::string& serverName) = 0;
    // Runs a query on the connected server and returns the rows of its first
    // result set, after reading the rest of what the server sends; raises the
    // server's error when any part of it fails.
    virtual std::vector<ResultRow> ExecuteWithResults(const std::string& statement) = 0;
    // Watches ExecuteWithResults as Backup::StallSeconds watches a backup:
    // when nothing comes from the server for that many seconds the query is
    // cancelled, the connection closed and kErrorNoAnswer raised. 0 (the
    // default) waits for as long as the server takes.
    virtual void QueryStallSeconds(unsigned seconds) = 0;
};

// What a backup takes, with SQL-DMO's numbers: the whole database, the
// changes since its last full backup, or the transaction log.
enum class BackupAction : int {
    Database = 0,
    Differential = 1,
    Log = 3,
};

// A new backup object backs the whole database up, with no option but those
// switched on.
class Backup {
public:
    virtual ~Backup() = default;
    virtual void Database(const std::string& value) = 0;
    // The backup files as a bracketed list: "[C:\a.bak]" or "[a.bak],[b.bak]".
    virtual void Files(const std::string& value) = 0;
    // True overwrites the backup sets already in the files.
    virtual void Initialize(bool value) = 0;
    virtual void Action(BackupAction value) = 0;
    // The server checks the pages' checksums and writes a checksum of the
    // backup (and a verify checks it).
    virtual void Checksum(bool value) = 0;
    // A compressed backup; editions that cannot compress refuse the backup.
    virtual void Compression(bool value) = 0;
    // A backup outside the sequence: later differential and log backups do
    // not build on it.
    virtual void CopyOnly(bool value) = 0;
    // Watches the backup and the verify: both ask the server for a progress
    // message each percent (STATS = 1), and when nothing at all comes from
    // the server for that many seconds the statement is cancelled, the
    // connection closed and kErrorNoAnswer raised. 0 (the default) waits for
    // as long as the server takes.
    virtual void StallSeconds(unsigned seconds) = 0;
    // Runs the backup on the connected server; returns when the server has
    // written the files.
    virtual void SQLBackup(SQLServer& server) = 0;
    // Has the connected server read the files back and check that they hold
    // a complete, readable backup (with its checksums when Checksum is on);
    // raises the server's error when they do not.
    virtual void SQLVerify(SQLServer& server) = 0;
};

// Makes the objects; the job owns what it gets.
class Provider {
public:
    virtual ~Provider() = default;
    virtual std::unique_ptr<SQLServer> CreateSQLServer() = 0;
    virtual std::unique_ptr<Backup> CreateBackup() = 0;
};

// The provider over ODBC that the program uses.
Provider& OdbcProvider();

} // namespace dunmarrow::sql
