#include <platform/Locale.h>
#include <platform/Text.h>

#include <clocale>

namespace platform {

std::string DecimalSeparator()
{
    const lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr || *conventions->decimal_point == '\0') {
        return ".";
    }
    return FromAnsi(conventions->decimal_point);
}

} // namespace platform
