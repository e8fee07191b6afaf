// A job over many databases: the selection read from Databases, what it chooses from one catalogue, why each
// database it cannot back up is skipped, and the file name each database's name becomes.
#include "DatabaseSelection.h"
#include "JobOptions.h"
#include "sql/OdbcSqlDmo.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>

#include "TdsEndpoint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

namespace {

using dunmarrow::DatabaseSkip;
using dunmarrow::sql::BackupAction;
using namespace testing_support;

// How a refused Databases value is raised.
const std::string kRefused = "13 Dunmarrow: The job key Databases has the value \"";

// Each selection of a row through the stand-in server, which decides LIKE and name order under its collation:
// "name" for a database that is backed up, "name (why)" for one that is skipped.
class OneServer {
public:
    explicit OneServer(const std::string& collation)
    {
        stand_.Catalogue({"collation " + collation, "master\tSIMPLE", "model", "msdb\tSIMPLE", "tempdb\tSIMPLE",
                          "distribution\tdistributor SIMPLE", "Løn", "løn_arkiv\tnew", "Staging_A\tSIMPLE",
                          "StagingXA", "Offline\tOFFLINE", "Løn_snap\tsnapshot", "Replica\tsecondary", "]' x",
                          "USER_DATABASES", "ærø", "x[1]", "x1", "Pad \t"});
        server_->LoginSecure(true);
        server_->Connect(stand_.Server("accept"));
    }

