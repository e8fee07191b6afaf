// The statements and connection strings as text, and the ODBC layer's reading of results and its refusals.
#include "sql/OdbcSqlDmo.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <platform/Win32.h>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <functional>

namespace dunmarrow::sql {
namespace {

using namespace std::string_literals;

// The error the call raised as "<number> <description>"; "(no error)" when none.
std::string Raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO");
        return std::to_string(error.Number()) + " " + error.Description();
    }
    return "(no error)";
}

// Names and paths quoted for T-SQL ("]]" in a path is one "]"), each switch alone and together in the one WITH list
// SQL Server takes, and the values of a connection string in braces.
TEST(Statements, QuoteNamesAndPathsAndPickOptions)
{
    const BackupAction full = BackupAction::Database, diff = BackupAction::Differential, log = BackupAction::Log;
    const std::string to = " TO DISK = N'D:\\B\\it''s.bak'", db = "BACKUP DATABASE [S]]x]" + to, bl = "BACKUP LOG [S]]x]" + to;
    const auto with = [](BackupOptions options) { return BackupStatement("S]x", "[D:\\B\\it's.bak]", options); }; // action, initialize, checksum, compression, copyOnly
    const std::pair<std::string, std::string> rows[] = {
        {BackupStatement("my]db", "[C:\\x'y.bak]", true), "BACKUP DATABASE [my]]db] TO DISK = N'C:\\x''y.bak' WITH INIT"},
        {BackupStatement("db", "[a.bak],[b.bak]", true), "BACKUP DATABASE [db] TO DISK = N'a.bak', DISK = N'b.bak' WITH INIT"},
        {BackupStatement("db", " [a] [b];[c][d] ", false), "BACKUP DATABASE [db] TO DISK = N'a', DISK = N'b', DISK = N'c', DISK = N'd'"},
        {BackupStatement("db", "[a]]b[c.bak]", false), "BACKUP DATABASE [db] TO DISK = N'a]b[c.bak'"},
        {BackupStatement("db", "[a,b;c d.bak]", false), "BACKUP DATABASE [db] TO DISK = N'a,b;c d.bak'"},
        {BackupStatement("x]; DROP DATABASE y; --", "['); DROP DATABASE y; --]", false), "BACKUP DATABASE [x]]; DROP DATABASE y; --] TO DISK = N'''); DROP DATABASE y; --'"},
        {BackupStatement("Lønkørsel", "[D:\\Løn\\日本.bak]", true), "BACKUP DATABASE [Lønkørsel] TO DISK = N'D:\\Løn\\日本.bak' WITH INIT"},
        {with({diff, true, false, false, false}), db + " WITH DIFFERENTIAL, INIT"}, {with({log, true, false, false, false}), bl + " WITH INIT"},
        {with({full, true, true, false, false}), db + " WITH INIT, CHECKSUM"}, {with({full, true, false, true, false}), db + " WITH INIT, COMPRESSION"},
        {with({full, true, false, false, true}), db + " WITH INIT, COPY_ONLY"}, {with({log, true, true, true, true}), bl + " WITH INIT, CHECKSUM, COMPRESSION, COPY_ONLY"},
        {with({diff, false, false, false, true}), db + " WITH DIFFERENTIAL, COPY_ONLY"}, {with({log, false, true, false, false}), bl + " WITH CHECKSUM"},
        {with({log, false, false, false, false}), bl},
        {VerifyStatement("[D:\\B\\it's.bak]", false), "RESTORE VERIFYONLY FROM DISK = N'D:\\B\\it''s.bak'"},
        {VerifyStatement("[a]]b.bak],[c.bak]", true), "RESTORE VERIFYONLY FROM DISK = N'a]b.bak', DISK = N'c.bak' WITH CHECKSUM"},
        {ConnectionString("SQL Server", "PROD01", true), "Driver={SQL Server};Server={PROD01};Trusted_Connection=Yes;"},
        {ConnectionString("SQL Server", "a'b]c=d e\\日本", false), "Driver={SQL Server};Server={a'b]c=d e\\日本};"},
        {ConnectionString("My FREETDS 1.3", "127.0.0.1,1433", true), "Driver={My FREETDS 1.3};Server={127.0.0.1,1433};Trusted_Connection=Yes;TDS_Version=7.4;"},
    };
    for (const auto& [made, expected] : rows) {
        EXPECT_EQ(made, expected);
    }
}

