// Linux only: one failing registry call, for failure rows a working registry never gives.
#pragma once

#include <cstdint>
#include <string>

namespace registry_faults {

// The count-th call (from 1) of "RegSetValueExA" for that value name, of "RegOpenKeyExA" for that subkey (neither
// happens), or of "RegCloseKey" or "DeregisterEventSource" for any handle (closed all the same) returns code; one at
// a time.
class ScopedFault {
public:
    ScopedFault(std::string function, std::string valueName, int count, std::int32_t code);
    ~ScopedFault();
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;
};

} // namespace registry_faults
