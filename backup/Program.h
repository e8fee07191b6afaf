// What the parts of the program share: the program log, the last system error
// of the program's own system calls, and the error report line.
#pragma once

#include <brenlix/Error.h>
#include <brenlix/FileLog.h>

#include <cstdint>
#include <exception>
#include <string>

namespace dunmarrow {

// The one log of the run, made at its first use.
brenlix::FileLog& ProgramLog();

// Writes a message to the program log. Every message of the program has level
// 0, so it is always written.
void Log(const std::string& message, std::int32_t type);

// The platform's last-error value captured right after the program's most
// recent direct system call (pauses and process calls), 0 before any.
std::uint32_t LastDllError();
// Call right after such a system call.
void CaptureLastDllError();

// The program's pause, through the clock (so tests need not wait).
void Pause(std::uint32_t milliseconds);

// Turns whatever was thrown into an error with a number and a description.
brenlix::Error AsError(std::exception_ptr error);

// "Fejl repporteret : <number> <description> (<last system error>)".
std::string ErrorReport(const brenlix::Error& error);

} // namespace dunmarrow
