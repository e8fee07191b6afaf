#include <platform/DateTimeText.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::At;

TEST(GeneralDateTimeText, ShortDateAndLongTime)
{
    const platform::LocalDateTime rows[] = {
        At(2026, 12, 6, 19, 5, 9),   At(2026, 1, 31, 0, 0, 1), At(1999, 12, 31, 23, 59, 59),
        At(2024, 2, 29, 12, 0, 0),   At(2026, 7, 4, 0, 1, 0),
    };
    for (const auto& when : rows) {
        const std::string expected = testing_support::ExpectedStamp(when);
        SCOPED_TRACE(expected);
        EXPECT_EQ(platform::GeneralDateTimeText(when), expected);
    }
}

TEST(GeneralDateTimeText, MidnightShowsTheDateOnly)
{
    const std::string midnight = platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 0));
    const std::string second = platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 1));
    EXPECT_EQ(midnight, testing_support::ExpectedStamp(At(2026, 12, 7, 0, 0, 0)));
    EXPECT_LT(midnight.size(), second.size());
    EXPECT_EQ(second.compare(0, midnight.size() + 1, midnight + " "), 0) << second;
    // The milliseconds play no part.
    EXPECT_EQ(platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 0, 999)), midnight);
}

} // namespace
