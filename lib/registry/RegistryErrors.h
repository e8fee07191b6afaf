// The identity of the errors that the registry class raises.
#pragma once

#include <cstdint>

namespace brenlix::registry {

inline constexpr const char* kSource = "Brenlix.cRegistry";

// On the base of object-defined numbers, 0x80040000.
inline constexpr std::int32_t kErrorKey = 26001;
inline constexpr std::int32_t kErrorSetValue = -2147194455;         // + 27049
inline constexpr std::int32_t kErrorEnumerate = -2147194454;        // + 27050
inline constexpr std::int32_t kErrorAssociationItems = -2147194452; // + 27052
inline constexpr std::int32_t kErrorClassMissing = -2147194451;     // + 27053

} // namespace brenlix::registry
