#include "Program.h"
#include "modShell.h"

#include <brenlix/modCommon.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using testing_support::At;
using testing_support::ManualClock;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::TestChildCommand;

class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() { dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log")); }

    std::string Sleeper(int milliseconds) { return sleeper_.Command(milliseconds); }
    bool StillRunning() { return sleeper_.StillRunning(); }

    std::vector<std::string> LogLines() const { return SplitLines(ReadFile(dir_.File("Dunmarrow.log"))); }

    TempDir dir_;
    testing_support::Sleeper sleeper_{dir_};
};

TEST_F(RunAndWaitTest, ProcessThatEndsAtOnce)
{
    // On the real clock (a manual one would burn the limit in a busy loop
    // before a slow machine has even started the child), with a limit longer
    // than ctest lets a test run: returning at all means the process ended it.
    EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 3"), 3600 * 1000));
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(RunAndWaitTest, StopsJustAfterTheLimitAndLeavesTheProcessRunning)
{
    const ManualClock clock(At(2026, 12, 6, 10, 0, 0));
    const platform::ScopedClock scoped(clock);
    EXPECT_TRUE(dunmarrow::RunAndWait(Sleeper(60000), 30000));
    const platform::LocalDateTime now = clock.Now();
    EXPECT_EQ(now.hour * 3600 + now.minute * 60 + now.second, 10 * 3600 + 30);
    EXPECT_TRUE(StillRunning());
}

TEST_F(RunAndWaitTest, LimitRunsPastMidnight)
{
    ManualClock clock(At(2026, 12, 6, 23, 59, 50));
    const platform::ScopedClock scoped(clock);
    EXPECT_TRUE(dunmarrow::RunAndWait(Sleeper(60000), 30000));
    const platform::LocalDateTime now = clock.Now();
    EXPECT_EQ(now.day, 7);
    EXPECT_EQ(now.hour * 3600 + now.minute * 60 + now.second, 20);
}

TEST_F(RunAndWaitTest, LimitOfTwoDays)
{
    ManualClock clock(At(2026, 12, 6, 12, 0, 0));
    clock.PauseStep(60000); // a minute a pass
    const platform::ScopedClock scoped(clock);
    EXPECT_TRUE(dunmarrow::RunAndWait(Sleeper(60000), 2 * 86400 * 1000));
    const platform::LocalDateTime now = clock.Now();
    EXPECT_EQ(now.day, 8);
    EXPECT_EQ(now.hour, 12);
    EXPECT_LE(now.minute, 1);
}

TEST_F(RunAndWaitTest, NegativeLimitLooksOnce)
{
    const ManualClock clock(At(2026, 12, 6, 10, 0, 0));
    const platform::ScopedClock scoped(clock);
    EXPECT_TRUE(dunmarrow::RunAndWait(Sleeper(60000), -1));
    EXPECT_EQ(clock.Pauses(), 0u);
    EXPECT_TRUE(StillRunning());
}

TEST_F(RunAndWaitTest, ZeroLimitWaitsForTheEnd)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dunmarrow::RunAndWait(Sleeper(400), 0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_FALSE(StillRunning());
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
    const struct {
        const char* commandLine;
        std::int32_t error;
    } rows[] = {
        {"dunmarrow-no-such-program-4711 /x", 2},
        {"", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine);
        const TempDir dir;
        dunmarrow::ProgramLog().LogFile(dir.File("x.log"));
        EXPECT_FALSE(dunmarrow::RunAndWait(row.commandLine, 1000));
        const auto lines = SplitLines(platform::FromAnsi(ReadFile(dir.File("x.log"))));
        ASSERT_EQ(lines.size(), 1u);
        const std::string expected =
            "\t\tERROR\t\tShell fejl " + std::to_string(row.error) + " " + brenlix::SystemErrorText(row.error);
        EXPECT_EQ(lines[0].substr(lines[0].find('\t')), expected);
        EXPECT_EQ(dunmarrow::LastDllError(), static_cast<std::uint32_t>(row.error));
    }
}

} // namespace
