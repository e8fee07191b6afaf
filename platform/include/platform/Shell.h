// What the system tells the Windows shell.
#pragma once

#include <brenlix/Export.h>

namespace platform {

// Tells the shell that file-type associations changed, so that it re-reads
// them. Nothing to tell on Linux.
BRENLIX_API void NotifyAssociationsChanged();

} // namespace platform
