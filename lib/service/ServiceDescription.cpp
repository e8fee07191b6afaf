// Kept apart from the service control code: KvRegistry's enumerators carry the
// names that the system headers define as macros.
#include "ServiceDescription.h"

#include <brenlix/KvRegistry.h>

namespace brenlix::service {

void WriteServiceDescription(const std::string& serviceName, const std::string& description)
{
    KvRegistry registry;
    registry.ClassKey(HKEY_LOCAL_MACHINE);
    registry.SectionKey("System\\CurrentControlSet\\Services\\" + serviceName);
    registry.ValueKey("Description");
    registry.ValueType(REG_SZ);
    registry.Value(Variant(description));
}

} // namespace brenlix::service
