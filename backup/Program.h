// What the parts of the program share: the program log, the last system error
// of the program's own system calls, and the error report line.
#pragma once

#include <brenlix/Error.h>
#include <brenlix/EventLog.h>
#include <brenlix/FileLog.h>

#include <cstdint>
#include <exception>
#include <functional>
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

// Why something went wrong, beyond the log's fixed lines, for the machine's
// administrator: an Application event of the source "Dunmarrow" (on Linux
// also a line on the standard error stream, "Dunmarrow: " + reason). The
// program has no window and, on Windows, no console, so this is where the
// reason of a failed connection or of a run that ended early is seen. A
// failure to write the event changes nothing.
enum DiagnosticEvent : std::int32_t {
    EventNoConnection = 1, // a warning: a job could not connect to its server
    EventRunEndedEarly = 2, // an error: the run ended before its job list did
    EventJobFailed = 3, // an error: a job with EventLog switched on failed
    EventNothingBackedUp = 4, // a warning: the job list names no job, or a section that is not there
};
void Diagnose(brenlix::EventLogTypes type, DiagnosticEvent id, const std::string& reason);

// Where Diagnose sends a reason; the default writes the event. Tests put a
// sink of their own in place for the sink's lifetime.
using DiagnosticSink = std::function<void(brenlix::EventLogTypes, DiagnosticEvent, const std::string&)>;
class ScopedDiagnosticSink {
public:
    explicit ScopedDiagnosticSink(DiagnosticSink sink);
    ~ScopedDiagnosticSink();
    ScopedDiagnosticSink(const ScopedDiagnosticSink&) = delete;
    ScopedDiagnosticSink& operator=(const ScopedDiagnosticSink&) = delete;

private:
    DiagnosticSink previous_;
};

// The program's pause, through the clock (so tests need not wait).
void Pause(std::uint32_t milliseconds);

// Turns whatever was thrown into an error with a number and a description.
brenlix::Error AsError(std::exception_ptr error);

// "Fejl repporteret : <number> <description> (<last system error>)".
std::string ErrorReport(const brenlix::Error& error);

} // namespace dunmarrow
