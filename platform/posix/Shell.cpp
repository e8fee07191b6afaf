#include <platform/Shell.h>

namespace platform {

void NotifyAssociationsChanged() {}

} // namespace platform
