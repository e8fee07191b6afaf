#include <platform/DateTimeText.h>
#include <platform/Text.h>
#include <platform/Win32.h>

namespace platform {

std::string GeneralDateTimeText(const LocalDateTime& when)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(when.year);
    st.wMonth = static_cast<WORD>(when.month);
    st.wDay = static_cast<WORD>(when.day);
    st.wHour = static_cast<WORD>(when.hour);
    st.wMinute = static_cast<WORD>(when.minute);
    st.wSecond = static_cast<WORD>(when.second);

    char buffer[128];
    int length = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer);
    std::string text = length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
    if (when.hour != 0 || when.minute != 0 || when.second != 0) {
        length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof buffer);
        if (length > 0) {
            text += ' ';
            text.append(buffer, static_cast<std::size_t>(length - 1));
        }
    }
    return FromAnsi(text);
}

} // namespace platform
