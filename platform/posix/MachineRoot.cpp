#include "MachineRoot.h"

#include <platform/Win32.h>

#include "StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

std::string MachineRoot()
{
    const char* configured = std::getenv("BRENLIX_ROOT");
    std::string root = configured != nullptr && *configured != '\0' ? configured : "/var/lib/brenlix";
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

std::string WindowsFolder()
{
    const std::string root = MachineRoot();
    return root == "/" ? "/windows" : root + "/windows";
}

namespace {

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// True when the folder, or the nearest folder above it that exists, belongs
// to the effective user: a folder the environment names that is someone
// else's (HOME kept by sudo -E) is not where this user's hive goes.
bool OwnedByCaller(std::string path)
{
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (path == "/") {
            return false;
        }
        const std::size_t slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
    return st.st_uid == ::geteuid();
}

// The absolute folder the variable names when it belongs to the caller, else "".
std::string OwnFolderFrom(const char* variable)
{
    const char* set = std::getenv(variable);
    if (set == nullptr || set[0] != '/') {
        return std::string();
    }
    std::string folder = WithoutTrailingSlashes(set);
    return OwnedByCaller(folder) ? folder : std::string();
}

std::string AccountHome()
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return WithoutTrailingSlashes(found->pw_dir);
    }
    return "/"; // an account without a home keeps its hive in /.config, which root alone may make
}

} // namespace

std::string UserConfigFolder()
{
    if (const std::string config = OwnFolderFrom("XDG_CONFIG_HOME"); !config.empty()) {
        return (config == "/" ? std::string() : config) + "/brenlix";
    }
    std::string home = OwnFolderFrom("HOME");
    if (home.empty()) {
        home = AccountHome();
    }
    return (home == "/" ? std::string() : home) + "/.config/brenlix";
}

namespace {

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    std::vector<char> here(4096);
    if (::getcwd(here.data(), here.size()) == nullptr) {
        return "/" + path;
    }
    return std::string(here.data()) + "/" + path;
}

// The places on an absolute path from the top down: "/", "/a", "/a/b", ...
// ("." and empty parts are passed over; ".." is kept as a place of its own).
std::vector<std::string> Places(const std::string& path)
{
    std::vector<std::string> places{"/"};
    std::string current;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty() && part != ".") {
            current += "/" + part;
            places.push_back(current);
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return places;
}

// At or below root ("" for none).
bool Within(const std::string& place, const std::string& root)
{
    return !root.empty() && (place == root || (place.size() > root.size() && place.compare(0, root.size(), root) == 0 &&
                             (root == "/" || place[root.size()] == '/')));
}

// The path as the places of the walk spell it ("//", "/./" and a trailing "/" gone).
std::string Normal(const std::string& path)
{
    return Places(Absolute(path)).back();
}

std::string OpenToOthers(const std::string& path, const std::string& givenRoot, int depth)
{
    if (depth > 40) {
        return path; // links without end
    }
    const std::string root = givenRoot.empty() ? givenRoot : Normal(givenRoot);
    const uid_t caller = ::geteuid();
    for (const std::string& place : Places(Absolute(path))) {
        struct stat st {};
        if (::lstat(place.c_str(), &st) != 0) {
            // What is missing is made by the caller; the place above it was checked.
            return errno == ENOENT || errno == ENOTDIR ? std::string() : place;
        }
        if (st.st_uid != 0 && st.st_uid != caller) {
            return place;
        }
        if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(4096);
            const ssize_t length = ::readlink(place.c_str(), target.data(), target.size() - 1);
            if (length < 0) {
                return place;
            }
            std::string leads(target.data(), static_cast<std::size_t>(length));
            if (leads.empty() || leads[0] != '/') {
                leads = FolderOf(place) + "/" + leads;
            }
            // Where a link at or below the root leads holds the machine's state
            // (the folders above it are ancestors as the root's are); where a
            // link above the root leads is an ancestor.
            const std::string open = OpenToOthers(leads, Within(place, root) ? leads : std::string(), depth + 1);
            if (!open.empty()) {
                return open;
            }
            continue;
        }
        const bool sharedSticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0 && !Within(place, root);
        if ((st.st_mode & 0022) != 0 && !sharedSticky) {
            return place;
        }
    }
    return std::string();
}

} // namespace

std::string MachinePathOpenToOthers(const std::string& path)
{
    return OpenToOthers(path, Absolute(MachineRoot()), 0);
}

std::uint32_t CheckMachinePath(const std::string& path, const char* what)
{
    const std::string open = MachinePathOpenToOthers(path);
    if (open.empty()) {
        return ERROR_SUCCESS;
    }
    static std::mutex lock;
    static std::set<std::string> told;
    const std::lock_guard guard(lock);
    if (told.insert(path).second) {
        std::fprintf(stderr, "brenlix: %s is not used as %s: another user than root may change %s\n", path.c_str(),
                     what, open.c_str());
    }
    return ERROR_ACCESS_DENIED;
}

bool MakeFolders(const std::string& path, mode_t mode)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR; // something else holds the folder's name
            return false;
        }
        return true;
    }
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), mode)) {
        return false;
    }
    if (::mkdir(path.c_str(), mode) != 0) {
        return errno == EEXIST; // made by another process meanwhile, with its own mode
    }
    // The mode goes to the folder just made, not to whatever another process
    // may have put under its name since. A umask that took the owner's own
    // read or search bit makes the folder unopenable; then its mode is set by
    // name, still refusing a symbolic link.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == EACCES && ::fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0;
    }
    const bool done = ::fchmod(fd, mode) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return done;
}

} // namespace platform::posix

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    const std::string folder = platform::posix::WindowsFolder();
    // Too small: the size needed, counting the NUL, and nothing written.
    if (lpBuffer == nullptr || uSize <= folder.size()) {
        return static_cast<UINT>(folder.size() + 1);
    }
    std::memcpy(lpBuffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}
