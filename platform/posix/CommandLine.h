// Splits a Windows command line into arguments by the rules of the Microsoft C
// runtime: the program name ends at the first blank unless quoted (and takes
// no escapes); in the arguments, 2n backslashes before a quote give n
// backslashes and toggle quoting, 2n+1 give n backslashes and a literal quote,
// and "" inside quotes gives a literal quote.
#pragma once

#include <brenlix/Export.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::posix {

BRENLIX_API std::vector<std::string> SplitCommandLine(std::string_view commandLine);

} // namespace platform::posix
