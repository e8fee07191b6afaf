#include "Program.h"
#include "modMain.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Locale.h>
#include <platform/Text.h>

#include "ScriptedSql.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing_support::At;
using testing_support::ManualClock;
using testing_support::ReadFile;
using testing_support::Script;
using testing_support::ScriptedProvider;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::TestChildCommand;
using testing_support::WriteFile;

TEST(WaitShellMilliseconds, Conversions)
{
    const std::string sep = platform::DecimalSeparator();
    const struct {
        std::string text;
        std::int32_t expected;
    } rows[] = {
        {"45", 45000},         {"30", 30000},          {"0", 0},
        {"-5", -5000},         {" 12 ", 12000},        {"\t7", 7000},
        {"+3", 3000},          {"2" + sep + "5", 2000}, {"3" + sep + "5", 4000},
        {"0" + sep + "5", 0},  {"1" + sep + "6", 2000}, {sep + "9", 1000},
        {"1E3", 1000000},      {"15d-1", 2000},         {"2147483", 2147483000},
        {"-2147483", -2147483000},
        {"", 30000},           {"   ", 30000},         {"abc", 30000},
        {"12abc", 30000},      {"1 2", 30000},         {"0x10", 30000},
        {"1E", 30000},         {"--1", 30000},         {"inf", 30000},
        // too small for a double: rounds to 0 like any small number
        {"1E-400", 0},         {"-1E-400", 0},         {"0" + sep + "0001E-330", 0},
        {"1" + std::string(400, '0') + "E-402", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("\"" + row.text + "\"");
        EXPECT_EQ(dunmarrow::WaitShellMilliseconds(row.text), row.expected);
    }
}

TEST(WaitShellMilliseconds, Overflow)
{
    for (const std::string& text : std::vector<std::string>{"2147484", "-2147484", "4294967296", "1E10", "1E400", "-1E400",
                                   "1" + std::string(400, '0') + "E-390"}) {
        SCOPED_TRACE(text);
        try {
            dunmarrow::WaitShellMilliseconds(text);
            ADD_FAILURE() << "no overflow";
        } catch (const brenlix::Error& error) {
            EXPECT_EQ(error.Number(), 6);
            EXPECT_EQ(error.Description(), "Overflow");
        }
    }
}

class MainTest : public ::testing::Test {
protected:
    MainTest() : clock_(At(2026, 12, 6, 2, 0, 0)), scoped_(clock_) { dunmarrow::Pause(0); }

    int Run(const std::string& jobFile)
    {
        WriteFile(dir_.File("Dunmarrow.ini"), platform::ToAnsi(jobFile));
        return dunmarrow::Main(provider_, dir_.Path());
    }

    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    TempDir dir_;
    ManualClock clock_;
    platform::ScopedClock scoped_;
    Script script_;
    ScriptedProvider provider_{script_};
    testing_support::RecordedDiagnostics diagnostics_;
};

const std::string kStart = "INFORMATION|Starter Dunmarrow";
const std::string kLoading = "INFORMATION|Indlæser og starter Backup";
const std::string kEnd = "INFORMATION|Indlæser og starter Backup Slut";

TEST_F(MainTest, MissingJobFile)
{
    EXPECT_EQ(dunmarrow::Main(provider_, dir_.Path()), dunmarrow::RunEndedEarly);
    EXPECT_EQ(Log(), (std::vector<std::string>{kStart, "ERROR|Kunne ikke åbne INI fil"}));
    EXPECT_TRUE(script_.calls.empty());
    EXPECT_EQ(diagnostics_.events, std::vector<std::string>{"1 2 the run ended early: the job file " +
                                                            dir_.File("Dunmarrow.ini") + " was not found"});
}

// Without the program's folder the log and the job file have no place: the
// run ends before anything is read or written, and says why.
TEST_F(MainTest, AProgramFolderThatCannotBeFoundEndsTheRun)
{
    const auto lost = [](std::string&, std::uint32_t& error) {
        error = 5;
        return false;
    };
    EXPECT_EQ(dunmarrow::Main(provider_, lost), dunmarrow::RunEndedEarly);
    EXPECT_TRUE(script_.calls.empty());
    EXPECT_EQ(diagnostics_.events,
              std::vector<std::string>{"1 2 the run ended early: the folder of the program file could not be found: 5 " +
                                       brenlix::SystemErrorText(5)});
    EXPECT_FALSE(testing_support::FileExists(dir_.File("Dunmarrow.log")));
}

// The report carries the last system error of the program's own calls: here
// the command of the first job that could not be started (2).
TEST_F(MainTest, TheErrorReportCarriesTheLastSystemError)
{
    const int status = Run("[Backups]\r\nA\r\nB\r\n"
                           "[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") +
                           "\r\nRunShell=dunmarrow-no-such-program-4711\r\n"
                           "[B]\r\nServer=Y\r\nRunShell=x\r\nMaxWaitShell=1E10\r\n");
    EXPECT_EQ(status, dunmarrow::RunEndedEarly);
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "ERROR|Fejl i Main");
    EXPECT_EQ(log.back(), "ERROR|Fejl repporteret : 6 Overflow (2)");
}

