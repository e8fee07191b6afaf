#include <platform/Text.h>

#include "Ascii.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace platform {

namespace {

// The locale's code set, or nullptr when it is UTF-8 (including the C/POSIX
// locale, whose ASCII code set we treat as UTF-8).
const char* AnsiCodeSet()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "UTF-8") == 0 ||
        std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0) {
        return nullptr;
    }
    return codeset;
}

// Converts with iconv, replacing each character the target cannot hold (or
// each undecodable input byte) with '?'.
std::string Convert(std::string_view text, const char* to, const char* from, bool fromUtf8)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() * 2);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // Skip one whole input character and write '?' for it.
            std::size_t skip = 1;
            if (fromUtf8) {
                while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
                    ++skip;
                }
            }
            out += '?';
            in += skip;
            inLeft -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string ToAnsi(std::string_view utf8)
{
    const char* codeset = AnsiCodeSet();
    if (codeset == nullptr || IsAscii(utf8)) {
        return std::string(utf8);
    }
    return Convert(utf8, codeset, "UTF-8", true);
}

std::string FromAnsi(std::string_view ansi)
{
    const char* codeset = AnsiCodeSet();
    if (codeset == nullptr || IsAscii(ansi)) {
        return std::string(ansi);
    }
    return Convert(ansi, "UTF-8", codeset, false);
}

} // namespace platform
