// The general date-and-time text of the user's region: short date, one blank,
// long time; only the date when the time is exactly midnight. ISO
// "YYYY-MM-DD HH:MM:SS" under the C/POSIX locale on Linux.
#pragma once

#include <brenlix/Export.h>
#include <platform/Clock.h>

#include <string>

namespace platform {

// The result is UTF-8.
BRENLIX_API std::string GeneralDateTimeText(const LocalDateTime& when);

} // namespace platform
