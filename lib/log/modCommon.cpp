#include <brenlix/modCommon.h>

#include <platform/Text.h>
#include <platform/Win32.h>

#include <cstring>

namespace brenlix {

std::string SystemErrorText(std::int32_t errorCode)
{
    char buffer[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(errorCode), 0, buffer, sizeof buffer, nullptr);
    // The buffer started as all NULs, so a call that delivered nothing leaves "".
    std::string text = platform::FromAnsi(std::string_view(buffer, strnlen(buffer, sizeof buffer)));
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
        text.resize(text.size() - 2);
    }
    return text;
}

} // namespace brenlix
