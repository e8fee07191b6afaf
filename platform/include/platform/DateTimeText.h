// The general date-and-time text of the user's region: short date, one blank,
// long time; only the date when the time is exactly midnight. ISO
// "YYYY-MM-DD HH:MM:SS" under the C/POSIX locale on Linux. LongTimeText is the
// long time alone ("HH:MM:SS" under C/POSIX). Both give "" for a date the
// system cannot format (on Windows: before 1601).
#pragma once

#include <brenlix/Export.h>
#include <platform/Clock.h>

#include <string>

namespace platform {

// The result is UTF-8.
BRENLIX_API std::string GeneralDateTimeText(const LocalDateTime& when);
BRENLIX_API std::string LongTimeText(const LocalDateTime& when);

} // namespace platform
