#include "sql/TSql.h"

#include <brenlix/Error.h>

#include <gtest/gtest.h>

#include <string>

namespace dunmarrow::sql {
namespace {

using namespace std::string_literals;

// Runs make() and checks that it raised the layer's invalid-argument error with a description holding fragment.
template <class Make>
void ExpectInvalid(Make make, const std::string& fragment, const std::string& row)
{
    try {
        ADD_FAILURE() << row << ": no error, gave " << make();
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), kErrorInvalidArgument) << row;
        EXPECT_EQ(error.Source(), "Dunmarrow.SQLDMO") << row;
        EXPECT_NE(error.Description().find(fragment), std::string::npos) << row << ": " << error.Description();
    }
}

TEST(BackupStatement, QuotesNamesAndPaths)
{
    const struct {
        std::string database, files;
        bool initialize;
        std::string expected;
    } rows[] = {
        {"my]db", "[C:\\x'y.bak]", true, "BACKUP DATABASE [my]]db] TO DISK = N'C:\\x''y.bak' WITH INIT"},
        {"db", "[a.bak],[b.bak]", true, "BACKUP DATABASE [db] TO DISK = N'a.bak', DISK = N'b.bak' WITH INIT"},
        {"db", " [a] [b];[c][d] ", false, "BACKUP DATABASE [db] TO DISK = N'a', DISK = N'b', DISK = N'c', DISK = N'd'"},
        {"db", "[a]]b[c.bak]", false, "BACKUP DATABASE [db] TO DISK = N'a]b[c.bak'"}, // "]]" is one "]"
        {"db", "[a,b;c d.bak]", false, "BACKUP DATABASE [db] TO DISK = N'a,b;c d.bak'"},
        {"x]; DROP DATABASE y; --", "['); DROP DATABASE y; --]", false,
         "BACKUP DATABASE [x]]; DROP DATABASE y; --] TO DISK = N'''); DROP DATABASE y; --'"},
        {"Lønkørsel", "[D:\\Løn\\日本.bak]", true, "BACKUP DATABASE [Lønkørsel] TO DISK = N'D:\\Løn\\日本.bak' WITH INIT"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BackupStatement(row.database, row.files, row.initialize), row.expected) << row.files;
    }
}

TEST(BackupStatement, RefusesBadInput)
{
    const struct {
        std::string database, files, fragment;
    } rows[] = {
        {"", "[a.bak]", "database name is empty"},
        {"d\0b"s, "[a.bak]", "NUL"},
        {"db", "[a\0.bak]"s, "NUL"},
        {"db", " ,; ", "names no file"},
        {"db", "a.bak", "outside brackets at character 1"},
        {"db", "[a.bak]x", "outside brackets at character 8"},
        {"db", "[a]]],b", "outside brackets at character 7"},
        // A lone "]" ends the path: it is never guessed to belong to it.
        {"db", "[C:\\a]b.bak]", "outside brackets at character 7"},
        {"db", "[D:\\Backup [old]\\db.bak]", "outside brackets at character 17"},
        {"db", "[a.bak", "without its closing"},
        {"db", "[a],[]", "empty path"},
    };
    for (const auto& row : rows) {
        ExpectInvalid([&] { return BackupStatement(row.database, row.files, true); }, row.fragment, row.files);
    }
}

// Each switch alone and together, in the one WITH list SQL Server takes.
TEST(BackupStatement, KindsAndSwitches)
{
    const BackupAction full = BackupAction::Database, diff = BackupAction::Differential, log = BackupAction::Log;
    const std::string to = " TO DISK = N'D:\\B\\it''s.bak'";
    const struct {
        BackupOptions options; // action, initialize, checksum, compression, copyOnly
        std::string expected;
    } rows[] = {
        {{diff, true, false, false, false}, "BACKUP DATABASE [S]]x]" + to + " WITH DIFFERENTIAL, INIT"},
        {{log, true, false, false, false}, "BACKUP LOG [S]]x]" + to + " WITH INIT"},
        {{full, true, true, false, false}, "BACKUP DATABASE [S]]x]" + to + " WITH INIT, CHECKSUM"},
        {{full, true, false, true, false}, "BACKUP DATABASE [S]]x]" + to + " WITH INIT, COMPRESSION"},
        {{full, true, false, false, true}, "BACKUP DATABASE [S]]x]" + to + " WITH INIT, COPY_ONLY"},
        {{log, true, true, true, true}, "BACKUP LOG [S]]x]" + to + " WITH INIT, CHECKSUM, COMPRESSION, COPY_ONLY"},
        {{diff, false, false, false, true}, "BACKUP DATABASE [S]]x]" + to + " WITH DIFFERENTIAL, COPY_ONLY"},
        {{log, false, true, false, false}, "BACKUP LOG [S]]x]" + to + " WITH CHECKSUM"},
        {{log, false, false, false, false}, "BACKUP LOG [S]]x]" + to},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(BackupStatement("S]x", "[D:\\B\\it's.bak]", row.options), row.expected);
    }
    EXPECT_EQ(VerifyStatement("[D:\\B\\it's.bak]", false), "RESTORE VERIFYONLY FROM DISK = N'D:\\B\\it''s.bak'");
    EXPECT_EQ(VerifyStatement("[a]]b.bak],[c.bak]", true),
              "RESTORE VERIFYONLY FROM DISK = N'a]b.bak', DISK = N'c.bak' WITH CHECKSUM");
    for (const std::string& files : {""s, "a.bak"s, "[]"s, "[a\0]"s}) {
        ExpectInvalid([&] { return VerifyStatement(files, true); }, "", "verify " + files);
    }
}

TEST(ConnectionString, BracesValuesAndPicksOptions)
{
    const struct {
        std::string driver, server;
        bool integrated;
        std::string expected;
    } rows[] = {
        {"SQL Server", "PROD01", true, "Driver={SQL Server};Server={PROD01};Trusted_Connection=Yes;"},
        {"SQL Server", "a'b]c=d e\\日本", false, "Driver={SQL Server};Server={a'b]c=d e\\日本};"},
        {"freetds", "127.0.0.1,1433", true,
         "Driver={freetds};Server={127.0.0.1,1433};Trusted_Connection=Yes;TDS_Version=7.4;"},
        {"My FREETDS 1.3", "s", false, "Driver={My FREETDS 1.3};Server={s};TDS_Version=7.4;"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ConnectionString(row.driver, row.server, row.integrated), row.expected) << row.server;
    }
    const struct {
        std::string driver, server, fragment;
    } refused[] = {
        {"FreeTDS", "a;b", "contains \";\""},  {"FreeTDS", "a};Server={evil", "contains \"}\""},
        {"FreeTDS", "a{b", "contains \"{\""},  {"FreeTDS", "a\0b"s, "a NUL character"},
        {"", "srv", "No ODBC driver"},         {"Free}TDS", "srv", "ODBC driver name"},
        {"X;Y", "srv", "ODBC driver name"},
    };
    for (const auto& row : refused) {
        ExpectInvalid([&] { return ConnectionString(row.driver, row.server, true); }, row.fragment, row.server);
    }
}

} // namespace
} // namespace dunmarrow::sql
