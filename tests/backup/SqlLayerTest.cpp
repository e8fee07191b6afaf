// The statements and connection strings as text, the ODBC layer's reading of results and its refusals, and the layer
// against the stand-in SQL Server, through the driver manager, FreeTDS and a Kerberos ticket.
#include "DatabaseSelection.h"
#include "OrvBackUP.h"
#include "sql/OdbcSqlDmo.h"
#include "sql/TSql.h"

#include <platform/Win32.h>

#include <sql.h>
#include <sqlext.h>

#include "TdsEndpoint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <functional>

namespace dunmarrow::sql {
namespace {

using namespace std::string_literals;
using testing_support::Raised;
using testing_support::TdsEndpoint;

// How a raised error of this layer begins.
std::string RaisedBy(const std::string& number) { return number + " Dunmarrow.SQLDMO: "; }

// Names and paths quoted for T-SQL ("]]" in a path is one "]"), the switches in the one WITH list SQL Server takes,
// and the values of a connection string in braces.
TEST(Statements, QuoteNamesAndPathsAndPickOptions)
{
    const BackupAction log = BackupAction::Log;
    const std::string to = " TO DISK = N'D:\\B\\it''s.bak'";
    const std::string db = "BACKUP DATABASE [S]]x]" + to;
    const std::string bl = "BACKUP LOG [S]]x]" + to;
    const auto with = [](BackupOptions options) { // action, initialize, checksum, compression, copyOnly, stats
        return BackupStatement("S]x", "[D:\\B\\it's.bak]", options);
    };
    const std::pair<std::string, std::string> rows[] = {
        {BackupStatement("db", " [a]]b[c] [d];[e],[f] ", true),
         "BACKUP DATABASE [db] TO DISK = N'a]b[c', DISK = N'd', DISK = N'e', DISK = N'f' WITH INIT"},
        {with({BackupAction::Differential, true, false, false, false}), db + " WITH DIFFERENTIAL, INIT"},
        {with({log, false, true, false, false}), bl + " WITH CHECKSUM"},
        {with({log, false, false, false, false}), bl},
        {with({log, true, true, true, true, true}), bl + " WITH INIT, CHECKSUM, COMPRESSION, COPY_ONLY, STATS = 1"},
        {with({BackupAction::Database, false, false, false, false, true}), db + " WITH STATS = 1"},
        {VerifyStatement("[a]", true, true), "RESTORE VERIFYONLY FROM DISK = N'a' WITH CHECKSUM, STATS = 1"},
        {VerifyStatement("[a]", false, true), "RESTORE VERIFYONLY FROM DISK = N'a' WITH STATS = 1"},
        {VerifyStatement("[D:\\B\\it's.bak]", false), "RESTORE VERIFYONLY FROM DISK = N'D:\\B\\it''s.bak'"},
        {VerifyStatement("[a]]b] [c]", true), "RESTORE VERIFYONLY FROM DISK = N'a]b', DISK = N'c' WITH CHECKSUM"},
        {ConnectionString("SQL Server", "a'b]c=d e\\日本", false), "Driver={SQL Server};Server={a'b]c=d e\\日本};"},
        {ConnectionString("My FREETDS 1.3", "127.0.0.1,1433", true),
         "Driver={My FREETDS 1.3};Server={127.0.0.1,1433};Trusted_Connection=Yes;TDS_Version=7.4;"},
    };
    for (const auto& [made, expected] : rows) {
        EXPECT_EQ(made, expected);
    }
}

// The execution's return code, then one per SQLMoreResults call; past the list the driver keeps failing, and 16
// failures in a row end the statement.
TEST(ReadAllResults, ReadsToTheEndAndFailsOnAnyError)
{
    constexpr short kOk = SQL_SUCCESS;
    constexpr short kInfo = SQL_SUCCESS_WITH_INFO;
    constexpr short kError = SQL_ERROR;
    constexpr short kEnd = SQL_NO_DATA;
    // failedStep -1: none
    const struct { const char* name; short first; std::vector<short> more; int failedStep; std::size_t moreCalls; }
        rows[] = {
        {"nothing to read", kEnd, {}, -1, 0},
        {"progress messages", kInfo, {kInfo, kInfo, kInfo, kEnd}, -1, 4},
        {"error at once, then more results", kError, {kOk, kError, kEnd}, 0, 3},
        {"invalid handle", SQL_INVALID_HANDLE, {}, 0, 0},
        {"unexpected return code", kOk, {SQL_STILL_EXECUTING}, 1, 1},
        {"driver that never moves on", kInfo, {}, 1, 16},
    };
    for (const auto& row : rows) {
        std::size_t calls = 0;
        std::vector<int> failedSteps;
        const bool result = ReadAllResults(
            row.first,
            [&]() -> short { return ++calls <= row.more.size() ? row.more[calls - 1] : calls > 10000 ? kEnd : kError; },
            [&](short, int step) { failedSteps.push_back(step); });
        EXPECT_EQ(result, row.failedStep < 0) << row.name;
        EXPECT_EQ(failedSteps, row.failedStep < 0 ? std::vector<int>{} : std::vector<int>{row.failedStep}) << row.name;
        EXPECT_EQ(calls, row.moreCalls) << row.name;
    }
}

// Input a statement or a connection string cannot carry is refused as an invalid argument that says what is wrong; a
// lone "]" ends the path: it is never guessed to belong to it. Without a connected server of its own a backup refuses;
// an unknown driver fails with no native number.
TEST(SqlLayer, RefusesWhatItCannotCarry)
{
    const auto provider = MakeOdbcProvider("NoSuchDriver-xyz");
    const std::shared_ptr<SQLServer> server = provider->CreateSQLServer();
    server->LoginSecure(true);
    const auto sqlBackup = [&](std::string files) {
        return [&, files] {
            const auto made = provider->CreateBackup();
            made->Database("db");
            made->Files(files);
            made->Initialize(true);
            made->SQLBackup(*server);
        };
    };
    const struct { std::function<void()> call; std::string fragment; std::int32_t number = kErrorInvalidArgument; }
        rows[] = {
        {[] { BackupStatement("", "[a.bak]", true); }, "database name is empty"},
        {[] { BackupStatement("d\0b"s, "[a.bak]", true); }, "NUL"},
        {[] { BackupStatement("db", "[a\0.bak]"s, true); }, "NUL"},
        {[] { BackupStatement("db", " ,; ", true); }, "names no file"},
        {[] { BackupStatement("db", "[D:\\Backup [old]\\db.bak]", true); }, "outside brackets at character 17"},
        {[] { BackupStatement("db", "[a.bak", true); }, "without its closing"},
        {[] { BackupStatement("db", "[a],[]", true); }, "empty path"},
        {[] { VerifyStatement("a.bak", true); }, "outside brackets at character 1"},
        {[] { ConnectionString("FreeTDS", "a};Server={evil", true); }, "contains \"}\""},
        {[] { ConnectionString("FreeTDS", "a\0b"s, true); }, "a NUL character"},
        {[] { ConnectionString("", "srv", true); }, "No ODBC driver"},
        {[] { ConnectionString("Free}TDS", "srv", true); }, "ODBC driver name"},
        {[&] { server->Connect("localhost"); }, "", kErrorUnspecified},
        {sqlBackup("[db.bak]"), "", kErrorUnexpected},
        {[&] { server->ExecuteWithResults(CatalogueStatement({})); }, "not connected", kErrorUnexpected},
        {sqlBackup("db.bak"), ""},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const std::string text = Raised(rows[i].call);
        EXPECT_TRUE(text.rfind(RaisedBy(std::to_string(rows[i].number)), 0) == 0 &&
                    text.find(rows[i].fragment) != std::string::npos)
            << "row " << i << ": " << text;
    }
}

// Names and paths reach the server exactly (the endpoint writes the file it read), every result is read to its end
// (no attention follows), and each way a connection or a backup can break raises its error, and never hangs: a login
// bounded by the login time-out, a watched backup cancelled when nothing comes for its stall limit, whether the server
// acknowledges the attention or not, while a slow backup whose progress keeps coming is waited for.
TEST(OdbcEndpoint, StatementsReachTheServerAndEachFailureRaisesItsError)
{
    const TdsEndpoint stand;
    const testing_support::TempDir dir;
    const std::string d = dir.Path() + (testing_support::RunningUnderWine() ? "\\" : "/");
    const std::unique_ptr<Provider> provider = MakeOdbcProvider("FreeTDS", 2);
    // Its silent server ends the test only through the server object's own login time-out.
    const std::unique_ptr<Provider> patient = MakeOdbcProvider("FreeTDS", 24 * 3600);
    const std::string progress = "info 3211 10 percent processed.";
    std::vector<std::string> living; // progress every 0.2 s for 6 s, against a limit of 5 s
    for (int i = 0; i < 30; ++i) {
        living.insert(living.end(), {progress, "done", "wait 200"});
    }
    living.insert(living.end(), {"write", "info 3014 done."});
    const std::string timeout = std::to_string(kErrorUnspecified), stalled = std::to_string(kErrorNoAnswer);
    const std::string longest = std::string(1500, 'x') + "!"; // past the driver's first buffer for a message
    const struct {
        std::string listener, database, file;
        std::vector<std::string> steps;
        unsigned stall;
        std::string result, text, after; // after: the event that follows the statement
    } rows[] = {
        {"accept", "Løn]; DROP DATABASE y; --", "it's æøå]; --.bak", {}, 0, "0", "", ""},
        {"accept", "{fn CURDATE()}", "{d '2026-12-07'}.bak", {}, 0, "0", "", ""}, // no escape is the driver's
        // no query timeout
        {"accept", "Slow", "slow.bak", {progress, "done", "wait 2500", "write", "info 3014 done."}, 0, "0", "", ""},
        {"accept", "Living", "living.bak", living, 5, "0", "", ""},
        {"accept", "Broken", "d.bak", {progress, "drop"}, 0, "20017", "Unexpected EOF from the server", ""},
        {"accept", "Long", "d.bak", {"error 3202 16 " + longest}, 0, "3202", longest, ""},
        // progress is no part of a failure's text
        {"accept", "Full", "d.bak", {progress, "error 3202 16 Write on \"d.bak\" failed: 112.",
                                     "error 3013 16 BACKUP DATABASE is terminating abnormally."},
         5, "3202", "BACKUP DATABASE is terminating abnormally.", ""},
        {"refuse", "R", "d.bak", {}, 0, "18456", "Login failed for user '" + stand.User() + "'.", ""},
        {"silent", "R", "d.bak", {}, 0, timeout, "Timeout expired", ""},
        {"mute", "R", "d.bak", {}, 0, timeout, "Timeout expired", ""},
        {"hang", "Hung", "d.bak", {}, 2, stalled, "Intet svar fra serveren i 2 sekunder.", "attention"},
        {"accept", "Stuck", "d.bak", {progress, "done", "wait 600000"}, 2, stalled, "i 2 sekunder.", "attention"},
        {"accept", "Dead", "d.bak", {progress, "done", "silent"}, 3, stalled, "i 3 sekunder.", ""},
    };
    for (const auto& row : rows) {
        const std::string files = dunmarrow::FileListOf(d + row.file);
        TdsEndpoint endpoint;
        if (!row.steps.empty()) {
            endpoint.Reply(row.database, row.steps);
        }
        const std::unique_ptr<Backup> backup = provider->CreateBackup();
        const std::string error = Raised([&] {
            const auto sqlServer = (row.listener == "mute" ? patient : provider)->CreateSQLServer();
            sqlServer->LoginSecure(true);
            if (row.listener == "mute") {
                sqlServer->LoginTimeout(2);
            }
            sqlServer->Connect(stand.Server(row.listener));
            backup->Database(row.database);
            backup->Files(files);
            backup->Initialize(true);
            if (row.stall != 0) {
                backup->StallSeconds(row.stall);
            }
            backup->SQLBackup(*sqlServer);
            if (row.stall != 0) {
                backup->SQLVerify(*sqlServer); // watched too, STATS and all
            }
        });
        const std::string begins = row.result == "0" ? "nothing" : RaisedBy(row.result);
        EXPECT_EQ(error.substr(0, begins.size()), begins) << row.database << ": " << error;
        EXPECT_NE(error.find(row.text), std::string::npos) << row.database << ": " << error;
        EXPECT_EQ(error.find("percent"), std::string::npos) << row.database << ": " << error;
        BackupOptions options{BackupAction::Database, true};
        options.stats = row.stall != 0;
        std::vector<std::string> events{"login " + stand.User(),
                                        "batch " + BackupStatement(row.database, files, options)};
        if (row.stall != 0 && row.result == "0") {
            events.push_back("batch " + VerifyStatement(files, false, true));
        }
        if (!row.after.empty()) {
            events.push_back(row.after);
        }
        if (row.listener == "refuse") {
            events = {"login-refused " + stand.User()};
        } else if (row.listener != "accept" && row.listener != "hang") {
            events.clear();
        }
        // The stand-in journals an attention as it reads it, which may come a moment after the call gave up.
        std::vector<std::string> seen = endpoint.Events(row.listener);
        for (int wait = 0; wait < 300 && seen != events && !row.after.empty(); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            seen = endpoint.Events(row.listener);
        }
        EXPECT_EQ(seen, events) << row.database;
        if (row.result == "0" && row.steps.empty()) {
            EXPECT_EQ(testing_support::ReadFile(d + row.file), "TAPE " + row.database + "\r\n");
        }
    }
    EXPECT_EQ(NoAnswerText(60), "Intet svar fra serveren i 1 minut.");
    EXPECT_EQ(NoAnswerText(1440 * 60), "Intet svar fra serveren i 1440 minutter.");
}

// The catalogue query's rows in the types SQL Server gives them (nvarchar names of any letters and of 128
// characters, tinyint, bit, int) read back as text, each row whole, on the connection that then backs up; a statement
// without a result set gives no rows; a query that stalls is given up; the server refuses a backup it cannot take.
TEST(OdbcEndpoint, TheCatalogueComesAsRows)
{
    TdsEndpoint stand;
    const std::string longest = std::string(127, 'x') + "\xc3\xa6";
    stand.Catalogue({"collation Danish_Norwegian_CS_AS", "]' x\tOFFLINE SIMPLE", "Løn\tnew", longest + "\tsnapshot",
                     "dist\tdistributor BULK_LOGGED", "Replica\tsecondary RESTORING", "tempdb\tSIMPLE"});
    const auto row = [](std::string name, std::string state, std::string desc, std::string recovery,
                        std::string flags) {
        ResultRow r{name, state, desc, recovery};
        for (const char flag : flags) {
            r.emplace_back(std::string(1, flag));
        }
        return r;
    };
    // in name order, each with the server's LIKE of the two patterns: letter case counts under this collation
    const std::vector<std::string> patterns{"%x%", "L_n"};
    const std::vector<ResultRow> expected{
        row("]' x", "6", "OFFLINE", "3", "0010110"), row("dist", "0", "ONLINE", "2", "0111100"),
        row("Løn", "0", "ONLINE", "1", "0010001"), row("Replica", "1", "RESTORING", "1", "0001100"),
        row("tempdb", "0", "ONLINE", "3", "0010100"), row(longest, "0", "ONLINE", "1", "1011110")};
    const std::unique_ptr<Provider> provider = MakeOdbcProvider("FreeTDS", 10);
    const std::unique_ptr<SQLServer> server = provider->CreateSQLServer();
    server->LoginSecure(true);
    server->Connect(stand.Server("accept"));
    server->QueryStallSeconds(30); // the rows come through the watched statement too
    const std::vector<ResultRow> rows = server->ExecuteWithResults(CatalogueStatement(patterns));
    EXPECT_EQ(rows, expected);
    const std::vector<CatalogueDatabase> catalogue = CatalogueOf(rows, patterns.size());
    ASSERT_EQ(catalogue.size(), expected.size());
    EXPECT_TRUE(catalogue[5].snapshot && catalogue[1].distributor && !catalogue[3].preferredReplica);
    EXPECT_TRUE(!catalogue[2].logChain && !catalogue[2].differentialBase && catalogue[1].logChain);
    EXPECT_EQ(catalogue[2].matches, (std::vector<bool>{false, true}));
    EXPECT_EQ(server->ExecuteWithResults("SET NOCOUNT ON"), std::vector<ResultRow>{});
    // A server that never answers the query: given up after the stall limit, its connection with it.
    const std::unique_ptr<SQLServer> hung = provider->CreateSQLServer();
    hung->LoginSecure(true);
    hung->Connect(stand.Server("hang"));
    hung->QueryStallSeconds(2);
    EXPECT_EQ(Raised([&] { hung->ExecuteWithResults(CatalogueStatement({})); }),
              RaisedBy(std::to_string(kErrorNoAnswer)) + "Intet svar fra serveren i 2 sekunder.");
    const std::string notConnected = RaisedBy(std::to_string(kErrorUnexpected));
    EXPECT_EQ(Raised([&] { hung->ExecuteWithResults(CatalogueStatement({})); }).substr(0, notConnected.size()),
              notConnected);
    const std::unique_ptr<Backup> backup = provider->CreateBackup();
    const testing_support::TempDir dir;
    backup->Database("Løn");
    backup->Files(dunmarrow::FileListOf(dir.File("l.bak")));
    backup->Action(BackupAction::Log);
    const std::string refused = Raised([&] { backup->SQLBackup(*server); });
    EXPECT_EQ(refused.rfind(RaisedBy("4214"), 0), 0u) << refused;
    EXPECT_NE(refused.find("no current database backup"), std::string::npos) << refused;
    EXPECT_EQ(stand.Events("accept"),
              (std::vector<std::string>{"login " + stand.User(), "batch " + CatalogueStatement(patterns),
                                        "batch SET NOCOUNT ON",
                                        "batch " + BackupStatement("Løn", FileListOf(dir.File("l.bak")),
                                                                   BackupOptions{BackupAction::Log})}));
}

} // namespace
} // namespace dunmarrow::sql
