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

namespace {

// The folder of a loaded module's file (nullptr: the program), without the
// trailing separator; empty when the system cannot name it.
std::string ModuleFolder(HMODULE module)
{
    std::string path(MAX_PATH, '\0');
    while (true) {
        const DWORD length = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
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

} // namespace

std::string ProgramFolder()
{
    return ModuleFolder(nullptr);
}

std::string LibraryFolder()
{
    // The module that holds this very function.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&LibraryFolder), &module)) {
        return {};
    }
    return ModuleFolder(module);
}

bool HasDrives()
{
    return true;
}

std::string CurrentDirectory()
{
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0) {
        return {};
    }
    std::string path(size, '\0');
    const DWORD length = GetCurrentDirectoryA(size, path.data());
    path.resize(length < size ? length : 0);
    return FromAnsi(path);
}

std::string DriveCurrentDirectory(char drive)
{
    const char relative[] = {drive, ':', '\0'};
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(relative, MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return FromAnsi(std::string(buffer, length));
}

std::uint32_t ReadWholeFile(const std::string& pathUtf8, std::string& bytes)
{
    HANDLE file = CreateFileA(ToAnsi(pathUtf8).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    bytes.clear();
    char buffer[65536];
    DWORD read = 0;
    std::uint32_t error = 0;
    while (true) {
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            error = GetLastError();
            break;
        }
        if (read == 0) {
            break;
        }
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return error;
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
