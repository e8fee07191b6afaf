#include <platform/DateTimeText.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::At;

// Short date and long time; midnight shows the date alone; milliseconds play no part.
TEST(GeneralDateTimeText, ShortDateAndLongTime)
{
    for (const auto& when : {At(2026, 12, 6, 19, 5, 9), At(2026, 1, 31, 0, 0, 1), At(1999, 12, 31, 23, 59, 59),
                             At(2024, 2, 29, 12, 0, 0), At(2026, 7, 4, 0, 1, 0), At(2026, 12, 7, 0, 0, 0)}) {
        EXPECT_EQ(platform::GeneralDateTimeText(when), testing_support::ExpectedStamp(when));
    }
    const std::string midnight = platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 0));
    EXPECT_EQ(platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 0, 999)), midnight);
    EXPECT_EQ(platform::GeneralDateTimeText(At(2026, 12, 7, 0, 0, 1)).rfind(midnight + " ", 0), 0u);
}

} // namespace
