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
    while (!done()) {
        if (std::chrono::steady_clock::now() >= limit) {
            return false;
        }
        Sleep(10);
    }
    return true;
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
    const UniqueScHandle service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS own{};
    SERVICE_STATUS& result = status != nullptr ? *status : own;
    return service && QueryServiceStatus(service.get(), &result) ? result.dwCurrentState : 0;
}

bool WaitForRawState(const std::string& name, DWORD state)
{
    return PollUntil([&] { return RawState(name) == state; });
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

bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count)
{
    return PollUntil([&] { return CountLines(path, prefix) >= count; });
}

bool ReadServiceValue(const std::string& name, const char* value, DWORD& type, std::string& data)
{
    HKEY key = nullptr;
    const std::string path = "System\\CurrentControlSet\\Services\\" + name;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    bool read = RegQueryValueExA(key, value, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    data.assign(size, '\0');
    read = read && RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) == 0;
    data.resize(size);
    RegCloseKey(key);
    return read;
}

ServiceTest::ServiceTest() : name(UniqueServiceName()), log(files.File("service.log")), hold(files.File("stop.hold")) {}

// Stops the service, waiting for it, and deletes it.
ServiceTest::~ServiceTest()
{
    ReleaseHold();
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    const UniqueScHandle service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS) : nullptr);
    if (service) {
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
    if (!testing_support::FileExists(hold)) {
        testing_support::WriteFile(hold, "");
    }
}

} // namespace service_testing
