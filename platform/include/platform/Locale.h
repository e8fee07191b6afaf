// The user's regional number settings.
#pragma once

#include <brenlix/Export.h>

#include <string>

namespace platform {

// The decimal separator of the user's region (UTF-8), "." under the C locale.
BRENLIX_API std::string DecimalSeparator();

} // namespace platform
