// Stamped backup files: "{stamp}" in a job's file names becomes the job's
// start time, so each run keeps its own file, and the files of earlier runs
// are deleted once they are older than the job keeps them.
#pragma once

#include <brenlix/Error.h>
#include <platform/Clock.h>

#include <functional>
#include <string>

namespace dunmarrow {

inline constexpr char kStampField[] = "{stamp}";

// "YYYYMMDD-HHMMSS" of a local date-time.
std::string StampOf(const platform::LocalDateTime& time);

// text with every "{stamp}" replaced by stamp.
std::string WithStamp(const std::string& text, const std::string& stamp);

// A folder and a file name holding "{stamp}" (once or more, matched case for
// case): the files of one job's runs.
struct StampedFiles {
    std::string folder; // with its trailing separator
    std::string namePattern;
};

// Where path's stamped files are. Throws brenlix::Error 13 with a reason when
// the file name holds no "{stamp}", the folder holds one, or there is no
// folder.
StampedFiles StampedFilesOf(const std::string& key, const std::string& path);

// Deletes the files of folder whose names are namePattern with a valid stamp
// more than keepDays days (of local time) before now, except the newest of
// them; nothing else. With thisRun (a file name), nothing at all unless that
// file is among them. onDeleted(path) runs after each deletion and
// onRefused(path, error) for each file that could not go; the files after it
// are tried all the same. Throws brenlix::Error with the Win32 code when the
// folder cannot be listed.
using DeletedFile = std::function<void(const std::string& path)>;
using RefusedFile = std::function<void(const std::string& path, const brenlix::Error& error)>;
void DeleteExpired(const StampedFiles& files, const platform::LocalDateTime& now, int keepDays,
                   const DeletedFile& onDeleted, const RefusedFile& onRefused, const std::string& thisRun = {});

} // namespace dunmarrow
