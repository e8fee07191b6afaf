#include "MachineRoot.h"

#include <platform/Win32.h>

#include <cerrno>
#include <cstdlib>
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
