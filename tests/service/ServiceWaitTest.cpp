// The wait of ServiceStart and ServiceStop on an injected tick source: a
// ManualClock whose pauses move it on, and a service that is only a list of
// answers.
#include "ServiceWait.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using brenlix::service::Poll;
using brenlix::service::WaitForState;
using testing_support::ManualClock;

constexpr std::uint64_t k2To31 = 0x80000000ull;
constexpr std::uint64_t k2To32 = 0x100000000ull;

// Answers "not there" with the given hint until the wanted state comes, and
// notes the clock at each poll.
struct FakeService {
    explicit FakeService(const ManualClock& on, std::int32_t hint = 0, std::uint64_t reached = UINT64_MAX)
        : clock(on), waitHint(hint), reachedAt(reached)
    {
    }

    const ManualClock& clock;
    std::int32_t waitHint;
    std::uint64_t reachedAt; // monotonic milliseconds
    std::vector<std::uint64_t> polls;

    Poll operator()()
    {
        polls.push_back(clock.MonotonicMilliseconds());
        return Poll{clock.MonotonicMilliseconds() >= reachedAt, waitHint};
    }
};

class ServiceWait : public ::testing::Test {
protected:
    ManualClock clock{testing_support::At(2024, 1, 1, 12, 0, 0)};
    platform::ScopedClock installed{clock};

    void StartAt(std::uint64_t monotonic) { clock.Advance(monotonic - clock.MonotonicMilliseconds()); }
};

TEST_F(ServiceWait, AHintOfZeroPollsEvery20Milliseconds)
{
    const std::uint64_t start = clock.MonotonicMilliseconds();
    FakeService service{clock};
    EXPECT_FALSE(WaitForState(100, std::ref(service)));
    const std::vector<std::uint64_t> expected = {start, start + 20, start + 40, start + 60, start + 80};
    EXPECT_EQ(service.polls, expected);
    EXPECT_EQ(clock.PausedMilliseconds(), 100u);
}

TEST_F(ServiceWait, PollsByTheHintUntilTheStateComes)
{
    const std::uint64_t start = clock.MonotonicMilliseconds();
    FakeService service{clock, 300, start + 700};
    EXPECT_TRUE(WaitForState(5000, std::ref(service)));
    const std::vector<std::uint64_t> expected = {start, start + 300, start + 600, start + 900};
    EXPECT_EQ(service.polls, expected);
}

TEST_F(ServiceWait, ALargeHintOvershootsTheLimit)
{
    const std::uint64_t start = clock.MonotonicMilliseconds();
    FakeService service{clock, 3000};
    EXPECT_FALSE(WaitForState(5000, std::ref(service)));
    const std::vector<std::uint64_t> expected = {start, start + 3000};
    EXPECT_EQ(service.polls, expected);
    EXPECT_EQ(clock.MonotonicMilliseconds() - start, 6000u);
}

TEST_F(ServiceWait, ALimitOfZeroOrLessPollsNot)
{
    for (const std::int32_t limit : {0, -1, INT32_MIN}) {
        FakeService service{clock, 0, 0};
        EXPECT_FALSE(WaitForState(limit, std::ref(service))) << limit;
        EXPECT_TRUE(service.polls.empty()) << limit;
    }
    EXPECT_EQ(clock.Pauses(), 0u);
}

TEST_F(ServiceWait, AStateAlreadyThereNeedsOnePoll)
{
    FakeService service{clock, 0, 0};
    EXPECT_TRUE(WaitForState(5000, std::ref(service)));
    EXPECT_EQ(service.polls.size(), 1u);
    EXPECT_EQ(clock.Pauses(), 0u);
}

// The tick count is 32 bits: past 2^31 a signed deadline overflows, at 2^32
// the count starts again from 0. Neither shortens or lengthens the wait.
TEST_F(ServiceWait, TheTickCountMayWrap)
{
    for (const std::uint64_t before : {k2To31 - 50, k2To32 - 50, 3 * k2To32 + k2To31 - 1, 5 * k2To32 - 1}) {
        SCOPED_TRACE(before);
        StartAt(before);
        FakeService reached{clock, 0, before + 200};
        EXPECT_TRUE(WaitForState(5000, std::ref(reached)));
        EXPECT_EQ(reached.polls.size(), 11u);

        const std::uint64_t start = clock.MonotonicMilliseconds();
        FakeService never{clock, 100};
        EXPECT_FALSE(WaitForState(5000, std::ref(never)));
        EXPECT_EQ(never.polls.size(), 50u);
        EXPECT_EQ(clock.MonotonicMilliseconds() - start, 5000u);
    }
}

TEST_F(ServiceWait, TheLongestLimitEndsOnTime)
{
    StartAt(k2To32 - 10);
    const std::uint64_t start = clock.MonotonicMilliseconds();
    FakeService service{clock, 0x40000000};
    EXPECT_FALSE(WaitForState(INT32_MAX, std::ref(service)));
    EXPECT_EQ(service.polls.size(), 2u);
    EXPECT_EQ(clock.MonotonicMilliseconds() - start, 2 * 0x40000000ull);
}

} // namespace
