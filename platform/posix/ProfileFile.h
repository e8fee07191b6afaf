// INI files on disk for the profile functions. Reads go through a cache of
// parsed files, each checked against the file's device, inode, size and
// modification and change times (to the nanosecond) before use, so a job file
// read key by key is parsed once. A file read in the clock tick it was changed
// in is compared byte for byte instead, until a read comes a tick later: a
// second change within that tick would leave its times as they were.
// Writes replace the file whole: the new text
// goes to a temporary file in the same folder, is flushed to disk and renamed
// over the old one, so a reader sees the old file or the new one, never a
// part. Writers take turns on an exclusive lock of the folder, so two
// processes changing one file lose neither change.
#pragma once

#include "ProfileText.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::posix {

// The file the profile functions use for a file name: WIN.INI for none (a
// null name), the Windows folder for a name without a folder, else the name as
// it stands. An empty name gives an empty path, which names no file: it reads
// as missing and every write to it fails with ERROR_ACCESS_DENIED, as on Windows.
std::string ProfilePath(const char* fileName);
std::string WinIniPath();

// True for a file of the Windows folder (WIN.INI and the other bare names),
// which is the machine's.
bool InWindowsFolder(const std::string& path);

// The parsed file, or nullptr with the Win32 code of the failure in error
// (2: no such file, 3: no such folder, 5: not readable, a folder or no name).
std::shared_ptr<const ProfileText> LoadProfile(const std::string& path, std::uint32_t& error);

// Gives the new text for the current one (empty when the file is missing), or
// nullopt to leave the file as it is.
using ProfileEdit = std::function<std::optional<std::string>(const ProfileText& current)>;

// Applies the edit to the file under the folder's lock and writes the result.
// Returns 0 or the Win32 code of the failure: 2 when the file is missing and
// createIfMissing is false (nothing is written), 3 when the folder is missing,
// 5 when the file or folder may not be written or the path is empty, 112 when
// the disk is full.
std::uint32_t UpdateProfile(const std::string& path, bool createIfMissing, const ProfileEdit& edit);

} // namespace platform::posix
