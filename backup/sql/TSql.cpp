#include "sql/TSql.h"

#include <brenlix/Error.h>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace dunmarrow::sql {

namespace {

[[noreturn]] void ThrowInvalid(const std::string& description)
{
    throw brenlix::Error(kErrorInvalidArgument, kErrorSource, description);
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// Doubles every occurrence of quote, the escape both T-SQL forms use.
std::string Doubled(std::string_view text, char quote)
{
    std::string result;
    result.reserve(text.size() + 2);
    for (const char c : text) {
        result += c;
        if (c == quote) {
            result += c;
        }
    }
    return result;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == ';';
}

std::vector<std::string> SplitFileList(const std::string& files)
{
    std::vector<std::string> paths;
    std::size_t i = 0;
    while (i < files.size()) {
        if (IsSeparator(files[i])) {
            ++i;
            continue;
        }
        if (files[i] != '[') {
            ThrowInvalid("The backup file list " + Quoted(files) + " has text outside brackets at character " +
                         std::to_string(i + 1) + "; write each file as [path], for example [a.bak],[b.bak].");
        }
        std::string path;
        if (!ReadBracketed(files, i, path)) {
            ThrowInvalid("The backup file list " + Quoted(files) + " has a \"[\" without its closing \"]\".");
        }
        if (path.empty()) {
            ThrowInvalid("The backup file list " + Quoted(files) + " names a file with an empty path.");
        }
        paths.push_back(std::move(path));
    }
    if (paths.empty()) {
        ThrowInvalid("The backup file list " + Quoted(files) + " names no file; write each file as [path].");
    }
    return paths;
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

// FreeTDS ends a braced value at the first "};" and does not read "}}" as an
// escaped "}", so these characters are refused rather than escaped.
void CheckConnectionValue(const char* what, const std::string& value)
{
    const auto bad = value.find_first_of(std::string_view(";{}\0", 4));
    if (bad == std::string::npos) {
        return;
    }
    const std::string character = value[bad] == '\0' ? std::string("a NUL character") : "\"" + value.substr(bad, 1) + "\"";
    ThrowInvalid(std::string("The ") + what + " " + Quoted(value) + " contains " + character +
                 ", which cannot be passed in an ODBC connection string.");
}

// "DISK = N'a', DISK = N'b'" for the bracketed list "[a],[b]".
std::string DiskList(const std::string& files)
{
    if (files.find('\0') != std::string::npos) {
        ThrowInvalid("The backup file list contains a NUL character.");
    }
    std::string disks;
    for (const std::string& path : SplitFileList(files)) {
        disks += (disks.empty() ? "DISK = N'" : ", DISK = N'") + Doubled(path, '\'') + "'";
    }
    return disks;
}

std::string WithList(const std::vector<const char*>& options)
{
    std::string text;
    for (const char* option : options) {
        text += (text.empty() ? " WITH " : ", ") + std::string(option);
    }
    return text;
}

} // namespace

bool ReadBracketed(const std::string& text, std::size_t& at, std::string& name)
{
    for (++at; at < text.size(); ++at) {
        if (text[at] != ']') {
            name += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == ']') {
            name += ']';
            ++at;
        } else {
            ++at;
            return true;
        }
    }
    return false;
}

std::string BackupStatement(const std::string& database, const std::string& files, bool initialize)
{
    BackupOptions options;
    options.initialize = initialize;
    return BackupStatement(database, files, options);
}

std::string BackupStatement(const std::string& database, const std::string& files, const BackupOptions& options)
{
    if (database.empty()) {
        ThrowInvalid("The database name is empty.");
    }
    if (database.find('\0') != std::string::npos) {
        ThrowInvalid("The database name contains a NUL character.");
    }
    const bool log = options.action == BackupAction::Log;
    std::string statement = (log ? "BACKUP LOG [" : "BACKUP DATABASE [") + Doubled(database, ']') + "] TO " +
                            DiskList(files);
    std::vector<const char*> with;
    if (options.action == BackupAction::Differential) {
        with.push_back("DIFFERENTIAL");
    }
    if (options.initialize) {
        with.push_back("INIT");
    }
    if (options.checksum) {
        with.push_back("CHECKSUM");
    }
    if (options.compression) {
        with.push_back("COMPRESSION");
    }
    if (options.copyOnly) {
        with.push_back("COPY_ONLY");
    }
    if (options.stats) {
        with.push_back("STATS = 1");
    }
    return statement + WithList(with);
}

std::string VerifyStatement(const std::string& files, bool checksum, bool stats)
{
    std::vector<const char*> with;
    if (checksum) {
        with.push_back("CHECKSUM");
    }
    if (stats) {
        with.push_back("STATS = 1");
    }
    return "RESTORE VERIFYONLY FROM " + DiskList(files) + WithList(with);
}

std::string CatalogueStatement(const std::vector<std::string>& namePatterns)
{
    std::string statement = "SELECT d.name, d.state, d.state_desc, d.recovery_model, "
                            "CASE WHEN d.source_database_id IS NULL THEN 0 ELSE 1 END, d.is_distributor, "
                            "sys.fn_hadr_backup_is_preferred_replica(d.name), "
                            "CASE WHEN r.last_log_backup_lsn IS NULL THEN 0 ELSE 1 END, "
                            "CASE WHEN f.database_id IS NOT NULL AND f.differential_base_lsn IS NULL THEN 0 ELSE 1 END";
    for (const std::string& pattern : namePatterns) {
        statement += ", CASE WHEN d.name LIKE N'" + Doubled(pattern, '\'') + "' THEN 1 ELSE 0 END";
    }
    return statement + " FROM sys.databases AS d "
                       "LEFT JOIN sys.database_recovery_status AS r ON r.database_id = d.database_id "
                       "LEFT JOIN sys.master_files AS f ON f.database_id = d.database_id AND f.file_id = 1 "
                       "ORDER BY d.name";
}

std::string ConnectionString(const std::string& driver, const std::string& server, bool integratedLogin)
{
    if (driver.empty()) {
        ThrowInvalid("No ODBC driver is named for the connection.");
    }
    CheckConnectionValue("ODBC driver name", driver);
    CheckConnectionValue("server name", server);
    std::string text = "Driver={" + driver + "};Server={" + server + "};";
    if (integratedLogin) {
        text += "Trusted_Connection=Yes;";
    }
    if (ContainsNoCase(driver, "FreeTDS")) {
        text += "TDS_Version=7.4;";
    }
    return text;
}

} // namespace dunmarrow::sql
