#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/Win32.h>

namespace platform {

bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

char PathSeparator()
{
    return '\\';
}

std::string ProgramFolder()
{
    std::string path(MAX_PATH, '\0');
    while (true) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of("\\/");
    return FromAnsi(separator == std::string::npos ? std::string() : path.substr(0, separator));
}

bool AppendToFile(const std::string& pathUtf8, std::string_view bytes)
{
    if (pathUtf8.empty()) {
        return false;
    }
    HANDLE file = CreateFileA(ToAnsi(pathUtf8).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Writers of the file take turns on one byte far beyond any real data, so
    // that finding the end and writing there is one step for each of them.
    // Windows appends atomically by itself on an append-only handle, Wine does
    // not.
    OVERLAPPED turn{};
    turn.Offset = 0xFFFFFFFEu;
    turn.OffsetHigh = 0x7FFFFFFFu;
    const BOOL locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn);
    LARGE_INTEGER end{};
    DWORD written = 0;
    const BOOL ok = SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) &&
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (locked) {
        UnlockFileEx(file, 0, 1, 0, &turn);
    }
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == bytes.size();
}

std::uint32_t CopyFileReplacing(const std::string& sourceUtf8, const std::string& destinationUtf8)
{
    if (CopyFileA(ToAnsi(sourceUtf8).c_str(), ToAnsi(destinationUtf8).c_str(), FALSE)) {
        return 0;
    }
    return GetLastError();
}

} // namespace platform
