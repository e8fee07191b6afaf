#include "sql/TSql.h"

#include <brenlix/Error.h>

#include <gtest/gtest.h>

#include <functional>

namespace dunmarrow::sql {
namespace {

using namespace std::string_literals;

// The description of the layer's invalid-argument error that make() raised; "(no error)" when it gave text.
std::string Invalid(const std::function<std::string()>& make)
{
    try {
        return "(no error) " + make();
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), kErrorInvalidArgument);
        EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO");
        return error.Description();
    }
}

TEST(BackupStatement, QuotesNamesAndPathsAndRefusesBadInput)
{
    const struct { std::string database, files; bool initialize; std::string expected; } rows[] = {
        {"my]db", "[C:\\x'y.bak]", true, "BACKUP DATABASE [my]]db] TO DISK = N'C:\\x''y.bak' WITH INIT"},
        {"db", "[a.bak],[b.bak]", true, "BACKUP DATABASE [db] TO DISK = N'a.bak', DISK = N'b.bak' WITH INIT"},
        {"db", " [a] [b];[c][d] ", false, "BACKUP DATABASE [db] TO DISK = N'a', DISK = N'b', DISK = N'c', DISK = N'd'"},
        {"db", "[a]]b[c.bak]", false, "BACKUP DATABASE [db] TO DISK = N'a]b[c.bak'"}, // "]]" is one "]"
        {"db", "[a,b;c d.bak]", false, "BACKUP DATABASE [db] TO DISK = N'a,b;c d.bak'"},
        {"x]; DROP DATABASE y; --", "['); DROP DATABASE y; --]", false, "BACKUP DATABASE [x]]; DROP DATABASE y; --] TO DISK = N'''); DROP DATABASE y; --'"},
        {"Lønkørsel", "[D:\\Løn\\日本.bak]", true, "BACKUP DATABASE [Lønkørsel] TO DISK = N'D:\\Løn\\日本.bak' WITH INIT"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BackupStatement(row.database, row.files, row.initialize), row.expected) << row.files;
    }
    const struct { std::string database, files, fragment; } refused[] = {
        {"", "[a.bak]", "database name is empty"}, {"d\0b"s, "[a.bak]", "NUL"}, {"db", "[a\0.bak]"s, "NUL"},
        {"db", " ,; ", "names no file"}, {"db", "a.bak", "outside brackets at character 1"},
        // A lone "]" ends the path: it is never guessed to belong to it.
        {"db", "[C:\\a]b.bak]", "outside brackets at character 7"}, {"db", "[D:\\Backup [old]\\db.bak]", "outside brackets at character 17"},
        {"db", "[a.bak", "without its closing"}, {"db", "[a],[]", "empty path"},
    };
    for (const auto& row : refused) {
        const std::string text = Invalid([&] { return BackupStatement(row.database, row.files, true); });
        EXPECT_NE(text.find(row.fragment), std::string::npos) << row.files << ": " << text;
    }
}

// Each switch alone and together, in the one WITH list SQL Server takes.
TEST(BackupStatement, KindsAndSwitches)
{
    const BackupAction full = BackupAction::Database, diff = BackupAction::Differential, log = BackupAction::Log;
    const std::string to = " TO DISK = N'D:\\B\\it''s.bak'", db = "BACKUP DATABASE [S]]x]" + to, bl = "BACKUP LOG [S]]x]" + to;
    const struct { BackupOptions options; std::string expected; } rows[] = { // action, initialize, checksum, compression, copyOnly
        {{diff, true, false, false, false}, db + " WITH DIFFERENTIAL, INIT"}, {{log, true, false, false, false}, bl + " WITH INIT"},
        {{full, true, true, false, false}, db + " WITH INIT, CHECKSUM"}, {{full, true, false, true, false}, db + " WITH INIT, COMPRESSION"},
        {{full, true, false, false, true}, db + " WITH INIT, COPY_ONLY"}, {{log, true, true, true, true}, bl + " WITH INIT, CHECKSUM, COMPRESSION, COPY_ONLY"},
        {{diff, false, false, false, true}, db + " WITH DIFFERENTIAL, COPY_ONLY"}, {{log, false, true, false, false}, bl + " WITH CHECKSUM"},
        {{log, false, false, false, false}, bl},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BackupStatement("S]x", "[D:\\B\\it's.bak]", row.options), row.expected);
    }
    EXPECT_EQ(VerifyStatement("[D:\\B\\it's.bak]", false), "RESTORE VERIFYONLY FROM DISK = N'D:\\B\\it''s.bak'");
    EXPECT_EQ(VerifyStatement("[a]]b.bak],[c.bak]", true), "RESTORE VERIFYONLY FROM DISK = N'a]b.bak', DISK = N'c.bak' WITH CHECKSUM");
    for (const std::string& files : {""s, "a.bak"s, "[]"s, "[a\0]"s}) {
        EXPECT_EQ(Invalid([&] { return VerifyStatement(files, true); }).rfind("(no error)", 0), std::string::npos) << files;
    }
}

TEST(ConnectionString, BracesValuesAndPicksOptions)
{
    const struct { std::string driver, server; bool integrated; std::string expected; } rows[] = {
        {"SQL Server", "PROD01", true, "Driver={SQL Server};Server={PROD01};Trusted_Connection=Yes;"},
        {"SQL Server", "a'b]c=d e\\日本", false, "Driver={SQL Server};Server={a'b]c=d e\\日本};"},
        {"My FREETDS 1.3", "127.0.0.1,1433", true, "Driver={My FREETDS 1.3};Server={127.0.0.1,1433};Trusted_Connection=Yes;TDS_Version=7.4;"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ConnectionString(row.driver, row.server, row.integrated), row.expected) << row.server;
    }
    const struct { std::string driver, server, fragment; } refused[] = {
        {"FreeTDS", "a;b", "contains \";\""}, {"FreeTDS", "a};Server={evil", "contains \"}\""}, {"FreeTDS", "a{b", "contains \"{\""},
        {"FreeTDS", "a\0b"s, "a NUL character"}, {"", "srv", "No ODBC driver"}, {"Free}TDS", "srv", "ODBC driver name"},
    };
    for (const auto& row : refused) {
        const std::string text = Invalid([&] { return ConnectionString(row.driver, row.server, true); });
        EXPECT_NE(text.find(row.fragment), std::string::npos) << row.server << ": " << text;
    }
}

} // namespace
} // namespace dunmarrow::sql
