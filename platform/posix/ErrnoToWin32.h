// Maps an errno value of a failed call on a path to the Win32 error code that
// Windows gives for the same situation.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// ENOENT becomes ERROR_PATH_NOT_FOUND when a folder of the path is missing and
// ERROR_FILE_NOT_FOUND when only the last part is.
std::uint32_t ErrnoToWin32(int error, const std::string& path = std::string());

} // namespace platform
