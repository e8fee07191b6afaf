#include "Program.h"
#include "modShell.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace testing_support;

class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() { dunmarrow::ProgramLog().LogFile(dir_.File("Dunmarrow.log")); }
    std::vector<std::string> Log() const { return LogEntries(dir_.File("Dunmarrow.log")); }

    TempDir dir_;
};

// Returning within ctest's limit means the process ended the wait; with no limit it lasts as long as the process;
// exit code 259 (STILL_ACTIVE) still means ended.
TEST_F(RunAndWaitTest, ProcessThatEnds)
{
    Sleeper sleeper(dir_);
    EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 3"), 3600 * 1000));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dunmarrow::RunAndWait(sleeper.Command(400), 0));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(350));
    EXPECT_FALSE(sleeper.StillRunning());
    EXPECT_EQ(Log(), std::vector<std::string>{});
    if (ChildProcess(TestChildCommand("exit 259")).Wait() == 259u) { // exit codes above 255 exist on this platform
        const ManualClock clock(At(2026, 12, 6, 10, 0, 0));
        const platform::ScopedClock scoped(clock);
        EXPECT_TRUE(dunmarrow::RunAndWait(TestChildCommand("exit 259"), 0));
        EXPECT_LT(clock.PausedMilliseconds(), 60000u);
    }
}

// The limit runs on the monotonic clock, across midnight and for days; a negative one looks once; the process runs on.
TEST_F(RunAndWaitTest, StopsJustAfterTheLimit)
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
