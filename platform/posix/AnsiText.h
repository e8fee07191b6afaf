// What the substitutes need to know of text in the "ANSI" code page (the
// locale's code set, UTF-8 under the C/POSIX locale; see platform/Text.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::posix {

// The characters the text holds as Windows counts them, in UTF-16 units: its
// bytes in a single-byte code set; in UTF-8 its code points, two for one
// beyond U+FFFF. A byte that starts no character counts as one, as Windows
// turns it into one replacement character.
std::size_t AnsiCharacterCount(std::string_view ansi);

// Text in UTF-16LE (without its byte order mark) to the ANSI code page and
// back, a character the target cannot hold becoming '?'.
std::string AnsiFromUtf16(std::string_view utf16le);
std::string Utf16FromAnsi(std::string_view ansi);

} // namespace platform::posix
