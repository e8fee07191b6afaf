#include "RegistryFiles.h"

#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "MachineRoot.h"
#include "StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

constexpr std::size_t kCachedHives = 8;

struct CachedHive {
    std::string path;
    bool missing = false;
    FileIdentity identity;
    std::unique_ptr<RegistryHive> hive;
    // Read in the clock tick the file changed in: its bytes, to compare
    // before the times may be trusted.
    bool racy = false;
    std::string bytes;
    // The file this process wrote last, kept open.
    int held = -1;
    std::size_t size = 0;
    std::uint64_t used = 0;

    CachedHive() = default;
    CachedHive(const CachedHive&) = delete;
    CachedHive& operator=(const CachedHive&) = delete;
    ~CachedHive() { Hold(-1); }

    void Hold(int fd)
    {
        if (held >= 0) {
            ::close(held);
        }
        held = fd;
    }
};

struct Cache {
    std::mutex lock; // one registry call of this process at a time
    std::vector<std::unique_ptr<CachedHive>> entries;
    std::uint64_t clock = 0;
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

CachedHive& Slot(Cache& cache, const std::string& path)
{
    for (auto& entry : cache.entries) {
        if (entry->path == path) {
            entry->used = ++cache.clock;
            return *entry;
        }
    }
    if (cache.entries.size() < kCachedHives) {
        cache.entries.push_back(std::make_unique<CachedHive>());
    } else {
        auto oldest = cache.entries.begin();
        for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
            if ((*it)->used < (*oldest)->used) {
                oldest = it;
            }
        }
        *oldest = std::make_unique<CachedHive>();
        std::swap(*oldest, cache.entries.back());
    }
    CachedHive& entry = *cache.entries.back();
    entry.path = path;
    entry.used = ++cache.clock;
    return entry;
}

void Forget(Cache& cache, const std::string& path)
{
    for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
        if ((*it)->path == path) {
            cache.entries.erase(it);
            return;
        }
    }
}

bool MachineHive(Hive hive)
{
    return hive != Hive::CurrentUser;
}

// ERROR_ACCESS_DENIED for a machine hive that someone else than root (or the
// caller) may change: its service entries name programs that root starts, so
// a hive anyone else could rewrite is not taken for the machine's.
std::uint32_t CheckTrusted(Hive hive, const std::string& file)
{
    return MachineHive(hive) ? CheckMachinePath(file, HiveRootName(hive)) : ERROR_SUCCESS;
}

// The same, for the file read, as its descriptor showed it.
bool OpenedFileTrusted(Hive hive, const struct stat& st)
{
    return !MachineHive(hive) || ((st.st_uid == 0 || st.st_uid == ::geteuid()) && (st.st_mode & 0022) == 0);
}

// The keys a hive has from the start on Windows.
std::unique_ptr<RegistryHive> EmptyHive(Hive hive, NameFolding folding)
{
    auto tree = std::make_unique<RegistryHive>(HiveRootName(hive), folding);
    bool created = false;
    switch (hive) {
    case Hive::LocalMachine: {
        tree->Root().MakeSubkey("Software", created).MakeSubkey("Classes", created);
        RegistryKey& controlSet = tree->Root().MakeSubkey("System", created).MakeSubkey("CurrentControlSet", created);
        controlSet.MakeSubkey("Hardware Profiles", created).MakeSubkey("Current", created);
        // The Application log with its list of sources, the log itself its
        // first entry.
        static constexpr char sources[] = "Application\0";
        controlSet.MakeSubkey("Services", created)
            .MakeSubkey("EventLog", created)
            .MakeSubkey("Application", created)
            .SetValue("Sources", REG_MULTI_SZ, std::string_view(sources, sizeof sources));
        break;
    }
    case Hive::CurrentUser:
        tree->Root().MakeSubkey("Software", created);
        break;
    case Hive::Users:
        tree->Root().MakeSubkey(".DEFAULT", created);
        break;
    }
    return tree;
}

// The hive as its file holds it now, or nullptr with the Win32 code of the
// failure.
CachedHive* Load(Cache& cache, Hive hive, const std::string& path, std::uint32_t& error)
{
    const NameFolding folding = CurrentNameFolding();
    struct stat st {};
    if ((MachineHive(hive) ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st)) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            error = ErrnoToWin32(errno, path);
            return nullptr;
        }
        // A missing hive reads as a new one only where no one else could put one.
        if (const std::uint32_t distrust = CheckTrusted(hive, path); distrust != ERROR_SUCCESS) {
            error = distrust;
            return nullptr;
        }
        CachedHive& entry = Slot(cache, path);
        if (!entry.missing || !entry.hive || entry.hive->Folding() != folding) {
            entry.missing = true;
            entry.hive = EmptyHive(hive, folding);
            entry.racy = false;
            entry.bytes.clear();
            entry.Hold(-1);
        }
        return &entry;
    }
    if (S_ISDIR(st.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    CachedHive& entry = Slot(cache, path);
    const bool same = entry.hive && !entry.missing && entry.identity == FileIdentity(st) &&
                      entry.hive->Folding() == folding;
    if (same && !entry.racy) {
        return &entry;
    }
    if (const std::uint32_t distrust = CheckTrusted(hive, path); distrust != ERROR_SUCCESS) {
        Forget(cache, path);
        error = distrust;
        return nullptr;
    }
    const timespec readStart = CoarseNow();
    std::string bytes;
    const int rc = ReadFileBytes(path, bytes, st, MachineHive(hive));
    if (rc != 0 || !OpenedFileTrusted(hive, st)) {
        Forget(cache, path);
        error = rc == 0 || rc == ELOOP ? ERROR_ACCESS_DENIED : ErrnoToWin32(rc, path);
        return nullptr;
    }
    const bool racy = ChangedInTickOf(st, readStart);
    if (!(same && entry.identity == FileIdentity(st) && bytes == entry.bytes)) {
        entry.hive = RegistryHive::FromText(bytes, HiveRootName(hive), folding, HiveMaxDepth(hive));
        if (!entry.hive) {
            Forget(cache, path);
            error = ERROR_BADDB;
            return nullptr;
        }
        entry.missing = false;
        entry.identity = FileIdentity(st);
        entry.size = bytes.size();
        entry.Hold(-1);
    }
    entry.racy = racy;
    entry.bytes = racy ? std::move(bytes) : std::string();
    return &entry;
}

} // namespace

