// The ODBC layer against the test run's stand-in SQL Server, through the real driver manager, FreeTDS and a
// Kerberos ticket of the endpoint's realm.
#include "OrvBackUP.h"
#include "sql/OdbcSqlDmo.h"
#include "sql/TSql.h"

#include "TdsEndpoint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace dunmarrow::sql {
namespace {

using testing_support::TdsEndpoint;

class OdbcEndpoint : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!endpoint_.Ready()) {
            GTEST_FAIL() << endpoint_.Problem();
        }
    }

    // Connects to server and backs the database up into files; the error raised as "<number> <text>", or "0".
    std::string Backup(const std::string& server, const std::string& database, const std::string& files)
    {
        try {
            const auto sqlServer = provider_->CreateSQLServer();
            sqlServer->LoginSecure(true);
            sqlServer->Connect(server);
            const auto backup = provider_->CreateBackup();
            backup->Database(database);
            backup->Files(files);
            backup->Initialize(true);
            backup->SQLBackup(*sqlServer);
        } catch (const brenlix::Error& error) {
            EXPECT_EQ(error.Source(), kErrorSource);
            EXPECT_EQ(error.Description().find("Kerberos"), std::string::npos); // the user holds a ticket
            return std::to_string(error.Number()) + " " + error.Description();
        }
        return "0";
    }

    TdsEndpoint endpoint_;
    testing_support::TempDir dir_;
    const std::string d_ = dir_.Path() + (testing_support::RunningUnderWine() ? "\\" : "/");
    std::unique_ptr<Provider> provider_ = MakeOdbcProvider("FreeTDS", 2);
};

// Names and paths reach the server exactly (the file the endpoint wrote proves the path it read), and every result
// and message is read to its end: an error after informational messages fails with the first error's number and
// all the server's texts; a statement closed early would be followed by an attention.
TEST_F(OdbcEndpoint, StatementsReachTheServerAndAnyErrorFails)
{
    const std::string ending = "BACKUP DATABASE is terminating abnormally.", progress = "info 3211 10 percent processed.";
    const std::string cannotOpen = "Cannot open backup device 'D:\\x.bak'. Operating system error 3(The system cannot find the path specified.).";
    const std::string noDatabase = "Database 'Drain' does not exist. Make sure that the name is entered correctly.";
    const struct { std::string database; std::vector<std::string> files, steps; std::string result; std::vector<std::string> texts; } rows[] = {
        {"Løn]; DROP DATABASE y; --", {d_ + "it's æøå; --.bak", d_ + "a]b.bak"}, {}, "0", {}},
        {"Slow", {d_ + "slow.bak"}, {progress, "done", "wait 2500", "write", "info 3014 done."}, "0", {}}, // no query timeout
        {"Later", {d_ + "d.bak"}, {progress, "done", "wait 300", "error 3201 16 " + cannotOpen, "error 3013 16 " + ending}, "3201", {cannotOpen, ending}},
        {"Drain", {d_ + "d.bak"}, {"error 911 16 " + noDatabase, "error 3013 16 " + ending}, "911", {noDatabase, ending}},
    };
    for (const auto& row : rows) {
        std::string files;
        for (const std::string& file : row.files) {
            files += (files.empty() ? "" : ",") + dunmarrow::FileListOf(file);
        }
        TdsEndpoint endpoint;
        if (!row.steps.empty()) {
            endpoint.Reply(row.database, row.steps);
        }
        const std::string error = Backup(endpoint_.Server("accept"), row.database, files);
        EXPECT_EQ(error.substr(0, error.find(' ')), row.result) << row.database << ": " << error;
        for (const std::string& text : row.texts) {
            EXPECT_NE(error.find(text), std::string::npos) << row.database << ": " << error;
        }
        EXPECT_EQ(endpoint.Events("accept"), (std::vector<std::string>{"login " + endpoint_.User(), "batch " + BackupStatement(row.database, files, true)})) << row.database;
        for (std::size_t i = 0; row.result == "0" && row.steps.empty() && i < row.files.size(); ++i) {
            EXPECT_EQ(testing_support::ReadFile(row.files[i]), "TAPE " + row.database + "\r\n") << row.files[i];
        }
    }
}

// Each way a connection or a backup can break raises an error with its number and text, and never hangs.
TEST_F(OdbcEndpoint, EachFailureClassRaisesAnError)
{
    const struct { std::string server; std::vector<std::string> steps; std::string number, text; } rows[] = {
        {endpoint_.Server("refuse"), {}, "18456", "Login failed for user '" + endpoint_.User() + "'."},
        {"127.0.0.1,1", {}, "20009", "unavailable or does not exist"}, // nothing listens on port 1
        {endpoint_.Server("drop"), {}, std::to_string(kErrorUnspecified), "connection failed"},
        {endpoint_.Server("silent"), {}, std::to_string(kErrorUnspecified), "Timeout expired"}, // the login timeout
        {endpoint_.Server("accept"), {"info 3211 10 percent processed.", "drop"}, "20017", "Unexpected EOF from the server"},
    };
    for (const auto& row : rows) {
        TdsEndpoint endpoint;
        if (!row.steps.empty()) {
            endpoint.Reply("Broken", row.steps);
        }
        const std::string error = Backup(row.server, "Broken", "[" + d_ + "broken.bak]");
        EXPECT_EQ(error.substr(0, error.find(' ')), row.number) << row.server << ": " << error;
        EXPECT_NE(error.find(row.text), std::string::npos) << row.server << ": " << error;
    }
}

} // namespace
} // namespace dunmarrow::sql
