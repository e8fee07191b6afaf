// Reading and writing the registry through its raw calls, for the registry
// tests of both builds.
#pragma once

#include <platform/Win32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace registry_calls {

constexpr BYTE kSentinel = 0xbd;
constexpr DWORD kUnreadable = 0xdead;

inline std::string Bytes(const char* text, std::size_t size)
{
    return std::string(text, size);
}

// Sets the bytes with a non-NUL byte after them, so Windows counts no NUL
// that the size leaves out.
inline LSTATUS Set(HKEY key, const char* value, DWORD type, const std::string& bytes)
{
    std::vector<BYTE> buffer(bytes.begin(), bytes.end());
    buffer.push_back('X');
    return RegSetValueExA(key, value, 0, type, buffer.data(), static_cast<DWORD>(bytes.size()));
}

// The value's type and bytes (asked for their size first); kUnreadable when
// there is no such value.
inline std::pair<DWORD, std::string> Get(HKEY key, const char* value)
{
    DWORD type = kUnreadable;
    DWORD size = 0;
    if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return {kUnreadable, ""};
    }
    std::vector<BYTE> buffer(size + 1, kSentinel);
    DWORD got = size;
    EXPECT_EQ(RegQueryValueExA(key, value, nullptr, &type, buffer.data(), &got), ERROR_SUCCESS);
    EXPECT_EQ(got, size);
    EXPECT_EQ(buffer[size], kSentinel); // nothing past what fits
    return {type, std::string(buffer.begin(), buffer.begin() + got)};
}

inline std::vector<std::string> Subkeys(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, static_cast<DWORD>(names.size()), name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        EXPECT_EQ(size, std::strlen(name));
        names.emplace_back(name);
        size = sizeof name;
    }
    return names;
}

inline std::vector<std::string> ValueNames(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumValueA(key, static_cast<DWORD>(names.size()), name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    return names;
}

inline HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS);
    return key;
}

// Removes the key with everything below it.
inline void DeleteTree(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    char child[256];
    while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS) {
        DeleteTree(key, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

} // namespace registry_calls
