// The program on a scripted SQL layer: one backup job, the values it reads, the whole run, the commands it waits for.
#include "FileSystem.h"
#include "JobOptions.h"
#include "OrvBackUP.h"
#include "Program.h"
#include "Retention.h"
#include "modMain.h"
#include "modShell.h"
#include "sql/SqlDmo.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Locale.h>
#include <platform/Text.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>

#ifdef _WIN32
#include <platform/Win32.h>
#undef CopyFile // <windows.h>'s other name for CopyFileA, not the job's copy
#else
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using dunmarrow::JobKeys;
using dunmarrow::sql::BackupAction;
using namespace testing_support;
using Lines = std::vector<std::string>;
namespace sql = dunmarrow::sql;

// The optional keys in their order: Type, Checksum, Compress, CopyOnly, Verify, KeepDays, EventLog, StallMinutes,
// LoginTimeout.
inline dunmarrow::JobKeys Keys(std::vector<std::string> values)
{
    values.resize(9);
    return {values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7], values[8]};
}

Lines Joined(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A scripted SQL layer, the provider, the server and the backup in one (each object it makes is only ever used as the
// one it was made for): records every call, fails where the test says, and its backup writes the file in Files.
struct Script {
    std::vector<std::string> calls;
    std::set<std::string> failing; // a call's name, or its name and argument: "Database(C)"
    bool writesHere = true; // false: a server on another machine writes the file there
    std::vector<sql::ResultRow> rows; // what a query returns
    std::int32_t failWith = 3201; // the number of a failing call

    void Step(const std::string& name, const std::string& argument = {})
    {
        calls.push_back(name + "(" + argument + ")");
        if (failing.count(name) != 0 || failing.count(calls.back()) != 0) {
            throw brenlix::Error(failWith, "test", "Cannot open backup device. " + name + " failed.");
        }
    }
};

class Scripted final : public sql::Provider, public sql::SQLServer, public sql::Backup {
    Script& s_;
    std::string path_;

public:
    explicit Scripted(Script& script) : s_(script) {}
    void LoginSecure(bool value) override { s_.Step("LoginSecure", std::to_string(value)); }
    void LoginTimeout(unsigned seconds) override { s_.Step("LoginTimeout", std::to_string(seconds)); }
    void Connect(const std::string& name) override { s_.Step("Connect", name); }
    void QueryStallSeconds(unsigned seconds) override { s_.Step("QueryStallSeconds", std::to_string(seconds)); }
    std::vector<sql::ResultRow> ExecuteWithResults(const std::string& statement) override
    {
        s_.Step("ExecuteWithResults", statement == sql::CatalogueStatement({}) ? "catalogue" : statement);
        return s_.rows;
    }
    void Database(const std::string& value) override { s_.Step("Database", value); }
    void Files(const std::string& value) override
    {
        s_.Step("Files", value);
        path_.clear(); // "[path]" with each "]" of the path doubled
        for (std::size_t i = 1; i + 1 < value.size(); i += value[i] == ']' ? 2 : 1) {
            path_ += value[i];
        }
    }
    void Initialize(bool value) override { s_.Step("Initialize", std::to_string(value)); }
    void Action(BackupAction value) override { s_.Step("Action", std::to_string(static_cast<int>(value))); }
    void Checksum(bool value) override { s_.Step("Checksum", std::to_string(value)); }
    void Compression(bool value) override { s_.Step("Compression", std::to_string(value)); }
    void CopyOnly(bool value) override { s_.Step("CopyOnly", std::to_string(value)); }
    void StallSeconds(unsigned seconds) override { s_.Step("StallSeconds", std::to_string(seconds)); }
    void SQLBackup(sql::SQLServer&) override
    {
        s_.Step("SQLBackup");
        if (s_.writesHere) {
            WriteFile(path_, "backup of the database");
        }
    }
    void SQLVerify(sql::SQLServer&) override { s_.Step("SQLVerify"); }
    std::unique_ptr<sql::SQLServer> CreateSQLServer() override
    {
        s_.Step("CreateSQLServer");
        return std::make_unique<Scripted>(s_);
    }
    std::unique_ptr<sql::Backup> CreateBackup() override
    {
        s_.Step("CreateBackup");
        return std::make_unique<Scripted>(s_);
    }
};

const std::string kStart = "INFORMATION|Starter backup af Løn på PROD01";
const std::string kDone = "INFORMATION|Backup Færdig. ";
const std::string kFailed = "ERROR|Fejl opstod i StartBackup";
const std::string kReport = "ERROR|Fejl repporteret : ";
const std::string kCopied = "INFORMATION|Slut kopiering af backup fil. ";

std::string Copying(const std::string& to) { return "INFORMATION|Starter kopiering af backup fil til " + to + "."; }

class OrvBackUPTest : public ::testing::Test {
protected:
    OrvBackUPTest()
    {
        dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log"));
        dunmarrow::Pause(0); // no system error before the job
        job_.ServerName("PROD01");
        job_.DatabaseName("Løn");
        job_.JobName("Nat");
        job_.Backupfile(dir_.File("Løn.bak"));
    }

    Lines Run(bool succeeds)
    {
        WriteFile(dir_.File("Dunmarrow.log"), "");
        script_.calls.clear();
        events_.clear();
        EXPECT_EQ(job_.StartBackUP(), succeeds);
        return LogEntries(dir_.File("Dunmarrow.log"));
    }

    // The calls of a job that got through the backup.
    static Lines Calls(const std::string& file)
    {
        return {"CreateSQLServer()", "LoginSecure(1)", "Connect(PROD01)", "CreateBackup()",
                "Database(Løn)", "Files([" + file + "])", "Initialize(1)", "SQLBackup()"};
    }

    TempDir dir_;
    ManualClock clock_{At(2026, 12, 6, 22, 0, 0)};
    platform::ScopedClock scoped_{clock_};
    Script script_;
    Scripted provider_{script_};
    dunmarrow::OrvBackUP job_{provider_};
    Lines events_; // "<type> <id> <reason>"
    dunmarrow::ScopedDiagnosticSink sink_{
        [this](brenlix::EventLogTypes type, dunmarrow::DiagnosticEvent id, const std::string& reason) {
            events_.push_back(std::to_string(type) + " " + std::to_string(id) + " " + reason);
        }};
};

// Every connection step is tried even after one failed; a failure before the backup is a warning, a later one ends the
// job before its copy; EventLog adds the job's failure, read as a switch even when a key is refused. A value the job
// cannot use stops it before the server is asked, and says which value and what would do. The server is told the path
// as typed (enclosing quotes off, each "]" doubled) and the copy reads that file.
TEST_F(OrvBackUPTest, FailuresReasonsAndPaths)
{
    const std::string warning = "WARNING|Kan ikke få forbindelse til server PROD01";
    const std::string device = "3201 Cannot open backup device. ";
    const std::string file = dir_.File("Løn.bak");
    const std::string copy = dir_.File("kopi.bak");
    const std::string needs = "13 KeepDays needs {stamp} in the file name of MakeCopy2 (\"";
    const std::string spaced = dir_.File("med mellemrum.bak");
    const Lines copied{kStart, kDone, Copying(copy), kCopied};
    const auto noConnection = [&](const std::string& step) {
        return "2 1 no connection to server \"PROD01\": " + device + step + " failed.";
    };
    const auto jobFailed = [&](const std::string& step) {
        return "1 3 the job \"Nat\" failed: " + device + step + " failed.";
    };
    const auto failed = [&](const std::string& reason) { return Lines{kStart, kFailed, kReport + reason + " (0)"}; };
    const auto eventLog = [](const std::string& value) { return Keys({"", "", "", "", "", "", value}); };
    const struct {
        std::string failing;
        JobKeys keys;
        std::string backupfile, told; // told: the path in Files
        std::size_t calls;
        Lines log, events;
    } rows[] = {
        {"CreateSQLServer", {}, file, file, 1, {kStart, warning}, {noConnection("CreateSQLServer")}},
        {"LoginSecure", eventLog(" Ja"), file, file, 3, {kStart, warning},
         {noConnection("LoginSecure"), jobFailed("LoginSecure")}},
        {"SQLBackup", eventLog("1"), file, file, 8, failed(device + "SQLBackup failed."), {jobFailed("SQLBackup")}},
        {"", {}, "\"\"", file, 5, failed("123 " + brenlix::SystemErrorText(123)), {}},
        {"", Keys({"Incremental", "", "", "", "", "", "2"}), file, file, 0,
         failed("13 The job key Type has the value \"Incremental\"; the accepted values are Full, Diff and Log."), {}},
        {"", Keys({"", "", "", "", "", "3"}), dir_.File("Løn_{stamp}.bak"), file, 0,
         failed(needs + copy + "\"): each run must keep a file of its own."), {}},
        {"", {}, "\"" + spaced + "\"", spaced, 8, copied, {}},
        // only a leading quote that is there is taken off
        {"", {}, spaced + "\"", spaced, 8, copied, {}},
        {"", eventLog("1"), dir_.File("Backup [old].bak"), dir_.File("Backup [old]].bak"), 8, copied, {}},
    };
    job_.Copy2(copy);
    for (const auto& row : rows) {
        script_.failing = {row.failing};
        job_.Options(row.keys);
        job_.Backupfile(row.backupfile);
        WriteFile(copy, "");
        const bool succeeds = row.log == copied;
        const Lines all = Calls(row.told);
        EXPECT_EQ(Run(succeeds), row.log) << row.failing << row.backupfile;
        EXPECT_EQ(script_.calls, Lines(all.begin(), all.begin() + row.calls)) << row.failing << row.backupfile;
        EXPECT_EQ(events_, row.events) << row.failing;
        EXPECT_EQ(ReadFile(copy), succeeds ? "backup of the database" : "") << row.failing << row.backupfile;
    }
}

// StallMinutes watches the backup, in seconds (a test may shorten the minute, within 1 to 60 s); LoginTimeout is set
// before connecting.
TEST_F(OrvBackUPTest, StallAndLoginKeys)
{
    const JobKeys five = Keys({"", "", "", "", "", "", "", "5"});
    const struct {
        JobKeys keys;
        const char* minute;
        std::string stalled;
    } rows[] = {
        {Keys({"", "", "", "", "", "", "", " 1440 ", "10"}), nullptr, "StallSeconds(86400)"},
        {five, "2", "StallSeconds(10)"},
        {five, "61", "StallSeconds(300)"},
        {five, "2x", "StallSeconds(300)"}, // a real minute unless the value is whole
    };
    for (const auto& row : rows) {
        const ScopedEnvironment minute{"DUNMARROW_TEST_STALL_MINUTE_SECONDS", row.minute};
        job_.Options(row.keys);
        Lines calls = Calls(dir_.File("Løn.bak"));
        calls.insert(calls.end() - 1, row.stalled);
        if (!row.keys.loginTimeout.empty()) {
            calls.insert(calls.begin() + 2, "LoginTimeout(10)");
        }
        EXPECT_EQ(Run(true), (Lines{kStart, kDone})) << row.keys.stallMinutes;
        EXPECT_EQ(script_.calls, calls) << row.keys.stallMinutes;
    }
}

// Database and Databases exclude each other, and Databases needs {database} in each file name it writes: refused,
// like every other key, before the server is asked. Blanks alone are no Databases: the job is its Database's.
TEST_F(OrvBackUPTest, DatabasesKeysBeforeTheServer)
{
    const std::string sep(1, platform::PathSeparator());
    const std::string perDatabase = dir_.File("{database}_{stamp}.bak");
    std::string longList; // as long as a job file's value can be read: its end may be lost
    for (int i = 0; i < 127; ++i) longList += "a,";
    const auto needs = [](const std::string& key, const std::string& path, const std::string& reason) {
        return "13 Databases needs {database} in the file name of " + key + " (\"" + path + "\"): " + reason + ".";
    };
    const auto failed = [](const std::string& start, const std::string& reason) {
        return Lines{"INFORMATION|Starter backup af " + start + " på PROD01", kFailed, kReport + reason + " (0)"};
    };
    const struct { std::string database, databases, backupfile, copy2; Lines log; } rows[] = {
        {"Løn", "USER_DATABASES", perDatabase, "",
         failed("Løn", "13 The job keys Database and Databases are both given; a job backs up either the one "
                       "database of Database or the databases that Databases chooses.")},
        {"", "USER_DATABASES", dir_.File("alle.bak"), "",
         failed("USER_DATABASES", needs("Backupfile", dir_.File("alle.bak"), "each database needs a file of its own"))},
        {"", "x", dir_.File("{database}") + sep + "a.bak", "",
         failed("x", needs("Backupfile", dir_.File("{database}") + sep + "a.bak",
                           "the folder may not change from database to database"))},
        {"", "x", perDatabase, dir_.File("kopi.bak"),
         failed("x", needs("MakeCopy2", dir_.File("kopi.bak"), "each database needs a file of its own"))},
        {"", "USER_DATABASES,,x", perDatabase, "",
         failed("USER_DATABASES,,x", "13 The job key Databases has the value \"USER_DATABASES,,x\"; item 2 is "
                                     "empty; write a comma-separated list of ALL_DATABASES, USER_DATABASES, "
                                     "SYSTEM_DATABASES and names.")},
        {"", longList, perDatabase, "",
         failed(longList, "13 The job key Databases has a value of 254 characters or more, and values are read only "
                          "that far; choose with fewer, wider items (patterns and groups).")},
        {"Løn", " \t", dir_.File("Løn.bak"), "", {kStart, kDone}},
    };
    for (const auto& row : rows) {
        job_.DatabaseName(row.database);
        job_.Databases(row.databases);
        job_.Backupfile(row.backupfile);
        job_.Copy2(row.copy2);
        EXPECT_EQ(Run(row.log.size() == 2), row.log) << row.databases << " " << row.backupfile;
        EXPECT_EQ(script_.calls.size(), row.log.size() == 2 ? 8u : 0u) << row.databases << " " << row.backupfile;
    }
}

// A job over a selection reads the catalogue on its connection, then runs each database in the server's order with its
// own lines and files; a skip is one line; a database that fails leaves the others to run and fails the job, and the
// commands run once, after the last database, only when none failed. A catalogue that is not as asked, or a selection
// that chooses nothing, fails the job.
TEST_F(OrvBackUPTest, DatabasesRunEachInTheServersOrder)
{
    const auto db = [](const std::string& name, const std::string& state, const std::string& logChain) {
        return sql::ResultRow{name, state == "ONLINE" ? "0" : "6", state, "1", "0", "0", "1", logChain, "1"};
    };
    const std::string exit0 = TestChildCommand("exit 0");
    const std::string file = dir_.File("{database}_{stamp}.bak");
    const auto start = [](const std::string& name) { return "INFORMATION|Starter backup af " + name + " på PROD01"; };
    // the file's stamp is the job's start, which the pauses of each run move on
    const auto backup = [&](const std::string& name, const std::string& written) {
        const std::string path = dir_.File(written + "_{stamp}.bak");
        return Lines{"CreateBackup()", "Database(" + name + ")", "Files([" + path + "])", "Initialize(1)", "Action(3)",
                     "SQLBackup()"};
    };
    const Lines connected{"CreateSQLServer()", "LoginSecure(1)", "Connect(PROD01)", "ExecuteWithResults(catalogue)"};
    const std::string cMissing = "ERROR|Springer over c: Type=Log, men databasen har endnu ingen fuld backup";
    const std::string offline = "WARNING|Springer over Off: databasen er ikke ONLINE, men OFFLINE";
    const std::string tempdb = "INFORMATION|Springer over tempdb: tempdb kan der ikke tages backup af";
    const std::string all = start("ALL_DATABASES");
    const std::string chooses = kReport + "13 The job key Databases has the value \"ALL_DATABASES\"; ";
    // events: EventLog writes one for each failed database or job
    const struct {
        std::vector<sql::ResultRow> catalogue;
        std::string failing;
        Lines calls;
        std::size_t events;
        Lines log;
    } rows[] = {
        {{db("a/b", "ONLINE", "1"), db("B", "ONLINE", "1"), db("c", "ONLINE", "0"), db("Off", "OFFLINE", "0"),
          db("tempdb", "ONLINE", "0")},
         "",
         Joined({connected, backup("a/b", "a%2Fb"), backup("B", "B")}),
         1,
         {all, start("a/b"), kDone, start("B"), kDone, cMissing, offline, tempdb}},
        {{db("a/b", "ONLINE", "1"), db("B", "ONLINE", "1"), db("Off", "OFFLINE", "0")},
         "Database(a/b)",
         Joined({connected, {"CreateBackup()", "Database(a/b)"}, backup("B", "B")}),
         1,
         {all, start("a/b"), kFailed, kReport + "3201 Cannot open backup device. Database failed. (0)", start("B"),
          kDone, offline}},
        {{db("B", "ONLINE", "1"), db("Off", "OFFLINE", "0")},
         "",
         Joined({connected, backup("B", "B")}),
         0,
         {all, start("B"), kDone, offline, "INFORMATION|Starter kommando :" + exit0, "INFORMATION|Slut komando "}},
        {{}, "", connected, 1, {all, kFailed, chooses + "it chooses no database on the server. (0)"}},
        {{db("Off", "OFFLINE", "1"), db("tempdb", "ONLINE", "1")},
         "",
         connected,
         1,
         {all, offline, tempdb, kFailed,
          chooses + "every database it chooses was passed over, so nothing was backed up. (0)"}},
        {{sql::ResultRow{"B", "0"}},
         "",
         connected,
         1,
         {all, kFailed,
          kReport + "13 The server's list of databases has a row without a name or with 2 columns instead of 9. (0)"}},
    };
    job_.DatabaseName("");
    job_.Databases("ALL_DATABASES");
    job_.Backupfile(file);
    job_.RunShell(exit0);
    job_.WaitShell(30000);
    job_.Options(Keys({"Log", "", "", "", "", "", "1"}));
    for (const auto& row : rows) {
        script_.rows = row.catalogue;
        script_.failing = {row.failing};
        const bool succeeds = row.log.back() == "INFORMATION|Slut komando ";
        const std::string stamp = dunmarrow::StampOf(clock_.Now());
        EXPECT_EQ(Run(succeeds), row.log) << row.failing;
        Lines calls;
        for (const std::string& call : row.calls) {
            calls.push_back(dunmarrow::WithStamp(call, stamp));
        }
        EXPECT_EQ(script_.calls, calls) << row.failing;
        EXPECT_EQ(events_.size(), row.events) << row.failing;
        if (&row == rows) {
            EXPECT_EQ(events_, Lines{"1 3 the job \"Nat\" failed: 4214 " + cMissing.substr(6)});
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            if (entry.path().extension() == ".bak") {
                std::filesystem::remove(entry.path());
            }
        }
    }
}

// A database whose server stopped answering (1460) took the connection with it: the next one connects anew. On a
// case-sensitive server, a name that differs from an earlier one only in letter case is left out, not overwritten.
TEST_F(OrvBackUPTest, DatabasesConnectAgainAfterAServerThatStoppedAnswering)
{
    const auto db = [](const std::string& name) {
        return sql::ResultRow{name, "0", "ONLINE", "1", "0", "0", "1", "1", "1"};
    };
    script_.rows = {db("A"), db("B"), db("b")};
    script_.failing = {"Database(A)"};
    script_.failWith = sql::kErrorNoAnswer;
    job_.DatabaseName("");
    job_.Databases("ALL_DATABASES");
    job_.Backupfile(dir_.File("{database}.bak"));
    job_.Options(Keys({"", "", "", "", "", "", "", "7"})); // the catalogue query is watched too
    const Lines log = Run(false);
    // and on a case-sensitive server "b" would write B's file: it is left out
    EXPECT_EQ(Lines(log.end() - 4, log.end()),
              (Lines{"INFORMATION|Backup Færdig. ", "INFORMATION|Starter backup af b på PROD01", kFailed,
                     kReport + "80 The database b would write the files of the database B: their names differ only "
                               "in letter case, which Windows' file names do not tell apart. (0)"}));
    const Lines connect{"CreateSQLServer()", "LoginSecure(1)", "Connect(PROD01)"};
    EXPECT_EQ(script_.calls, Joined({connect,
                                     {"QueryStallSeconds(420)", "ExecuteWithResults(catalogue)", "CreateBackup()",
                                      "Database(A)"},
                                     connect,
                                     {"CreateBackup()", "Database(B)", "Files([" + dir_.File("B.bak") + "])",
                                      "Initialize(1)", "StallSeconds(420)", "SQLBackup()"}}));
}

// The copy and the two commands in order, each after its pause; a failed copy stops the job before them.
TEST_F(OrvBackUPTest, CopyAndCommands)
{
    const std::string exit0 = TestChildCommand("exit 0");
    const std::string exit1 = TestChildCommand("exit 1");
    const std::string none = "dunmarrow-no-such-program-4711";
    const std::string missing = dir_.File("none") + platform::PathSeparator() + "kopi.bak";
    const std::string started = "INFORMATION|Starter kommando :";
    const std::string ended = "INFORMATION|Slut komando ";
    // settled: the one-second pauses (after the backup, before each command); log: after the backup
    const struct { std::string copy2, shell, shell2; bool succeeds; std::uint64_t settled; Lines log; } rows[] = {
        {"", exit1, exit0, true, 3, {started + exit1, ended, started + exit0, ended}},
        {"", "", exit0, true, 2, {started + exit0, ended}}, // the second command's own pause
        {"", none, exit0, true, 3,
         {started + none, "ERROR|Shell fejl 2 " + brenlix::SystemErrorText(2), "ERROR|Kommando kunne ikke eksekveres",
          started + exit0, ended}},
        {missing, exit0, "", false, 1,
         {Copying(missing), kFailed, kReport + "3 " + brenlix::SystemErrorText(3) + " (0)"}},
    };
    for (const auto& row : rows) {
        job_.Copy2(row.copy2);
        job_.RunShell(row.shell);
        job_.RunShell2(row.shell2);
        job_.WaitShell(30000);
        const std::uint64_t before = clock_.PausesOf(1000);
        Lines log = Run(row.succeeds);
        EXPECT_EQ(Lines(log.begin() + 2, log.end()), row.log) << row.copy2 << row.shell;
        EXPECT_EQ(clock_.PausesOf(1000) - before, row.settled) << row.copy2 << row.shell;
    }
}

// {stamp} is the job's start; a stamped file that exists is not overwritten (two runs in one second, or in the hour
// a clock change repeats); a job that fails deletes nothing.
TEST_F(OrvBackUPTest, StampedFiles)
{
    WriteFile(dir_.File("Løn_20200101-000000.bak"), "old");
    job_.Backupfile("\"" + dir_.File("Løn_{stamp}.bak") + "\"");
    job_.Copy2(dir_.File("kopi_{stamp}.bak"));
    const std::string taken = dir_.File("Løn_20261206-220000.bak");
    WriteFile(taken, "the earlier run's");
    EXPECT_EQ(Run(false).back(),
              kReport + "80 The file " + taken + " of this run's stamp exists already; it is left as it is. (0)");
    EXPECT_EQ(ReadFile(taken), "the earlier run's");
    clock_.Advance(1000);
    EXPECT_EQ(Run(true).back(), kCopied);
    EXPECT_EQ(script_.calls, Calls(dir_.File("Løn_20261206-220001.bak")));
    EXPECT_EQ(ReadFile(dir_.File("kopi_20261206-220001.bak")), "backup of the database");
    script_.failing = {"SQLVerify"};
    job_.Options(Keys({"", "", "", "", "1", "1"}));
    clock_.Advance(1000);
    Run(false);
    EXPECT_TRUE(FileExists(dir_.File("Løn_20200101-000000.bak")));
}

// A file that cannot go is a warning of its own and keeps only itself: the files after it, the copy folder and the
// commands follow, and the job counts as done. Deletions are logged once done. A log backup's files beside the full
// backups are not the job's; a folder without this run's file (the server wrote it on its own machine) keeps all.
TEST_F(OrvBackUPTest, CleanUpGoesOnPastAFileThatCannotGo)
{
    const TempDir copies;
    const std::string readOnly = dir_.File("Løn_20200101-000000.bak");
    const std::string old = dir_.File("Løn_20200102-000000.bak");
    const std::string logBackup = dir_.File("Løn_20200101-000000.trn");
    const std::string oldCopy = copies.File("Løn_20200101-000000.bak");
    for (const std::string& file : {readOnly, old, logBackup, oldCopy}) {
        WriteFile(file, "old");
    }
    MakeReadOnly(readOnly);
    const std::string command = TestChildCommand("exit 0");
    job_.Backupfile(dir_.File("Løn_{stamp}.bak"));
    job_.Copy2(copies.File(""));
    job_.RunShell(command);
    job_.WaitShell(30000);
    job_.Options(Keys({"", "", "", "", "", "14"}));
    const std::string deleting = "INFORMATION|Sletter gammel backup fil ";
    const Lines log = Run(true);
    EXPECT_EQ(Lines(log.begin() + 2, log.end()),
              (Lines{Copying(copies.File("")), kCopied,
                     "WARNING|Kunne ikke slette gammel backup fil " + readOnly + " : 5 " + brenlix::SystemErrorText(5),
                     deleting + old, deleting + oldCopy, "INFORMATION|Starter kommando :" + command,
                     "INFORMATION|Slut komando "}));
    EXPECT_TRUE(FileExists(readOnly));
    EXPECT_TRUE(FileExists(logBackup));
    EXPECT_FALSE(FileExists(old));
    EXPECT_FALSE(FileExists(oldCopy));

    script_.writesHere = false;
    job_.Copy2("");
    job_.RunShell("");
    WriteFile(old, "old");
    clock_.Advance(1000);
    EXPECT_EQ(Run(true), (Lines{kStart, kDone}));
    EXPECT_TRUE(FileExists(old));
}

#ifndef _WIN32
// A folder that cannot be listed is a warning of its own, and the other folder is still cleaned. (On Linux a folder's
// name may hold a "*", which a search takes in its last part only.)
TEST_F(OrvBackUPTest, AFolderThatCannotBeListedKeepsOnlyItself)
{
    const TempDir copies;
    const std::string starry = dir_.File("Løn*");
    std::filesystem::create_directory(std::filesystem::u8path(starry));
    const std::string oldCopy = copies.File("Løn_20200101-000000.bak");
    WriteFile(oldCopy, "old");
    job_.Backupfile(starry + "/Løn_{stamp}.bak");
    job_.Copy2(copies.File(""));
    job_.Options(Keys({"", "", "", "", "", "14"}));
    const Lines log = Run(true);
    EXPECT_EQ(Lines(log.begin() + 2, log.end()),
              (Lines{Copying(copies.File("")), kCopied,
                     "WARNING|Kunne ikke slette gamle backup filer i " + starry + "/ : 123 " +
                         brenlix::SystemErrorText(123),
                     "INFORMATION|Sletter gammel backup fil " + oldCopy}));
    EXPECT_FALSE(FileExists(oldCopy));
}
#endif

// How the program raises a system error.
std::string SystemRaise(std::uint32_t number)
{
    return std::to_string(number) + " Dunmarrow: " + brenlix::SystemErrorText(number);
}

// A copy keeps the file's time; a destination ending in a separator is a folder; a failure raises the
// system's code and text, and one half way leaves the last good copy and no file of its own.
TEST(CopyFile, KeepsTheTimeAndFailsWithoutHarm)
{
    const TempDir dir, target;
    WriteFile(dir.File("a.bak"), "data");
    const auto when = std::filesystem::last_write_time(dir.File("a.bak")) - std::chrono::hours(49);
    std::filesystem::last_write_time(dir.File("a.bak"), when);
    dunmarrow::CopyFile(dir.File("a.bak"), dir.File("b.bak"));
    EXPECT_EQ(ReadFile(dir.File("b.bak")), "data");
    EXPECT_EQ(std::filesystem::last_write_time(dir.File("b.bak")), when);
    dunmarrow::CopyFile(dir.File("a.bak"), target.File(""));
    EXPECT_EQ(ReadFile(target.File("a.bak")), "data");
    EXPECT_EQ(Raised([&] { dunmarrow::CopyFile(dir.File("none.bak"), target.File("")); }), SystemRaise(2));

    WriteFile(dir.File("new.bak"), std::string(256 * 1024, 'n'));
    const auto copyNew = [&] { dunmarrow::CopyFile(dir.File("new.bak"), dir.File("b.bak")); };
#ifdef _WIN32
    // The source held by another process with no sharing: the copy fails as it opens the source.
    const HANDLE held = CreateFileA(dir.File("new.bak").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Raised(copyNew), SystemRaise(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
#else
    // A file size limit below the source's size: the write fails half way, as on a full disk.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{64 * 1024, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(Raised(copyNew), SystemRaise(223)); // ERROR_FILE_TOO_LARGE
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
#endif
    EXPECT_EQ(ReadFile(dir.File("b.bak")), "data");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3); // a.bak, b.bak, new.bak
}

// Each value as read, and each refused one named with what would do.
TEST(JobValues, AcceptedRefusedAndStamped)
{
    // switches: each one given
    const struct { dunmarrow::JobKeys keys; BackupAction action; bool switches; int keepDays; } rows[] = {
        {Keys({"dIfF", "0", "No", "false", "NEJ", "1", ""}), BackupAction::Differential, false, 1},
        {Keys({"FULL", "1", "1", "1", "1", "14", "1"}), BackupAction::Database, true, 14},
        {Keys({" log ", "True", "yes", "Ja", "JA", "36500", "true"}), BackupAction::Log, true, 36500},
    };
    for (const auto& row : rows) {
        const dunmarrow::JobOptions o = dunmarrow::ReadJobOptions(row.keys);
        EXPECT_EQ(o.action, row.action) << row.keys.type;
        EXPECT_EQ((std::vector<bool>{o.checksum, o.compress, o.copyOnly, o.verify, o.eventLog}),
                  std::vector<bool>(5, row.switches))
            << row.keys.type;
        EXPECT_EQ(o.keepDays, row.keepDays) << row.keys.type;
    }
    const std::string onOff = "use 1 (or Yes, True, Ja) for on and 0 (or No, False, Nej) for off.";
    const std::string days = "use a whole number of days from 1 to 36500.";
    const std::string minutes = "use a whole number of minutes from 1 to 1440.";
    const std::string seconds = "use a whole number of seconds from 1 to 3600.";
    const struct { dunmarrow::JobKeys keys; std::string key, value, accepted; } refused[] = {
        // The server would take it and make an ordinary differential backup.
        {Keys({"Diff", "", "", "1"}), "CopyOnly", "1",
         "a differential backup cannot be copy-only; use CopyOnly with Full or Log."},
        {Keys({"", "2"}), "Checksum", "2", onOff},
        {Keys({"", "", "", "", "", "0"}), "KeepDays", "0", days},
        {Keys({"", "", "", "", "", "36501"}), "KeepDays", "36501", days},
        {Keys({"", "", "", "", "", "99999999999999999999"}), "KeepDays", "99999999999999999999", days},
        {Keys({"", "", "", "", "", "", "", "0"}), "StallMinutes", "0", minutes},
        {Keys({"", "", "", "", "", "", "", "1441"}), "StallMinutes", "1441", minutes},
        {Keys({"", "", "", "", "", "", "", "", "0"}), "LoginTimeout", "0", seconds},
        {Keys({"", "", "", "", "", "", "", "", "5s"}), "LoginTimeout", "5s", seconds},
        {Keys({"", "", "", "", "", "", "", "", "3601"}), "LoginTimeout", "3601", seconds},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(Raised([&] { dunmarrow::ReadJobOptions(row.keys); }),
                  "13 Dunmarrow: The job key " + row.key + " has the value \"" + row.value + "\"; " + row.accepted);
    }
    EXPECT_EQ(dunmarrow::StampOf(At(999, 12, 31, 23, 59, 59)), "09991231-235959");
    EXPECT_EQ(dunmarrow::WithStamp("D:\\B\\{stamp}_{stamp}.bak", "X"), "D:\\B\\X_X.bak");
    EXPECT_EQ(dunmarrow::WithStamp("{Stamp}{stamp", "X"), "{Stamp}{stamp");
    const std::string sep(1, platform::PathSeparator());
    const std::string folder = sep + "B" + sep;
    const struct { std::string path, reason; } unstamped[] = {
        {"{stamp}" + folder + "S_{stamp}.bak", "the folder may not change from run to run"},
        {"S_{stamp}.bak", "write the file with its folder"},
        // deleting goes by the folder as this machine sees it
        {"B" + sep + "S_{stamp}.bak", "write the file with its whole path, from the root of a drive or a share"},
    };
    for (const auto& row : unstamped) {
        EXPECT_EQ(Raised([&] { dunmarrow::StampedFilesOf("MakeCopy2", row.path); }),
                  "13 Dunmarrow: KeepDays needs {stamp} in the file name of MakeCopy2 (\"" + row.path +
                      "\"): " + row.reason + ".");
    }
}

// Only old files of the pattern go, and only once this run's file is there. One name per rule a name must pass.
// After a delete the job's last system error is that delete's: none.
TEST(DeleteExpired, WhichFilesGo)
{
    const TempDir dir;
    const auto make = [&](const std::set<std::string>& names) {
        for (const std::string& name : names) {
            WriteFile(dir.File(name), name);
        }
    };
    const auto left = [&] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    };
    // Deletes at 2026-12-06 22:00:00; the names reported deleted (a file that cannot go: the clean-up test).
    const auto run = [&](const std::string& pattern, int keepDays, const std::string& thisRun = {},
                         const std::string& folder = {}) {
        std::set<std::string> deleted;
        const std::string in = folder.empty() ? dir.File("") : folder;
        dunmarrow::DeleteExpired(
            {in, pattern}, At(2026, 12, 6, 22, 0, 0), keepDays,
            [&](const std::string& path) {
                EXPECT_FALSE(FileExists(path)) << "reported before it went";
                deleted.insert(path.substr(in.size()));
            },
            [&](const std::string& path, const brenlix::Error&) { ADD_FAILURE() << path; }, thisRun);
        return deleted;
    };
    std::set<std::string> kept = {
        "Salg_20261122-220000.bak", // exactly 14 days; a second more goes
        "salg_20261102-000000.bak", // names compare case for case (Windows has one file for both)
        "Salg.bak",
        "Salg_20261101_000000.bak",
        "Salg_20261301-000000.bak",
        "Salg_20230229-000000.bak",
        "Salg_20261101-240000.bak",
        "Salg_20261101-006000.bak", "Salg_20261101-000060.bak", // no minute or second 60
    };
    make(kept);
    make({"Salg_20261122-215959.bak"});
    std::filesystem::create_directory(std::filesystem::u8path(dir.File("Salg_20261001-000000.bak")));
    EXPECT_EQ(run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"), std::set<std::string>{});
    make({"Salg_20261206-220000.bak"});
    EXPECT_EQ(run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"),
              std::set<std::string>{"Salg_20261122-215959.bak"});
    EXPECT_EQ(dunmarrow::LastDllError(), 0u);
    // The newest file stays; a repeated stamp must agree; a missing folder stops with its code.
    make({"a_20250101-000000.bak", "a_20250102-000000.bak", "a_20240101-000000.bak"});
    EXPECT_EQ(run("a_{stamp}.bak", 1), (std::set<std::string>{"a_20240101-000000.bak", "a_20250101-000000.bak"}));
    make({"20240101-000000_x_20240102-000000.bak", "20230101-000000_x_20230101-000000.bak"});
    EXPECT_EQ(run("{stamp}_x_{stamp}.bak", 1), std::set<std::string>{});
    make({"20220101-000000_x_20220101-000000.bak"});
    EXPECT_EQ(run("{stamp}_x_{stamp}.bak", 1), std::set<std::string>{"20220101-000000_x_20220101-000000.bak"});
    EXPECT_EQ(Raised([&] { run("b_{stamp}.bak", 14, {}, dir.File("none") + platform::PathSeparator()); }),
              SystemRaise(3));
    // with the folder of a stamped name and this run's file
    kept.insert({"Salg_20261001-000000.bak", "Salg_20261206-220000.bak", "a_20250102-000000.bak",
                 "20240101-000000_x_20240102-000000.bak", "20230101-000000_x_20230101-000000.bak"});
    EXPECT_EQ(left(), kept);
}

// Seconds as the user writes them, rounded half to even; what is no number gives the default of 30 s.
TEST(WaitShellMilliseconds, Conversions)
{
    constexpr std::int32_t kOverflow = 1;
    const std::string sep = platform::DecimalSeparator();
    const std::string zeros(400, '0');
    const struct { std::string text; std::int32_t expected; } rows[] = {
        {"\t+3", 3000},
        {"2" + sep + "5", 2000},
        {"3" + sep + "5", 4000},
        {sep + "9", 1000},
        {"15d-1", 2000},
        {"2147483", 2147483000},
        {"-2147483", -2147483000},
        {"12abc", 30000},
        {"1E", 30000},
        {"1E-400", 0}, // too small for a double: rounds to 0 like any small number
        {"2147484", kOverflow},
        {"-2147484", kOverflow},
        {"1E10", kOverflow},
        {"1" + zeros, kOverflow},
    };
    for (const auto& row : rows) {
        try {
            EXPECT_EQ(dunmarrow::WaitShellMilliseconds(row.text), row.expected) << row.text;
        } catch (const brenlix::Error& error) {
            EXPECT_EQ(row.expected, kOverflow) << row.text;
            EXPECT_EQ(std::to_string(error.Number()) + " " + error.Description(), "6 Overflow");
        }
    }
}

// The command line: each option at most once with a path, --help; anything else refused with its reason.
TEST(CommandLine, OptionsAndRefusals)
{
    const struct { Lines arguments; std::string job, log; bool help; std::string error; } rows[] = {
        {{}, "", "", false, ""},
        {{"--job-file", "a b.ini", "--log-file=/l/x.log"}, "a b.ini", "/l/x.log", false, ""},
        {{"--log-file", "x.log", "--help"}, "", "x.log", true, ""},
        {{"--job-file=a=b.ini"}, "a=b.ini", "", false, ""},
        {{"--job-file"}, "", "", false, "the option --job-file needs a path"},
        {{"--log-file="}, "", "", false, "the option --log-file needs a path"},
        {{"--job-file", ""}, "", "", false, "the option --job-file needs a path"},
        {{"--log-file=a", "--log-file", "b"}, "", "a", false, "the option --log-file is given twice"},
        {{"--Job-File=a"}, "", "", false, "unknown option '--Job-File=a'"},
        {{"-c", "a"}, "", "", false, "unknown option '-c'"},
        {{"--job-filex=a"}, "", "", false, "unknown option '--job-filex=a'"},
        {{"Dunmarrow.ini"}, "", "", false, "unexpected argument 'Dunmarrow.ini'"},
        {{"--job-file", "a", "b"}, "a", "", false, "unexpected argument 'b'"},
    };
    for (const auto& row : rows) {
        const dunmarrow::CommandLine line = dunmarrow::ParseCommandLine(row.arguments);
        EXPECT_EQ(Lines({line.jobFile, line.logFile, line.help ? "help" : "", line.error}),
                  Lines({row.job, row.log, row.help ? "help" : "", row.error}))
            << ::testing::PrintToString(row.arguments);
    }
}

// Which files a run takes: beside the program unless named; a relative name from the current folder; and a named job
// file that is not there, or a log whose folder is not, refused before the run.
TEST(CommandLine, TheFilesOfTheRun)
{
    const std::string sep(1, platform::PathSeparator());
    const auto named = [](const std::string& job, const std::string& log) {
        return dunmarrow::CommandLine{job, log, false, ""};
    };
    const std::string whole = platform::HasDrives() ? "D:\\jobs\\a.ini" : "/jobs/a.ini";
    const struct { dunmarrow::CommandLine line; std::string job, log; } rows[] = {
        {named("", ""), "P" + sep + "Dunmarrow.ini", "P" + sep + "Dunmarrow.log"},
        {named("a.ini", ""), "C" + sep + "a.ini", "P" + sep + "Dunmarrow.log"},
        {named(whole, "l" + sep + "x.log"), whole, "C" + sep + "l" + sep + "x.log"},
        {named("", sep + "x.log"), "P" + sep + "Dunmarrow.ini", sep + "x.log"},
        // Windows: a share is whole; "D:x" (relative to D:'s own folder) is not taken as whole
        {named("\\\\s\\x.ini", "D:x.log"), platform::HasDrives() ? "\\\\s\\x.ini" : "C/\\\\s\\x.ini",
         "C" + sep + "D:x.log"},
    };
    for (const auto& row : rows) {
        const dunmarrow::RunFiles files = dunmarrow::ChooseRunFiles(row.line, "P", "C");
        EXPECT_EQ(Lines({files.jobFile, files.logFile}), Lines({row.job, row.log})) << row.line.jobFile;
    }

    TempDir dir;
    WriteFile(dir.File("jobs.ini"), "[Backups]\r\n");
    WriteFile(dir.File(".hidden.ini"), "[Backups]\r\n");
    const std::string job = dir.File("jobs.ini"), missing = dir.File("none.ini"), log = dir.File("x.log");
    const std::string hidden = dir.File(".hidden.ini"), pattern = dir.File("*.ini");
    const std::string lost = dir.File("none") + sep + "x.log";
    const struct { dunmarrow::CommandLine line; dunmarrow::RunFiles files; std::string refused; } checks[] = {
        {named(job, log), {job, log}, ""},
        {named("", ""), {missing, lost}, ""}, // the run beside the program says so in its own log
        {named(missing, ""), {missing, log}, "the job file " + missing + " was not found"},
        {named(hidden, ""), {hidden, log}, ""}, {named(pattern, ""), {pattern, log}, "the job file " + pattern + " was not found"},
        {named(dir.Path(), ""), {dir.Path(), log}, "the job file " + dir.Path() + " cannot be read: " + brenlix::SystemErrorText(5)},
        {named("", dir.Path()), {job, dir.Path()}, "the log file " + dir.Path() + " cannot be written"},
        {named("", lost), {job, lost}, "the folder of the log file " + lost + " was not found"},
        {named("", dir.Path() + sep), {job, dir.Path() + sep}, "the log file " + dir.Path() + sep + " names a folder"},
    };
    for (const auto& row : checks) {
        EXPECT_EQ(dunmarrow::CheckNamedFiles(row.line, row.files), row.refused) << row.files.jobFile;
    }
}

class MainTest : public OrvBackUPTest {
protected:
    int Run(const std::string& jobs)
    {
        WriteFile(dir_.File("Dunmarrow.ini"), platform::ToAnsi("[Backups]\r\nA\r\n" + jobs));
        return dunmarrow::Main(provider_, dir_.Path());
    }
};

// Any error ends the run in Main's handler and says why: a program folder not found (nothing read or written), an
// overflow with the last system error of the program's own calls (2), a job file's folder the lookup refuses.
TEST_F(MainTest, AnErrorEndsTheRun)
{
    const auto lost = [](std::string&, std::uint32_t& error) {
        error = 5;
        return false;
    };
    EXPECT_EQ(dunmarrow::Main(provider_, lost), dunmarrow::RunEndedEarly);
    EXPECT_EQ(events_,
              Lines{"1 2 the run ended early: the folder of the program file could not be found: 5 " +
                    brenlix::SystemErrorText(5)});
    EXPECT_FALSE(FileExists(dir_.File("Dunmarrow.log")));

    EXPECT_EQ(
        Run("B\r\n[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") +
            "\r\nRunShell=dunmarrow-no-such-program-4711\r\n[B]\r\nServer=Y\r\nRunShell=x\r\nMaxWaitShell=1E10\r\n"),
        dunmarrow::RunEndedEarly);
    const Lines log = LogEntries(dir_.File("Dunmarrow.log"));
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"ERROR|Fejl i Main", "ERROR|Fejl repporteret : 6 Overflow (2)"}));
    EXPECT_EQ(events_.back(),
              "1 2 the run ended early, no later job ran: Fejl repporteret : 6 Overflow (2)");
    EXPECT_EQ(script_.calls.front(), "CreateSQLServer()");

    script_.calls.clear();
    events_.clear();
    EXPECT_EQ(dunmarrow::Main(provider_, dir_.File("a*b")), dunmarrow::RunEndedEarly);
    EXPECT_EQ(script_.calls, Lines{});
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].rfind("1 2 the run ended early, no later job ran: Fejl repporteret : ", 0), 0u);
}

