#include <brenlix/Error.h>
#include <brenlix/KvRegistry.h>

#include "RegistryKey.h"
#include "RegistryErrors.h"

#include <platform/Text.h>
#include <platform/Win32.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

namespace brenlix {

namespace {

using registry::kErrorEnumerate;
using registry::kErrorKey;
using registry::kErrorSetValue;
using registry::kSource;
using registry::RootKey;
using registry::UniqueHkey;

// Query value, set value, create subkey, enumerate subkeys, notify, create link.
constexpr DWORD kWriteAccess = 0x3F;
// A key name has up to 255 characters, and each may take up to four bytes
// in the ANSI code page.
constexpr DWORD kKeyNameBuffer = 256;
constexpr DWORD kWideKeyNameBuffer = 4 * 255 + 1;
// Longest value name 16383 characters, likewise.
constexpr DWORD kWideValueNameBuffer = 4 * 16383 + 1;

UniqueHkey OpenKey(std::int32_t root, const std::string& section, DWORD access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey(root), platform::ToAnsi(section).c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return UniqueHkey();
    }
    return UniqueHkey(key);
}

// Creates or opens the key, with default security and no class.
LONG CreateKeyForWriting(std::int32_t root, const std::string& section, UniqueHkey& key)
{
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExA(RootKey(root), platform::ToAnsi(section).c_str(), 0, nullptr, 0,
                                        kWriteAccess, nullptr, &created, nullptr);
    if (result == ERROR_SUCCESS) {
        key.reset(created);
    }
    return result;
}

std::int32_t ReverseDwordBytes(std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>((bits >> 24) | ((bits >> 8) & 0xFF00u) | ((bits << 8) & 0xFF0000u) |
                                     (bits << 24));
}

std::int32_t LittleEndianDword(const std::vector<BYTE>& data)
{
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), 4); ++i) {
        bits |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

// The system's expansion of the environment references in an ANSI text. The
// size is asked first; should the environment grow in between, it is asked again.
std::string ExpandEnvironmentText(const std::string& ansi)
{
    DWORD needed = ExpandEnvironmentStringsA(ansi.c_str(), nullptr, 0);
    while (needed != 0) {
        std::string buffer(needed, '\0');
        const DWORD result = ExpandEnvironmentStringsA(ansi.c_str(), buffer.data(), needed);
        if (result == 0) {
            break;
        }
        if (result <= needed) {
            buffer.resize(strnlen(buffer.data(), needed));
            return buffer;
        }
        needed = result;
    }
    return ansi;
}

// The integer a DWORD write stores: a 16- or 32-bit integer as it is, a
// double, a currency amount or a decimal text only when it holds a whole
// number within 32 bits. A Boolean, a byte and a date are no integers.
std::optional<std::int32_t> DwordOf(const Variant& value)
{
    switch (value.Kind()) {
    case VariantKind::Integer:
        return value.Integer();
    case VariantKind::Long:
        return value.Long();
    case VariantKind::Double: {
        const double number = value.Double();
        if (std::isfinite(number) && std::trunc(number) == number && number >= INT32_MIN && number <= INT32_MAX) {
            return static_cast<std::int32_t>(number);
        }
        return std::nullopt;
    }
    case VariantKind::Currency: {
        const std::int64_t scaled = value.Currency();
        const std::int64_t whole = scaled / 10000;
        if (scaled % 10000 == 0 && whole >= INT32_MIN && whole <= INT32_MAX) {
            return static_cast<std::int32_t>(whole);
        }
        return std::nullopt;
    }
    case VariantKind::Text: {
        const std::string& text = value.Text();
        std::int32_t number = 0;
        const char* end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data(), end, number);
        if (!text.empty() && parsed.ec == std::errc() && parsed.ptr == end) {
            return number;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// A text that holds "%", and a further "%" with at least one character
// between, is stored for expansion.
bool NeedsExpansion(const std::string& text)
{
    const std::size_t first = text.find('%');
    return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

} // namespace

// ---- keys ------------------------------------------------------------------------

bool KvRegistry::KeyExists() const
{
    return static_cast<bool>(OpenKey(classKey_, sectionKey_, KEY_QUERY_VALUE));
}

bool KvRegistry::CreateKey()
{
    UniqueHkey key;
    if (CreateKeyForWriting(classKey_, sectionKey_, key) != ERROR_SUCCESS) {
        throw Error(kErrorKey, kSource, "Failed to create registry Key: '" + sectionKey_);
    }
    return true;
}

bool KvRegistry::DeleteKey()
{
    if (RegDeleteKeyA(RootKey(classKey_), platform::ToAnsi(sectionKey_).c_str()) != ERROR_SUCCESS) {
        throw Error(kErrorKey, kSource,
                    "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_);
    }
    return true;
}

bool KvRegistry::DeleteValue()
{
    const UniqueHkey key = OpenKey(classKey_, sectionKey_, kWriteAccess);
    if (!key) {
        throw Error(kErrorKey, kSource,
                    "Failed to open key '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                        "' for delete access");
    }
    if (RegDeleteValueA(key.get(), platform::ToAnsi(valueKey_).c_str()) != ERROR_SUCCESS) {
        throw Error(kErrorKey, kSource,
                    "Failed to delete registry Key: '" + std::to_string(classKey_) + "',Section: '" + sectionKey_ +
                        "',Key: '" + valueKey_);
    }
    return true;
}

// ---- values ----------------------------------------------------------------------

Variant KvRegistry::Value()
{
    const UniqueHkey key = OpenKey(classKey_, sectionKey_, KEY_QUERY_VALUE);
    if (!key) {
        return default_;
    }
    const std::string name = platform::ToAnsi(valueKey_);
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
        return default_;
    }
    // Another program may change the value between the two queries: when it
    // has grown, ask again with the size now reported.
    std::vector<BYTE> data;
    for (;;) {
        data.assign(std::max<DWORD>(size, 1), 0);
        DWORD got = size;
        result = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, data.data(), &got);
        if (result == ERROR_MORE_DATA) {
            size = got > size ? got : 2 * size + 2;
            continue;
        }
        if (result != ERROR_SUCCESS) {
            return default_; // deleted in between
        }
        data.resize(got);
        break;
    }
    valueType_ = static_cast<ERegistryValueTypes>(type);

    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        // Other programs store texts without their terminator, so only a NUL is dropped.
        std::string text(data.begin(), data.end());
        if (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        if (type == REG_EXPAND_SZ) {
            text = ExpandEnvironmentText(text);
        }
        return Variant(platform::FromAnsi(text));
    }
    case REG_DWORD:
        return Variant(LittleEndianDword(data));
    case REG_DWORD_BIG_ENDIAN:
        return Variant(ReverseDwordBytes(LittleEndianDword(data)));
    default:
        data.push_back(0);
        return Variant(std::move(data));
    }
}

void KvRegistry::Value(const Variant& vValue)
{
    const auto failure = [&](std::int32_t number) {
        return Error(number, kSource,
                     "Failed to set registry value Key: '" + std::to_string(classKey_) + "',Section: '" +
                         sectionKey_ + "',Key: '" + valueKey_ + "' to value: '" + vValue.ToText() + "'");
    };
    UniqueHkey key;
    if (CreateKeyForWriting(classKey_, sectionKey_, key) != ERROR_SUCCESS) {
        throw failure(kErrorKey);
    }
    const std::string name = platform::ToAnsi(valueKey_);
    LONG result = ERROR_INVALID_DATA;
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const std::string text = vValue.ToText();
        const std::string data = platform::ToAnsi(text);
        const DWORD stored = NeedsExpansion(text) ? REG_EXPAND_SZ : REG_SZ;
        result = RegSetValueExA(key.get(), name.c_str(), 0, stored, reinterpret_cast<const BYTE*>(data.c_str()),
                                static_cast<DWORD>(data.size() + 1));
        break;
    }
    case REG_BINARY: {
        if (vValue.Kind() != VariantKind::Bytes) {
            throw Error(kErrorKey, std::string(), std::string());
        }
        // The last element is the trailing one that reads add, so that what a
        // read gives writes back unchanged.
        const Variant::ByteArray& bytes = vValue.Bytes();
        const BYTE none = 0;
        const BYTE* data = bytes.empty() ? &none : bytes.data();
        const auto size = static_cast<DWORD>(bytes.empty() ? 0 : bytes.size() - 1);
        result = RegSetValueExA(key.get(), name.c_str(), 0, REG_BINARY, data, size);
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        // Stored little-endian either way; a value that holds no integer is refused.
        if (const std::optional<std::int32_t> number = DwordOf(vValue)) {
            const auto bits = static_cast<std::uint32_t>(*number);
            const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8),
                                  static_cast<BYTE>(bits >> 16), static_cast<BYTE>(bits >> 24)};
            result = RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD, data, sizeof data);
        }
        break;
    default:
        break;
    }
    if (result != ERROR_SUCCESS) {
        throw failure(kErrorSetValue);
    }
}

