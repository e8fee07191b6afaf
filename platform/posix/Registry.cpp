// The registry functions over the hive files (RegistryFiles.h).
//
// An open key is a handle in the process's handle table that names a hive
// file and the path of the key in it, so a key deleted by anyone gives
// ERROR_KEY_DELETED to the handles still open on it (a key made again under
// the same name counts as the same key). HKEY_CLASSES_ROOT is the machine's
// Software\Classes only: Windows also merges the user's Software\Classes into
// it, which nothing here needs. HKEY_CURRENT_CONFIG is the machine's
// System\CurrentControlSet\Hardware Profiles\Current. There is no 32-bit view
// (KEY_WOW64_* are ignored) and volatile keys are kept like the others.
//
// Depth: as on Windows, a key lies at most 512 levels below \REGISTRY
// (HiveMaxDepth) and one call creates at most 32 levels; RegCreateKeyExA
// refuses more with ERROR_INVALID_PARAMETER.
//
// Access: a handle may do what it was opened for (KEY_QUERY_VALUE to read
// values, KEY_SET_VALUE to change them, KEY_ENUMERATE_SUB_KEYS to list
// subkeys); opening for any kind of change a hive that the process may not
// write gives ERROR_ACCESS_DENIED, as for a user without rights on Windows.
#include <platform/Text.h>
#include <platform/Win32.h>

#include "HandleTable.h"
#include "RegistryFiles.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace platform::posix {

