// Linux only: one failing registry call, for the failure rows of the event
// source registration that a working registry never gives.
#pragma once

#include <cstdint>
#include <string>

namespace registry_faults {

// The count-th call (from 1) of function ("RegSetValueExA" for a value of
// the name given, "RegCloseKey" for any key) returns code; the call still
// happens (a key is still closed), only its result is replaced. One at a
// time, for the object's lifetime.
class ScopedFault {
public:
    ScopedFault(std::string function, std::string valueName, int count, std::int32_t code);
    ~ScopedFault();
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;
};

} // namespace registry_faults
