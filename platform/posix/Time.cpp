#include <platform/Win32.h>

#include "SystemClock.h"

#include <cerrno>
#include <ctime>

namespace {

timespec Read(clockid_t id)
{
    timespec now{};
    clock_gettime(id, &now);
    return now;
}

std::uint64_t Milliseconds(const timespec& t)
{
    return static_cast<std::uint64_t>(t.tv_sec) * 1000u + static_cast<std::uint64_t>(t.tv_nsec) / 1000000u;
}

class PosixClock final : public platform::Clock {
public:
    platform::LocalDateTime Now() const override
    {
        const timespec now = Read(CLOCK_REALTIME);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        platform::LocalDateTime result;
        result.year = local.tm_year + 1900;
        result.month = local.tm_mon + 1;
        result.day = local.tm_mday;
        result.hour = local.tm_hour;
        result.minute = local.tm_min;
        result.second = local.tm_sec;
        result.millisecond = static_cast<int>(now.tv_nsec / 1000000);
        return result;
    }

    std::uint64_t MonotonicMilliseconds() const override { return Milliseconds(Read(CLOCK_MONOTONIC)); }

    void Pause(std::uint32_t milliseconds) const override { ::Sleep(milliseconds); }
};

} // namespace

void WINAPI Sleep(DWORD dwMilliseconds)
{
    timespec rest{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

// Milliseconds since the machine started, wrapping every 49.7 days as on Windows.
DWORD WINAPI GetTickCount()
{
    return static_cast<DWORD>(Milliseconds(Read(CLOCK_BOOTTIME)));
}

namespace platform {

const Clock& SystemClock()
{
    static const PosixClock clock;
    return clock;
}

} // namespace platform
