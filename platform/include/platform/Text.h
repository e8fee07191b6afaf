// Text conversions. The system keeps text as UTF-8 and converts it to the
// system's "ANSI" code page at every Win32 call and file write: GetACP() on
// Windows, the locale's code set on Linux (UTF-8 under the C/POSIX locale).
#pragma once

#include <brenlix/Export.h>

#include <string>
#include <string_view>

namespace platform {

// Characters the code page cannot hold become '?', as on Windows.
BRENLIX_API std::string ToAnsi(std::string_view utf8);
BRENLIX_API std::string FromAnsi(std::string_view ansi);

// UTF-8 <-> UTF-16, for the wide ODBC calls. Invalid UTF-8 becomes U+FFFD.
BRENLIX_API std::u16string Utf8ToUtf16(std::string_view utf8);
BRENLIX_API std::string Utf16ToUtf8(std::u16string_view utf16);

} // namespace platform
