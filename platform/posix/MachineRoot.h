// Where the substitutes keep the machine's state: $BRENLIX_ROOT, or
// /var/lib/brenlix when it is unset or empty.
#pragma once

#include <string>

namespace platform::posix {

// Without a trailing separator.
std::string MachineRoot();

// <root>/windows, the Windows folder of the substitutes (WIN.INI lives there).
std::string WindowsFolder();

// Creates the folder and any missing parents; false when it cannot be had.
bool MakeFolders(const std::string& path);

} // namespace platform::posix
