#include <platform/Win32.h>

#include "SystemClock.h"

namespace platform {

namespace {

class WindowsClock final : public Clock {
public:
    LocalDateTime Now() const override
    {
        SYSTEMTIME st{};
        GetLocalTime(&st);
        LocalDateTime result;
        result.year = st.wYear;
        result.month = st.wMonth;
        result.day = st.wDay;
        result.hour = st.wHour;
        result.minute = st.wMinute;
        result.second = st.wSecond;
        result.millisecond = st.wMilliseconds;
        return result;
    }

    std::uint64_t MonotonicMilliseconds() const override { return GetTickCount64(); }

    void Pause(std::uint32_t milliseconds) const override { ::Sleep(milliseconds); }
};

} // namespace

const Clock& SystemClock()
{
    static const WindowsClock clock;
    return clock;
}

} // namespace platform
