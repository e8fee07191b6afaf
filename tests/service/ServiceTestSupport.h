// A fixture with its own machine root (Linux), folder and service name, whose
// service it stops and removes afterwards; raw looks at a service.
#pragma once

#include <brenlix/ServiceManager.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace service_testing {

using UniqueScHandle = platform::UniqueHandle<SC_HANDLE, &CloseServiceHandle>;

// testservice[.exe] beside the tests, logging to logFile, with more options.
std::string TestServiceCommand(const std::string& logFile, const std::string& options = "");
// The state by the raw calls; 0 when it cannot be queried.
DWORD RawState(const std::string& name, SERVICE_STATUS* status = nullptr);
std::size_t CountLines(const std::string& path, const std::string& prefix);
// Until the state is there or count lines start with prefix; false only when
// the hang guard's time passes.
bool WaitForRawState(const std::string& name, DWORD state);
bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count = 1);
// "<type>:<data>" of HKLM\System\CurrentControlSet\Services\<name> value; "" when missing.
std::string ServiceValue(const std::string& name, const char* value);

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest();
    ~ServiceTest() override;
    // "--hold <file>": asked to stop, the service stays pending until released.
    std::string HoldOption() const;
    void ReleaseHold() const;
    // Its manager, waiting up to the hang guard; Running(): installed, started
    // and seen running.
    brenlix::ServiceManager Manager(const std::string& options = "") const;
    brenlix::ServiceManager Running(const std::string& options = "") const;

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::TempDir files;
    const std::string name, log, hold;
};

} // namespace service_testing
