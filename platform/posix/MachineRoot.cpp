#include "MachineRoot.h"

#include <platform/Win32.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

std::string UserConfigFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        std::string folder = config;
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        return (folder == "/" ? std::string() : folder) + "/brenlix";
    }
    std::string home;
    if (const char* set = std::getenv("HOME"); set != nullptr && set[0] == '/') {
        home = set;
    } else {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/') {
            home = found->pw_dir;
        } else {
            home = "/"; // an account without a home keeps its hive in /.config, which root alone may make
        }
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
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
    return ::chmod(path.c_str(), mode) == 0;
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