// The execution's return code, then one per SQLMoreResults call; past the list the driver keeps failing, and 16 failures in a row end the statement.
TEST(ReadAllResults, ReadsToTheEndAndFailsOnAnyError)
{
    constexpr short kOk = SQL_SUCCESS, kInfo = SQL_SUCCESS_WITH_INFO, kError = SQL_ERROR, kEnd = SQL_NO_DATA;
    const struct { const char* name; short first; std::vector<short> more; int failedStep; std::size_t moreCalls; } rows[] = { // failedStep -1: none
        {"one result", kOk, {kEnd}, -1, 1}, {"nothing to read", kEnd, {}, -1, 0},
        {"progress messages", kInfo, {kInfo, kInfo, kInfo, kEnd}, -1, 4}, {"error after messages", kInfo, {kInfo, kError, kInfo, kEnd}, 2, 4},
        {"error at once, then more results", kError, {kOk, kError, kEnd}, 0, 3}, {"invalid handle", SQL_INVALID_HANDLE, {}, 0, 0},
        {"unexpected return code", kOk, {SQL_STILL_EXECUTING}, 1, 1}, {"driver that never moves on", kInfo, {}, 1, 16},
    };
    for (const auto& row : rows) {
        std::size_t calls = 0;
        std::vector<int> failedSteps;
        const bool result = ReadAllResults(
            row.first, [&]() -> short { return ++calls <= row.more.size() ? row.more[calls - 1] : calls > 10000 ? kEnd : kError; },
            [&](short, int step) { failedSteps.push_back(step); });
        EXPECT_EQ(result, row.failedStep < 0) << row.name;
        EXPECT_EQ(failedSteps, row.failedStep < 0 ? std::vector<int>{} : std::vector<int>{row.failedStep}) << row.name;
        EXPECT_EQ(calls, row.moreCalls) << row.name;
    }
}


// Input a statement or a connection string cannot carry is refused as an invalid argument that says what is wrong; a lone "]" ends the path: it is never
// guessed to belong to it. Without a connected server of its own a backup refuses; an unknown driver fails with no native number.
TEST(SqlLayer, RefusesWhatItCannotCarry)
{
    const auto backup = [](std::string database, std::string files) { return [=] { BackupStatement(database, files, true); }; };
    const auto verify = [](std::string files) { return [=] { VerifyStatement(files, true); }; };
    const auto connect = [](std::string driver, std::string server) { return [=] { ConnectionString(driver, server, true); }; };
    const auto provider = MakeOdbcProvider("NoSuchDriver-xyz");
    const std::shared_ptr<SQLServer> server = provider->CreateSQLServer(), failed = provider->CreateSQLServer();
    failed->LoginSecure(true);
    const auto sqlBackup = [&](std::string files, std::shared_ptr<SQLServer> target) {
        return [&provider, files, target] {
            const auto made = provider->CreateBackup();
            made->Database("db");
            made->Files(files);
            made->Initialize(true);
            made->SQLBackup(*target);
        };
    };
    const struct { std::function<void()> call; std::string fragment; std::int32_t number = kErrorInvalidArgument; } rows[] = {
        {backup("", "[a.bak]"), "database name is empty"}, {backup("d\0b"s, "[a.bak]"), "NUL"}, {backup("db", "[a\0.bak]"s), "NUL"},
        {backup("db", " ,; "), "names no file"}, {backup("db", "a.bak"), "outside brackets at character 1"},
        {backup("db", "[C:\\a]b.bak]"), "outside brackets at character 7"}, {backup("db", "[D:\\Backup [old]\\db.bak]"), "outside brackets at character 17"},
        {backup("db", "[a.bak"), "without its closing"}, {backup("db", "[a],[]"), "empty path"},
        {verify(""), ""}, {verify("a.bak"), ""}, {verify("[]"), ""}, {verify("[a\0]"s), ""},
        {connect("FreeTDS", "a;b"), "contains \";\""}, {connect("FreeTDS", "a};Server={evil"), "contains \"}\""}, {connect("FreeTDS", "a{b"), "contains \"{\""},
        {connect("FreeTDS", "a\0b"s), "a NUL character"}, {connect("", "srv"), "No ODBC driver"}, {connect("Free}TDS", "srv"), "ODBC driver name"},
        {[&] { failed->Connect("localhost"); }, "", kErrorUnspecified}, {sqlBackup("[db.bak]", server), "", kErrorUnexpected},
        {sqlBackup("[db.bak]", failed), "", kErrorUnexpected}, {sqlBackup("db.bak", server), ""},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const std::string text = Raised(rows[i].call);
        EXPECT_TRUE(text.rfind(std::to_string(rows[i].number) + " ", 0) == 0 && text.find(rows[i].fragment) != std::string::npos) << "row " << i << ": " << text;
    }
}

} // namespace
} // namespace dunmarrow::sql
