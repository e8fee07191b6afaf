#include "StateFile.h"

#include <platform/Win32.h>

#include "ErrnoToWin32.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::posix {

FileIdentity::FileIdentity(const struct stat& st)
    : device(st.st_dev), inode(st.st_ino), size(st.st_size), modified(st.st_mtim), changed(st.st_ctim)
{
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

timespec CoarseNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool ChangedInTickOf(const struct stat& st, const timespec& readStart)
{
    return st.st_ctim.tv_sec > readStart.tv_sec ||
           (st.st_ctim.tv_sec == readStart.tv_sec && st.st_ctim.tv_nsec >= readStart.tv_nsec);
}

int ReadFileBytes(const std::string& path, std::string& bytes, struct stat& st, bool noFollow)
{
    // What is plainly no file is refused before it is opened (opening a device
    // may do something); O_NONBLOCK and O_NOCTTY keep whatever is put in its
    // place meanwhile from holding the caller or becoming its terminal, and it
    // is refused after the open.
    if ((noFollow ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st)) == 0 && !S_ISREG(st.st_mode) &&
        !S_ISDIR(st.st_mode) && !(noFollow && S_ISLNK(st.st_mode))) {
        return EACCES;
    }
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error = EACCES;
    } else {
        bytes.clear();
        bytes.reserve(static_cast<std::size_t>(st.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    ::close(fd);
    return error;
}

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

namespace {

constexpr unsigned kLockWaitMs = 30000;
std::atomic<unsigned> g_lockWaitMs{kLockWaitMs};

// Takes the lock on fd, waiting for another holder up to the bound.
std::uint32_t Lock(int fd)
{
    const unsigned bound = g_lockWaitMs.load();
    for (unsigned waited = 0;; waited += 10) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return ERROR_SUCCESS;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return ErrnoToWin32(errno);
        }
        if (waited >= bound) {
            return ERROR_SHARING_VIOLATION;
        }
        const timespec pause{0, 10 * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace

void SetLockWaitForTesting(unsigned milliseconds)
{
    g_lockWaitMs = milliseconds != 0 ? milliseconds : kLockWaitMs;
}

WriteLock WriteLock::OfLockFile(const std::string& lockPath)
{
    WriteLock lock;
    struct stat folder {};
    if (::stat(FolderOf(lockPath).c_str(), &folder) != 0) {
        lock.error_ = ErrnoToWin32(errno, lockPath);
        return lock;
    }
    for (int attempt = 0;; ++attempt) {
        // Made without rights for anyone else, whatever the umask leaves.
        lock.fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        const int opened = lock.fd_ >= 0 ? 0 : errno;
        struct stat st {};
        // A lock file is its writer's or the folder's owner's; anything else
        // under its name (a link, a file someone else put there) is taken
        // away once by a caller who may, and otherwise refused.
        const bool ours = opened == 0 && ::fstat(lock.fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
                          (st.st_uid == ::geteuid() || st.st_uid == folder.st_uid);
        if (ours) {
            break;
        }
        if (lock.fd_ >= 0) {
            ::close(lock.fd_);
            lock.fd_ = -1;
        }
        // A file someone else put there that the caller may not open (the
        // kernel's protected_regular refuses root another's file in a sticky
        // folder) counts as one in its place too.
        struct stat planted {};
        const bool foreign = (opened == EACCES || opened == EPERM) && ::lstat(lockPath.c_str(), &planted) == 0 &&
                             planted.st_uid != ::geteuid() && planted.st_uid != folder.st_uid;
        if (opened != 0 && opened != ELOOP && !foreign) {
            lock.error_ = ErrnoToWin32(opened, lockPath);
            return lock;
        }
        if (attempt > 0 || ::unlink(lockPath.c_str()) != 0) {
            lock.error_ = ERROR_ACCESS_DENIED;
            return lock;
        }
    }
    lock.error_ = Lock(lock.fd_);
    return lock;
}

WriteLock::~WriteLock()
{
    if (fd_ >= 0) {
        ::close(fd_); // lets the lock go
    }
}

int ReplaceFile(const std::string& target, const std::string& folder, const char* data, std::size_t size,
                const struct stat* old, mode_t newMode)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string temp = (folder == "/" ? std::string() : folder) + "/." + name + '.' +
                             std::to_string(::getpid()) + '.' + std::to_string(counter++) + ".tmp";
    // Made without rights for others, which come with the mode it is given.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode != 0 ? 0600 : 0666);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (old != nullptr) {
        ::fchmod(fd, old->st_mode & 07777);
        if (::geteuid() == 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, old->st_uid, old->st_gid);
        }
    } else if (newMode != 0 && ::fchmod(fd, newMode) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = WriteAll(fd, data, size);
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
    }
    return error;
}

} // namespace platform::posix