// What the job list names: N=V names the section "N=V", a name listed twice runs twice. A list that names no job, or a
// section that is not there (that job runs with every key empty), backs nothing up there: status 1 and a warning
// event that says why. A missing job file ends the run with its event.
TEST_F(MainTest, WhatTheJobListNames)
{
    const std::string file = dir_.File("Dunmarrow.ini");
    const std::string job = "Server=PROD01\r\nDatabase=Løn\r\nBackupfile=" + dir_.File("Løn.bak") + "\r\n";
    const std::string nothing = "2 4 nothing was backed up: the job file " + file;
    const std::string start = "INFORMATION|Starter backup af ";
    // wineDiffers: Wine's section read gives a line listed twice once; Windows gives every line
    const struct { std::string ini; int status; Lines starts, events; bool wineDiffers = false; } rows[] = {
        {"[Backups]\r\n\r\n[Other]\r\n" + job, 1, {}, {nothing + " lists no job in its section [Backups]"}},
        {"[Backup]\r\nA\r\n[A]\r\n" + job, 1, {}, {nothing + " has no section [Backups]"}},
        {"[Backups]\r\nA=1\r\n[A=1]\r\nServer=Z\r\nDatabase=Salg\r\nBackupfile=" + dir_.File("s.bak") + "\r\n[A]\r\n" + job,
         0, {start + "Salg på Z"}, {}},
        {"[Backups]\r\nA\r\nA\r\n[A]\r\n" + job, 0, {start + "Løn på PROD01", start + "Løn på PROD01"}, {}, true},
        // Headers as the profile functions read them: the job's keys are found, so the job is there.
        {"[Backups]\r\nSalg;2\r\nX\r\nY\r\n[Salg;2]\r\n" + job + "[ X ]\r\n" + job + "[Y] old\r\n" + job, 0,
         {start + "Løn på PROD01", start + "Løn på PROD01", start + "Løn på PROD01"}, {}},
        {"[Backups]\r\nB\r\nC\r\n[A]\r\n" + job + "[C]\r\n", 1, {start + " på ", start + " på "},
         {"2 4 the job list in " + file + " names the section [B], which is not there or holds no keys",
          "2 4 the job list in " + file + " names the section [C], which is not there or holds no keys"}},
    };
    for (const auto& row : rows) {
        if (row.wineDiffers && RunningUnderWine()) {
            continue;
        }
        WriteFile(dir_.File("Dunmarrow.log"), "");
        WriteFile(file, platform::ToAnsi(row.ini));
        events_.clear();
        EXPECT_EQ(dunmarrow::Main(provider_, dir_.Path()), row.status) << row.ini;
        Lines starts;
        for (const std::string& line : LogEntries(dir_.File("Dunmarrow.log"))) {
            if (line.rfind(start, 0) == 0) {
                starts.push_back(line);
            }
        }
        EXPECT_EQ(starts, row.starts) << row.ini;
        EXPECT_EQ(events_, row.events) << row.ini;
    }
    std::filesystem::remove(std::filesystem::u8path(file));
    events_.clear();
    EXPECT_EQ(dunmarrow::Main(provider_, dir_.Path()), dunmarrow::RunEndedEarly);
    EXPECT_EQ(events_, Lines{"1 2 the run ended early: the job file " + file + " was not found"});
}

