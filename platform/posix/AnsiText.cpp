#include <platform/Text.h>

#include "AnsiText.h"
#include "Ascii.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
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

std::string posix::AnsiFromUtf16(std::string_view utf16le)
{
    const char* codeset = AnsiCodeSet();
    return Convert(utf16le, codeset != nullptr ? codeset : "UTF-8", "UTF-16LE", false);
}

std::string posix::Utf16FromAnsi(std::string_view ansi)
{
    const char* codeset = AnsiCodeSet();
    return Convert(ansi, "UTF-16LE", codeset != nullptr ? codeset : "UTF-8", codeset == nullptr);
}

std::size_t posix::AnsiCharacterCount(std::string_view ansi)
{
    std::size_t count = 0;
    if (AnsiCodeSet() == nullptr) {
        for (std::size_t i = 0; i < ansi.size(); ++count) {
            const auto lead = static_cast<unsigned char>(ansi[i++]);
            const std::size_t more = lead >= 0xC2 && lead <= 0xDF   ? 1
                                     : lead >= 0xE0 && lead <= 0xEF ? 2
                                     : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                                    : 0;
            std::size_t taken = 0;
            while (taken < more && i + taken < ansi.size() &&
                   (static_cast<unsigned char>(ansi[i + taken]) & 0xC0) == 0x80) {
                ++taken;
            }
            i += taken == more ? taken : 0; // an incomplete sequence: its lead byte alone
            count += taken == more && more == 3 ? 1 : 0; // a surrogate pair in UTF-16
        }
        return count;
    }
    if (MB_CUR_MAX == 1) {
        return ansi.size();
    }
    std::mbstate_t state{};
    for (std::size_t i = 0; i < ansi.size(); ++count) {
        std::size_t length = std::mbrlen(ansi.data() + i, ansi.size() - i, &state);
        if (length == 0 || length > ansi.size() - i) { // an invalid or cut-off sequence
            state = std::mbstate_t{};
            length = 1;
        }
        i += length;
    }
    return count;
}

} // namespace platform