// ---- listings --------------------------------------------------------------------

bool KvRegistry::EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) const
{
    iKeyCount = 0;
    sKeyNames.clear();
    const UniqueHkey key = OpenKey(classKey_, sectionKey_, KEY_QUERY_VALUE);
    if (!key) {
        return true;
    }
    DWORD subKeys = 0;
    DWORD longestSubKey = 0;
    DWORD longestClass = 0;
    DWORD values = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, &longestSubKey, &longestClass, &values,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        return true;
    }
    // The longest name is counted in characters, which may take more bytes in
    // the ANSI code page; a name that does not fit is asked for again.
    std::string name(longestName + 1, '\0');
    for (DWORD index = 0;;) {
        DWORD size = static_cast<DWORD>(name.size());
        const LONG result = RegEnumValueA(key.get(), index, name.data(), &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA && name.size() < kWideValueNameBuffer) {
            name.assign(kWideValueNameBuffer, '\0');
            continue;
        }
        if (result != ERROR_SUCCESS) {
            break;
        }
        sKeyNames.push_back(platform::FromAnsi(std::string_view(name.data(), size)));
        ++iKeyCount;
        ++index;
    }
    return true;
}

bool KvRegistry::EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) const
{
    try {
        iSectCount = 0;
        sSect.clear();
        const UniqueHkey key = OpenKey(classKey_, sectionKey_, KEY_ENUMERATE_SUB_KEYS);
        if (!key) {
            return true;
        }
        std::string name(kKeyNameBuffer, '\0');
        for (DWORD index = 0;;) {
            const LONG result = RegEnumKeyA(key.get(), index, name.data(), static_cast<DWORD>(name.size()));
            if (result == ERROR_MORE_DATA && name.size() < kWideKeyNameBuffer) {
                name.assign(kWideKeyNameBuffer, '\0');
                continue;
            }
            if (result != ERROR_SUCCESS) {
                break;
            }
            sSect.push_back(platform::FromAnsi(std::string_view(name.data(), strnlen(name.data(), name.size()))));
            ++iSectCount;
            ++index;
        }
        return true;
    } catch (const std::bad_alloc&) {
        throw Error(kErrorEnumerate, kSource, "Out of memory");
    } catch (const std::exception& failure) {
        throw Error(kErrorEnumerate, kSource, failure.what());
    }
}

} // namespace brenlix
