// The ODBC layer against the test run's stand-in SQL Server, through the real driver manager, FreeTDS and a
// Kerberos ticket of the endpoint's realm.
#include "OrvBackUP.h"
#include "sql/OdbcSqlDmo.h"

#include "sql/TSql.h"

#include <brenlix/Error.h>

#include "TdsEndpoint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dunmarrow::sql {
namespace {

using testing_support::ReadFile;
using testing_support::TdsEndpoint;

std::string Describe(const std::optional<brenlix::Error>& error)
{
    return error ? std::to_string(error->Number()) + " " + error->Description() : "no error";
}

class OdbcEndpoint : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!endpoint_.Ready()) {
            GTEST_FAIL() << endpoint_.Problem();
        }
    }

    // Connects to server and backs the database up into files; the error raised, if any.
    std::optional<brenlix::Error> Backup(const std::string& server, const std::string& database,
                                         const std::string& files, bool initialize = true)
    {
        try {
            const auto sqlServer = provider_->CreateSQLServer();
            sqlServer->LoginSecure(true);
            sqlServer->Connect(server);
            const auto backup = provider_->CreateBackup();
            backup->Database(database);
            backup->Files(files);
            backup->Initialize(initialize);
            backup->SQLBackup(*sqlServer);
        } catch (const brenlix::Error& error) {
            return error;
        }
        return std::nullopt;
    }

    // What the accepting listener must have seen: the user's Kerberos login and the one statement, read to its
    // end (a statement closed early would be followed by an attention).
    std::vector<std::string> Seen(const std::string& database, const std::string& files, bool initialize = true)
    {
        return {"login " + endpoint_.User(), "batch " + BackupStatement(database, files, initialize)};
    }

    TdsEndpoint endpoint_;
    testing_support::TempDir dir_;
    const std::string d_ = dir_.Path() + (testing_support::RunningUnderWine() ? "\\" : "/");
    std::unique_ptr<Provider> provider_ = MakeOdbcProvider("FreeTDS", 2);
};

// Names and paths reach the server exactly, and every result and message is read: an error that follows
// informational messages, in the same result or a later one, fails the backup with the first error's number and
// all the server's texts. The file the endpoint wrote proves the path it read; without INIT a set is appended.
TEST_F(OdbcEndpoint, StatementsReachTheServerAndAnyErrorFails)
{
    const std::string missing = d_ + "missing" + (testing_support::RunningUnderWine() ? "\\x.bak" : "/x.bak");
    const std::string cannotOpen = "Cannot open backup device 'D:\\x.bak'. Operating system error 3(The system "
                                   "cannot find the path specified.).";
    const std::string ending = "BACKUP DATABASE is terminating abnormally.", progress = "info 3211 10 percent processed.";
    const struct {
        std::string database;
        std::vector<std::string> files; // in the list; the file written, "]" not doubled
        bool initialize;
        std::vector<std::string> steps; // empty: the endpoint's own backup
        std::int32_t number;            // 0: success
        std::vector<std::string> texts;
    } rows[] = {
        {"x]; DROP DATABASE y; --", {d_ + "it's'; DROP DATABASE y; --.bak"}, true, {}, 0, {}},
        {"Løn", {d_ + "løn æøå.bak", d_ + "a]b.bak"}, true, {}, 0, {}},
        {"Init", {d_ + "append.bak"}, false, {}, 0, {}},
        {"Slow", {d_ + "slow.bak"}, true, {progress, "done", "wait 2500", "write", "info 3014 done."}, 0, {}}, // no query timeout
        {"Later", {d_ + "d.bak"}, true, {progress, "done", "wait 300", "error 3201 16 " + cannotOpen,
                                           "error 3013 16 " + ending}, 3201, {cannotOpen, ending}},
        {"Drain", {d_ + "d.bak"}, true, {"error 911 16 Database 'Drain' does not exist. Make sure that the name is "
                                          "entered correctly.", "error 3013 16 " + ending},
         911, {"Database 'Drain' does not exist.", ending}},
        {"Missing", {missing}, true, {}, 3201,
         {"Cannot open backup device '" + missing + "'. Operating system error 3", ending}},
    };
    for (const auto& row : rows) {
        const std::string once = "TAPE " + row.database + "\r\n";
        std::string files;
        for (const std::string& file : row.files) {
            files += (files.empty() ? "" : ",") + dunmarrow::FileListOf(file);
        }
        if (!row.initialize) {
            testing_support::WriteFile(row.files[0], once);
        }
        TdsEndpoint endpoint;
        if (!row.steps.empty()) {
            endpoint.Reply(row.database, row.steps);
        }
        const auto error = Backup(endpoint_.Server("accept"), row.database, files, row.initialize);
        EXPECT_EQ(error ? error->Number() : 0, row.number) << row.database << ": " << Describe(error);
        for (const std::string& text : row.texts) {
            EXPECT_NE(Describe(error).find(text), std::string::npos) << row.database << ": " << Describe(error);
        }
        EXPECT_EQ(error ? error->Source() : kErrorSource, kErrorSource) << row.database;
        EXPECT_EQ(endpoint.Events("accept"), Seen(row.database, files, row.initialize)) << row.database;
        for (std::size_t i = 0; row.number == 0 && row.steps.empty() && i < row.files.size(); ++i) {
            EXPECT_EQ(ReadFile(row.files[i]), row.initialize ? once : once + once) << row.files[i];
        }
    }
}

// Each way a connection or a backup can break raises an error with a number and the texts, and never hangs.
TEST_F(OdbcEndpoint, EachFailureClassRaisesAnError)
{
    const struct {
        const char* name;
        std::string server;
        std::vector<std::string> steps;
        std::int32_t number;
        std::string text;
    } rows[] = {
        {"login refused", endpoint_.Server("refuse"), {}, 18456, "Login failed for user '" + endpoint_.User() + "'."},
        {"nothing listening", "127.0.0.1,1", {}, 20009, "unavailable or does not exist"}, // nothing on port 1
        {"server name the connection string cannot carry", endpoint_.Server("accept") + "};Port={1", {},
         kErrorInvalidArgument, "cannot be passed in an ODBC connection string"},
        {"dropped at login", endpoint_.Server("drop"), {}, kErrorUnspecified, "connection failed"},
        {"silent at login: login timeout", endpoint_.Server("silent"), {}, kErrorUnspecified, "Timeout expired"},
        {"dropped during the backup", endpoint_.Server("accept"), {"info 3211 10 percent processed.", "drop"}, 20017,
         "Unexpected EOF from the server"},
    };
    for (const auto& row : rows) {
        TdsEndpoint endpoint;
        if (!row.steps.empty()) {
            endpoint.Reply("Broken", row.steps);
        }
        const auto error = Backup(row.server, "Broken", "[" + d_ + "broken.bak]");
        ASSERT_TRUE(error) << row.name;
        EXPECT_EQ(error->Number(), row.number) << row.name << ": " << Describe(error);
        EXPECT_NE(error->Description().find(row.text), std::string::npos) << row.name << ": " << Describe(error);
        // The user holds a ticket, so no failure blames a missing one.
        EXPECT_EQ(error->Description().find("Kerberos"), std::string::npos) << row.name << ": " << Describe(error);
    }
}

} // namespace
} // namespace dunmarrow::sql
