// A fixture with its own machine root, folder and service name, removed afterwards; raw looks at a service.
#pragma once

#include <brenlix/ServiceManager.h>
#include <platform/Files.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>

namespace service_testing {

using UniqueScHandle = platform::UniqueHandle<SC_HANDLE, &CloseServiceHandle>;

inline std::string TestServiceCommand(const std::string& logFile, const std::string& options = "")
{
    const std::string program = platform::ProgramFolder() + platform::PathSeparator() + TEST_SERVICE_FILE;
    return "\"" + program + "\" --log \"" + logFile + "\"" + (options.empty() ? "" : " " + options);
}

// The state by the raw calls; 0 when it cannot be queried.
inline DWORD RawState(const std::string& name, SERVICE_STATUS* status = nullptr)
{
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS own{};
    SERVICE_STATUS& result = status != nullptr ? *status : own;
    return service && QueryServiceStatus(service.get(), &result) ? result.dwCurrentState : 0;
}

inline std::ptrdiff_t Count(const std::string& path, const std::string& word)
{
    const std::string text = testing_support::ReadFile(path);
    const std::regex pattern(word);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator());
}

// True once done() is, false at the hang guard.
template <typename Done> bool PollUntil(Done done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kHangGuardMs);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        Sleep(10);
    }
    return done();
}
inline bool WaitForRawState(const std::string& name, DWORD state)
{
    return PollUntil([&] { return RawState(name) == state; });
}
inline bool WaitForRuns(const std::string& log, std::ptrdiff_t count = 1)
{
    return PollUntil([&] { return Count(log, "running") >= count; });
}

// "<type>:<data>" of HKLM\System\CurrentControlSet\Services\<name> value; "" when missing.
inline std::string ServiceValue(const std::string& name, const char* value)
{
    const auto stored = raw::Read(-2147483646, "System\\CurrentControlSet\\Services\\" + name, value);
    return stored ? std::to_string(stored->type) + ":" + stored->bytes : "";
}

class ServiceTest : public ::testing::Test {
protected:
    ~ServiceTest() override
    {
        ReleaseHold();
        const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        if (const UniqueScHandle service{OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS)}) {
            SERVICE_STATUS status{};
            ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
            EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED)) << "the test service " << name << " did not stop";
            DeleteService(service.get());
        }
    }
    void ReleaseHold() const { testing_support::WriteFile(hold, ""); }
    brenlix::ServiceManager Manager(const std::string& options = "") const
    {
        brenlix::ServiceManager manager;
        manager.ServiceShortName(name);
        manager.ServiceLongName("Brenlix test " + name);
        manager.ServicePath(TestServiceCommand(log, options));
        manager.MaxWaitForService(static_cast<std::int32_t>(testing_support::kHangGuardMs));
        return manager;
    }

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::TempDir files;
    inline static std::atomic<unsigned> counter{0};
    const std::string name = "BrenlixTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
    // Asked to stop, a service with holdOption stays pending until the hold file exists.
    const std::string log = files.File("service.log"), hold = files.File("stop.hold");
    const std::string holdOption = "--hold \"" + hold + "\"";
};

} // namespace service_testing
