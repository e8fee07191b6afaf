#include "Program.h"

#include <platform/Clock.h>
#include <platform/Win32.h>

#include <iostream>
#include <new>

namespace dunmarrow {

namespace {

std::uint32_t lastDllError = 0;

void WriteEvent(brenlix::EventLogTypes type, DiagnosticEvent id, const std::string& reason)
{
#ifndef _WIN32
    std::cerr << "Dunmarrow: " << reason << std::endl;
#endif
    try {
        brenlix::EventLog events;
        try {
            // Registers the source where that is allowed; without it the
            // event is still written, only shown without a message file.
            events.ApplicationName("Dunmarrow");
        } catch (const brenlix::Error&) {
        }
        events.WriteEventLog(type, reason, id);
    } catch (...) {
    }
}

DiagnosticSink& Sink()
{
    static DiagnosticSink sink = WriteEvent;
    return sink;
}

} // namespace

void Diagnose(brenlix::EventLogTypes type, DiagnosticEvent id, const std::string& reason)
{
    try {
        Sink()(type, id, reason);
    } catch (...) {
    }
}

ScopedDiagnosticSink::ScopedDiagnosticSink(DiagnosticSink sink) : previous_(std::move(Sink()))
{
    Sink() = std::move(sink);
}

ScopedDiagnosticSink::~ScopedDiagnosticSink()
{
    Sink() = std::move(previous_);
}

brenlix::FileLog& ProgramLog()
{
    static brenlix::FileLog log;
    return log;
}

void Log(const std::string& message, std::int32_t type)
{
    ProgramLog().WriteToLog(message, 0, type);
}

std::uint32_t LastDllError()
{
    return lastDllError;
}

void CaptureLastDllError()
{
    lastDllError = GetLastError();
}

void Pause(std::uint32_t milliseconds)
{
    SetLastError(0);
    platform::CurrentClock().Pause(milliseconds);
    CaptureLastDllError();
}

brenlix::Error AsError(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const brenlix::Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return brenlix::Error(7, "Dunmarrow", "Out of memory");
    } catch (const std::exception& e) {
        return brenlix::Error(51, "Dunmarrow", std::string("Internal error: ") + e.what());
    } catch (...) {
        return brenlix::Error(51, "Dunmarrow", "Internal error");
    }
}

std::string ErrorReport(const brenlix::Error& error)
{
    return "Fejl repporteret : " + std::to_string(error.Number()) + " " + error.Description() + " (" +
           std::to_string(LastDllError()) + ")";
}

} // namespace dunmarrow
