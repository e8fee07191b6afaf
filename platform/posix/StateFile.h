// What the substitutes that keep state in files share: a file's identity for
// caches of parsed files, whole-file reads, and replacing a file atomically
// under a write lock.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace platform::posix {

// Device, inode, size, and modification and change times to the nanosecond.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    FileIdentity() = default;
    explicit FileIdentity(const struct stat& st);
    bool operator==(const FileIdentity& other) const;
};

// The kernel's coarse clock, which file times come from.
timespec CoarseNow();

// True when the file changed in the clock tick in which readStart (taken with
// CoarseNow before reading) lies, or later: another change in that tick would
// not show in its times, so its bytes must be compared before trusting a cache.
bool ChangedInTickOf(const struct stat& st, const timespec& readStart);

// Reads the whole file and its status; returns 0 or an errno value: EISDIR for
// a folder, EACCES for anything else that is not a regular file (a FIFO, a
// device), which is refused without waiting for a writer. With noFollow a
// symbolic link in the last place of the path is refused (ELOOP).
int ReadFileBytes(const std::string& path, std::string& bytes, struct stat& st, bool noFollow = false);

// Writes all bytes, retrying short writes; returns 0 or an errno value.
int WriteAll(int fd, const char* data, std::size_t size);

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

// Flushes a folder's entries (a rename in it) to disk.
void SyncFolder(const std::string& folder);

// How long a writer waits for another process's lock before it fails with
// ERROR_SHARING_VIOLATION: 30 s, or what a test sets (0 restores it).
BRENLIX_API void SetLockWaitForTesting(unsigned milliseconds);

// An exclusive flock held for the lifetime of the object, on a file that only
// those who may change the guarded state can open, so no other user can make
// a writer wait. Locks are per open file, so threads of one process exclude
// each other as processes do. A holder that never lets go is waited for up to
// the bound above.
class WriteLock {
public:
    // The lock file lockPath, made 0600 (whatever the umask) when missing. A
    // lock file belongs to its writer or to the owner of its folder; anything
    // else under its name (a symbolic link, a file of another owner, a file
    // with a second name) is removed once where the caller may, and
    // otherwise refused with ERROR_ACCESS_DENIED.
    static WriteLock OfLockFile(const std::string& lockPath);

    WriteLock(WriteLock&& other) noexcept : fd_(other.fd_), error_(other.error_) { other.fd_ = -1; }
    WriteLock& operator=(WriteLock&&) = delete;
    WriteLock(const WriteLock&) = delete;
    ~WriteLock();
    // ERROR_SUCCESS, or the Win32 code of why the lock could not be had.
    std::uint32_t error() const { return error_; }

private:
    WriteLock() = default;
    int fd_ = -1;
    std::uint32_t error_ = 0;
};

// Writes the bytes to a new file beside the target, flushes it to disk and
// renames it over the target. The new file keeps old's mode (and owner, for
// root) when old is given; otherwise it gets newMode, or with 0 what the umask
// leaves of 0666. The caller flushes the folder. Returns 0 or an errno value;
// on failure the target is as it was and no temporary file stays.
int ReplaceFile(const std::string& target, const std::string& folder, const char* data, std::size_t size,
                const struct stat* old, mode_t newMode = 0);

} // namespace platform::posix
