// The optional keys of a job section, read from their text as the job file
// gives it: the kind of backup, its switches, the verify, the retention of
// stamped files and the event for a failed job.
#pragma once

#include "sql/SqlDmo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dunmarrow {

// The number of the error a value that the program does not accept raises
// (ERROR_INVALID_DATA); its description names the key, the value and what
// would be accepted.
inline constexpr std::int32_t kErrorInvalidJobValue = 13;

// The text of each key as read (empty when absent).
struct JobKeys {
    std::string type;
    std::string checksum;
    std::string compress;
    std::string copyOnly;
    std::string verify;
    std::string keepDays;
    std::string eventLog;
    std::string stallMinutes;
    std::string loginTimeout;
};

// A job value without the blanks and tabs around it.
std::string_view Trimmed(std::string_view text);

struct JobOptions {
    sql::BackupAction action = sql::BackupAction::Database;
    bool checksum = false;
    bool compress = false;
    bool copyOnly = false;
    bool verify = false;
    int keepDays = 0; // 0: nothing is deleted
    bool eventLog = false;
    int stallMinutes = 0; // 0: the backup is waited for as long as it takes
    int loginTimeout = 0; // seconds; 0: the provider's bound
};

inline constexpr int kMaxKeepDays = 36500;
inline constexpr int kMaxStallMinutes = 1440;
inline constexpr int kMaxLoginTimeout = 3600;

// Type: Full (or empty), Diff or Log; switches: 1, Yes, True, Ja for on and
// 0, No, False, Nej or empty for off; KeepDays, StallMinutes and LoginTimeout:
// empty, or a whole number from 1 to kMaxKeepDays days, kMaxStallMinutes
// minutes and kMaxLoginTimeout seconds. Letter case is ignored and blanks around a
// value are not part of it. Throws brenlix::Error kErrorInvalidJobValue for
// any other value.
JobOptions ReadJobOptions(const JobKeys& keys);

// Whether EventLog is switched on, false for a value that is not accepted:
// asked when the job has failed, even before the other keys were read.
bool EventLogWanted(const std::string& text);

} // namespace dunmarrow
