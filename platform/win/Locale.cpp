#include <platform/Locale.h>
#include <platform/Text.h>
#include <platform/Win32.h>

namespace platform {

std::string DecimalSeparator()
{
    char buffer[8] = {};
    const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
    if (length <= 1) {
        return ".";
    }
    return FromAnsi(std::string(buffer, static_cast<std::size_t>(length - 1)));
}

} // namespace platform
