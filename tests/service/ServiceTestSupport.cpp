#include "ServiceTestSupport.h"

#include <platform/Files.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>

namespace service_testing {

namespace {

template <typename Done> bool PollUntil(Done done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kHangGuardMs);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        Sleep(10);
    }
    return done();
}

std::string UniqueServiceName()
{
    static std::atomic<unsigned> counter{0};
    return "BrenlixTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
}

} // namespace

std::string TestServiceCommand(const std::string& logFile, const std::string& options)
{
    const std::string program = platform::ProgramFolder() + platform::PathSeparator() + TEST_SERVICE_FILE;
    return "\"" + program + "\" --log \"" + logFile + "\"" + (options.empty() ? "" : " " + options);
}

DWORD RawState(const std::string& name, SERVICE_STATUS* status)
{
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS own{};
    SERVICE_STATUS& result = status != nullptr ? *status : own;
    return service && QueryServiceStatus(service.get(), &result) ? result.dwCurrentState : 0;
}

std::size_t CountLines(const std::string& path, const std::string& prefix)
{
    std::istringstream text(testing_support::ReadFile(path));
    std::size_t count = 0;
    for (std::string line; std::getline(text, line);) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

bool WaitForRawState(const std::string& name, DWORD state)
{
    return PollUntil([&] { return RawState(name) == state; });
}

bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count)
{
    return PollUntil([&] { return CountLines(path, prefix) >= count; });
}

std::string ServiceValue(const std::string& name, const char* value)
{
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("System\\CurrentControlSet\\Services\\" + name).c_str(), 0, KEY_READ, &key);
    DWORD type = 0, size = 0;
    std::string data(RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS ? size : 0, '\0');
    const bool read = !data.empty() && RegQueryValueExA(key, value, nullptr, &type,
                                                        reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read ? std::to_string(type) + ":" + data.substr(0, size) : "";
}

ServiceTest::ServiceTest() : name(UniqueServiceName()), log(files.File("service.log")), hold(files.File("stop.hold"))
{
}

ServiceTest::~ServiceTest()
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

std::string ServiceTest::HoldOption() const
{
    std::remove(hold.c_str());
    return "--hold \"" + hold + "\"";
}

void ServiceTest::ReleaseHold() const
{
    testing_support::WriteFile(hold, "");
}

brenlix::ServiceManager ServiceTest::Manager(const std::string& options) const
{
    brenlix::ServiceManager manager;
    manager.ServiceShortName(name);
    manager.ServiceLongName("Brenlix test " + name);
    manager.ServicePath(TestServiceCommand(log, options));
    manager.MaxWaitForService(static_cast<std::int32_t>(testing_support::kHangGuardMs));
    return manager;
}

brenlix::ServiceManager ServiceTest::Running(const std::string& options) const
{
    brenlix::ServiceManager manager = Manager(options);
    EXPECT_TRUE(manager.InstallService(true) && WaitForLines(log, "running")) << manager.ServiceLastError();
    return manager;
}

} // namespace service_testing
