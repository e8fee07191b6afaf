// The registry key owner of the registry class: move-only, closes what it
// holds, but never one of the predefined roots (HKEY_CLASSES_ROOT and its
// neighbours), which the system hands back when it is asked to open a root
// with an empty path.
#pragma once

#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include <cstdint>

namespace brenlix::registry {

// The predefined roots are the sign-extended numbers 0x80000000 to 0x800000FF.
inline bool IsPredefinedRoot(HKEY key)
{
    const auto number = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(key));
    return number >= INT32_MIN && number <= INT32_MIN + 0xFF;
}

inline void CloseKey(HKEY key)
{
    if (!IsPredefinedRoot(key)) {
        RegCloseKey(key);
    }
}

using UniqueHkey = platform::UniqueHandle<HKEY, &CloseKey>;

// The root key that the class's ClassKey names, passed on unchanged: the
// 32-bit number widened with its sign, as the system's own constants are.
inline HKEY RootKey(std::int32_t classKey)
{
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(classKey));
}

} // namespace brenlix::registry
