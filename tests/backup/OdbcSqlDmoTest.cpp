#include "sql/OdbcSqlDmo.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <platform/Win32.h>

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

namespace dunmarrow::sql {
namespace {

// The execution's return code, then one per SQLMoreResults call; past the list the driver keeps failing, and 16
// failures in a row end the statement.
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

// Without a connected server of its own the backup refuses; an unknown driver fails with no native number.
TEST(OdbcSqlDmo, BackupRefusesWithoutAConnectedServer)
{
    const auto provider = MakeOdbcProvider("NoSuchDriver-xyz");
    const auto server = provider->CreateSQLServer(), failed = provider->CreateSQLServer();
    failed->LoginSecure(true);
    const auto numberOf = [](auto&& action) {
        try {
            action();
        } catch (const brenlix::Error& error) {
            EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO");
            return error.Number();
        }
        return 0;
    };
    EXPECT_EQ(numberOf([&] { failed->Connect("localhost"); }), kErrorUnspecified);
    const struct { const char* name; std::string files; SQLServer* target; std::int32_t number; } rows[] = {
        {"never connected", "[db.bak]", server.get(), kErrorUnexpected}, {"failed to connect", "[db.bak]", failed.get(), kErrorUnexpected},
        {"malformed file list", "db.bak", server.get(), kErrorInvalidArgument},
    };
    for (const auto& row : rows) {
        const auto backup = provider->CreateBackup();
        backup->Database("db");
        backup->Files(row.files);
        backup->Initialize(true);
        EXPECT_EQ(numberOf([&] { backup->SQLBackup(*row.target); }), row.number) << row.name;
    }
}

} // namespace
} // namespace dunmarrow::sql
