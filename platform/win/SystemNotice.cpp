#include <platform/Text.h>
#include <platform/Win32.h>

#include "SystemNotice.h"

#include <cstdio>

namespace platform {

namespace {

// True when the process's window station is the one a user sees; services and
// tasks that run whether or not a user is logged on get an invisible one.
bool OnInteractiveDesktop()
{
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (station == nullptr || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        return false;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

} // namespace

void SystemNotice(const std::string& titleUtf8, const std::string& textUtf8)
{
    const std::string title = ToAnsi(titleUtf8);
    const std::string text = ToAnsi(textUtf8);
    if (OnInteractiveDesktop()) {
        MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    OutputDebugStringA((title + ": " + text + "\n").c_str());
}

} // namespace platform
