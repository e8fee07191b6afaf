#include "SystemNotice.h"

#include <cstdio>

namespace platform {

// No desktop to show a box on: the notice goes to the standard error stream.
void SystemNotice(const std::string& titleUtf8, const std::string& textUtf8)
{
    std::fprintf(stderr, "%s: %s\n", titleUtf8.c_str(), textUtf8.c_str());
    std::fflush(stderr);
}

} // namespace platform
