// The wait of ServiceStart and ServiceStop: polls the service until it is in
// the wanted state or the limit has passed, sleeping between polls for the
// wait hint that the service last gave (20 ms when it gave none). A hint
// larger than the time left makes the wait last longer than the limit; a
// limit of 0 or less polls not at all.
//
// Time is the clock's tick count (GetTickCount's 32 bits: the clock's
// milliseconds, wrapping every 49.7 days), taken from platform::CurrentClock()
// so that tests can put it anywhere. The time passed is added up from the
// unsigned differences of successive tick counts, so a wrap of the count or a
// machine that has been up for weeks changes nothing.
#pragma once

#include <platform/Clock.h>

#include <cstdint>

namespace brenlix::service {

inline std::uint32_t TickCount(const platform::Clock& clock)
{
    return static_cast<std::uint32_t>(clock.MonotonicMilliseconds());
}

struct Poll {
    bool reached = false;
    std::int32_t waitHint = 0;
};

// poll() is called for each look at the service and returns a Poll.
template <typename PollFunction> bool WaitForState(std::int32_t maxWait, PollFunction&& poll)
{
    const platform::Clock& clock = platform::CurrentClock();
    std::uint32_t previous = TickCount(clock);
    std::int64_t elapsed = 0;
    while (elapsed < maxWait) {
        const Poll result = poll();
        if (result.reached) {
            return true;
        }
        clock.Pause(result.waitHint != 0 ? static_cast<std::uint32_t>(result.waitHint) : 20u);
        const std::uint32_t now = TickCount(clock);
        elapsed += static_cast<std::uint32_t>(now - previous);
        previous = now;
    }
    return false;
}

} // namespace brenlix::service
