// The description of a service, beside its configuration in the registry.
#pragma once

#include <string>

namespace brenlix::service {

// Writes HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\<name>
// "Description" with KvRegistry (REG_SZ, or REG_EXPAND_SZ for a text with two
// percent signs that have a character between them); throws KvRegistry's
// Error when the key cannot be created or the value written.
void WriteServiceDescription(const std::string& serviceName, const std::string& description);

} // namespace brenlix::service
