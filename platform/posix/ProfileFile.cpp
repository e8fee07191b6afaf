#include "ProfileFile.h"

#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "MachineRoot.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

constexpr std::size_t kCachedFiles = 16;

struct Fingerprint {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit Fingerprint(const struct stat& st)
        : device(st.st_dev), inode(st.st_ino), size(st.st_size), modified(st.st_mtim), changed(st.st_ctim)
    {
    }

    bool operator==(const Fingerprint& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

struct CacheEntry {
    std::string path;
    Fingerprint fingerprint;
    std::shared_ptr<const ProfileText> text;
    // The file changed within the clock tick it was read in, so a change in
    // that same tick would not show in its times: check its bytes before use.
    bool racy = true;
    std::uint64_t used = 0;
};

struct Cache {
    std::mutex lock;
    std::vector<CacheEntry> entries;
    std::uint64_t clock = 0;
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

CacheEntry* FindEntry(Cache& cache, const std::string& path)
{
    for (CacheEntry& entry : cache.entries) {
        if (entry.path == path) {
            return &entry;
        }
    }
    return nullptr;
}

// The cached text when it is still that of the file; racy tells whether its
// bytes must be compared first.
std::shared_ptr<const ProfileText> Cached(const std::string& path, const Fingerprint& fingerprint,
                                          NameFolding folding, bool& racy)
{
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    CacheEntry* entry = FindEntry(cache, path);
    if (entry == nullptr || !(entry->fingerprint == fingerprint) || entry->text->Folding() != folding) {
        return nullptr;
    }
    entry->used = ++cache.clock;
    racy = entry->racy;
    return entry->text;
}

void Remember(const std::string& path, const Fingerprint& fingerprint, std::shared_ptr<const ProfileText> text,
              bool racy)
{
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    CacheEntry* slot = FindEntry(cache, path);
    if (slot == nullptr && cache.entries.size() < kCachedFiles) {
        cache.entries.push_back(CacheEntry{path, fingerprint, nullptr, true, 0});
        slot = &cache.entries.back();
    }
    if (slot == nullptr) {
        slot = &cache.entries.front();
        for (CacheEntry& entry : cache.entries) {
            if (entry.used < slot->used) {
                slot = &entry;
            }
        }
    }
    slot->path = path;
    slot->fingerprint = fingerprint;
    slot->text = std::move(text);
    slot->racy = racy;
    slot->used = ++cache.clock;
}

// File times come from the kernel's coarse clock. A file whose change time is
// before the tick in which we started reading it cannot change again without
// its times changing too.
timespec CoarseNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool Racy(const struct stat& st, const timespec& readStart)
{
    return st.st_ctim.tv_sec > readStart.tv_sec ||
           (st.st_ctim.tv_sec == readStart.tv_sec && st.st_ctim.tv_nsec >= readStart.tv_nsec);
}

// Reads the whole file; returns 0 or an errno value.
int ReadWhole(const std::string& path, std::string& bytes, struct stat& st)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
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

int WriteAll(int fd, const std::string& bytes)
{
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
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

class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0) {
            ::close(fd_); // lets the lock go
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    int fd() const { return fd_; }
    // 0, or the errno value of opening the folder.
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

// Writes the text to a new file beside the target and renames it over the
// target. Returns 0 or an errno value.
int ReplaceFile(const std::string& target, const std::string& folder, const std::string& text, const struct stat* old)
{
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string temp = (folder == "/" ? std::string() : folder) + "/." + name + '.' +
                             std::to_string(::getpid()) + '.' + std::to_string(counter++) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno;
    }
    if (old != nullptr) {
        // The new file keeps the old one's permissions (and owner, where we may).
        ::fchmod(fd, old->st_mode & 07777);
        if (::geteuid() == 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, old->st_uid, old->st_gid);
        }
    }
    int error = WriteAll(fd, text);
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

} // namespace

std::string WinIniPath()
{
    return WindowsFolder() + "/WIN.INI";
}

std::string ProfilePath(const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        return WinIniPath();
    }
    const std::string name(fileName);
    return name.find('/') == std::string::npos ? WindowsFolder() + '/' + name : name;
}

std::shared_ptr<const ProfileText> LoadProfile(const std::string& path, std::uint32_t& error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = ErrnoToWin32(errno, path);
        return nullptr;
    }
    const NameFolding folding = CurrentNameFolding();
    const Fingerprint seen(st);
    bool racy = true;
    std::shared_ptr<const ProfileText> cached = Cached(path, seen, folding, racy);
    if (cached && !racy) {
        error = ERROR_SUCCESS;
        return cached;
    }
    const timespec readStart = CoarseNow();
    std::string bytes;
    const int rc = ReadWhole(path, bytes, st);
    if (rc != 0) {
        error = ErrnoToWin32(rc, path);
        return nullptr;
    }
    error = ERROR_SUCCESS;
    if (cached && Fingerprint(st) == seen && bytes == cached->Text()) {
        Remember(path, seen, cached, Racy(st, readStart));
        return cached;
    }
    auto text = std::make_shared<const ProfileText>(std::move(bytes), folding);
    Remember(path, Fingerprint(st), text, Racy(st, readStart));
    return text;
}

std::uint32_t UpdateProfile(const std::string& path, bool createIfMissing, const ProfileEdit& edit)
{
    std::string target = path;
    struct stat st {};
    // Through a symbolic link the file it points to is changed; the link stays.
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const std::string folder = FolderOf(target);
    if (folder == WindowsFolder()) {
        MakeFolders(folder); // always there on Windows
    }
    const FolderLock lock(folder);
    if (lock.error() != 0) {
        return ErrnoToWin32(lock.error(), target);
    }

    std::uint32_t error = 0;
    std::shared_ptr<const ProfileText> current = LoadProfile(target, error);
    const bool exists = current != nullptr;
    if (!exists) {
        if (error != ERROR_FILE_NOT_FOUND || !createIfMissing) {
            return error;
        }
        current = std::make_shared<const ProfileText>(std::string(), CurrentNameFolding());
    } else if (::stat(target.c_str(), &st) != 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        return ErrnoToWin32(errno, target);
    }

    std::optional<std::string> updated = edit(*current);
    if (!updated) {
        return ERROR_SUCCESS;
    }
    const int rc = ReplaceFile(target, folder, *updated, exists ? &st : nullptr);
    if (rc != 0) {
        return ErrnoToWin32(rc, target);
    }
    ::fsync(lock.fd());
    if (::stat(target.c_str(), &st) == 0) {
        Remember(target, Fingerprint(st), std::make_shared<const ProfileText>(std::move(*updated), current->Folding()),
                 true);
    }
    return ERROR_SUCCESS;
}

} // namespace platform::posix
