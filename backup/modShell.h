// Runs a command line and waits for it.
#pragma once

#include <cstdint>
#include <string>

namespace dunmarrow {

// Starts the command line as a new process (minimised, without focus) and
// waits until it ends or the limit passes: lngWait > 0 is a limit in
// milliseconds, 0 waits as long as the process runs, a negative limit looks
// once. Polls every 20 ms and never ends the process. Returns true once the
// wait is over; false, after logging "Shell fejl <number> <text>", when the
// command could not be started.
bool RunAndWait(const std::string& strCommand, std::int32_t lngWait);

} // namespace dunmarrow
