// The whole run on the scripted SQL layer, its wait value, and the commands it runs and waits for.
#include "Program.h"
#include "modMain.h"
#include "modShell.h"

#include <brenlix/modCommon.h>
#include <platform/Locale.h>
#include <platform/Text.h>

#include "ScriptedSql.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace testing_support;
using Lines = std::vector<std::string>;

// Seconds as the user writes them, rounded half to even; what is no number gives the default of 30 s.
TEST(WaitShellMilliseconds, Conversions)
{
    constexpr std::int32_t kOverflow = 1;
    const std::string sep = platform::DecimalSeparator(), zeros(400, '0');
    const struct { std::string text; std::int32_t expected; } rows[] = {
        {"45", 45000},         {"-5", -5000},           {" 12 ", 12000},       {"\t+3", 3000},
        {"2" + sep + "5", 2000}, {"3" + sep + "5", 4000}, {"0" + sep + "5", 0}, {sep + "9", 1000},
        {"1E3", 1000000},      {"15d-1", 2000},         {"2147483", 2147483000}, {"-2147483", -2147483000},
        {"", 30000},           {"12abc", 30000},        {"1E", 30000},
        {"1" + sep + "6", 2000}, {"   ", 30000},        {"0x10", 30000},
        // too small for a double: rounds to 0 like any small number
        {"1E-400", 0}, {"1" + zeros + "E-402", 0},
        {"2147484", kOverflow}, {"-2147484", kOverflow}, {"1E10", kOverflow}, {"1E400", kOverflow}, {"1" + zeros + "E-390", kOverflow}, {"1" + zeros, kOverflow},
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

class MainTest : public ::testing::Test {
protected:
    MainTest() { dunmarrow::Pause(0); }

    int Run(const std::string& jobs)
    {
        WriteFile(dir_.File("Dunmarrow.ini"), platform::ToAnsi("[Backups]\r\nA\r\n" + jobs));
        return dunmarrow::Main(provider_, dir_.Path());
    }

    TempDir dir_;
    ManualClock clock_{At(2026, 12, 6, 2, 0, 0)};
    platform::ScopedClock scoped_{clock_};
    Script script_;
    ScriptedProvider provider_{script_};
    RecordedDiagnostics diagnostics_;
};

// Any error ends the run in Main's handler and says why: a program folder not found (nothing read or written), an
// overflow with the last system error of the program's own calls (2), a job file's folder the lookup refuses.
TEST_F(MainTest, AnErrorEndsTheRun)
{
    const auto lost = [](std::string&, std::uint32_t& error) { return error = 5, false; };
    EXPECT_EQ(dunmarrow::Main(provider_, lost), dunmarrow::RunEndedEarly);
    EXPECT_EQ(diagnostics_.events, Lines{"1 2 the run ended early: the folder of the program file could not be found: 5 " + brenlix::SystemErrorText(5)});
    EXPECT_FALSE(FileExists(dir_.File("Dunmarrow.log")));

    EXPECT_EQ(Run("B\r\n[A]\r\nServer=X\r\nBackupfile=" + dir_.File("a.bak") + "\r\nRunShell=dunmarrow-no-such-program-4711\r\n[B]\r\nServer=Y\r\nRunShell=x\r\nMaxWaitShell=1E10\r\n"),
              dunmarrow::RunEndedEarly);
    const Lines log = LogEntries(dir_.File("Dunmarrow.log"));
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"ERROR|Fejl i Main", "ERROR|Fejl repporteret : 6 Overflow (2)"}));
    EXPECT_EQ(diagnostics_.events.back(), "1 2 the run ended early, no later job ran: Fejl repporteret : 6 Overflow (2)");
    EXPECT_EQ(script_.calls.front(), "CreateSQLServer()");

    script_.calls.clear();
    diagnostics_.events.clear();
    EXPECT_EQ(dunmarrow::Main(provider_, dir_.File("a*b")), dunmarrow::RunEndedEarly);
    EXPECT_EQ(script_.calls, Lines{});
    ASSERT_EQ(diagnostics_.events.size(), 1u);
    EXPECT_EQ(diagnostics_.events[0].rfind("1 2 the run ended early, no later job ran: Fejl repporteret : ", 0), 0u);
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
TEST(RunAndWait, ProcessThatEnds)
{
    const TempDir dir;
    dunmarrow::ProgramLog().LogFile(dir.File("Dunmarrow.log"));
    Sleeper sleeper(dir);
    EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 3"), 3600 * 1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dunmarrow::RunAndWait(sleeper.Command(400), 0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_FALSE(sleeper.StillRunning());
    EXPECT_EQ(LogEntries(dir.File("Dunmarrow.log")), Lines{});
    if (ChildProcess(TestChildCommand("exit 259")).Wait() == 259u) { // exit codes above 255 exist on this platform
        const ManualClock clock(At(2026, 12, 6, 10, 0, 0));
        const platform::ScopedClock scoped(clock);
        EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 259"), 0));
        EXPECT_LT(clock.PausedMilliseconds(), 60000u);
    }
}

// The limit runs on the monotonic clock, across midnight and for days; a negative one looks once; the process runs on.
TEST(RunAndWait, StopsJustAfterTheLimit)
{
    const struct { int hour, minute, second; std::int32_t limit; std::uint64_t step; int day, secondOfDay; } rows[] = { // step 0: a pause as asked
        {10, 0, 0, 30000, 0, 6, 10 * 3600 + 30}, {23, 59, 50, 30000, 0, 7, 20}, {12, 0, 0, 2 * 86400 * 1000, 60000, 8, 12 * 3600 + 60}, {10, 0, 0, -1, 0, 6, 10 * 3600},
    };
    for (const auto& row : rows) {
        const TempDir dir;
        Sleeper sleeper(dir);
        ManualClock clock(At(2026, 12, 6, row.hour, row.minute, row.second));
        clock.PauseStep(row.step);
        const platform::ScopedClock scoped(clock);
        EXPECT_TRUE(dunmarrow::RunAndWait(sleeper.Command(60000), row.limit));
        const platform::LocalDateTime now = clock.Now();
        EXPECT_EQ(now.day * 86400 + now.hour * 3600 + now.minute * 60 + now.second, row.day * 86400 + row.secondOfDay) << row.limit;
        EXPECT_TRUE(sleeper.StillRunning()) << row.limit;
    }
}

} // namespace
