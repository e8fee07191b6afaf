#include "sql/OdbcSqlDmo.h"

#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <platform/Win32.h>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace dunmarrow::sql {
namespace {

// Runs action and returns the Error it raised; fails the test when it raised none.
brenlix::Error ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const brenlix::Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return brenlix::Error(0, "", "");
}

// Whether the driver manager lists a driver of that name.
bool DriverRegistered(const std::u16string& name)
{
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env))) {
        return false;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLWCHAR description[256];
    SQLWCHAR attributes[1024];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (!found && SQL_SUCCEEDED(SQLDriversW(env, direction, description, 256, &descriptionLength, attributes,
                                                1024, &attributesLength))) {
        found = std::u16string(description, description + descriptionLength) == name;
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

// A statement's return codes: first from the execution, then one per
// SQLMoreResults call; past the list the driver keeps failing.
TEST(ReadAllResults, ReadsToTheEndAndFailsOnAnyError)
{
    constexpr short kOk = SQL_SUCCESS, kInfo = SQL_SUCCESS_WITH_INFO, kError = SQL_ERROR, kEnd = SQL_NO_DATA;
    constexpr int kAnyCount = -1; // as long as it ends
    struct Row {
        const char* name;
        short first;
        std::vector<short> more;
        int failedStep; // -1: none
        int moreCalls;
    };
    const Row rows[] = {
        {"one result", kOk, {kEnd}, -1, 1},
        {"nothing to read", kEnd, {}, -1, 0},
        {"progress messages", kInfo, {kInfo, kInfo, kInfo, kEnd}, -1, 4},
        {"error after messages", kInfo, {kInfo, kError, kInfo, kEnd}, 2, 4},
        {"error at once, then more results", kError, {kOk, kError, kEnd}, 0, 3},
        {"invalid handle", SQL_INVALID_HANDLE, {}, 0, 0},
        {"unexpected return code", kOk, {SQL_STILL_EXECUTING}, 1, 1},
        {"driver that never moves on", kInfo, {}, 1, kAnyCount},
    };
    for (const Row& row : rows) {
        std::size_t calls = 0;
        std::vector<int> failedSteps;
        const bool result = ReadAllResults(
            row.first,
            [&]() -> short {
                ++calls;
                return calls <= row.more.size() ? row.more[calls - 1] : calls > 10000 ? kEnd : kError;
            },
            [&](short, int step) { failedSteps.push_back(step); });
        EXPECT_EQ(result, row.failedStep < 0) << row.name;
        EXPECT_EQ(failedSteps, row.failedStep < 0 ? std::vector<int>{} : std::vector<int>{row.failedStep})
            << row.name;
        if (row.moreCalls == kAnyCount) {
            EXPECT_LT(calls, 10000u) << row.name;
        } else {
            EXPECT_EQ(calls, static_cast<std::size_t>(row.moreCalls)) << row.name;
        }
    }
}

TEST(OdbcSqlDmo, UnknownDriverFailsConnect)
{
    const auto provider = MakeOdbcProvider("NoSuchDriver-xyz");
    const auto server = provider->CreateSQLServer();
    server->LoginSecure(true);
    const brenlix::Error error = ErrorOf([&] { server->Connect("localhost"); });
    // The driver manager's own error has no native number.
    EXPECT_EQ(error.Number(), kErrorUnspecified);
    EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO");
    EXPECT_FALSE(error.Description().empty());

    // The failed connection leaves the object unconnected.
    const auto backup = provider->CreateBackup();
    backup->Database("master");
    backup->Files("[master.bak]");
    EXPECT_EQ(ErrorOf([&] { backup->SQLBackup(*server); }).Number(), kErrorUnexpected);
}

TEST(OdbcSqlDmo, FreeTdsWithNoServerListeningFailsConnect)
{
    if (!DriverRegistered(u"FreeTDS")) {
        GTEST_SKIP() << "the ODBC driver FreeTDS is not registered with the driver manager";
    }
    const auto server = MakeOdbcProvider("FreeTDS")->CreateSQLServer();
    server->LoginSecure(true);
    // Nothing listens on port 1 of the loopback address.
    const brenlix::Error error = ErrorOf([&] { server->Connect("127.0.0.1,1"); });
    EXPECT_NE(error.Number(), 0);
    EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO");
    EXPECT_FALSE(error.Description().empty());
}

TEST(OdbcSqlDmo, BackupRefusesWithoutAConnectedServer)
{
    class ForeignServer final : public SQLServer {
    public:
        void LoginSecure(bool) override {}
        void Connect(const std::string&) override {}
    };
    const auto provider = MakeOdbcProvider("NoSuchDriver-xyz");
    const auto server = provider->CreateSQLServer();
    ForeignServer foreign;

    struct Row {
        const char* name;
        std::string files;
        SQLServer* target;
        std::int32_t number;
    };
    const Row rows[] = {
        {"never connected", "[db.bak]", server.get(), kErrorUnexpected},
        {"server from another provider", "[db.bak]", &foreign, kErrorInvalidArgument},
        {"malformed file list", "db.bak", server.get(), kErrorInvalidArgument},
    };
    for (const Row& row : rows) {
        const auto backup = provider->CreateBackup();
        backup->Database("db");
        backup->Files(row.files);
        backup->Initialize(true);
        const brenlix::Error error = ErrorOf([&] { backup->SQLBackup(*row.target); });
        EXPECT_EQ(error.Number(), row.number) << row.name;
        EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO") << row.name;
        EXPECT_FALSE(error.Description().empty()) << row.name;
    }
}

} // namespace
} // namespace dunmarrow::sql
