#include "RawRegistry.h"

#include "../platform/RegistryCalls.h"

#include <algorithm>

namespace raw {

namespace {

HKEY Root(std::int32_t root) { return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(root)); }

struct Key {
    HKEY handle = nullptr;
    Key(std::int32_t root, const std::string& path, DWORD access)
    {
        handle = RegOpenKeyExA(Root(root), path.c_str(), 0, access, &handle) == ERROR_SUCCESS ? handle : nullptr;
    }
    ~Key() { handle != nullptr && RegCloseKey(handle); }
    std::vector<std::string> Names(bool values) const
    {
        return handle == nullptr ? std::vector<std::string>{} : registry_calls::Names(handle, values);
    }
};

} // namespace

std::optional<Stored> Read(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(root, key, KEY_QUERY_VALUE);
    const auto [type, bytes] = open.handle ? registry_calls::Get(open.handle, name.c_str())
                                           : std::pair{registry_calls::kUnreadable, std::string()};
    return type == registry_calls::kUnreadable ? std::nullopt : std::optional(Stored{type, bytes});
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
    result = result != ERROR_SUCCESS ? result : registry_calls::Set(handle, name.c_str(), value.type, value.bytes);
    handle != nullptr && handle != Root(root) && RegCloseKey(handle);
    return result;
}

void RemoveValue(std::int32_t root, const std::string& key, const std::string& name)
{
    const Key open(root, key, KEY_SET_VALUE);
    open.handle != nullptr && RegDeleteValueA(open.handle, name.c_str());
}

bool KeyExists(std::int32_t root, const std::string& key) { return Key(root, key, KEY_QUERY_VALUE).handle; }
std::vector<std::string> Subkeys(std::int32_t root, const std::string& key)
{
    return Key(root, key, KEY_READ).Names(false);
}
std::vector<std::string> ValueNames(std::int32_t root, const std::string& key)
{
    return Key(root, key, KEY_READ).Names(true);
}

void RemoveTree(std::int32_t root, const std::string& key, const std::string& stopAt)
{
    registry_calls::DeleteTree(Root(root), key);
    for (std::string parent = key; parent.rfind('\\') != std::string::npos;) {
        parent.erase(parent.rfind('\\'));
        if (parent == stopAt || !Subkeys(root, parent).empty() || !ValueNames(root, parent).empty() ||
            RegDeleteKeyA(Root(root), parent.c_str()) != ERROR_SUCCESS) {
            return;
        }
    }
}

} // namespace raw
