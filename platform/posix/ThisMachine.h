// This machine's name, and whether a server or computer name that a call is
// given names this machine.
#pragma once

#include <string>

namespace platform::posix {

// The host name ("localhost" when it cannot be had).
std::string HostName();

// NULL, "", ".", "localhost", "127.0.0.1" and the host name (with or without
// its domain), each with or without a leading "\\", name this machine;
// letters compare without case.
bool IsThisMachine(const char* name);

} // namespace platform::posix
