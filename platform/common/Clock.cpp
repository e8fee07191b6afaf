#include <platform/Clock.h>

#include "SystemClock.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<const Clock*> installed{nullptr};
}

const Clock& CurrentClock()
{
    const Clock* clock = installed.load(std::memory_order_acquire);
    return clock ? *clock : SystemClock();
}

ScopedClock::ScopedClock(const Clock& clock)
    : previous_(installed.exchange(&clock, std::memory_order_acq_rel))
{
}

ScopedClock::~ScopedClock()
{
    installed.store(previous_, std::memory_order_release);
}

} // namespace platform
