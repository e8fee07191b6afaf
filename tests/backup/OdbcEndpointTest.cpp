// The ODBC layer against the stand-in SQL Server, through the driver manager, FreeTDS and a Kerberos ticket.
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

// Names and paths reach the server exactly (the endpoint writes the file it read), every result is read to its end
// (no attention follows), and each way a connection or a backup can break raises its error, and never hangs.
TEST_F(OdbcEndpoint, StatementsReachTheServerAndEachFailureRaisesItsError)
{
    const std::string ending = "BACKUP DATABASE is terminating abnormally.", progress = "info 3211 10 percent processed.";
    const std::string noDatabase = "Database 'Drain' does not exist. Make sure that the name is entered correctly.", accept = endpoint_.Server("accept");
    const struct { std::string server, database; std::vector<std::string> files, steps; std::string result; std::vector<std::string> texts; } rows[] = {
        {accept, "Løn]; DROP DATABASE y; --", {d_ + "it's æøå; --.bak", d_ + "a]b.bak"}, {}, "0", {}},
        {accept, "Slow", {d_ + "slow.bak"}, {progress, "done", "wait 2500", "write", "info 3014 done."}, "0", {}}, // no query timeout
        {accept, "Drain", {d_ + "d.bak"}, {"error 911 16 " + noDatabase, "error 3013 16 " + ending}, "911", {noDatabase, ending}},
        {accept, "Broken", {d_ + "d.bak"}, {progress, "drop"}, "20017", {"Unexpected EOF from the server"}},
        {endpoint_.Server("refuse"), "R", {d_ + "d.bak"}, {}, "18456", {"Login failed for user '" + endpoint_.User() + "'."}},
        {"127.0.0.1,1", "R", {d_ + "d.bak"}, {}, "20009", {"unavailable or does not exist"}}, // nothing listens on port 1
        {endpoint_.Server("silent"), "R", {d_ + "d.bak"}, {}, std::to_string(kErrorUnspecified), {"Timeout expired"}}, // the login timeout
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
        const std::string error = Backup(row.server, row.database, files);
        EXPECT_EQ(error.substr(0, error.find(' ')), row.result) << row.database << ": " << error;
        for (const std::string& text : row.texts) {
            EXPECT_NE(error.find(text), std::string::npos) << row.database << ": " << error;
        }
        const std::vector<std::string> events{"login " + endpoint_.User(), "batch " + BackupStatement(row.database, files, true)};
        EXPECT_EQ(endpoint.Events("accept"), row.server == accept ? events : std::vector<std::string>{}) << row.database;
        for (std::size_t i = 0; row.result == "0" && row.steps.empty() && i < row.files.size(); ++i) {
            EXPECT_EQ(testing_support::ReadFile(row.files[i]), "TAPE " + row.database + "\r\n") << row.files[i];
        }
    }
}

} // namespace
} // namespace dunmarrow::sql