// MaxWaitShell reaches the command (30 s when missing); without a command it is not read.
TEST_F(MainTest, MaxWaitShellReachesTheCommand)
{
    const std::string job = "[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") + "\r\n";
    for (const auto& [key, seconds] : std::vector<std::pair<std::string, int>>{{"", 30}, {"MaxWaitShell=45\r\n", 45}}) {
        const TempDir dir;
        Sleeper sleeper(dir);
        const std::uint64_t before = clock_.MonotonicMilliseconds();
        EXPECT_EQ(Run(job + "RunShell=" + sleeper.Command(600000) + " more\r\n" + key), dunmarrow::RunAllJobsDone);
        EXPECT_EQ((clock_.MonotonicMilliseconds() - before) / 1000, 2u + seconds); // two pauses, then the limit
        EXPECT_TRUE(sleeper.StillRunning());
    }
    EXPECT_EQ(Run(job + "MaxWaitShell=2147484\r\n"), dunmarrow::RunAllJobsDone);
}

// Returning within ctest's limit means the process ended the wait; with no limit it lasts as long as the process;
// exit code 259 (STILL_ACTIVE) still means ended; a wait that ends logs nothing.
TEST(RunAndWait, EndsWithTheProcessOrJustAfterTheLimit)
{
    const TempDir dir;
    dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
    Sleeper sleeper(dir);
    EXPECT_TRUE(dunmarrow::RunAndWait(sleeper.Command(400), 0));
    EXPECT_FALSE(sleeper.StillRunning());
    EXPECT_EQ(LogEntries(dir.File("Dunmarrow.log")), Lines{});
    // Exit code 259 is STILL_ACTIVE's number, yet the process has ended: without a limit the wait returns, where
    // taking the code for "running" would wait until the test run's timeout.
    if (ChildProcess(TestChildCommand("exit 259")).Wait() == 259u) { // exit codes above 255 exist on this platform
        EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 259"), 0));
    }
    // The limit runs on the monotonic clock, across midnight and for days; a negative one looks once; the process
    // runs on.
    // step 0: a pause as asked
    const struct { int hour, minute, second; std::int32_t limit; std::uint64_t step; int day, secondOfDay; } rows[] = {
        {23, 59, 50, 30000, 0, 7, 20},
        {12, 0, 0, 2 * 86400 * 1000, 60000, 8, 12 * 3600 + 60},
        {10, 0, 0, -1, 0, 6, 10 * 3600},
    };
    for (const auto& row : rows) {
        const TempDir own;
        Sleeper waiting(own);
        ManualClock clock(At(2026, 12, 6, row.hour, row.minute, row.second));
        clock.PauseStep(row.step);
        const platform::ScopedClock scoped(clock);
        EXPECT_TRUE(dunmarrow::RunAndWait(waiting.Command(60000), row.limit));
        const platform::LocalDateTime now = clock.Now();
        EXPECT_EQ(now.day * 86400 + now.hour * 3600 + now.minute * 60 + now.second, row.day * 86400 + row.secondOfDay)
            << row.limit;
        EXPECT_TRUE(waiting.StillRunning()) << row.limit;
    }
}

} // namespace