    std::vector<std::string> Chosen(const std::string& selection, BackupAction action)
    {
        static const std::map<DatabaseSkip, std::string> why{
            {DatabaseSkip::TempDb, "tempdb"},        {DatabaseSkip::Snapshot, "snapshot"},
            {DatabaseSkip::NotOnline, "state"},      {DatabaseSkip::NotPreferredReplica, "replica"},
            {DatabaseSkip::FullOnly, "full only"},   {DatabaseSkip::SimpleRecovery, "simple"},
            {DatabaseSkip::NoLogChain, "no full"},   {DatabaseSkip::NoDifferentialBase, "no base"}};
        const std::vector<std::string> patterns = dunmarrow::NamePatterns(dunmarrow::ReadSelection(selection));
        const auto catalogue = dunmarrow::CatalogueOf(
            server_->ExecuteWithResults(dunmarrow::sql::CatalogueStatement(patterns)), patterns.size());
        std::vector<std::string> chosen;
        for (const auto& step : dunmarrow::SelectDatabases(selection, catalogue, action)) {
            chosen.push_back(step.skip == DatabaseSkip::None ? step.name : step.name + " (" + why.at(step.skip) + ")");
        }
        return chosen;
    }

private:
    TdsEndpoint stand_;
    std::unique_ptr<dunmarrow::sql::Provider> provider_ = dunmarrow::sql::MakeOdbcProvider("FreeTDS", 10);
    std::unique_ptr<dunmarrow::sql::SQLServer> server_ = provider_->CreateSQLServer();
};

// Items apply left to right over one catalogue; the groups, LIKE's two wildcards, a bracketed literal (the name of a
// group; "_", "%", "[", "]" and "'" in it) and letter case as the server decides them, under a case-insensitive and a
// case-sensitive collation; the result in the server's name order; each database that cannot be backed up under
// the job's Type says why.
TEST(SelectDatabases, OneCatalogue)
{
    const bool ci = true;
    const auto full = BackupAction::Database;
    const struct { bool ci; std::string selection; BackupAction action; std::vector<std::string> chosen; } rows[] = {
        {ci, "ALL_DATABASES", full,
         {"]' x", "distribution", "Løn", "løn_arkiv", "Løn_snap (snapshot)", "master", "model", "msdb",
          "Offline (state)", "Pad ", "Replica (replica)", "Staging_A", "StagingXA", "tempdb (tempdb)",
          "USER_DATABASES", "x[1]", "x1", "ærø"}},
        {ci, " user_databases, -x%, -p% ", BackupAction::Log,
         {"]' x", "Løn", "løn_arkiv (no full)", "Løn_snap (snapshot)", "Offline (state)", "Replica (replica)",
          "Staging_A (simple)", "StagingXA", "USER_DATABASES", "ærø"}},
        {ci, "SYSTEM_DATABASES", BackupAction::Differential, {"master (full only)", "model", "msdb"}},
        {ci, "SYSTEM_DATABASES", BackupAction::Log, {"master (full only)", "model", "msdb (simple)"}},
        {ci, "USER_DATABASES, -staging%, -[x[1]]], -[Pad ]", full,
         {"]' x", "Løn", "løn_arkiv", "Løn_snap (snapshot)", "Offline (state)", "Replica (replica)", "USER_DATABASES",
          "x1", "ærø"}},
        {!ci, "USER_DATABASES, -staging%, -x_, -Pad_", full,
         {"]' x", "Løn", "løn_arkiv", "Løn_snap (snapshot)", "Offline (state)", "Replica (replica)", "Staging_A",
          "StagingXA", "USER_DATABASES", "x[1]", "ærø"}},
        {ci, "Staging_%", full, {"Staging_A", "StagingXA"}},
        {ci, "[USER_DATABASES],[Staging_A]", full, {"Staging_A", "USER_DATABASES"}},
        {ci, "[x[1]]]", full, {"x[1]"}},
        {ci, "- [ ]]' x ] ,[]]' x]", full, {"]' x"}},
        {ci, "lØn%", BackupAction::Differential, {"Løn", "løn_arkiv (no base)", "Løn_snap (snapshot)"}},
        {ci, "%, -%a%, ÆRØ, -x%", full,
         {"]' x", "distribution", "Løn", "model", "msdb", "Offline (state)", "tempdb (tempdb)", "ærø"}},
        {ci, "-Løn, Løn, m_d%", full, {"Løn", "model", "msdb"}},
        {ci, "replica, TEMPDB", full, {"Replica (replica)", "tempdb (tempdb)"}},
        {!ci, "Løn%, [Staging_A]", full, {"Løn", "Løn_snap (snapshot)", "Staging_A"}},
    };
    for (const bool insensitive : {true, false}) {
        OneServer server(insensitive ? "Danish_Norwegian_CI_AS" : "Danish_Norwegian_CS_AS");
        for (const auto& row : rows) {
            if (row.ci == insensitive) {
                EXPECT_EQ(server.Chosen(row.selection, row.action), row.chosen) << row.selection << " ci " << row.ci;
            }
        }
        for (const std::string selection : {"Løn, -Løn", insensitive ? "[Staging%]" : "LØN", "Løn_", "[x_]", "[Pad]"}) {
            EXPECT_EQ(Raised([&] { server.Chosen(selection, full); }),
                      kRefused + selection + "\"; it chooses no database on the server.");
        }
    }
}

// Each refused selection names its item and what would do; a name longer than a server's may be is refused.
TEST(SelectDatabases, RefusedSelections)
{
    const std::string longest(128, 'n');
    const std::string empty =
        "; write a comma-separated list of ALL_DATABASES, USER_DATABASES, SYSTEM_DATABASES and names";
    const struct { std::string selection, reason; } rows[] = {
        {"", "item 1 is empty" + empty},
        {"a, ", "item 2 is empty" + empty},
        {"a,,b", "item 2 is empty" + empty},
        {"-", "item 1 is empty" + empty},
        {"a,[b", "item 2 has a \"[\" without its closing \"]\""},
        {"[b]]", "item 1 has a \"[\" without its closing \"]\""},
        {"[b]c", "item 1 has text after its closing \"]\"; write \"]]\" for a \"]\" in a name"},
        {"x[y]", "item 1 has a bracket in a name; write that name in brackets, each \"]\" doubled"},
        {"a]", "item 1 has a bracket in a name; write that name in brackets, each \"]\" doubled"},
        {"[]", "item 1 names no database"},
        {"x," + longest + "n", "item 2 is longer than the 128 characters a database name can have"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Raised([&] { dunmarrow::ReadSelection(row.selection); }),
                  kRefused + row.selection + "\"; " + row.reason + ".");
    }
    // 128 characters, not bytes
    EXPECT_EQ(dunmarrow::ReadSelection("[" + std::string(64, 'x') + "æ" + std::string(63, 'x') + "]").size(), 1u);
    EXPECT_EQ(dunmarrow::ReadSelection(longest)[0].name, longest);
}

// Each skip's line, its type, and whether the job counts as failed.
TEST(SelectDatabases, SkipLines)
{
    using brenlix::LogFileTypeError;
    using brenlix::LogFileTypeInformation;
    using brenlix::LogFileTypeWarning;
    const struct { DatabaseSkip skip; std::string line; brenlix::LogFileType type; } rows[] = {
        {DatabaseSkip::TempDb, "Springer over D: tempdb kan der ikke tages backup af", LogFileTypeInformation},
        {DatabaseSkip::Snapshot, "Springer over D: databasen er et snapshot", LogFileTypeInformation},
        {DatabaseSkip::NotOnline, "Springer over D: databasen er ikke ONLINE, men RESTORING", LogFileTypeWarning},
        {DatabaseSkip::NotPreferredReplica, "Springer over D: serveren er ikke den foretrukne replika til backup",
         LogFileTypeInformation},
        {DatabaseSkip::FullOnly, "Springer over D: af master kan der kun tages fuld backup", LogFileTypeInformation},
        {DatabaseSkip::SimpleRecovery, "Springer over D: Type=Log, men databasen bruger simple recovery model",
         LogFileTypeInformation},
        {DatabaseSkip::NoLogChain, "Springer over D: Type=Log, men databasen har endnu ingen fuld backup",
         LogFileTypeError},
        {DatabaseSkip::NoDifferentialBase, "Springer over D: Type=Diff, men databasen har endnu ingen fuld backup",
         LogFileTypeError},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dunmarrow::SkipLine({"D", row.skip, "RESTORING"}), row.line);
        EXPECT_EQ(dunmarrow::SkipLineType(row.skip), row.type) << row.line;
        EXPECT_EQ(dunmarrow::SkipFails(row.skip), row.type == LogFileTypeError) << row.line;
    }
    // A name from the server never makes a line of its own.
    EXPECT_EQ(dunmarrow::SkipLine({"x\r\nERROR|y\t", DatabaseSkip::Snapshot, ""}),
              "Springer over x??ERROR|y?: databasen er et snapshot");
}

