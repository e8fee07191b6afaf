#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "MachineRoot.h"
#include "StateFile.h"

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now, reporting whether the close succeeded.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Moves the data with the kernel's copy (copy_file_range, which also lets the
// file system share extents), falling back to sendfile and then to plain reads
// and writes where the kernel refuses. Returns 0 or an errno value.
int CopyData(int in, int out, off_t size)
{
    off_t done = 0;
    bool kernelCopy = true;
    while (kernelCopy && done < size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(size - done), 0);
        if (n > 0) {
            done += n;
        } else if (n == 0) {
            break; // the source shrank
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                   errno == EPERM) {
            kernelCopy = false;
        } else {
            return errno;
        }
    }
    if (kernelCopy) {
        return 0;
    }
    while (true) {
        const ssize_t n = ::sendfile(out, in, nullptr, 1 << 30);
        if (n > 0) {
            continue;
        }
        if (n == 0) {
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        }
        break;
    }
    static constexpr std::size_t kChunk = 1 << 20;
    std::string buffer(kChunk, '\0');
    while (true) {
        const ssize_t n = ::read(in, buffer.data(), kChunk);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (const int error = posix::WriteAll(out, buffer.data(), static_cast<std::size_t>(n)); error != 0) {
            return error;
        }
    }
}

// The process's file mode creation mask, read without changing it (umask()
// would, for a moment, for every thread).
mode_t CurrentUmask()
{
    std::string status;
    struct stat st {};
    if (posix::ReadFileBytes("/proc/self/status", status, st) == 0) {
        const std::size_t at = status.find("\nUmask:");
        if (at != std::string::npos) {
            return static_cast<mode_t>(std::strtoul(status.c_str() + at + 8, nullptr, 8));
        }
    }
    return 022;
}

} // namespace

bool IsPathSeparator(char c)
{
    return c == '/';
}

char PathSeparator()
{
    return '/';
}

bool FindProgramFolder(std::string& folder, std::uint32_t& error)
{
    std::string path(256, '\0');
    while (true) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            error = ErrnoToWin32(errno);
            return false;
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of('/');
    if (separator == std::string::npos) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    folder = FromAnsi(path.substr(0, separator));
    return true;
}

std::string ProgramFolder()
{
    std::string folder;
    std::uint32_t error = 0;
    return FindProgramFolder(folder, error) ? folder : std::string();
}

std::string LibraryFolder()
{
    // The shared object that holds this very function, as the dynamic loader
    // knows it; made absolute, since the loader keeps a path as it was given.
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (resolved == nullptr) {
        return {};
    }
    const std::string path = resolved;
    std::free(resolved);
    const std::size_t separator = path.find_last_of('/');
    return FromAnsi(separator == 0 || separator == std::string::npos ? std::string() : path.substr(0, separator));
}

bool HasDrives()
{
    return false;
}

std::string CurrentDirectory()
{
    std::string path(256, '\0');
    while (::getcwd(path.data(), path.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        path.resize(path.size() * 2);
    }
    path.resize(std::char_traits<char>::length(path.c_str()));
    return FromAnsi(path);
}

std::string DriveCurrentDirectory(char)
{
    return {};
}

std::uint32_t ReadWholeFile(const std::string& pathUtf8, std::string& bytes)
{
    const std::string path = ToAnsi(pathUtf8);
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return ErrnoToWin32(errno, path);
    }
    bytes.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ErrnoToWin32(errno, path);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool AppendToFile(const std::string& pathUtf8, std::string_view bytes)
{
    if (pathUtf8.empty()) {
        return false;
    }
    // O_APPEND makes each write land at the end as one piece, whoever else
    // has the file open. O_NONBLOCK keeps a FIFO (or another special file)
    // from holding the caller for ever, O_NOCTTY a terminal from becoming the
    // caller's; only a regular file is a log, checked on every line through
    // the descriptor, since whatever the path names may change between lines
    // (a FIFO with a reader, or a link to a device put in the log's place).
    const std::string path = ToAnsi(pathUtf8);
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666));
    if (!fd.valid()) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    // One write, so no other writer's line lands inside this one; a line
    // written in part (a full disk, a file size limit) is taken back, so the
    // log holds whole lines only.
    ssize_t written = 0;
    do {
        written = ::write(fd.get(), bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written > 0 && static_cast<std::size_t>(written) < bytes.size()) {
        const off_t end = ::lseek(fd.get(), 0, SEEK_CUR);
        if (end >= written) {
            [[maybe_unused]] const int ignored = ::ftruncate(fd.get(), end - written);
        }
    }
    return fd.Close() && static_cast<std::size_t>(written) == bytes.size();
}