// A failing reader call reaches Main's handler like any other error: here the
// job file's folder is a name the file lookup refuses.
TEST_F(MainTest, AFailingReaderCallEndsTheRun)
{
    const std::string folder = dir_.File("a*b");
    EXPECT_EQ(dunmarrow::Main(provider_, folder), dunmarrow::RunEndedEarly);
    EXPECT_TRUE(script_.calls.empty());
    ASSERT_EQ(diagnostics_.events.size(), 1u);
    EXPECT_EQ(diagnostics_.events[0].rfind("1 2 the run ended early, no later job ran: Fejl repporteret : ", 0), 0u)
        << diagnostics_.events[0];
}

// The time limit of a job's command through the run: MaxWaitShell's default
// when the key is missing, and the value when it is there.
TEST_F(MainTest, MaxWaitShellReachesTheCommand)
{
    const struct {
        std::string key;
        int seconds;
    } rows[] = {{"", 30}, {"MaxWaitShell=45\r\n", 45}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seconds);
        const TempDir dir;
        testing_support::Sleeper sleeper(dir);
        // (A value that ends in a quote loses its enclosing quotes when
        // read, so the command line ends with a word.)
        WriteFile(dir.File("Dunmarrow.ini"), "[Backups]\r\nA\r\n[A]\r\nServer=X\r\nBackupfile=" +
                                                 dir.File("a.bak") + "\r\nRunShell=" + sleeper.Command(600000) +
                                                 " more\r\n" + row.key);
        const platform::LocalDateTime before = clock_.Now();
        EXPECT_EQ(dunmarrow::Main(provider_, dir.Path()), dunmarrow::RunAllJobsDone);
        const platform::LocalDateTime after = clock_.Now();
        const int elapsed = (after.hour - before.hour) * 3600 + (after.minute - before.minute) * 60 +
                            (after.second - before.second);
        EXPECT_EQ(elapsed, 2 + row.seconds); // the two pauses, then the limit
        EXPECT_TRUE(sleeper.StillRunning());
    }
}

TEST_F(MainTest, MaxWaitShellIsNotReadWithoutACommand)
{
    EXPECT_EQ(Run("[Backups]\r\nA\r\n[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") +
                  "\r\nMaxWaitShell=2147484\r\n"),
              dunmarrow::RunAllJobsDone);
    EXPECT_EQ(Log().back(), kEnd);
}

