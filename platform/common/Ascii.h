// Pure ASCII text reads the same in every code page the system meets.
#pragma once

#include <string_view>

namespace platform {

inline bool IsAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace platform
