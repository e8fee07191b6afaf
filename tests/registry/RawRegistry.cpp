#include "RawRegistry.h"

#include <platform/Win32.h>

#include <algorithm>
#include <cstdint>

namespace raw {

namespace {

HKEY Root(std::int32_t root)
{
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(root));
}

struct Key {
    HKEY handle = nullptr;
    Key(std::int32_t root, const std::string& path, DWORD access)
    {
        if (RegOpenKeyExA(Root(root), path.c_str(), 0, access, &handle) != ERROR_SUCCESS) {
            handle = nullptr;
        }
    }
    ~Key()
    {
        if (handle != nullptr) {
            RegCloseKey(handle);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
};

// Deletes the key and its subkeys, relative to the parent at each level, so
// that no path grows beyond what the ANSI calls take.
void RemoveBelow(HKEY parent, const std::string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) == ERROR_SUCCESS) {
        std::vector<std::string> children;
        char child[1024];
        while (RegEnumKeyA(key, static_cast<DWORD>(children.size()), child, sizeof child) == ERROR_SUCCESS) {
            children.emplace_back(child);
        }
        for (const std::string& each : children) {
            RemoveBelow(key, each);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(parent, name.c_str());
}

} // namespace

std::optional<Stored> Read(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(root, key, KEY_QUERY_VALUE);
    DWORD type = 0;
    DWORD size = 0;
    if (open.handle == nullptr ||
        RegQueryValueExA(open.handle, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string bytes(size + 1, '\xbd');
    if (RegQueryValueExA(open.handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    bytes.resize(size);
    return Stored{type, bytes};
}

long Write(std::int32_t root, const std::string& key, const std::string& name, const Stored& value)
{
    // One level at a time: the ANSI calls take paths of at most MAX_PATH characters.
    HKEY handle = Root(root);
    LONG result = ERROR_SUCCESS;
    for (std::size_t start = 0; result == ERROR_SUCCESS && start <= key.size();) {
        const std::size_t end = std::min(key.find('\\', start), key.size());
        HKEY child = nullptr;
        result = RegCreateKeyExA(handle, key.substr(start, end - start).c_str(), 0, nullptr, 0,
                                 KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &child, nullptr);
        if (handle != Root(root)) {
            RegCloseKey(handle);
        }
        handle = child;
        start = end + 1;
    }
    if (result == ERROR_SUCCESS) {
        // A sentinel after the data: the system adds a NUL to a text whose
        // next byte happens to be one, and the bytes must be stored as given.
        const std::string data = value.bytes + '\xbd';
        result = RegSetValueExA(handle, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(value.bytes.size()));
    }
    if (handle != nullptr && handle != Root(root)) {
        RegCloseKey(handle);
    }
    return result;
}

void RemoveValue(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(root, key, KEY_SET_VALUE);
    if (open.handle != nullptr) {
        RegDeleteValueA(open.handle, name.c_str());
    }
}

bool KeyExists(std::int32_t root, const std::string& key)
{
    return Key(root, key, KEY_QUERY_VALUE).handle != nullptr;
}

std::vector<std::string> Subkeys(std::int32_t root, const std::string& key)
{
    std::vector<std::string> names;
    const Key open(root, key, KEY_ENUMERATE_SUB_KEYS);
    char name[1024];
    while (open.handle != nullptr &&
           RegEnumKeyA(open.handle, static_cast<DWORD>(names.size()), name, sizeof name) == ERROR_SUCCESS) {
        names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> ValueNames(std::int32_t root, const std::string& key)
{
    std::vector<std::string> names;
    const Key open(root, key, KEY_QUERY_VALUE);
    char name[65536];
    for (;;) {
        DWORD size = sizeof name;
        if (open.handle == nullptr || RegEnumValueA(open.handle, static_cast<DWORD>(names.size()), name, &size,
                                                    nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return names;
        }
        names.emplace_back(name, size);
    }
}

void RemoveTree(std::int32_t root, const std::string& key, const std::string& stopAt)
{
    RemoveBelow(Root(root), key);
    std::string parent = key;
    for (;;) {
        const std::size_t slash = parent.rfind('\\');
        if (slash == std::string::npos) {
            return;
        }
        parent.erase(slash);
        if (parent == stopAt || !Subkeys(root, parent).empty() || !ValueNames(root, parent).empty() ||
            RegDeleteKeyA(Root(root), parent.c_str()) != ERROR_SUCCESS) {
            return;
        }
    }
}

} // namespace raw
