// What the substitutes that keep state in files share: a file's identity for
// caches of parsed files, whole-file reads, and replacing a file atomically
// under a lock of its folder.
#pragma once

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

// Reads the whole file and its status; returns 0 or an errno value (EISDIR for
// a folder).
int ReadFileBytes(const std::string& path, std::string& bytes, struct stat& st);

// Writes all bytes, retrying short writes; returns 0 or an errno value.
int WriteAll(int fd, const char* data, std::size_t size);

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

// An exclusive flock on a folder for its lifetime. Locks are per open file, so
// threads of one process exclude each other as processes do.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    int fd() const { return fd_; }
    // 0, or the errno value of opening the folder.
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

// Writes the bytes to a new file beside the target, flushes it to disk and
// renames it over the target. The new file keeps old's mode (and owner, for
// root) when old is given; otherwise it gets newMode, or with 0 what the umask
// leaves of 0666. The caller flushes the folder. Returns 0 or an errno value;
// on failure the target is as it was and no temporary file stays.
int ReplaceFile(const std::string& target, const std::string& folder, const char* data, std::size_t size,
                const struct stat* old, mode_t newMode = 0);

} // namespace platform::posix