// A job file of the keys a job always had: the same calls, the same log,
// byte for byte, and no file beyond the backup and its copy.
TEST_F(MainTest, AJobWithoutTheOptionalKeysRunsAsItAlwaysDid)
{
    const TempDir copies;
    EXPECT_EQ(Run("[Backups]\r\nA\r\n[A]\r\nServer=PROD01\r\nDatabase=Salg\r\nBackupfile=" + dir_.File("Salg.bak") +
                  "\r\nMakeCopy2=" + copies.File("kopi.bak") + "\r\n"),
              dunmarrow::RunAllJobsDone);
    EXPECT_EQ(script_.calls, (std::vector<std::string>{"CreateSQLServer()", "LoginSecure(1)", "Connect(PROD01)",
                                                       "CreateBackup()", "Database(Salg)",
                                                       "Files([" + dir_.File("Salg.bak") + "])", "Initialize(1)",
                                                       "SQLBackup()"}));
    // The same lines written by a log of their own at the same moments.
    const TempDir expected;
    brenlix::FileLog reference;
    reference.LogFile(expected.File("Dunmarrow.log"));
    ManualClock clock(At(2026, 12, 6, 2, 0, 0));
    const platform::ScopedClock scoped(clock);
    for (const auto& [message, type] : std::vector<std::pair<std::string, std::int32_t>>{
             {"Starter Dunmarrow", 0}, {"Indlæser og starter Backup", 0}, {"Starter backup af Salg på PROD01", 0}}) {
        reference.WriteToLog(message, 0, type);
    }
    clock.Advance(1000);
    for (const std::string& message : std::vector<std::string>{
             "Backup Færdig. ", "Starter kopiering af backup fil til " + copies.File("kopi.bak") + ".",
             "Slut kopiering af backup fil. ", "Indlæser og starter Backup Slut"}) {
        reference.WriteToLog(message, 0, 0);
    }
    EXPECT_EQ(ReadFile(dir_.File("Dunmarrow.log")), ReadFile(expected.File("Dunmarrow.log")));
    EXPECT_EQ(ReadFile(copies.File("kopi.bak")), "backup of the database");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(dir_.Path()))) {
        ++files;
    }
    EXPECT_EQ(files, 3u); // the job file, the log and the backup
    EXPECT_TRUE(diagnostics_.events.empty());
}

// Each optional key is read from the job's own section.
TEST_F(MainTest, TheOptionalKeysComeFromTheJobsSection)
{
    script_.failing = {"SQLVerify"};
    EXPECT_EQ(Run("[Backups]\r\nLogs\r\nPlain\r\n"
                  "[Logs]\r\nServer=S\r\nDatabase=D\r\nBackupfile=" + dir_.File("D_{stamp}.trn") +
                  "\r\nType=log\r\nChecksum=Ja\r\nCompress=1\r\nCopyOnly=yes\r\nVerify=1\r\nKeepDays=2\r\nEventLog=1\r\n"
                  "[Plain]\r\nServer=S\r\nDatabase=E\r\nBackupfile=" + dir_.File("E.bak") + "\r\n"),
              dunmarrow::RunSomeJobFailed);
    const std::vector<std::string> connected = {"CreateSQLServer()", "LoginSecure(1)", "Connect(S)", "CreateBackup()"};
    std::vector<std::string> calls = connected;
    calls.insert(calls.end(), {"Database(D)", "Files([" + dir_.File("D_20261206-020000.trn") + "])", "Initialize(1)",
                               "Action(3)", "Checksum(1)", "Compression(1)", "CopyOnly(1)", "SQLBackup()", "SQLVerify()"});
    calls.insert(calls.end(), connected.begin(), connected.end());
    calls.insert(calls.end(), {"Database(E)", "Files([" + dir_.File("E.bak") + "])", "Initialize(1)", "SQLBackup()"});
    EXPECT_EQ(script_.calls, calls);
    EXPECT_EQ(diagnostics_.events,
              std::vector<std::string>{"1 3 the job \"Logs\" failed: 3201 Cannot open backup device. SQLVerify failed."});
}

} // namespace
