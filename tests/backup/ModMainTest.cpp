#include "Program.h"
#include "modMain.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Locale.h>
#include <platform/Text.h>

#include "ScriptedSql.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("\"" + row.text + "\"");
        EXPECT_EQ(dunmarrow::WaitShellMilliseconds(row.text), row.expected);
    }
}

TEST(WaitShellMilliseconds, Overflow)
{
    for (const std::string text : {"2147484", "-2147484", "4294967296", "1E10", "1E400", "-1E400"}) {
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
};

const std::string kStart = "INFORMATION|Starter Dunmarrow";
const std::string kLoading = "INFORMATION|Indlæser og starter Backup";
const std::string kEnd = "INFORMATION|Indlæser og starter Backup Slut";

TEST_F(MainTest, MissingJobFile)
{
    EXPECT_EQ(dunmarrow::Main(provider_, dir_.Path()), dunmarrow::RunEndedEarly);
    EXPECT_EQ(Log(), (std::vector<std::string>{kStart, "ERROR|Kunne ikke åbne INI fil"}));
    EXPECT_TRUE(script_.calls.empty());
}

TEST_F(MainTest, NoJobs)
{
    for (const std::string file : {"[Other]\r\nx=1\r\n", "[Backups]\r\n[Other]\r\nx=1\r\n", ""}) {
        SCOPED_TRACE(file);
        const TempDir dir;
        WriteFile(dir.File("Dunmarrow.ini"), file);
        EXPECT_EQ(dunmarrow::Main(provider_, dir.Path()), dunmarrow::RunAllJobsDone);
        EXPECT_EQ(SplitLines(ReadFile(dir.File("Dunmarrow.log"))).size(), 3u);
    }
    EXPECT_TRUE(script_.calls.empty());
}

TEST_F(MainTest, JobsRunInOrderAndTwiceWhenListedTwice)
{
    const std::string marker = dir_.File("marker.txt");
    const int status = Run("[Backups]\r\n"
                           "Salg\r\n"
                           "Løn\r\n"
                           "Salg\r\n"
                           "[Salg]\r\n"
                           "Server=PROD01\r\n"
                           "Database=Salg\r\n"
                           "Backupfile=" + dir_.File("Salg.bak") + "\r\n"
                           "[Løn]\r\n"
                           "Server=PROD02\r\n"
                           "Database=Løn\r\n"
                           "Backupfile=\"" + dir_.File("Løn.bak") + "\"\r\n"
                           "MakeCopy2=" + dir_.File("kopi.bak") + "\r\n"
                           "RunShell=" + TestChildCommand("args \"" + marker + "\" færdig") + "\r\n"
                           "MaxWaitShell=0\r\n"); // wait for the command to end
    EXPECT_EQ(status, dunmarrow::RunAllJobsDone);
    std::vector<std::string> connects;
    for (const std::string& call : script_.calls) {
        if (call.rfind("Connect(", 0) == 0 || call.rfind("Database(", 0) == 0) {
            connects.push_back(call);
        }
    }
    EXPECT_EQ(connects, (std::vector<std::string>{"Connect(PROD01)", "Database(Salg)", "Connect(PROD02)",
                                                  "Database(Løn)", "Connect(PROD01)", "Database(Salg)"}));
    EXPECT_EQ(platform::FromAnsi(ReadFile(marker)), "færdig\n");
    EXPECT_EQ(ReadFile(dir_.File("kopi.bak")), "backup of the database");
    const auto log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), kStart);
    EXPECT_EQ(log[1], kLoading);
    EXPECT_EQ(log.back(), kEnd);
}

TEST_F(MainTest, ListLinesAreSectionNamesAsTheyStand)
{
    const int status = Run("[Backups]\r\n"
                           "Nowhere\r\n"
                           "N=V\r\n"
                           "[N=V]\r\n"
                           "Server=S\r\n"
                           "Database=D\r\n"
                           "Backupfile=" + dir_.File("x.bak") + "\r\n");
    EXPECT_EQ(status, dunmarrow::RunSomeJobFailed); // the job without a section has no backup file
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         kStart, kLoading,
                         "INFORMATION|Starter backup af  på ",
                         "ERROR|Fejl opstod i StartBackup",
                         "ERROR|Fejl repporteret : 123 " + brenlix::SystemErrorText(123) + " (0)",
                         "INFORMATION|Starter backup af D på S",
                         "INFORMATION|Backup Færdig. ",
                         kEnd,
                     }));
}

TEST_F(MainTest, FailedJobGivesStatusOneAndTheNextJobRuns)
{
    script_.failing = {"Connect"};
    EXPECT_EQ(Run("[Backups]\r\nA\r\nB\r\n[A]\r\nServer=X\r\n[B]\r\nServer=Y\r\n"), dunmarrow::RunSomeJobFailed);
    EXPECT_EQ(Log(), (std::vector<std::string>{kStart, kLoading, "INFORMATION|Starter backup af  på X",
                                               "WARNING|Kan ikke få forbindelse til server X",
                                               "INFORMATION|Starter backup af  på Y",
                                               "WARNING|Kan ikke få forbindelse til server Y", kEnd}));
}

TEST_F(MainTest, OverflowStopsTheRunBeforeTheJob)
{
    const int status = Run("[Backups]\r\nA\r\nB\r\n"
                           "[A]\r\nServer=X\r\nRunShell=anything\r\nMaxWaitShell=2147484\r\n"
                           "[B]\r\nServer=Y\r\n");
    EXPECT_EQ(status, dunmarrow::RunEndedEarly);
    EXPECT_TRUE(script_.calls.empty());
    EXPECT_EQ(Log(), (std::vector<std::string>{kStart, kLoading, "ERROR|Fejl i Main",
                                               "ERROR|Fejl repporteret : 6 Overflow (0)"}));
}

TEST_F(MainTest, MaxWaitShellIsNotReadWithoutACommand)
{
    EXPECT_EQ(Run("[Backups]\r\nA\r\n[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") +
                  "\r\nMaxWaitShell=2147484\r\n"),
              dunmarrow::RunAllJobsDone);
    EXPECT_EQ(Log().back(), kEnd);
}

} // namespace
