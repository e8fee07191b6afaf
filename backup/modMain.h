// The whole run of Dunmarrow: read the job file beside the program and run
// its jobs one after another, logging to Dunmarrow.log beside the program.
#pragma once

#include "CommandLine.h"
#include "sql/SqlDmo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dunmarrow {

// Exit status of a run: every job got through, some job did not (or the job
// list named none, or a section that is not there), or the run ended early (no
// job file, or an error that reached Main).
enum RunStatus : int {
    RunAllJobsDone = 0,
    RunSomeJobFailed = 1,
    RunEndedEarly = 2,
};

// The run of the program, in the folder that holds the program file.
int Main();
// The run the arguments ask for (none: Main()). A refused command line, or a
// job file or log folder it names that is not there, ends with a line on the
// standard error stream and RunEndedEarly before anything is written;
// "--help" prints the usage and gives 0.
int Main(const std::vector<std::string>& arguments);
// The same run on the SQL layer, in the folder findFolder gives (false: it
// could not be found, and the run ends early before anything is written).
using FolderFinder = bool (*)(std::string& folder, std::uint32_t& error);
int Main(sql::Provider& provider, FolderFinder findFolder);
// The same run on the given folder and SQL layer.
int Main(sql::Provider& provider, const std::string& folder);
// The same run on the given job file and log.
int Main(sql::Provider& provider, const RunFiles& files);

// MaxWaitShell (seconds, as text in the user's number format) in milliseconds:
// rounded half to even, 30000 when the text is no number. Throws Error 6
// (overflow) when the seconds or the milliseconds leave 32 bits.
std::int32_t WaitShellMilliseconds(const std::string& seconds);

} // namespace dunmarrow
