#include "OrvBackUP.h"
#include "Program.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "ScriptedSql.h"
#include "TestSupport.h"

#include <gtest/gtest.h>


namespace {

using testing_support::At;
using testing_support::ManualClock;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::TestChildCommand;
using testing_support::Script;
using testing_support::ScriptedProvider;

class OrvBackUPTest : public ::testing::Test {
protected:
    OrvBackUPTest() : clock_(At(2026, 12, 6, 22, 0, 0)), scoped_(clock_)
    {
        dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log"));
        dunmarrow::Pause(0); // no system error before the job
        job_.ServerName("PROD01");
        job_.DatabaseName("Løn");
        job_.Backupfile(dir_.File("Løn.bak"));
    }

    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    static std::vector<std::string> Connected(const std::string& server = "PROD01")
    {
        return {"CreateSQLServer()", "LoginSecure(1)", "Connect(" + server + ")"};
    }

    TempDir dir_;
    ManualClock clock_;
    platform::ScopedClock scoped_;
    Script script_;
    ScriptedProvider provider_{script_};
    dunmarrow::OrvBackUP job_{provider_};
    testing_support::RecordedDiagnostics diagnostics_;
};

TEST_F(OrvBackUPTest, PropertiesStartEmptyAndKeepWhatIsSet)
{
    dunmarrow::OrvBackUP fresh(provider_);
    EXPECT_EQ(fresh.WaitShell(), 0);
    EXPECT_EQ(fresh.RunShell() + fresh.RunShell2() + fresh.ServerName() + fresh.DatabaseName() +
                  fresh.Backupfile() + fresh.Copy2(),
              "");
    fresh.WaitShell(-5);
    fresh.Copy2(" x ");
    EXPECT_EQ(fresh.WaitShell(), -5);
    EXPECT_EQ(fresh.Copy2(), " x ");
}

TEST_F(OrvBackUPTest, ConnectionFailureGivesExactlyTwoLines)
{
    const struct {
        const char* failing;
        std::vector<std::string> calls;
    } rows[] = {
        {"CreateSQLServer", {"CreateSQLServer()"}},
        {"LoginSecure", Connected()}, // the connection is still tried
        {"Connect", Connected()},
    };
    // The reason, beyond the log's fixed warning: the first step's error.
    std::vector<std::string> reasons;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failing);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
        Script script;
        script.failing = {row.failing};
        ScriptedProvider provider(script);
        dunmarrow::OrvBackUP job(provider);
        job.ServerName("PROD01");
        job.DatabaseName("Løn");
        job.Backupfile(dir.File("Løn.bak"));
        job.Copy2(dir.File("copy.bak"));
        job.RunShell(TestChildCommand("exit 0"));
        EXPECT_FALSE(job.StartBackUP());
        EXPECT_EQ(script.calls, row.calls);
        const auto lines = SplitLines(platform::FromAnsi(ReadFile(dir.File("Dunmarrow.log"))));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("\t\tINFORMATION\t\tStarter backup af Løn på PROD01"), std::string::npos);
        EXPECT_NE(lines[1].find("\t\tWARNING\t\tKan ikke få forbindelse til server PROD01"), std::string::npos);
        reasons.push_back("2 1 no connection to server \"PROD01\": 3201 Cannot open backup device. " +
                          std::string(row.failing) + " failed.");
    }
    EXPECT_EQ(diagnostics_.events, reasons);
}

// The job's WaitShell reaches the command: on the moved clock a command that
// sleeps on is left after 30 s, and the job goes on.
TEST_F(OrvBackUPTest, TheTimeLimitReachesTheCommand)
{
    testing_support::Sleeper sleeper(dir_);
    job_.RunShell(sleeper.Command(600000));
    job_.WaitShell(30000);
    EXPECT_TRUE(job_.StartBackUP());
    EXPECT_EQ(Log().back(), "INFORMATION|Slut komando ");
    const platform::LocalDateTime now = clock_.Now();
    EXPECT_EQ(now.hour * 3600 + now.minute * 60 + now.second, 22 * 3600 + 2 + 30); // two pauses, then the limit
    EXPECT_TRUE(sleeper.StillRunning());
}

TEST_F(OrvBackUPTest, WholeJobWithCopyAndBothCommands)
{
    const TempDir copies;
    job_.Copy2(copies.File(""));
    job_.RunShell(TestChildCommand("exit 1"));
    job_.RunShell2(TestChildCommand("exit 0"));
    job_.WaitShell(30000);
    EXPECT_TRUE(job_.StartBackUP());

    std::vector<std::string> calls = Connected();
    calls.insert(calls.end(), {"CreateBackup()", "Database(Løn)", "Files([" + dir_.File("Løn.bak") + "])",
                               "Initialize(1)", "SQLBackup()"});
    EXPECT_EQ(script_.calls, calls);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter backup af Løn på PROD01",
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter kopiering af backup fil til " + copies.File("") + ".",
                         "INFORMATION|Slut kopiering af backup fil. ",
                         "INFORMATION|Starter kommando :" + job_.RunShell(),
                         "INFORMATION|Slut komando ",
                         "INFORMATION|Starter kommando :" + job_.RunShell2(),
                         "INFORMATION|Slut komando ",
                     }));
    EXPECT_EQ(ReadFile(copies.File("Løn.bak")), "backup of the database");
    EXPECT_GE(clock_.PausedMilliseconds(), 3000u); // after the backup and before each command
}

