#include "RawRegistry.h"

#include <platform/Win32.h>

#include <algorithm>

namespace raw {

namespace {

const auto Root = [](std::int32_t root) { return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(root)); };

struct Key {
    HKEY handle = nullptr;
    Key(HKEY parent, const std::string& path, DWORD access)
    {
        handle = RegOpenKeyExA(parent, path.c_str(), 0, access, &handle) == ERROR_SUCCESS ? handle : nullptr;
    }
    ~Key() { handle != nullptr && RegCloseKey(handle); }
};

std::vector<std::string> Children(HKEY key)
{
    std::vector<std::string> names;
    char name[1024];
    while (key != nullptr && RegEnumKeyA(key, DWORD(names.size()), name, sizeof name) == ERROR_SUCCESS) {
        names.emplace_back(name);
    }
    return names;
}

// Relative to the parent at each level, so that no path outgrows the ANSI calls.
void RemoveBelow(HKEY parent, const std::string& name)
{
    const Key key(parent, name, KEY_ENUMERATE_SUB_KEYS);
    for (const std::string& child : Children(key.handle)) {
        RemoveBelow(key.handle, child);
    }
    RegDeleteKeyA(parent, name.c_str());
}

} // namespace

std::optional<Stored> Read(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(Root(root), key, KEY_QUERY_VALUE);
    DWORD type = 0;
    DWORD size = 0;
    if (open.handle == nullptr || RegQueryValueExA(open.handle, name.c_str(), nullptr, &type, nullptr, &size) != 0) {
        return std::nullopt;
    }
    std::string bytes(size + 1, '\xbd');
    if (RegQueryValueExA(open.handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size)) {
        return std::nullopt;
    }
    bytes.resize(size);
    return Stored{type, bytes};
}

long Write(std::int32_t root, const std::string& key, const std::string& name, const Stored& value)
{
    HKEY handle = Root(root);
    LONG result = ERROR_SUCCESS;
    for (std::size_t start = 0; result == ERROR_SUCCESS && start <= key.size();) { // one level at a time
        const std::size_t end = std::min(key.find('\\', start), key.size());
        HKEY child = nullptr;
        result = RegCreateKeyExA(handle, key.substr(start, end - start).c_str(), 0, nullptr, 0,
                                 KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &child, nullptr);
        handle != Root(root) && RegCloseKey(handle);
        handle = child;
        start = end + 1;
    }
    // A byte after the data: the system adds a NUL to a text when the next byte is one.
    const std::string data = value.bytes + '\xbd';
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(handle, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                                DWORD(value.bytes.size()));
    }
    handle != nullptr && handle != Root(root) && RegCloseKey(handle);
    return result;
}

void RemoveValue(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(Root(root), key, KEY_SET_VALUE);
    open.handle != nullptr && RegDeleteValueA(open.handle, name.c_str());
}

bool KeyExists(std::int32_t root, const std::string& key)
{
    return Key(Root(root), key, KEY_QUERY_VALUE).handle != nullptr;
}

std::vector<std::string> Subkeys(std::int32_t root, const std::string& key)
{
    return Children(Key(Root(root), key, KEY_ENUMERATE_SUB_KEYS).handle);
}

std::vector<std::string> ValueNames(std::int32_t root, const std::string& key)
{
    std::vector<std::string> names;
    const Key open(Root(root), key, KEY_QUERY_VALUE);
    std::string name(65536, '\0');
    for (DWORD size = DWORD(name.size()); open.handle != nullptr && RegEnumValueA(open.handle, DWORD(names.size()),
                                              name.data(), &size, nullptr, nullptr, nullptr, nullptr) == 0;
         size = DWORD(name.size())) {
        names.push_back(name.substr(0, size));
    }
    return names;
}

void RemoveTree(std::int32_t root, const std::string& key, const std::string& stopAt)
{
    RemoveBelow(Root(root), key);
    for (std::string parent = key; parent.rfind('\\') != std::string::npos;) {
        parent.erase(parent.rfind('\\'));
        if (parent == stopAt || !Subkeys(root, parent).empty() || !ValueNames(root, parent).empty() ||
            RegDeleteKeyA(Root(root), parent.c_str()) != ERROR_SUCCESS) {
            return;
        }
    }
}

} // namespace raw
