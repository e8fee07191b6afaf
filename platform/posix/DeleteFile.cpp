// Removing a file, with the refusals of Windows: a folder and a read-only file
// (one nobody may write) are not deleted.
#include <platform/Win32.h>

#include "ErrnoToWin32.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const std::string path = lpFileName;
    if (path.find_first_of("*?") != std::string::npos) {
        SetLastError(ERROR_INVALID_NAME); // no wildcards in a file's name on Windows
        return FALSE;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        SetLastError(platform::ErrnoToWin32(errno, path));
        return FALSE;
    }
    // A link to a folder is a folder to Windows too.
    struct stat target {};
    const bool linkToFolder = S_ISLNK(st.st_mode) && ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    if (S_ISDIR(st.st_mode) || linkToFolder ||
        (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(platform::ErrnoToWin32(errno, path));
        return FALSE;
    }
    return TRUE;
}
