#include <platform/DateTimeText.h>
#include <platform/Text.h>
#include <platform/Win32.h>

namespace platform {

namespace {

SYSTEMTIME SystemTimeOf(const LocalDateTime& when)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    st.wHour = static_cast<WORD>(when.hour);
    st.wMinute = static_cast<WORD>(when.minute);
    st.wSecond = static_cast<WORD>(when.second);
    return st;
}

std::string TimeText(const SYSTEMTIME& st)
{
    char buffer[128];
    const int length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

} // namespace

std::string GeneralDateTimeText(const LocalDateTime& when)
{
    const SYSTEMTIME st = SystemTimeOf(when);
    char buffer[128];
    const int length = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer);
    if (length <= 0) {
        return {};
    }
    std::string text(buffer, static_cast<std::size_t>(length - 1));
    if (when.hour != 0 || when.minute != 0 || when.second != 0) {
        const std::string time = TimeText(st);
        if (!time.empty()) {
            text += ' ';
            text += time;
        }
    }
    return FromAnsi(text);
}

std::string LongTimeText(const LocalDateTime& when)
{
    return FromAnsi(TimeText(SystemTimeOf(when)));
}

} // namespace platform