// A hostile name becomes exactly one file in the typed folder, and two names never share a file.
TEST(DatabaseFileName, EveryNameIsOneFileInTheFolder)
{
    const std::string longest(128, 'n');
    const struct { std::string name, file; } rows[] = {
        {"Løn", "Løn"},
        {"]' x", "]' x"},
        {"..\\x", "..%5Cx"},
        {"a/b", "a%2Fb"},
        {"a%2Fb", "a%252Fb"},
        {"..", "%2E%2E"},
        {".", "%2E"},
        {" x. .", " x%2E%20%2E"},
        {"a:b*c?d<e>f|g\"h", "a%3Ab%2Ac%3Fd%3Ce%3Ef%7Cg%22h"},
        {"t\tx\x7F", "t%09x%7F"},
        {"{stamp}{database}", "%7Bstamp%7D%7Bdatabase%7D"},
        {"CON", "%43ON"},
        {"nul.x", "%6Eul.x"},
        {"Com1 .bak", "%43om1 .bak"},
        {"LPT9", "%4CPT9"},
        {"COMX", "COMX"},
        {"CONSOLE", "CONSOLE"},
        {longest, longest},
    };
    const TempDir dir;
    const std::string typed = dir.File("{database}_full.bak");
    for (const auto& row : rows) {
        const std::string path = dunmarrow::WithDatabase(typed, row.name);
        EXPECT_EQ(path, dir.File(row.file + "_full.bak")) << row.name;
        WriteFile(path, row.name);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), std::size(rows));
    for (const auto& row : rows) {
        EXPECT_EQ(ReadFile(dir.File(row.file + "_full.bak")), row.name);
    }
    EXPECT_EQ(dunmarrow::WithDatabase("{database}-{database}{Database}", "a/b"), "a%2Fb-a%2Fb{Database}");
}

// Two file names are one file on Windows when their letters' simple upper cases are equal, in every alphabet of the
// ANSI code pages; a letter without an upper case stays itself.
TEST(DatabaseFileName, OneFileAsWindowsComparesNames)
{
    const struct { std::string a, b; bool same; } rows[] = {
        {"Sales", "SALES", true},   {"Løn", "LØN", true},     {"Ærø ÿ", "æRØ Ÿ", true}, {"Łódź", "ŁÓDŹ", true},
        {"Ğış", "ĞIŞ", true},       {"i", "İ", false},        {"ſ", "S", true},        {"µ", "Μ", true},
        {"Ωμέγας", "ΩΜΈΓΑΣ", true}, {"Ёж ґ", "ёЖ Ґ", true},   {"a%2Fb", "A%2fB", true}, {"ĸ", "K", false},
        {"straße", "STRASSE", false}, {"÷", "×", false},     {"Ơư", "ơƯ", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dunmarrow::FileNameKey(row.a) == dunmarrow::FileNameKey(row.b), row.same) << row.a << " " << row.b;
    }
}

// A letter the code page does not hold as itself is escaped too: a "best fit" (a full-width solidus made "/") or a
// "?" would give the file calls another name than the server wrote.
TEST(DatabaseFileName, LettersTheCodePageLacksAreEscaped)
{
    const testing_support::WesternCodePage western;
    if (!western.Active()) {
        GTEST_SKIP() << "no Western European code page here";
    }
    const struct { std::string name, file; } rows[] = {
        {"Løn", "Løn"}, {"Ωmega", "%CE%A9mega"}, {"..／x", "..%EF%BC%8Fx"}, {"a＼b", "a%EF%BC%BCb"}, {"Å. ", "Å%2E%20"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dunmarrow::DatabaseFileName(row.name), row.file) << row.name;
    }
}

} // namespace