bool PathExists(const std::string& pathUtf8)
{
    struct stat st {};
    return !pathUtf8.empty() && ::stat(ToAnsi(pathUtf8).c_str(), &st) == 0;
}

MachineLock::MachineLock(const std::string& name)
{
    const std::string folder = posix::MachineRoot() + "/locks";
    const char* what = "the folder for locks";
    if (posix::CheckMachinePath(folder, what) != ERROR_SUCCESS || !posix::MakeFolders(folder) ||
        posix::CheckMachinePath(folder, what) != ERROR_SUCCESS) { // made meanwhile by someone else
        return;
    }
    // Only its owner may open the lock file, so no other user can hold it;
    // one who could not take it changes nothing it guards anyway.
    auto lock = std::make_unique<posix::WriteLock>(posix::WriteLock::OfLockFile(folder + "/" + name + ".lock"));
    held_ = lock->error() == ERROR_SUCCESS;
    if (held_) {
        lock_ = lock.release();
    }
}

MachineLock::~MachineLock()
{
    delete static_cast<posix::WriteLock*>(lock_); // lets go of the lock with it
}

std::uint32_t CopyFileReplacing(const std::string& sourceUtf8, const std::string& destinationUtf8)
{
    const std::string source = ToAnsi(sourceUtf8);
    std::string destination = ToAnsi(destinationUtf8);
    if (source.empty() || destination.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return ErrnoToWin32(errno, source);
    }
    struct stat from {};
    if (::fstat(in.get(), &from) != 0) {
        return ErrnoToWin32(errno, source);
    }
    if (S_ISDIR(from.st_mode)) {
        return ERROR_ACCESS_DENIED;
    }
    // A destination that is a link is replaced where the link points, as a
    // copy written through it would be.
    struct stat to {};
    if (::lstat(destination.c_str(), &to) == 0 && S_ISLNK(to.st_mode)) {
        if (char* resolved = ::realpath(destination.c_str(), nullptr)) {
            destination = resolved;
            std::free(resolved);
        }
    }
    const bool existed = ::stat(destination.c_str(), &to) == 0;
    if (existed) {
        if (S_ISDIR(to.st_mode)) {
            return ERROR_ACCESS_DENIED;
        }
        if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
            return ERROR_SHARING_VIOLATION;
        }
        // Read-only is the file's own mode, which Windows refuses to replace
        // even for an administrator (access() lets root through whatever it is).
        if ((to.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        if (::access(destination.c_str(), W_OK) != 0) {
            return ErrnoToWin32(errno, destination);
        }
    }
    // The copy goes to a file of its own beside the destination and replaces
    // it only once complete and on disk: until then the destination is as it
    // was, whatever fails on the way (a full disk, an I/O error).
    const std::size_t slash = destination.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : destination.substr(0, slash);
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    // (The name cut short, so that the temporary's fits where the name does.)
    std::string temp = (folder == "/" ? std::string() : folder) + "/." + name.substr(0, 200) + ".XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (!out.valid()) {
        return ErrnoToWin32(errno, destination);
    }
    // mkostemp makes the file 0600: give it what the replaced file had, or
    // for a new file the source's bits as a new file would get them.
    int error = 0;
    if (existed) {
        error = ::fchmod(out.get(), to.st_mode & 07777) == 0 ? 0 : errno;
        if (error == 0 && ::geteuid() == 0) {
            [[maybe_unused]] const int ignored = ::fchown(out.get(), to.st_uid, to.st_gid);
        }
    } else {
        error = ::fchmod(out.get(), from.st_mode & 0777 & ~CurrentUmask()) == 0 ? 0 : errno;
    }
    if (error == 0) {
        error = CopyData(in.get(), out.get(), from.st_size);
    }
    if (error == 0) {
        const timespec times[2] = {from.st_atim, from.st_mtim};
        ::futimens(out.get(), times);
        if (::fsync(out.get()) != 0) {
            error = errno;
        }
    }
    if (!out.Close() && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temp.c_str(), destination.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temp.c_str());
        return ErrnoToWin32(error, destination);
    }
    Fd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.valid()) {
        ::fsync(folderFd.get());
    }
    return 0;
}

} // namespace platform
