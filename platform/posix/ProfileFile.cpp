#include "ProfileFile.h"

#include <platform/Win32.h>

#include "AnsiText.h"
#include "ErrnoToWin32.h"
#include "MachineRoot.h"
#include "StateFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

constexpr std::size_t kCachedFiles = 16;

using Fingerprint = FileIdentity;

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

} // namespace

static bool LinkMayBeFollowed(const std::string& link, const struct stat& st)
{
    // As the kernel's protected_symlinks: in a folder others may write, only a
    // link of the caller's or of the folder's owner leads anywhere, so no
    // other user can send a write into a file of their choosing.
    struct stat folder {};
    if (::stat(FolderOf(link).c_str(), &folder) != 0) {
        return false;
    }
    return (folder.st_mode & 0002) == 0 || st.st_uid == ::geteuid() || st.st_uid == folder.st_uid;
}

bool InWindowsFolder(const std::string& path)
{
    return FolderOf(path) == WindowsFolder();
}

std::string WinIniPath()
{
    return WindowsFolder() + "/WIN.INI";
}

std::string ProfilePath(const char* fileName)
{
    if (fileName == nullptr) {
        return WinIniPath();
    }
    if (*fileName == '\0') {
        return {}; // Windows takes "" as the Windows folder itself, which is no file
    }
    const std::string name(fileName);
    return name.find('/') == std::string::npos ? WindowsFolder() + '/' + name : name;
}

std::shared_ptr<const ProfileText> LoadProfile(const std::string& path, std::uint32_t& error)
{
    if (path.empty()) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    // A file of the Windows folder is the machine's: a link there is not followed,
    // and one that someone else may change is not read.
    const bool machine = InWindowsFolder(path);
    if (machine && CheckMachinePath(path, "a profile of the machine") != ERROR_SUCCESS) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    struct stat st {};
    if ((machine ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st)) != 0) {
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
    const int rc = ReadFileBytes(path, bytes, st, machine);
    if (rc != 0) {
        error = rc == ELOOP ? ERROR_ACCESS_DENIED : ErrnoToWin32(rc, path);
        return nullptr;
    }
    error = ERROR_SUCCESS;
    // A file that starts with UTF-16's byte order mark holds UTF-16, as
    // Windows reads it.
    const bool utf16 = bytes.compare(0, 2, "\xFF\xFE") == 0;
    if (utf16) {
        bytes = AnsiFromUtf16(std::string_view(bytes).substr(2));
    }
    if (cached && Fingerprint(st) == seen && bytes == cached->Text() && utf16 == cached->Utf16()) {
        Remember(path, seen, cached, ChangedInTickOf(st, readStart));
        return cached;
    }
    auto text = std::make_shared<const ProfileText>(std::move(bytes), folding, utf16);
    Remember(path, Fingerprint(st), text, ChangedInTickOf(st, readStart));
    return text;
}

std::uint32_t UpdateProfile(const std::string& path, bool createIfMissing, const ProfileEdit& edit)
{
    if (path.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    std::string target = path;
    struct stat st {};
    const bool machineWide = InWindowsFolder(path);
    // Through a symbolic link the file it points to is changed; the link stays.
    // Not in the Windows folder, which is the machine's: there a link is refused.
    if (!machineWide && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (!LinkMayBeFollowed(target, st)) {
            return ERROR_ACCESS_DENIED;
        }
        std::vector<char> leads(4096);
        const ssize_t length = ::readlink(target.c_str(), leads.data(), leads.size() - 1);
        if (length <= 0) {
            return ERROR_ACCESS_DENIED;
        }
        const std::string to(leads.data(), static_cast<std::size_t>(length));
        target = to[0] == '/' ? to : FolderOf(target) + "/" + to;
        if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            return ERROR_ACCESS_DENIED; // one link is followed, not a chain
        }
    }
    const std::string folder = FolderOf(target);
    if (machineWide) {
        // Checked before anything is made, and again once the folders are
        // there, so none can have been put in their place meanwhile.
        if (CheckMachinePath(target, "a profile of the machine") != ERROR_SUCCESS || !MakeFolders(folder) ||
            CheckMachinePath(target, "a profile of the machine") != ERROR_SUCCESS) {
            return ERROR_ACCESS_DENIED;
        }
        if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            return ERROR_ACCESS_DENIED;
        }
    }
    // Writers take the lock file beside the file, which only they may open:
    // a user who may only read the file cannot make them wait.
    const std::string name = target.substr(folder == "." ? 0 : folder.size() + 1);
    const WriteLock lock = WriteLock::OfLockFile((folder == "." ? "." : folder) + "/." + name + ".lock");
    if (lock.error() != ERROR_SUCCESS) {
        return lock.error();
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
    // A UTF-16 file stays UTF-16, as Windows writes it.
    const std::string written = current->Utf16() ? "\xFF\xFE" + Utf16FromAnsi(*updated) : *updated;
    // WIN.INI is the machine's: readable by every user, whatever the umask.
    const int rc = ReplaceFile(target, folder, written.data(), written.size(), exists ? &st : nullptr,
                               machineWide ? kMachineFileMode : 0);
    if (rc != 0) {
        return ErrnoToWin32(rc, target);
    }
    SyncFolder(folder);
    if (::stat(target.c_str(), &st) == 0) {
        Remember(target, Fingerprint(st),
                 std::make_shared<const ProfileText>(std::move(*updated), current->Folding(), current->Utf16()), true);
    }
    return ERROR_SUCCESS;
}

} // namespace platform::posix