// The server is told the one path as typed (without enclosing quotes, each
// "]" doubled in the bracketed list), and the copy reads the file it wrote.
TEST_F(OrvBackUPTest, TheServerAndTheCopyGetTheSamePath)
{
    const std::string path = dir_.File("med mellemrum.bak");
    const struct {
        std::string backupfile;
        std::string files;
    } rows[] = {
        {"\"" + path + "\"", "[" + path + "]"},
        {path + "\"", "[" + path + "]"}, // only a leading quote that is there is taken off
        {path, "[" + path + "]"},
        {dir_.File("Backup [old].bak"), "[" + dir_.File("Backup [old]].bak") + "]"},
        {dir_.File("a]]b.bak"), "[" + dir_.File("a]]]]b.bak") + "]"},
        {dir_.File("x],[y.bak"), "[" + dir_.File("x]],[y.bak") + "]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.backupfile);
        script_.calls.clear();
        job_.Backupfile(row.backupfile);
        job_.Copy2(dir_.File("kopi.bak"));
        EXPECT_TRUE(job_.StartBackUP());
        EXPECT_EQ(script_.calls.at(5), "Files(" + row.files + ")");
        EXPECT_EQ(ReadFile(dir_.File("kopi.bak")), "backup of the database"); // copied from where it was written
        EXPECT_EQ(job_.Backupfile(), row.backupfile);
        testing_support::WriteFile(dir_.File("kopi.bak"), "");
    }
}

TEST_F(OrvBackUPTest, NoPathLeftTakesTheErrorPath)
{
    for (const std::string backupfile : {"\"", "\"\"", ""}) {
        SCOPED_TRACE(backupfile);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
        script_.calls.clear();
        job_.Backupfile(backupfile);
        EXPECT_FALSE(job_.StartBackUP());
        EXPECT_EQ(script_.calls.back(), "Database(Løn)");
        const auto lines = SplitLines(platform::FromAnsi(ReadFile(dir.File("Dunmarrow.log"))));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[1].find("\t\tERROR\t\tFejl opstod i StartBackup"), std::string::npos);
        EXPECT_NE(lines[2].find("\t\tERROR\t\tFejl repporteret : 123 " + brenlix::SystemErrorText(123) + " (0)"),
                  std::string::npos)
            << lines[2];
    }
}

TEST_F(OrvBackUPTest, NoCopyAndOnlyTheSecondCommand)
{
    job_.RunShell2(TestChildCommand("exit 0"));
    EXPECT_TRUE(job_.StartBackUP());
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter backup af Løn på PROD01",
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter kommando :" + job_.RunShell2(),
                         "INFORMATION|Slut komando ",
                     }));
    EXPECT_GE(clock_.PausedMilliseconds(), 2000u);
}

TEST_F(OrvBackUPTest, FailingFirstCommandDoesNotStopTheSecond)
{
    job_.RunShell("dunmarrow-no-such-program-4711");
    job_.RunShell2(TestChildCommand("exit 0"));
    EXPECT_TRUE(job_.StartBackUP());
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter backup af Løn på PROD01",
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter kommando :dunmarrow-no-such-program-4711",
                         "ERROR|Shell fejl 2 " + brenlix::SystemErrorText(2),
                         "ERROR|Kommando kunne ikke eksekveres",
                         "INFORMATION|Starter kommando :" + job_.RunShell2(),
                         "INFORMATION|Slut komando ",
                     }));
}

TEST_F(OrvBackUPTest, ErrorsAfterConnectingStopTheJob)
{
    const struct {
        const char* failing;
        std::string report;
    } rows[] = {
        {"CreateBackup", "Fejl repporteret : 3201 Cannot open backup device. CreateBackup failed. (0)"},
        {"Files", "Fejl repporteret : 3201 Cannot open backup device. Files failed. (0)"},
        {"SQLBackup", "Fejl repporteret : 3201 Cannot open backup device. SQLBackup failed. (0)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failing);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
        script_.failing = {row.failing};
        job_.Copy2(dir.File("copy.bak"));
        job_.RunShell(TestChildCommand("exit 0"));
        EXPECT_FALSE(job_.StartBackUP());
        EXPECT_EQ(script_.calls.back().substr(0, std::string(row.failing).size()), row.failing);
        const auto lines = SplitLines(platform::FromAnsi(ReadFile(dir.File("Dunmarrow.log"))));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_NE(lines[1].find("\t\tERROR\t\tFejl opstod i StartBackup"), std::string::npos);
        EXPECT_NE(lines[2].find("\t\tERROR\t\t" + row.report), std::string::npos) << lines[2];
        EXPECT_FALSE(testing_support::FileExists(dir.File("copy.bak")));
    }
}

TEST_F(OrvBackUPTest, CopyFailureStopsTheJobBeforeTheCommands)
{
    job_.Copy2(dir_.File("no such folder") + platform::PathSeparator() + "copy.bak");
    job_.RunShell(TestChildCommand("exit 0"));
    EXPECT_FALSE(job_.StartBackUP());
    const auto log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], "ERROR|Fejl opstod i StartBackup");
    EXPECT_EQ(log[4], "ERROR|Fejl repporteret : 3 " + brenlix::SystemErrorText(3) + " (0)");
}

TEST_F(OrvBackUPTest, EmptyServerNameIsTriedAsItIs)
{
    job_.ServerName("");
    script_.failing = {"Connect"};
    EXPECT_FALSE(job_.StartBackUP());
    EXPECT_EQ(script_.calls, Connected(""));
    EXPECT_EQ(Log(), (std::vector<std::string>{"INFORMATION|Starter backup af Løn på ",
                                               "WARNING|Kan ikke få forbindelse til server "}));
}

} // namespace
