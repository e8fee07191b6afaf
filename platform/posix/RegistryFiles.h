// The registry's hive files and the parsed hives kept in memory. The machine's
// hives, <root>/registry/HKLM.reg and HKU.reg (folder 0755, files 0644), are
// read by every user and written by root; HKEY_CURRENT_USER is the calling
// user's own, UserConfigFolder()/HKCU.reg (folder 0700, file 0600). A machine
// hive that a user other than root (or the caller) may change, through its
// file or a folder above it, gives ERROR_ACCESS_DENIED to every call.
//
// A read uses the parsed hive while the file's identity (device, inode, size,
// modification and change times) is what it was; a hive read in the clock tick
// it changed in is compared byte for byte until a tick has passed. A change
// takes an exclusive lock of the registry folder, re-reads the hive if another
// process changed it, applies the change, writes the whole file to a temporary
// file, flushes it, renames it over the hive and flushes the folder, all
// before the call returns, so two processes lose neither's change and a
// change that returned success survives a crash. The file just written stays
// open in the cache, so its inode number cannot come back for a later file,
// and the next change needs no re-read. A missing hive file holds the keys
// Windows always has (Software, and Software\Classes for the machine).
#pragma once

#include "RegistryTree.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace platform::posix {

enum class Hive { LocalMachine, CurrentUser, Users };

// The hive's file as the environment names it now.
std::string HiveFile(Hive hive);
// The root as the hive's file names it ("HKEY_LOCAL_MACHINE").
const char* HiveRootName(Hive hive);
// The most levels a key may lie below the hive's root. Windows keeps a key at
// most 512 levels below \REGISTRY, whose hives start at \REGISTRY\MACHINE,
// \REGISTRY\USER and \REGISTRY\USER\<user's SID>.
std::size_t HiveMaxDepth(Hive hive);

// written: the file's modification time (zero for a missing file).
using HiveReader = std::function<std::uint32_t(const RegistryHive& hive, const timespec& written)>;
// Sets changed when it changed the hive; changes nothing when it fails.
using HiveEditor = std::function<std::uint32_t(RegistryHive& hive, bool& changed)>;

// Calls read with the hive as the file holds it now. Returns read's result,
// or the Win32 code of a failure to read the file (5: not readable, or a
// machine hive others may change; 1009, ERROR_BADDB: a key deeper than
// HiveMaxDepth).
std::uint32_t ReadHive(Hive hive, const std::string& file, const HiveReader& read);

// Calls edit under the registry folder's lock with the hive as the file holds
// it, and writes the file when edit changed the hive. Returns edit's result,
// or the Win32 code of the failure: those of ReadHive, 5 when the process may
// not write the file or its folder (a file without any write permission is
// read-only for every user, root too, as a read-only file is on Windows), 112
// when the disk is full.
std::uint32_t UpdateHive(Hive hive, const std::string& file, const HiveEditor& edit);

// 0 when the process may write the hive's file (or make it), else 5.
std::uint32_t HiveWritable(const std::string& file);

} // namespace platform::posix