std::string HiveFile(Hive hive)
{
    if (hive == Hive::CurrentUser) {
        return UserConfigFolder() + "/HKCU.reg";
    }
    const std::string root = MachineRoot();
    const std::string folder = (root == "/" ? std::string() : root) + "/registry/";
    return folder + (hive == Hive::LocalMachine ? "HKLM.reg" : "HKU.reg");
}

const char* HiveRootName(Hive hive)
{
    switch (hive) {
    case Hive::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case Hive::CurrentUser:
        return "HKEY_CURRENT_USER";
    case Hive::Users:
        break;
    }
    return "HKEY_USERS";
}

std::size_t HiveMaxDepth(Hive hive)
{
    constexpr std::size_t kMaxLevels = 512;
    return kMaxLevels - (hive == Hive::CurrentUser ? 3 : 2);
}

std::uint32_t HiveWritable(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        if ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
            return ERROR_ACCESS_DENIED;
        }
    }
    // The nearest folder that exists must take a new file (or folder).
    std::string folder = FolderOf(file);
    for (;;) {
        if (::stat(folder.c_str(), &st) == 0) {
            return S_ISDIR(st.st_mode) && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0
                       ? ERROR_SUCCESS
                       : ERROR_ACCESS_DENIED;
        }
        if (errno != ENOENT || folder == "/" || folder == ".") {
            return ERROR_ACCESS_DENIED;
        }
        folder = FolderOf(folder);
    }
}

std::uint32_t ReadHive(Hive hive, const std::string& file, const HiveReader& read)
{
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    std::uint32_t error = 0;
    const CachedHive* entry = Load(cache, hive, file, error);
    if (entry == nullptr) {
        return error;
    }
    return read(*entry->hive, entry->identity.modified);
}

std::uint32_t UpdateHive(Hive hive, const std::string& file, const HiveEditor& edit)
{
    Cache& cache = TheCache();
    std::lock_guard guard(cache.lock);
    const std::string folder = FolderOf(file);
    // Checked before anything is made, and again once the folders are there,
    // so none can have been put in their place meanwhile.
    if (CheckTrusted(hive, file) != ERROR_SUCCESS ||
        !MakeFolders(folder, MachineHive(hive) ? kMachineFolderMode : kUserFolderMode) ||
        CheckTrusted(hive, file) != ERROR_SUCCESS) {
        return ERROR_ACCESS_DENIED;
    }
    // The lock file is the writers' alone: a user who may not write the hive
    // cannot hold it.
    const std::string name = file.substr(folder.size() + 1);
    // Without the right to it, the call may still succeed when it changes
    // nothing (a key opened that exists).
    const WriteLock lock = WriteLock::OfLockFile(folder + "/." + name + ".lock");
    const bool mayWrite = lock.error() == ERROR_SUCCESS;
    if (!mayWrite && lock.error() != ERROR_ACCESS_DENIED) {
        return lock.error();
    }
    std::uint32_t error = 0;
    CachedHive* entry = Load(cache, hive, file, error);
    if (entry == nullptr) {
        return error;
    }
    bool changed = false;
    error = edit(*entry->hive, changed);
    if (error != ERROR_SUCCESS || !changed) {
        return error;
    }
    struct stat old {};
    const bool exists = !entry->missing && ::stat(file.c_str(), &old) == 0;
    if (!mayWrite || HiveWritable(file) != ERROR_SUCCESS || CheckTrusted(hive, file) != ERROR_SUCCESS) {
        Forget(cache, file); // holds the change that could not be written
        return ERROR_ACCESS_DENIED;
    }
    std::string text;
    text.reserve(entry->size + entry->size / 8 + 4096);
    entry->hive->WriteText(text);
    const int rc = ReplaceFile(file, folder, text.data(), text.size(), exists ? &old : nullptr,
                               MachineHive(hive) ? kMachineFileMode : kUserFileMode);
    if (rc != 0) {
        Forget(cache, file);
        return ErrnoToWin32(rc, file);
    }
    SyncFolder(folder);
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat written {};
    if (fd < 0 || ::fstat(fd, &written) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        Forget(cache, file);
        return ERROR_SUCCESS;
    }
    entry->Hold(fd);
    entry->missing = false;
    entry->identity = FileIdentity(written);
    entry->racy = false;
    entry->bytes.clear();
    entry->size = text.size();
    return ERROR_SUCCESS;
}

} // namespace platform::posix
