#include "ServiceTestSupport.h"

#include <platform/Files.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <sstream>

namespace service_testing {

namespace {

std::string UniqueServiceName()
{
    static std::atomic<unsigned> counter{0};
    return "BrenlixTest" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++);
}

// Asks done() every 10 ms until it holds; false when the hang guard's time
// has passed by the steady clock.
template <typename Done>
bool PollUntil(Done done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(testing_support::kHangGuardMs);
    for (;;) {
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= limit) {
            return false;
        }
        Sleep(10);
    }
}

// Stops the service (waiting for it) and deletes it, when it is there.
void RemoveTestService(const std::string& name)
{
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    const UniqueScHandle service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS) : nullptr);
    if (!service) {
        return;
    }
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED)) << "the test service " << name << " did not stop";
    DeleteService(service.get());
}

} // namespace

std::string TestServiceCommand(const std::string& logFile, const std::string& options)
{
    std::string command = "\"" + platform::ProgramFolder() + platform::PathSeparator() + TEST_SERVICE_FILE + "\"";
    if (!logFile.empty()) {
        command += " --log \"" + logFile + "\"";
    }
    return options.empty() ? command : command + " " + options;
}

DWORD RawState(const std::string& name, SERVICE_STATUS* status)
{
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueScHandle service(manager ? OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS own{};
    SERVICE_STATUS& result = status != nullptr ? *status : own;
    if (!service || !QueryServiceStatus(service.get(), &result)) {
        return 0;
    }
    return result.dwCurrentState;
}

bool WaitForRawState(const std::string& name, DWORD state)
{
    return PollUntil([&] { return RawState(name) == state; });
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
    if (read) {
        data.assign(size, '\0');
        read =
            RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    RegCloseKey(key);
    return read;
}

std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(testing_support::ReadFile(path));
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::size_t CountLines(const std::string& path, const std::string& prefix)
{
    std::size_t count = 0;
    for (const std::string& line : LogLines(path)) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

bool WaitForLines(const std::string& path, const std::string& prefix, std::size_t count)
{
    return PollUntil([&] { return CountLines(path, prefix) >= count; });
}

ServiceTest::ServiceTest()
    : name(UniqueServiceName()), log(files.File("service.log")), hold(files.File("stop.hold"))
{
}

ServiceTest::~ServiceTest()
{
    ReleaseHold();
    RemoveTestService(name);
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
