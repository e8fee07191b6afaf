#include "MachineRoot.h"

#include <platform/Win32.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

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

bool MakeFolders(const std::string& path)
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
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
        return false;
    }
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
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
