// The clock the system reads: the local date and time, and a monotonic
// millisecond count. Tests replace it to run midnight and long waits instantly.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>

namespace platform {

struct LocalDateTime {
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // Seconds since midnight, with the fraction.
    double SecondsOfDay() const
    {
        return hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0;
    }
};

class BRENLIX_API Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime Now() const = 0;
    // Milliseconds on a clock that never goes back and ignores changes of the
    // time of day.
    virtual std::uint64_t MonotonicMilliseconds() const = 0;
    // The clock's pause; the system clock really sleeps, a test clock may
    // just move its time on.
    virtual void Pause(std::uint32_t milliseconds) const = 0;
};

// The clock in use: the system's, unless a test installed its own.
BRENLIX_API const Clock& CurrentClock();

// Installs a clock for as long as the object lives (tests only).
class BRENLIX_API ScopedClock {
public:
    explicit ScopedClock(const Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    const Clock* previous_;
};

} // namespace platform
