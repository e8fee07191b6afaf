// Files by pattern, and the current folder. A search reads the folder once and
// hands out what matched, "." and ".." first and the rest in byte order.
#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "HandleTable.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

// The MS-DOS forms Windows gives * and ? before matching (the DOS_* wildcards
// of its file systems).
enum class Wildcard { None, Star, DosStar, DosQuestion, DosDot };

struct PatternPart {
    Wildcard wildcard;
    char literal;
};

// Windows rewrites a pattern before matching: "*.*" is "*"; ? matches one
// character, or none before a dot or the end of the name ("a??" finds "ab");
// a dot before ? or * also matches the end of a name ("name.*" finds "name");
// and "*." at the end finds names without a dot.
std::vector<PatternPart> Compile(std::string_view pattern)
{
    if (pattern == "*.*") {
        pattern = "*";
    }
    std::vector<PatternPart> parts;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '*') {
            parts.push_back({Wildcard::Star, 0});
        } else if (c == '?') {
            parts.push_back({Wildcard::DosQuestion, 0});
        } else if (c == '.' && i + 1 == pattern.size() && i > 0 && pattern[i - 1] == '*') {
            parts.back().wildcard = Wildcard::DosStar;
            parts.push_back({Wildcard::DosDot, 0});
        } else if (c == '.' && i + 1 < pattern.size() && (pattern[i + 1] == '?' || pattern[i + 1] == '*')) {
            parts.push_back({Wildcard::DosDot, 0});
        } else {
            parts.push_back({Wildcard::None, c});
        }
    }
    return parts;
}

// Follows every way through the pattern at once: reach[i] is true when the
// parts so far can match the first i characters of the name.
bool Matches(const std::vector<PatternPart>& pattern, std::string_view name)
{
    const std::size_t n = name.size();
    const std::size_t lastDot = name.rfind('.');
    std::vector<char> reach(n + 1, 0);
    std::vector<char> next(n + 1, 0);
    reach[0] = 1;
    for (const PatternPart& part : pattern) {
        std::fill(next.begin(), next.end(), 0);
        bool on = false;
        for (std::size_t i = 0; i <= n; ++i) {
            if (part.wildcard == Wildcard::Star) {
                on = on || reach[i] != 0;
                next[i] = on ? 1 : 0;
                continue;
            }
            if (reach[i] == 0) {
                continue;
            }
            const bool atDotOrEnd = i == n || name[i] == '.';
            switch (part.wildcard) {
            case Wildcard::DosStar: {
                // Any characters, but not past the name's last dot.
                const std::size_t limit = lastDot != std::string_view::npos && lastDot >= i ? lastDot : n;
                std::fill(next.begin() + static_cast<std::ptrdiff_t>(i),
                          next.begin() + static_cast<std::ptrdiff_t>(limit) + 1, 1);
                break;
            }
            case Wildcard::DosQuestion:
                next[atDotOrEnd ? i : i + 1] = 1;
                break;
            case Wildcard::DosDot:
                if (i < n && name[i] == '.') {
                    next[i + 1] = 1;
                } else if (i == n) {
                    next[i] = 1;
                }
                break;
            default:
                if (i < n && name[i] == part.literal) {
                    next[i + 1] = 1;
                }
                break;
            }
        }
        reach.swap(next);
    }
    return reach[n] != 0;
}

FILETIME ToFileTime(const timespec& t)
{
    constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
                                static_cast<std::uint64_t>(t.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Attributes as Wine gives them for Unix files: folders, files (archive),
// anything else (devices, pipes, sockets) system; dot-files hidden; a file
// nobody may write read-only.
WIN32_FIND_DATAA Describe(const std::string& name, const struct stat& st)
{
    WIN32_FIND_DATAA data{};
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    } else {
        attributes |= S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_SYSTEM;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            attributes |= FILE_ATTRIBUTE_READONLY;
        }
        const auto size = static_cast<std::uint64_t>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
    }
    if (name.size() > 1 && name[0] == '.' && name != "..") {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    data.dwFileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    data.ftCreationTime = ToFileTime(st.st_mtim);
    data.ftLastAccessTime = ToFileTime(st.st_atim);
    data.ftLastWriteTime = ToFileTime(st.st_mtim);
    std::memcpy(data.cFileName, name.c_str(), std::min<std::size_t>(name.size(), MAX_PATH - 1));
    return data;
}

// "." and ".." first, then by bytes.
bool ListedBefore(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b)
{
    const auto rank = [](const char* name) {
        return std::strcmp(name, ".") == 0 ? 0 : std::strcmp(name, "..") == 0 ? 1 : 2;
    };
    const int ra = rank(a.cFileName);
    const int rb = rank(b.cFileName);
    return ra != rb ? ra < rb : std::strcmp(a.cFileName, b.cFileName) < 0;
}

class FindObject final : public HandleObject {
public:
    explicit FindObject(std::vector<WIN32_FIND_DATAA> found) : found_(std::move(found)) {}
    bool ClosedByCloseHandle() const override { return false; }

    // False at the end.
    bool Next(WIN32_FIND_DATAA& data)
    {
        std::lock_guard guard(lock_);
        if (next_ >= found_.size()) {
            return false;
        }
        data = found_[next_++];
        return true;
    }

private:
    std::mutex lock_;
    std::vector<WIN32_FIND_DATAA> found_;
    std::size_t next_ = 1; // the first went out with FindFirstFileA
};

// Fills found; returns 0 or the Win32 code of the failure.
DWORD Search(const std::string& path, std::vector<WIN32_FIND_DATAA>& found)
{
    if (path.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    if (folder.find_first_of("*?") != std::string::npos) {
        return ERROR_INVALID_NAME; // Windows takes wildcards in the last part only
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrnoToWin32(errno, folder);
    }
    if (!S_ISDIR(st.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (pattern.empty()) {
        return ERROR_FILE_NOT_FOUND; // a trailing separator
    }
    if (pattern.find_first_of("*?") == std::string::npos) {
        if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) {
            return ErrnoToWin32(errno, path);
        }
        found.push_back(Describe(pattern, st));
        return ERROR_SUCCESS;
    }

    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return ErrnoToWin32(errno, folder);
    }
    const std::vector<PatternPart> compiled = Compile(pattern);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (folder == "/" && (name == "." || name == "..")) {
            continue; // a root has neither on Windows
        }
        if (!Matches(compiled, name)) {
            continue;
        }
        if (::fstatat(::dirfd(dir), name.c_str(), &st, 0) != 0 &&
            ::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone since it was listed
        }
        found.push_back(Describe(name, st));
    }
    ::closedir(dir);
    if (found.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::sort(found.begin(), found.end(), ListedBefore);
    return ERROR_SUCCESS;
}

} // namespace

} // namespace platform::posix

using platform::posix::FindHandleOf;
using platform::posix::FindObject;

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<WIN32_FIND_DATAA> found;
    const DWORD error = platform::posix::Search(lpFileName, found);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = found.front();
    return platform::posix::AddHandle(std::make_shared<FindObject>(std::move(found)));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    const auto search = FindHandleOf<FindObject>(hFindFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!search->Next(*lpFindFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    if (!FindHandleOf<FindObject>(hFindFile) || !platform::posix::RemoveHandle(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    std::string folder(256, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) {
            SetLastError(platform::ErrnoToWin32(errno));
            return 0;
        }
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    // Too small: the size needed, counting the NUL, and nothing written.
    if (lpBuffer == nullptr || nBufferLength <= folder.size()) {
        return static_cast<DWORD>(folder.size() + 1);
    }
    std::memcpy(lpBuffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}
