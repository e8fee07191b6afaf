// The profile (INI) functions. The file rules are in ProfileText.h, the cache
// and the atomic replacement in ProfileFile.h; this file keeps the Win32
// contract: the buffer and count rules, defaults, and last errors.
#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "ProfileFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using platform::posix::LoadProfile;
using platform::posix::ProfilePath;
using platform::posix::ProfileText;
using platform::posix::UpdateProfile;
using platform::posix::WinIniPath;

namespace {

// A file that cannot be read reads as empty and leaves its reason as the last
// error; a successful read leaves the last error as it was.
std::shared_ptr<const ProfileText> Load(const std::string& path)
{
    std::uint32_t error = 0;
    auto text = LoadProfile(path, error);
    if (!text) {
        SetLastError(error);
    }
    return text;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Trailing spaces of a default are dropped, all of them (a default of blanks
// gives ""), and enclosing quotes, as for a value read from the file.
std::string_view DefaultValue(const char* fallback)
{
    std::string_view text = fallback != nullptr ? fallback : "";
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return Unquote(text);
}

// One string, cut to fit: at most size - 1 bytes and a NUL. Returns the bytes
// copied.
DWORD CopyString(std::string_view text, char* buffer, DWORD size)
{
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// A list whose strings each end in a NUL, with one more NUL after the last.
// A list that does not fit is cut to size - 2 bytes and ends in two NULs, and
// size - 2 is returned; a list filling the buffer to its last byte counts as
// cut. An empty list is written as emptyNuls NULs.
DWORD CopyList(const std::string& list, char* buffer, DWORD size, DWORD emptyNuls)
{
    if (list.empty()) {
        std::memset(buffer, 0, std::min(size, emptyNuls));
        return 0;
    }
    if (list.size() + 2 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

// Windows' integer reading: blanks, a sign, then decimal digits, or hex, octal
// or binary after 0x, 0o or 0b, up to the first other character; the value
// wraps around at 32 bits.
UINT ParseInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0') {
        const char prefix = text[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) {
            i += 2;
        }
    }
    UINT value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                               : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                               : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                      : 99u;
        if (digit >= base) {
            break;
        }
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

// Deleting from a file that is not there succeeds and creates nothing.
BOOL Finish(std::uint32_t error, bool deleting)
{
    if (error == ERROR_FILE_NOT_FOUND && deleting) {
        SetLastError(error);
        return TRUE;
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteSection(const std::string& path, const std::string& section)
{
    return Finish(UpdateProfile(path, false, [&](const ProfileText& text) { return text.WithoutSection(section); }),
                  true);
}

} // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName)
{
    if (lpReturnedString == nullptr || nSize == 0) {
        return 0;
    }
    const auto text = Load(ProfilePath(lpFileName));
    if (!text) {
        // Whatever kept the file from being read (no file, no folder, no
        // access), Windows reports the file as not found.
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    if (lpAppName == nullptr) {
        return CopyList(text ? text->SectionNames() : std::string(), lpReturnedString, nSize, 1);
    }
    if (lpKeyName == nullptr) {
        // A missing section, or one without keys, gives the default.
        const std::string keys = text ? text->KeyNames(lpAppName) : std::string();
        if (!keys.empty()) {
            return CopyList(keys, lpReturnedString, nSize, 1);
        }
    } else if (text) {
        if (const auto value = text->Value(lpAppName, lpKeyName)) {
            return CopyString(Unquote(*value), lpReturnedString, nSize);
        }
    }
    return CopyString(DefaultValue(lpDefault), lpReturnedString, nSize);
}

DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize)
{
    return GetPrivateProfileStringA(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, WinIniPath().c_str());
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName)
{
    if (lpAppName == nullptr || lpKeyName == nullptr) {
        return static_cast<UINT>(nDefault);
    }
    const auto text = Load(ProfilePath(lpFileName));
    const auto value = text ? text->Value(lpAppName, lpKeyName) : std::nullopt;
    // An empty value counts as missing.
    if (!value || Unquote(*value).empty()) {
        return static_cast<UINT>(nDefault);
    }
    return ParseInteger(Unquote(*value));
}

UINT WINAPI GetProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault)
{
    return GetPrivateProfileIntA(lpAppName, lpKeyName, nDefault, WinIniPath().c_str());
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
    if (lpAppName == nullptr || lpReturnedString == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (nSize == 0) {
        return 0;
    }
    const auto text = Load(ProfilePath(lpFileName));
    if (text) {
        SetLastError(ERROR_SUCCESS); // as Windows does after reading a section, even an empty one
    }
    const std::string lines = text ? text->SectionLines(lpAppName) : std::string();
    return CopyList(lines, lpReturnedString, nSize, 2);
}

DWORD WINAPI GetProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize)
{
    return GetPrivateProfileSectionA(lpAppName, lpReturnedString, nSize, WinIniPath().c_str());
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR lpszReturnBuffer, DWORD nSize, LPCSTR lpFileName)
{
    if (lpszReturnBuffer == nullptr || nSize == 0) {
        return 0;
    }
    const auto text = Load(ProfilePath(lpFileName));
    return CopyList(text ? text->SectionNames() : std::string(), lpszReturnBuffer, nSize, 1);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName)
{
    const std::string path = ProfilePath(lpFileName);
    if (lpAppName == nullptr) {
        if (lpKeyName == nullptr && lpString == nullptr) {
            // A flush. Nothing is held back here, and Windows reports a flush
            // as a failure.
            struct stat st {};
            SetLastError(::stat(path.c_str(), &st) == 0 ? ERROR_SUCCESS : platform::ErrnoToWin32(errno, path));
            return FALSE;
        }
        // Windows reports a key or value without a section as a missing file.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string section(lpAppName);
    if (lpKeyName == nullptr) {
        return DeleteSection(path, section);
    }
    const std::string key(lpKeyName);
    if (lpString == nullptr) {
        return Finish(UpdateProfile(path, false, [&](const ProfileText& text) { return text.WithoutKey(section, key); }),
                      true);
    }
    const std::string value(lpString);
    return Finish(
        UpdateProfile(path, true, [&](const ProfileText& text) { return text.WithValue(section, key, value); }),
        false);
}

BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString)
{
    return WritePrivateProfileStringA(lpAppName, lpKeyName, lpString, WinIniPath().c_str());
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR lpAppName, LPCSTR lpString, LPCSTR lpFileName)
{
    if (lpAppName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = ProfilePath(lpFileName);
    const std::string section(lpAppName);
    if (lpString == nullptr) {
        return DeleteSection(path, section);
    }
    std::vector<std::string_view> lines;
    for (const char* line = lpString; *line != '\0'; line += std::strlen(line) + 1) {
        lines.emplace_back(line);
    }
    return Finish(
        UpdateProfile(path, true, [&](const ProfileText& text) { return text.WithSectionLines(section, lines); }),
        false);
}

BOOL WINAPI WriteProfileSectionA(LPCSTR lpAppName, LPCSTR lpString)
{
    return WritePrivateProfileSectionA(lpAppName, lpString, WinIniPath().c_str());
}
