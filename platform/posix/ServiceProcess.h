// The running side of the substitutes' services. A started service is its
// ImagePath run as a process of its own session, detached from the caller (a
// double fork), so it outlives the process that started it. What is known of
// each start sits in <root>/services/state, one line a service: process id,
// the process's start time (from /proc/<pid>/stat, so a process that got the
// id later is not taken for the service), whether a stop was asked for, and
// the service's name. Changes are made under the folder's lock and replace the
// file atomically.
#pragma once

#include "ServiceDatabase.h"
#include "StateFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace platform::posix {

enum class RunState {
    NeverStarted,
    Running,
    StopPending,
    Stopped, // ended after a stop request
    Ended,   // ended without one
};

struct ServiceRun {
    pid_t pid = 0;
    unsigned long long startTime = 0;
    bool stopRequested = false;
};

// How long a service that was asked to stop is expected to take (its wait
// hint while stop is pending).
constexpr std::uint32_t kStopWaitHint = 1000;

// Takes the services folder's lock (made when missing); nullptr with the Win32
// code in error when it cannot be had.
std::unique_ptr<WriteLock> LockServices(std::uint32_t& error);

// Where the service's process stands; run is filled when it was ever started.
RunState QueryRun(const std::string& name, ServiceRun* run = nullptr);

// Under the lock: starts the service's process and records it. Fails with the
// Win32 code of the process that could not be started (ERROR_FILE_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_BAD_EXE_FORMAT), or ERROR_SERVICE_LOGON_FAILED
// when the service's account is another user and the caller may not act as it.
std::uint32_t LaunchService(const WriteLock& lock, const ServiceConfig& config);

// Under the lock: sends SIGTERM to the running process and records the request.
std::uint32_t SignalStop(const WriteLock& lock, const std::string& name);

// Under the lock: forgets the service's run.
std::uint32_t ForgetRun(const WriteLock& lock, const std::string& name);

// Waits up to the time given for the process to end; true when it has.
bool WaitForEnd(const ServiceRun& run, std::uint32_t milliseconds);

} // namespace platform::posix
