// A job with the optional keys: the calls each key adds, the verify before
// the copy, stamped files and their retention, and the failure event.
#include "OrvBackUP.h"
#include "Program.h"
#include "Retention.h"

#include <brenlix/Error.h>
#include <platform/Files.h>

#include "ScriptedSql.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using dunmarrow::JobKeys;
using testing_support::At;
using testing_support::FileExists;
using testing_support::ManualClock;
using testing_support::ReadFile;
using testing_support::Script;
using testing_support::ScriptedProvider;
using testing_support::TempDir;

// The optional keys in their order: Type, Checksum, Compress, CopyOnly,
// Verify, KeepDays, EventLog; the ones left out are absent.
JobKeys Keys(std::vector<std::string> values)
{
    values.resize(7);
    return {values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
}

const std::vector<std::string> kConnected = {"CreateSQLServer()", "LoginSecure(1)", "Connect(PROD01)"};

class JobKeysTest : public ::testing::Test {
protected:
    JobKeysTest() : clock_(At(2026, 12, 6, 22, 0, 0)), scoped_(clock_)
    {
        dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log"));
        dunmarrow::Pause(0);
        job_.ServerName("PROD01");
        job_.DatabaseName("Salg");
        job_.JobName("Nat");
        job_.Backupfile(dir_.File("Salg.bak"));
    }

    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    // The calls of a job that got through: connect, then the backup object's.
    std::vector<std::string> Calls(const std::string& file, const std::vector<std::string>& options) const
    {
        std::vector<std::string> calls = kConnected;
        calls.insert(calls.end(), {"CreateBackup()", "Database(Salg)", "Files([" + file + "])", "Initialize(1)"});
        calls.insert(calls.end(), options.begin(), options.end());
        return calls;
    }

    TempDir dir_;
    ManualClock clock_;
    platform::ScopedClock scoped_;
    Script script_;
    ScriptedProvider provider_{script_};
    dunmarrow::OrvBackUP job_{provider_};
    testing_support::RecordedDiagnostics diagnostics_;
};

TEST_F(JobKeysTest, EachKeyAddsItsCall)
{
    const std::vector<std::string> verified = {"INFORMATION|Backup Færdig. ",
                                               "INFORMATION|Starter verificering af backup fil.",
                                               "INFORMATION|Verificering Færdig. "};
    const struct {
        JobKeys keys; // type, checksum, compress, copyOnly, verify, keepDays, eventLog
        std::vector<std::string> calls; // after Initialize(1)
    } rows[] = {
        {Keys({}), {"SQLBackup()"}},
        {Keys({"Full", "0", "0", "0", "0", "", "0"}), {"SQLBackup()"}},
        {Keys({"Diff"}), {"Action(1)", "SQLBackup()"}},
        {Keys({"LOG"}), {"Action(3)", "SQLBackup()"}},
        {Keys({"", "1"}), {"Checksum(1)", "SQLBackup()"}},
        {Keys({"", "", "1"}), {"Compression(1)", "SQLBackup()"}},
        {Keys({"", "", "", "1"}), {"CopyOnly(1)", "SQLBackup()"}},
        {Keys({"", "", "", "", "1"}), {"SQLBackup()", "SQLVerify()"}},
        {Keys({"Diff", "1", "1", "", "1"}), {"Action(1)", "Checksum(1)", "Compression(1)", "SQLBackup()", "SQLVerify()"}},
        {Keys({"Log", "1", "1", "1", "1", "", "1"}),
         {"Action(3)", "Checksum(1)", "Compression(1)", "CopyOnly(1)", "SQLBackup()", "SQLVerify()"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keys.type + "/" + row.keys.checksum + row.keys.compress + row.keys.copyOnly + row.keys.verify);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
        script_.calls.clear();
        job_.Options(row.keys);
        EXPECT_TRUE(job_.StartBackUP());
        EXPECT_EQ(script_.calls, Calls(dir_.File("Salg.bak"), row.calls));
        std::vector<std::string> log = testing_support::LogEntries(dir.File("Dunmarrow.log"));
        log.erase(log.begin());
        const bool verify = row.calls.back() == "SQLVerify()";
        EXPECT_EQ(log, verify ? verified : std::vector<std::string>{"INFORMATION|Backup Færdig. "});
    }
    EXPECT_TRUE(diagnostics_.events.empty());
}

// A value the job cannot use stops it once connected, before anything is
// asked of the server, and says which value and what would do.
TEST_F(JobKeysTest, ARefusedValueTakesTheErrorPath)
{
    std::vector<std::string> created = kConnected;
    created.insert(created.end(), {"CreateBackup()", "Database(Salg)"});
    const struct {
        JobKeys keys;
        std::string backupfile;
        std::vector<std::string> calls;
        std::string report;
    } rows[] = {
        {Keys({"Incremental"}), "Salg.bak", {}, // refused before the server is asked
         "13 The job key Type has the value \"Incremental\"; the accepted values are Full, Diff and Log. (0)"},
        {Keys({"", "", "", "", "2"}), "Salg.bak", {},
         "13 The job key Verify has the value \"2\"; use 1 (or Yes, True, Ja) for on and 0 (or No, False, Nej) for off. (0)"},
        {Keys({"", "", "", "", "", "14"}), "Salg.bak", created,
         "13 KeepDays needs {stamp} in the file name of Backupfile (\"" + dir_.File("Salg.bak") +
             "\"): each run must keep a file of its own. (0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.report);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
        script_.calls.clear();
        job_.Options(row.keys);
        job_.Backupfile(dir_.File(row.backupfile));
        job_.Copy2(dir.File("kopi.bak"));
        EXPECT_FALSE(job_.StartBackUP());
        EXPECT_EQ(script_.calls, row.calls);
        EXPECT_EQ(testing_support::LogEntries(dir.File("Dunmarrow.log")),
                  (std::vector<std::string>{"INFORMATION|Starter backup af Salg på PROD01",
                                            "ERROR|Fejl opstod i StartBackup", "ERROR|Fejl repporteret : " + row.report}));
        EXPECT_FALSE(FileExists(dir.File("kopi.bak")));
    }
}

// A backup changed after it was written: the verify fails the job, and the
// damaged file is neither copied nor followed by the command.
TEST_F(JobKeysTest, ADamagedBackupIsCaughtAndNotCopied)
{
    script_.damageAfterBackup = true;
    job_.Options(Keys({"", "1", "", "", "1", "", "1"}));
    job_.Copy2(dir_.File("kopi.bak"));
    job_.RunShell(testing_support::TestChildCommand("exit 0"));
    EXPECT_FALSE(job_.StartBackUP());
    EXPECT_EQ(script_.calls, Calls(dir_.File("Salg.bak"), {"Checksum(1)", "SQLBackup()", "SQLVerify()"}));
    const std::string reason = "3189 Damage to the backup set was detected. VERIFY DATABASE is terminating abnormally.";
    EXPECT_EQ(Log(), (std::vector<std::string>{"INFORMATION|Starter backup af Salg på PROD01",
                                               "INFORMATION|Backup Færdig. ",
                                               "INFORMATION|Starter verificering af backup fil.",
                                               "ERROR|Fejl opstod i StartBackup",
                                               "ERROR|Fejl repporteret : " + reason + " (0)"}));
    EXPECT_FALSE(FileExists(dir_.File("kopi.bak")));
    EXPECT_EQ(diagnostics_.events, std::vector<std::string>{"1 3 the job \"Nat\" failed: " + reason});

    // The same job on a sound file verifies before it copies.
    script_.damageAfterBackup = false;
    const TempDir dir;
    dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
    job_.RunShell("");
    EXPECT_TRUE(job_.StartBackUP());
    EXPECT_EQ(testing_support::LogEntries(dir.File("Dunmarrow.log")),
              (std::vector<std::string>{"INFORMATION|Starter backup af Salg på PROD01", "INFORMATION|Backup Færdig. ",
                                        "INFORMATION|Starter verificering af backup fil.",
                                        "INFORMATION|Verificering Færdig. ",
                                        "INFORMATION|Starter kopiering af backup fil til " + dir_.File("kopi.bak") + ".",
                                        "INFORMATION|Slut kopiering af backup fil. "}));
    EXPECT_EQ(ReadFile(dir_.File("kopi.bak")), "backup of the database");
}

// EventLog reports every kind of failure, a lost connection too; without it
// only the connection's own warning goes out.
TEST_F(JobKeysTest, TheFailureEventNamesTheJobAndTheReason)
{
    const struct {
        std::string eventLog;
        const char* failing;
        std::vector<std::string> events;
    } rows[] = {
        {"1", "SQLBackup", {"1 3 the job \"Nat\" failed: 3201 Cannot open backup device. SQLBackup failed."}},
        {"1", "Connect",
         {"2 1 no connection to server \"PROD01\": 3201 Cannot open backup device. Connect failed.",
          "1 3 the job \"Nat\" failed: 3201 Cannot open backup device. Connect failed."}},
        {"0", "SQLBackup", {}},
        {"", "Connect", {"2 1 no connection to server \"PROD01\": 3201 Cannot open backup device. Connect failed."}},
        {"1", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.eventLog + " " + row.failing);
        diagnostics_.events.clear();
        script_.failing = {row.failing};
        job_.Options(Keys({"", "", "", "", "", "", row.eventLog}));
        EXPECT_EQ(job_.StartBackUP(), std::string(row.failing).empty());
        EXPECT_EQ(diagnostics_.events, row.events);
    }
}

// {stamp} is the job's start: the server, the copy and the log get the
// stamped names; after the job the files of old runs go from both folders.
TEST_F(JobKeysTest, StampedFilesAndTheirRetention)
{
    const TempDir copies;
    const std::vector<std::string> names = {"Salg_20261206-220000.bak", "Salg_20261122-215959.bak",
                                            "Salg_20261122-220001.bak", "Lager_20200101-000000.bak", "Salg.bak"};
    for (const std::string& name : names) {
        testing_support::WriteFile(dir_.File(name), "old");
        testing_support::WriteFile(copies.File(name), "old");
    }
    job_.Backupfile("\"" + dir_.File("Salg_{stamp}.bak") + "\"");
    job_.Copy2(copies.File(""));
    job_.Options(Keys({"", "", "", "", "1", "14"}));
    clock_.Advance(86400 * 1000 + 1000); // the next night's run, a second later
    EXPECT_TRUE(job_.StartBackUP());
    const std::string made = "Salg_20261207-220001.bak";
    EXPECT_EQ(script_.calls, Calls(dir_.File(made), {"SQLBackup()", "SQLVerify()"}));
    const auto log = Log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + 4, log.end()),
              (std::vector<std::string>{
                  "INFORMATION|Starter kopiering af backup fil til " + copies.File("") + ".",
                  "INFORMATION|Slut kopiering af backup fil. ",
                  "INFORMATION|Sletter gammel backup fil " + dir_.File("Salg_20261122-215959.bak"),
                  "INFORMATION|Sletter gammel backup fil " + dir_.File("Salg_20261122-220001.bak"),
                  "INFORMATION|Sletter gammel backup fil " + copies.File("Salg_20261122-215959.bak"),
                  "INFORMATION|Sletter gammel backup fil " + copies.File("Salg_20261122-220001.bak"),
              }));
    for (const TempDir* folder : std::vector<const TempDir*>{&dir_, &copies}) {
        EXPECT_EQ(ReadFile(folder->File(made)), "backup of the database");
        EXPECT_TRUE(FileExists(folder->File("Salg_20261206-220000.bak")));
        EXPECT_FALSE(FileExists(folder->File("Salg_20261122-215959.bak")));
        EXPECT_FALSE(FileExists(folder->File("Salg_20261122-220001.bak")));
        EXPECT_TRUE(FileExists(folder->File("Lager_20200101-000000.bak")));
        EXPECT_TRUE(FileExists(folder->File("Salg.bak")));
    }

    // A job that fails deletes nothing: here its verify.
    testing_support::WriteFile(dir_.File("Salg_20200101-000000.bak"), "old");
    script_.damageAfterBackup = true;
    clock_.Advance(1000);
    const std::string damaged = "Salg_" + dunmarrow::StampOf(clock_.Now()) + ".bak";
    EXPECT_FALSE(job_.StartBackUP());
    EXPECT_TRUE(FileExists(dir_.File("Salg_20200101-000000.bak")));
    EXPECT_TRUE(FileExists(dir_.File(damaged)));
    EXPECT_FALSE(FileExists(copies.File(damaged)));
}

// A copy to a named file: the stamp goes into its name, and retention needs it there.
// A second run in the same second (or in the hour a clock change repeats)
// does not overwrite the earlier run's file.
TEST_F(JobKeysTest, AStampTakenAlreadyIsNotOverwritten)
{
    const std::string taken = dir_.File("Salg_20261206-220000.bak");
    testing_support::WriteFile(taken, "the earlier run's");
    job_.Backupfile(dir_.File("Salg_{stamp}.bak"));
    EXPECT_FALSE(job_.StartBackUP());
    EXPECT_EQ(ReadFile(taken), "the earlier run's");
    EXPECT_EQ(Log().back(), "ERROR|Fejl repporteret : 80 The file " + taken +
                                " of this run's stamp exists already; it is left as it is. (0)");
}

TEST_F(JobKeysTest, ACopyNamedWithoutTheStampCannotKeepDays)
{
    job_.Backupfile(dir_.File("Salg_{stamp}.bak"));
    job_.Copy2(dir_.File("kopi_{stamp}.bak"));
    EXPECT_TRUE(job_.StartBackUP());
    EXPECT_EQ(ReadFile(dir_.File("kopi_20261206-220000.bak")), "backup of the database");

    job_.Copy2(dir_.File("kopi.bak"));
    job_.Options(Keys({"", "", "", "", "", "3"}));
    EXPECT_FALSE(job_.StartBackUP());
    EXPECT_EQ(Log().back(), "ERROR|Fejl repporteret : 13 KeepDays needs {stamp} in the file name of MakeCopy2 (\"" +
                                dir_.File("kopi.bak") + "\"): each run must keep a file of its own. (0)");
}

} // namespace
