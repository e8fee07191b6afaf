// A job over many databases of one server: the key Databases chooses them by
// name from the server's catalogue, "{database}" in the job's file names gives
// each its own file, and what cannot be backed up is skipped with a reason.
#pragma once

#include "sql/SqlDmo.h"

#include <brenlix/FileLog.h>

#include <string>
#include <vector>

namespace dunmarrow {

inline constexpr char kDatabaseField[] = "{database}";

// One item of a Databases value: a group, or a name that is a LIKE pattern
// ("%" any run of characters, "_" one character) or, written in brackets, a
// literal name; exclude for a leading "-".
struct SelectionItem {
    enum Kind { AllDatabases, UserDatabases, SystemDatabases, Pattern, Literal };
    Kind kind = Pattern;
    bool exclude = false;
    std::string name; // Pattern and Literal only
};

// The comma-separated items of a Databases value, left to right. Blanks around
// an item are not part of it; a name with a comma, a bracket, a leading "-" or
// blanks at its ends, or one spelled like a group, is written in brackets with
// each "]" in it doubled. Throws brenlix::Error 13 naming the item for an
// empty list or item, a bracket left open or followed by text, a bracket in an
// unbracketed name, and a name longer than 128 characters.
std::vector<SelectionItem> ReadSelection(const std::string& databases);

// The keys of a job before its server is asked: Database and Databases are not
// both given, and with Databases the file name (not the folder) of Backupfile,
// and of MakeCopy2 unless it names a folder, holds "{database}". Throws
// brenlix::Error 13 with the reason otherwise, and as ReadSelection.
void CheckDatabaseKeys(const std::string& database, const std::string& databases, const std::string& backupfile,
                       const std::string& copy2);

// name as one file name in any folder: every character a Windows file name
// cannot hold, "%", "{" and "}" become "%" and two hex digits, as do dots and
// blanks at the end; a device name (CON, NUL, COM1...) has its first letter
// written so. Two names never give the same text, and no name gives a
// separator, "." or "..".
std::string DatabaseFileName(const std::string& name);

// A file name as Windows' file names compare: each letter in upper case (its
// simple upper-case mapping), for the letters the ANSI code pages hold: ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic and Vietnamese. Two names of one
// key are one file on Windows.
std::u32string FileNameKey(const std::string& file);

// text with every "{database}" replaced by DatabaseFileName(name).
std::string WithDatabase(const std::string& text, const std::string& name);

// The LIKE pattern of each name item, in order: a name as written, a literal
// with "[", "%" and "_" each quoted in brackets, so that it matches only
// itself. The server matches them under its own rules for letter case.
std::vector<std::string> NamePatterns(const std::vector<SelectionItem>& items);

// A database as the server's catalogue describes it.
struct CatalogueDatabase {
    std::string name;
    int state = 0; // sys.databases.state: 0 is ONLINE
    std::string stateDesc = "ONLINE";
    int recoveryModel = 1; // 1 FULL, 2 BULK_LOGGED, 3 SIMPLE
    bool snapshot = false; // source_database_id is not null
    bool distributor = false;
    bool preferredReplica = true; // false: another replica takes the backups
    bool logChain = true; // a full backup started its log chain (last_log_backup_lsn is not null)
    bool differentialBase = true; // differential_base_lsn is not null
    std::vector<bool> matches; // the server's LIKE, one for each of NamePatterns
};

// The catalogue from the rows of sql::CatalogueStatement(patterns) with as
// many patterns, in the server's order. Throws brenlix::Error 13 for a row that
// is not as the query makes it.
std::vector<CatalogueDatabase> CatalogueOf(const std::vector<sql::ResultRow>& rows, std::size_t patterns);

enum class DatabaseSkip {
    None, // backed up
    TempDb,
    Snapshot,
    NotOnline,
    NotPreferredReplica,
    FullOnly, // master takes only full backups
    SimpleRecovery, // Type=Log
    NoLogChain, // Type=Log before any full backup: fails
    NoDifferentialBase, // Type=Diff before any full backup: fails
};

struct DatabaseStep {
    std::string name;
    DatabaseSkip skip = DatabaseSkip::None;
    std::string stateDesc;
};

// The databases the selection chooses from the catalogue, in its order, each
// with what becomes of it under action. Items apply left to right: one adds what
// it matches, one with "-" takes it away; a name item matches as the server
// said. The system databases are known by their names, which are the same on
// every server. Throws as ReadSelection, and brenlix::Error 13 when nothing is
// chosen.
std::vector<DatabaseStep> SelectDatabases(const std::string& databases, const std::vector<CatalogueDatabase>& catalogue,
                                          sql::BackupAction action);

// True for the skips that count the job as failed.
bool SkipFails(DatabaseSkip skip);

// The log line of a skipped database and its type.
std::string SkipLine(const DatabaseStep& step);

// A name from the server's list as a log line shows it: a control character
// (a line break above all) becomes "?", so a name can never make lines of its own.
std::string ShownName(std::string name);
brenlix::LogFileType SkipLineType(DatabaseSkip skip);

} // namespace dunmarrow
