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

bool FindProgramFolder(std::string& folder, std::uint32_t& error)
{
    SetLastError(ERROR_SUCCESS);
    folder = ModuleFolder(nullptr);
    if (!folder.empty()) {
        return true;
    }
    error = GetLastError() != ERROR_SUCCESS ? GetLastError() : static_cast<DWORD>(ERROR_PATH_NOT_FOUND);
    return false;
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
    // Append access without write access: Windows puts every write of such a
    // handle at the end of the file as one piece, whoever else appends.
    HANDLE file = CreateFileA(ToAnsi(pathUtf8).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The extra step Wine needs: writers take turns on one byte far beyond
    // any real data, so that finding the end and writing there is one step
    // for each of them. Where the lock is refused, the append-only handle
    // alone places the write.
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

bool PathExists(const std::string& pathUtf8)
{
    return !pathUtf8.empty() && GetFileAttributesA(ToAnsi(pathUtf8).c_str()) != INVALID_FILE_ATTRIBUTES;
}

MachineLock::MachineLock(const std::string& name)
{
    // Machine-wide needs the right to make global objects (administrators
    // have it); without it, the lock of the session.
    for (const char* space : {"Global\\", ""}) {
        mutex_ = CreateMutexA(nullptr, FALSE, (std::string(space) + "Brenlix." + name).c_str());
        if (mutex_ != nullptr) {
            break;
        }
    }
    if (mutex_ == nullptr) {
        return;
    }
    const DWORD waited = WaitForSingleObject(mutex_, 60000);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

MachineLock::~MachineLock()
{
    if (mutex_ == nullptr) {
        return;
    }
    if (held_) {
        ReleaseMutex(mutex_);
    }
    CloseHandle(mutex_);
}

namespace {

// True when both names lead to one file (its volume and index match).
bool SameFile(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::string* names[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        const HANDLE file = CreateFileA(names[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const BOOL read = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!read) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Writes the file's data through to the disk (the rename's write-through
// covers only the rename); 0 or the Win32 code.
DWORD FlushToDisk(const char* path)
{
    // A copy of a read-only source is read-only: writable for the moment.
    const DWORD attributes = GetFileAttributesA(path);
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    DWORD error = 0;
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        error = FlushFileBuffers(file) ? 0 : GetLastError();
        CloseHandle(file);
    }
    if (readOnly) {
        SetFileAttributesA(path, attributes);
    }
    return error;
}

} // namespace

std::uint32_t CopyFileReplacing(const std::string& sourceUtf8, const std::string& destinationUtf8)
{
    const std::string source = ToAnsi(sourceUtf8);
    const std::string destination = ToAnsi(destinationUtf8);
    if (source.empty() || destination.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    const DWORD from = GetFileAttributesA(source.c_str());
    if (from == INVALID_FILE_ATTRIBUTES) {
        return GetLastError();
    }
    if ((from & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    const DWORD to = GetFileAttributesA(destination.c_str());
    if (to != INVALID_FILE_ATTRIBUTES) {
        if ((to & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        if (SameFile(source, destination)) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    // The copy goes to a file of its own in the destination's folder and
    // replaces the destination only once complete and written through: until
    // then the destination is as it was, whatever fails on the way.
    const std::size_t separator = destination.find_last_of("\\/");
    std::string folder = separator == std::string::npos ? std::string(".") : destination.substr(0, separator + 1);
    if (separator == std::string::npos && destination.size() >= 2 && destination[1] == ':') {
        folder = destination.substr(0, 2) + "."; // "D:name": the drive's current folder
    }
    char temp[MAX_PATH];
    if (GetTempFileNameA(folder.c_str(), "dmw", 0, temp) == 0) {
        const DWORD error = GetLastError();
        return error == ERROR_DIRECTORY || error == ERROR_FILE_NOT_FOUND ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND)
                                                                         : error;
    }
    DWORD error = 0;
    if (!CopyFileA(source.c_str(), temp, FALSE)) {
        error = GetLastError();
    } else if ((error = FlushToDisk(temp)) == 0 &&
               !MoveFileExA(temp, destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
    }
    if (error != 0) {
        SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(temp);
    }
    return error;
}

} // namespace platform
