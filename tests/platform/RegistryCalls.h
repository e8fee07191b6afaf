// The registry's raw calls as the registry tests of both builds make them.
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

// Sets the bytes with a non-NUL byte after them, so Windows counts no NUL that the size leaves out.
inline LSTATUS Set(HKEY key, const char* value, DWORD type, const std::string& bytes)
{
    const std::string buffer = bytes + 'X';
    return RegSetValueExA(key, value, 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                          static_cast<DWORD>(bytes.size()));
}

// The value's type and bytes (their size asked first); kUnreadable when there is no such value.
inline std::pair<DWORD, std::string> Get(HKEY key, const char* value)
{
    DWORD type = kUnreadable, size = 0;
    if (RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {kUnreadable, ""};
    std::string buffer(size + 1, static_cast<char>(kSentinel));
    DWORD got = size;
    EXPECT_EQ(RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got), 0);
    EXPECT_EQ(std::make_pair(got, buffer.back()), std::make_pair(size, static_cast<char>(kSentinel))); // no more
    return {type, buffer.substr(0, got)};
}

// The subkeys' or the values' names in the order the enumeration gives them.
inline std::vector<std::string> Names(HKEY key, bool values)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD size = sizeof name;; size = sizeof name) {
        const auto index = static_cast<DWORD>(names.size());
        if ((values ? RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                    : RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)) != ERROR_SUCCESS)
            return names;
        EXPECT_EQ(size, std::strlen(name));
        names.emplace_back(name, size);
    }
}
inline std::vector<std::string> Subkeys(HKEY key) { return Names(key, false); }
inline std::vector<std::string> ValueNames(HKEY key) { return Names(key, true); }

// The path of levels keys, the first named first, the others "d".
inline std::string Levels(std::string path, int levels)
{
    while (--levels > 0) path += "\\d";
    return path;
}

inline HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS);
    return key;
}

// The status of creating (or opening) the key; the handle given back must be null exactly on failure.
inline LSTATUS CreateAndClose(HKEY parent, const std::string& path, bool create = true,
                              REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr)
{
    HKEY key = HKEY_USERS;
    const char* subkey = path.c_str();
    const LSTATUS status = create ? RegCreateKeyExA(parent, subkey, 0, nullptr, 0, access, nullptr, &key, disposition)
                                  : RegOpenKeyExA(parent, subkey, 0, access, &key);
    EXPECT_EQ(key == nullptr, status != ERROR_SUCCESS) << path;
    RegCloseKey(key);
    return status;
}
inline LSTATUS OpenAndClose(HKEY parent, const std::string& path, REGSAM access = KEY_READ)
{ return CreateAndClose(parent, path, false, access); }

// Removes the key with everything below it, each level relative to its parent (no path outgrows the ANSI calls).
inline void DeleteTree(HKEY parent, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const std::string& child : Subkeys(key)) DeleteTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

} // namespace registry_calls
