#include "Program.h"
#include "modShell.h"

#include <brenlix/modCommon.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using testing_support::At;
using testing_support::ManualClock;
using testing_support::TempDir;
using testing_support::TestChildCommand;

class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() { dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log")); }
    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    TempDir dir_;
    testing_support::Sleeper sleeper_{dir_};
};

// On the real clock with a limit longer than ctest lets a test run: returning at all means the process ended it.
// Without a limit the wait lasts as long as the process.
TEST_F(RunAndWaitTest, ProcessThatEnds)
{
    EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 3"), 3600 * 1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dunmarrow::RunAndWait(sleeper_.Command(400), 0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_FALSE(sleeper_.StillRunning());
    EXPECT_EQ(Log(), std::vector<std::string>{});
}

// The limit is measured on the monotonic clock, across midnight and for days; a negative one looks once. The
// process is left running.
TEST_F(RunAndWaitTest, StopsJustAfterTheLimit)
{
    const struct {
        int hour, minute, second;
        std::int32_t limit;
        std::uint64_t step; // a pause's length on the clock; 0: as asked
        int day, secondOfDay;
    } rows[] = {
        {10, 0, 0, 30000, 0, 6, 10 * 3600 + 30},
        {23, 59, 50, 30000, 0, 7, 20},
        {12, 0, 0, 2 * 86400 * 1000, 60000, 8, 12 * 3600 + 60},
        {10, 0, 0, -1, 0, 6, 10 * 3600},
    };
    for (const auto& row : rows) {
        const TempDir dir;
        testing_support::Sleeper sleeper(dir);
        ManualClock clock(At(2026, 12, 6, row.hour, row.minute, row.second));
        clock.PauseStep(row.step);
        const platform::ScopedClock scoped(clock);
        EXPECT_TRUE(dunmarrow::RunAndWait(sleeper.Command(60000), row.limit));
        const platform::LocalDateTime now = clock.Now();
        EXPECT_EQ(now.day, row.day) << row.limit;
        EXPECT_EQ(now.hour * 3600 + now.minute * 60 + now.second, row.secondOfDay) << row.limit;
        EXPECT_TRUE(sleeper.StillRunning()) << row.limit;
    }
}

// 259 is STILL_ACTIVE's value, but a process that ends with it has ended.
TEST_F(RunAndWaitTest, ExitCode259EndsTheWait)
{
    testing_support::ChildProcess probe(TestChildCommand("exit 259"));
    if (probe.Wait() != 259u) {
        GTEST_SKIP() << "exit codes above 255 do not exist on this platform";
    }
    const ManualClock clock(At(2026, 12, 6, 10, 0, 0));
    const platform::ScopedClock scoped(clock);
    EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 259"), 0));
    EXPECT_LT(clock.PausedMilliseconds(), 60000u);
}

TEST_F(RunAndWaitTest, CommandThatCannotStart)
{
    for (const char* commandLine : {"dunmarrow-no-such-program-4711 /x", ""}) {
        testing_support::WriteFile(dir_.File("Dunmarrow.log"), "");
        EXPECT_FALSE(dunmarrow::RunAndWait(commandLine, 1000));
        EXPECT_EQ(Log(), std::vector<std::string>{"ERROR|Shell fejl 2 " + brenlix::SystemErrorText(2)}) << commandLine;
        EXPECT_EQ(dunmarrow::LastDllError(), 2u);
    }
}

} // namespace
