// File operations the system needs beyond the Win32 calls it makes directly.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// True for the characters that separate folders in a path here ("\" and "/" on
// Windows, "/" elsewhere).
BRENLIX_API bool IsPathSeparator(char c);
BRENLIX_API char PathSeparator();

// The folder that holds the running program's file, without a trailing
// separator (UTF-8).
BRENLIX_API std::string ProgramFolder();
// The same, telling a folder that cannot be found (false, with the Win32 code
// of the reason) from the root folder of the file system (true, "").
BRENLIX_API bool FindProgramFolder(std::string& folder, std::uint32_t& error);

// The folder that holds the file of the library this seam is built into
// (Brenlix), without a trailing separator (UTF-8); empty when it cannot be had.
BRENLIX_API std::string LibraryFolder();

// True where paths may start with a drive ("D:"): Windows.
BRENLIX_API bool HasDrives();

// The current folder of the process, and on Windows the current folder of a
// drive ("D:" gives e.g. "D:\Data"); empty when it cannot be had.
BRENLIX_API std::string CurrentDirectory();
BRENLIX_API std::string DriveCurrentDirectory(char drive);

// Reads a whole file; returns 0 or the Win32 error code of the failure.
BRENLIX_API std::uint32_t ReadWholeFile(const std::string& pathUtf8, std::string& bytes);

// Appends the bytes to the file at pathUtf8 in a single write, creating the
// file when it is missing. The file is opened shared, so other writers can
// append at the same time, and a line is never split by another writer's.
// Returns false when nothing could be written.
BRENLIX_API bool AppendToFile(const std::string& pathUtf8, std::string_view bytes);

// Whether a file or folder of that name is there (as far as this process may
// see).
BRENLIX_API bool PathExists(const std::string& pathUtf8);

// A lock that the processes of this machine take by name, held from its
// making until it goes; a holder that never lets go (a process that hangs)
// is waited for a bounded time (Windows a minute, Linux 30 s). Windows: a
// named mutex, machine-wide where the caller may make one, else in the
// session. Linux: an exclusive flock of "<name>.lock" in the machine root's
// folder for locks, a file only its owner may open. Where it cannot be had
// (no right to make it), Held() is false and the caller goes on without.
class BRENLIX_API MachineLock {
public:
    explicit MachineLock(const std::string& name);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    bool Held() const { return held_; }

private:
    void* mutex_ = nullptr; // Windows
    void* lock_ = nullptr;  // Linux
    bool held_ = false;
};

// Copies a file, replacing the destination when it exists. Returns 0 or the
// Win32 error code of the failure (2: no source, 3: no destination folder,
// 5: destination is a folder or read-only, 32: source and destination are the
// same file, 112: disk full). A failed copy leaves no partial destination.
BRENLIX_API std::uint32_t CopyFileReplacing(const std::string& sourceUtf8,
                                            const std::string& destinationUtf8);

} // namespace platform
