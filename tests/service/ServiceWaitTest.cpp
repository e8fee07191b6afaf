// The wait of ServiceStart and ServiceStop on a ManualClock that its pauses
// move on, against a service that is only its answers.
#include "ServiceWait.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t k2To31 = 0x80000000ull, k2To32 = 0x100000000ull, kNever = UINT64_MAX;

// From tick count start, a wait of limit for a service that gives the hint and
// is there after reachedAfter ms: its result, its polls and the time it took.
// Past 2^31 a signed deadline overflows, at 2^32 the count wraps.
TEST(ServiceWait, PollsByTheHintUntilTheStateOrTheLimit)
{
    const struct {
        std::uint64_t start;
        std::int32_t limit, hint;
        std::uint64_t reachedAfter;
        bool reached;
        std::size_t polls;
        std::uint64_t took;
    } rows[] = {
        {1000, 100, 0, kNever, false, 5, 100},
        {1000, 5000, 300, 700, true, 4, 900},
        {1000, 5000, 3000, kNever, false, 2, 6000},
        {1000, 5000, 0, 0, true, 1, 0},
        {1000, 0, 0, 0, false, 0, 0},
        {1000, -1, 0, 0, false, 0, 0},
        {k2To31 - 50, 5000, 0, 200, true, 11, 200},
        {k2To31 - 50, 5000, 100, kNever, false, 50, 5000},
        {k2To32 - 50, 5000, 0, 200, true, 11, 200},
        {k2To32 - 50, 5000, 100, kNever, false, 50, 5000},
        {5 * k2To32 - 1, 5000, 0, 200, true, 11, 200},
        {k2To32 - 10, INT32_MAX, 0x40000000, kNever, false, 2, k2To31},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.start) + " " + std::to_string(row.limit) + " " + std::to_string(row.hint));
        testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
        clock.Advance(row.start - clock.MonotonicMilliseconds());
        const platform::ScopedClock installed(clock);
        std::size_t polls = 0;
        const auto poll = [&] {
            ++polls;
            return brenlix::service::Poll{clock.MonotonicMilliseconds() - row.start >= row.reachedAfter, row.hint};
        };
        EXPECT_EQ(brenlix::service::WaitForState(row.limit, poll), row.reached);
        EXPECT_EQ(polls, row.polls);
        EXPECT_EQ(clock.MonotonicMilliseconds() - row.start, row.took);
    }
}

} // namespace