namespace {

constexpr REGSAM kChangeRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct KeyPlace {
    Hive hive = Hive::LocalMachine;
    std::string file;
    std::vector<std::string> path;
    REGSAM access = 0;
    bool predefined = false;
};

class RegistryKeyHandle final : public HandleObject {
public:
    explicit RegistryKeyHandle(KeyPlace where) : place(std::move(where)) {}
    bool ClosedByCloseHandle() const override { return false; }
    const KeyPlace place;
};

// The predefined roots are the sign-extended numbers 0x80000000 and up.
bool IsPredefined(HKEY key)
{
    const auto number = reinterpret_cast<std::intptr_t>(key);
    return number >= INT32_MIN && number <= INT32_MIN + 0xFF;
}

std::shared_ptr<const KeyPlace> Root(Hive hive, std::vector<std::string> path = {})
{
    auto place = std::make_shared<KeyPlace>();
    place->hive = hive;
    place->file = HiveFile(hive);
    place->path = std::move(path);
    place->access = KEY_ALL_ACCESS;
    place->predefined = true;
    return place;
}

// The key the handle names, or nullptr with the Win32 code in error.
std::shared_ptr<const KeyPlace> Resolve(HKEY key, std::uint32_t& error)
{
    if (key == HKEY_LOCAL_MACHINE) {
        return Root(Hive::LocalMachine);
    }
    if (key == HKEY_CURRENT_USER) {
        return Root(Hive::CurrentUser);
    }
    if (key == HKEY_USERS) {
        return Root(Hive::Users);
    }
    if (key == HKEY_CLASSES_ROOT) {
        return Root(Hive::LocalMachine, {"Software", "Classes"});
    }
    if (key == HKEY_CURRENT_CONFIG) {
        return Root(Hive::LocalMachine, {"System", "CurrentControlSet", "Hardware Profiles", "Current"});
    }
    if (!IsPredefined(key)) {
        if (auto handle = FindHandleOf<RegistryKeyHandle>(reinterpret_cast<HANDLE>(key))) {
            return std::shared_ptr<const KeyPlace>(handle, &handle->place);
        }
    }
    error = ERROR_INVALID_HANDLE;
    return nullptr;
}

// The key behind a handle that was opened with the access the call needs.
std::shared_ptr<const KeyPlace> ResolveFor(HKEY key, REGSAM needed, std::uint32_t& error)
{
    auto place = Resolve(key, error);
    if (place != nullptr && (place->access & needed) == 0) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return place;
}

constexpr std::size_t kMaxKeyNameLength = 255;
// Windows creates at most this many levels in one call.
constexpr std::size_t kMaxNewLevels = 32;

// Splits a subkey path at "\" (empty parts count for nothing; a leading "\"
// is refused, as Windows does except for RegOpenKeyExA under HKEY_CLASSES_ROOT).
std::uint32_t SplitSubkey(const char* subKey, std::vector<std::string>& parts)
{
    if (subKey == nullptr) {
        return ERROR_SUCCESS;
    }
    if (*subKey == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    const std::string_view path(subKey);
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t slash = path.find('\\', pos);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > pos) {
            parts.emplace_back(path.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    return ERROR_SUCCESS;
}

REGSAM Granted(REGSAM desired)
{
    REGSAM granted = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED |
                                 KEY_WOW64_RES);
    if ((desired & (GENERIC_READ | GENERIC_EXECUTE)) != 0) {
        granted |= KEY_READ;
    }
    if ((desired & GENERIC_WRITE) != 0) {
        granted |= KEY_WRITE;
    }
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
        granted |= KEY_ALL_ACCESS;
    }
    return granted;
}

// The access a new handle gets, or ERROR_ACCESS_DENIED when it asks to change
// a hive the process may not write.
std::uint32_t GrantAccess(const std::string& file, REGSAM desired, REGSAM& granted)
{
    granted = Granted(desired);
    if ((granted & kChangeRights) != 0 && HiveWritable(file) != ERROR_SUCCESS) {
        if ((desired & MAXIMUM_ALLOWED) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        granted &= ~kChangeRights;
    }
    return ERROR_SUCCESS;
}

HKEY AddKeyHandle(KeyPlace place)
{
    return reinterpret_cast<HKEY>(AddHandle(std::make_shared<RegistryKeyHandle>(std::move(place))));
}

// The key in the hive, or nullptr with the Win32 code: ERROR_KEY_DELETED for
// an open key that is gone.
template <typename Tree>
auto KeyOf(Tree& hive, const KeyPlace& place, std::uint32_t& error) -> decltype(hive.Find(place.path))
{
    auto* key = hive.Find(place.path);
    if (key == nullptr) {
        error = place.predefined ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
    return key;
}

// Reads the key a handle names, once the handle's access is checked:
// read(key, written) gives the call's result; a key that is gone gives its code.
template <typename Read> LSTATUS ReadKey(HKEY hKey, REGSAM needed, Read&& read)
{
    std::uint32_t error = ERROR_SUCCESS;
    const auto place = ResolveFor(hKey, needed, error);
    if (place == nullptr) {
        return static_cast<LSTATUS>(error);
    }
    return static_cast<LSTATUS>(
        ReadHive(place->hive, place->file, [&](const RegistryHive& hive, const timespec& written) -> std::uint32_t {
            std::uint32_t missing = ERROR_SUCCESS;
            const RegistryKey* key = KeyOf(hive, *place, missing);
            return key == nullptr ? missing : read(*key, written);
        }));
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Windows keeps names and strings in UTF-16 and counts their sizes there.
std::size_t Utf16Units(std::string_view ansi)
{
    for (const char c : ansi) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return Utf8ToUtf16(FromAnsi(ansi)).size();
        }
    }
    return ansi.size();
}

std::size_t StoredSize(const RegistryValue& value)
{
    return IsStringType(value.type) ? 2 * Utf16Units(value.data) : value.data.size();
}

FILETIME ToFileTime(const timespec& when)
{
    if (when.tv_sec == 0 && when.tv_nsec == 0) {
        return FILETIME{0, 0};
    }
    constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(when.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
                                static_cast<std::uint64_t>(when.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// Gives a value's type and data by the Reg*Value rules: with lpData NULL only
// the size; ERROR_MORE_DATA and the size needed when the buffer is too small.
// A string without its NUL gets one after it when the buffer has room,
// uncounted.
// lpType and lpcbData may point to one variable: the buffer's size is read
// before the type is written.
LSTATUS CopyValue(const RegistryValue& value, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    const auto size = static_cast<DWORD>(value.data.size());
    const DWORD room = lpcbData != nullptr ? *lpcbData : 0;
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpData != nullptr) {
        if (room < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpData, value.data.data(), size);
        if (IsStringType(value.type) && size > 0 && value.data.back() != '\0' && room > size) {
            lpData[size] = 0;
        }
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

std::vector<std::string> Joined(const std::vector<std::string>& base, const std::vector<std::string>& parts)
{
    std::vector<std::string> path;
    path.reserve(base.size() + parts.size());
    path.insert(path.end(), base.begin(), base.end());
    path.insert(path.end(), parts.begin(), parts.end());
    return path;
}

} // namespace

} // namespace platform::posix

using namespace platform::posix;

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    // A null or empty subkey of a root hands back the root itself; "\\" (or
    // "\\clsid") under HKEY_CLASSES_ROOT is opened as "" (or "clsid") but as a
    // handle of its own, as Windows does.
    const bool rootItself = lpSubKey == nullptr || *lpSubKey == '\0';
    if (hKey == HKEY_CLASSES_ROOT && lpSubKey != nullptr && *lpSubKey == '\\') {
        ++lpSubKey;
    }
    std::uint32_t error = ERROR_SUCCESS;
    const auto base = Resolve(hKey, error);
    std::vector<std::string> parts;
    if (base == nullptr || (error = SplitSubkey(lpSubKey, parts)) != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    if (parts.empty() && base->predefined && rootItself) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    KeyPlace place{base->hive, base->file, Joined(base->path, parts), 0, false};
    error = ReadHive(base->hive, base->file, [&](const RegistryHive& hive, const timespec&) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        if (KeyOf(hive, *base, missing) == nullptr) {
            return missing;
        }
        return hive.Find(place.path) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (error == ERROR_SUCCESS) {
        error = GrantAccess(place.file, samDesired, place.access);
    }
    if (error != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    *phkResult = AddKeyHandle(std::move(place));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (phkResult == nullptr) {
        return ERROR_BADKEY; // as Windows answers, before it looks at anything else
    }
    if (Reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::uint32_t error = ERROR_SUCCESS;
    const auto base = Resolve(hKey, error);
    std::vector<std::string> parts;
    if (base == nullptr || (error = SplitSubkey(lpSubKey, parts)) != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    for (const std::string& part : parts) {
        if (part.find_first_of("\r\n") != std::string::npos) {
            return ERROR_INVALID_PARAMETER; // a hive file keeps a key's path on one line
        }
        if (part.size() > kMaxKeyNameLength) {
            return ERROR_INVALID_PARAMETER; // Windows' limit for the name of one key
        }
    }
    if (parts.empty() && base->predefined) {
        *phkResult = hKey;
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    }
    KeyPlace place{base->hive, base->file, Joined(base->path, parts), 0, false};
    if (place.path.size() > HiveMaxDepth(place.hive)) {
        return ERROR_INVALID_PARAMETER; // deeper than Windows keeps a key
    }
    if ((error = GrantAccess(place.file, samDesired, place.access)) != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    // Most calls open a key that is there: look without the writers' lock first.
    bool exists = false;
    error = ReadHive(base->hive, base->file, [&](const RegistryHive& hive, const timespec&) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        if (KeyOf(hive, *base, missing) == nullptr && !base->predefined) {
            return missing;
        }
        exists = hive.Find(place.path) != nullptr;
        return ERROR_SUCCESS;
    });
    bool created = false;
    if (error == ERROR_SUCCESS && !exists) {
        error = UpdateHive(base->hive, base->file, [&](RegistryHive& hive, bool& changed) -> std::uint32_t {
            std::uint32_t missing = ERROR_SUCCESS;
            if (KeyOf(hive, *base, missing) == nullptr && !base->predefined) {
                return missing;
            }
            RegistryKey* key = &hive.Root();
            std::size_t level = 0;
            for (RegistryKey* next = nullptr;
                 level < place.path.size() && (next = key->Subkey(place.path[level])) != nullptr; ++level) {
                key = next;
            }
            if (place.path.size() - level > kMaxNewLevels) {
                return ERROR_INVALID_PARAMETER;
            }
            for (; level < place.path.size(); ++level) {
                key = &key->MakeSubkey(place.path[level], created);
                changed = true;
            }
            return ERROR_SUCCESS;
        });
    }
    if (error != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *phkResult = AddKeyHandle(std::move(place));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    std::uint32_t error = ERROR_SUCCESS;
    const auto place = ResolveFor(hKey, KEY_SET_VALUE, error);
    if (place == nullptr) {
        return static_cast<LSTATUS>(error);
    }
    if (lpData == nullptr && cbData != 0) {
        return ERROR_NOACCESS;
    }
    // Windows counts a string's NUL that the caller left out of the size when
    // it follows the data.
    if (IsStringType(dwType) && cbData > 0 && lpData[cbData - 1] != 0 && lpData[cbData] == 0) {
        ++cbData;
    }
    const std::string_view name = lpValueName != nullptr ? lpValueName : "";
    const std::string_view data(reinterpret_cast<const char*>(lpData), lpData != nullptr ? cbData : 0);
    const auto edit = [&](RegistryHive& hive, bool& changed) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        RegistryKey* key = KeyOf(hive, *place, missing);
        if (key == nullptr) {
            return missing;
        }
        changed = key->SetValue(name, dwType, data);
        return ERROR_SUCCESS;
    };
    return static_cast<LSTATUS>(UpdateHive(place->hive, place->file, edit));
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string_view name = lpValueName != nullptr ? lpValueName : "";
    return ReadKey(hKey, KEY_QUERY_VALUE, [&](const RegistryKey& key, const timespec&) -> std::uint32_t {
        const RegistryValue* value = key.Value(name);
        if (value == nullptr) {
            // As Windows NT does: a size query gets 0; with a buffer the size
            // (and always the type) stays as it was.
            if (lpData == nullptr && lpcbData != nullptr) {
                *lpcbData = 0;
            }
            return ERROR_FILE_NOT_FOUND;
        }
        return CopyValue(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime)
{
    if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ReadKey(hKey, KEY_QUERY_VALUE, [&](const RegistryKey& key, const timespec& written) -> std::uint32_t {
        std::size_t maxSubkey = 0;
        for (std::size_t i = 0; i < key.SubkeyCount(); ++i) {
            maxSubkey = std::max(maxSubkey, Utf16Units(key.SubkeyAt(i).Name()));
        }
        std::size_t maxName = 0;
        std::size_t maxData = 0;
        for (std::size_t i = 0; i < key.ValueCount(); ++i) {
            maxName = std::max(maxName, Utf16Units(key.ValueAt(i).name));
            maxData = std::max(maxData, StoredSize(key.ValueAt(i)));
        }
        // Keys here have no class.
        if (lpClass != nullptr && *lpcchClass > 0) {
            *lpClass = '\0';
        }
        const std::pair<LPDWORD, std::size_t> results[] = {
            {lpcchClass, 0},
            {lpcSubKeys, key.SubkeyCount()},
            {lpcbMaxSubKeyLen, maxSubkey},
            {lpcbMaxClassLen, 0},
            {lpcValues, key.ValueCount()},
            {lpcbMaxValueNameLen, maxName},
            {lpcbMaxValueLen, maxData},
            {lpcbSecurityDescriptor, 0},
        };
        for (const auto& [out, number] : results) {
            if (out != nullptr) {
                *out = static_cast<DWORD>(number);
            }
        }
        if (lpftLastWriteTime != nullptr) {
            *lpftLastWriteTime = ToFileTime(written);
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
        (lpData != nullptr && lpcbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ReadKey(hKey, KEY_QUERY_VALUE, [&](const RegistryKey& key, const timespec&) -> std::uint32_t {
        if (dwIndex >= key.ValueCount()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const RegistryValue& value = key.ValueAt(dwIndex);
        const bool dataFits = lpData == nullptr || *lpcbData >= value.data.size();
        if (*lpcchValueName <= value.name.size() || !dataFits) {
            // The type and the size of the data, and the data itself where it
            // fits though the name does not (as Windows fills it); the name
            // is left as it was.
            CopyValue(value, lpType, dataFits ? lpData : nullptr, lpcbData);
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
        *lpcchValueName = static_cast<DWORD>(value.name.size());
        return CopyValue(value, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr ||
        (lpClass != nullptr && lpcchClass == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ReadKey(hKey, KEY_ENUMERATE_SUB_KEYS, [&](const RegistryKey& key, const timespec& written) -> std::uint32_t {
        if (dwIndex >= key.SubkeyCount()) {
            return ERROR_NO_MORE_ITEMS;
        }
        const std::string& name = key.SubkeyAt(dwIndex).Name();
        if (*lpcchName <= name.size()) {
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass != nullptr && *lpcchClass > 0) {
            *lpClass = '\0';
        }
        if (lpcchClass != nullptr) {
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime != nullptr) {
            *lpftLastWriteTime = ToFileTime(written);
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName)
{
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::uint32_t error = ERROR_SUCCESS;
    const auto base = Resolve(hKey, error);
    std::vector<std::string> parts;
    if (base == nullptr || (error = SplitSubkey(lpSubKey, parts)) != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    const std::vector<std::string> path = Joined(base->path, parts);
    if ((parts.empty() && base->predefined) || path.empty()) {
        return ERROR_ACCESS_DENIED; // a root is never deleted
    }
    const auto edit = [&](RegistryHive& hive, bool& changed) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        if (KeyOf(hive, *base, missing) == nullptr) {
            return missing;
        }
        RegistryKey* parent = hive.Find(std::vector<std::string>(path.begin(), path.end() - 1));
        const RegistryKey* key = parent != nullptr ? parent->Subkey(path.back()) : nullptr;
        if (key == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (key->SubkeyCount() > 0) {
            return ERROR_ACCESS_DENIED;
        }
        changed = parent->RemoveSubkey(path.back());
        return ERROR_SUCCESS;
    };
    return static_cast<LSTATUS>(UpdateHive(base->hive, base->file, edit));
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    std::uint32_t error = ERROR_SUCCESS;
    const auto place = ResolveFor(hKey, KEY_SET_VALUE, error);
    if (place == nullptr) {
        return static_cast<LSTATUS>(error);
    }
    const std::string_view name = lpValueName != nullptr ? lpValueName : "";
    const auto edit = [&](RegistryHive& hive, bool& changed) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        RegistryKey* key = KeyOf(hive, *place, missing);
        if (key == nullptr) {
            return missing;
        }
        changed = key->RemoveValue(name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    };
    return static_cast<LSTATUS>(UpdateHive(place->hive, place->file, edit));
}

// Every change is on disk when its call returns.
LSTATUS WINAPI RegFlushKey(HKEY hKey)
{
    std::uint32_t error = ERROR_SUCCESS;
    const auto place = Resolve(hKey, error);
    if (place == nullptr) {
        return static_cast<LSTATUS>(error);
    }
    const auto read = [&](const RegistryHive& hive, const timespec&) -> std::uint32_t {
        std::uint32_t missing = ERROR_SUCCESS;
        KeyOf(hive, *place, missing);
        return missing;
    };
    return static_cast<LSTATUS>(ReadHive(place->hive, place->file, read));
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    if (IsPredefined(hKey)) {
        return ERROR_SUCCESS;
    }
    const auto handle = reinterpret_cast<HANDLE>(hKey);
    if (FindHandleOf<RegistryKeyHandle>(handle) == nullptr || !RemoveHandle(handle)) {
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}
