// What the service tests share: a fixture with its own machine root (Linux),
// its own folder for the test service's log and a service name of its own,
// which it stops and removes afterwards; and raw calls to look at a service
// without the code under test.
#pragma once

#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace service_testing {

using UniqueScHandle = platform::UniqueHandle<SC_HANDLE, &CloseServiceHandle>;

// The test service's command line: testservice[.exe] beside the tests,
// logging to logFile, with further options.
std::string TestServiceCommand(const std::string& logFile, const std::string& options = "");

// The state of the service by the raw calls; 0 when it cannot be queried.
DWORD RawState(const std::string& name, SERVICE_STATUS* status = nullptr);
// Polls the raw state every 10 ms until it is state; false only when the hang
// guard's time passes.
bool WaitForRawState(const std::string& name, DWORD state);

// A value of the service's key, HKLM\System\CurrentControlSet\Services\<name>.
bool ReadServiceValue(const std::string& name, const char* value, DWORD& type, std::string& data);

// The test service's log, a line each.
std::vector<std::string> LogLines(const std::string& path);
// How many lines of the log start with prefix.
std::size_t CountLines(const std::string& path, const std::string& prefix);
// Polls the log every 10 ms until count lines start with prefix; false only
// when the hang guard's time passes. A service may be running before it has logged so (on Linux
// as soon as its program runs), and it takes its stop request only once it has
// logged "running".
bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count = 1);

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest();
    ~ServiceTest() override;

    // "--hold <file>" for the test service, a fresh hold each time, and the
    // release of that hold (which the fixture also does before it removes
    // the service).
    std::string HoldOption() const;
    void ReleaseHold() const;

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::TempDir files;
    const std::string name;
    const std::string log;
    const std::string hold;
};

} // namespace service_testing
