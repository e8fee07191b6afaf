// What the service tests share: a fixture with its own machine root (Linux),
// folder and service name, which it stops and removes afterwards; and raw
// calls to look at a service without the code under test.
#pragma once

#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace service_testing {

using UniqueScHandle = platform::UniqueHandle<SC_HANDLE, &CloseServiceHandle>;

// testservice[.exe] beside the tests, logging to logFile, with more options.
std::string TestServiceCommand(const std::string& logFile, const std::string& options = "");
// The state by the raw calls; 0 when it cannot be queried.
DWORD RawState(const std::string& name, SERVICE_STATUS* status = nullptr);
std::size_t CountLines(const std::string& path, const std::string& prefix);
// Poll until the state is there or count lines start with prefix; false only
// when the hang guard's time passes.
bool WaitForRawState(const std::string& name, DWORD state);
bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count = 1);
// The data of a value of HKLM\System\CurrentControlSet\Services\<name>, its
// type in front; "" when it cannot be read.
std::string ServiceValue(const std::string& name, const char* value);

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest();
    ~ServiceTest() override;
    // "--hold <file>" with a fresh hold, and its release (also done before
    // the service is removed).
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
