// The service control calls as Windows makes them: against Wine's service
// control manager with a real service program, and natively against the
// Linux substitutes with the test daemon. Each row is one call and the last
// error it leaves (0: it succeeded), set to 0xdeadbeef before it to catch a
// stale error.
#include "ServiceTestSupport.h"

namespace {

using namespace service_testing;
using testing_support::RunningUnderWine;

DWORD Outcome(BOOL succeeded)
{
    return succeeded ? 0 : GetLastError();
}

DWORD Outcome(SC_HANDLE handle)
{
    const DWORD error = handle != nullptr ? 0 : GetLastError();
    if (handle != nullptr) {
        CloseServiceHandle(handle);
    }
    return error;
}

#define OUTCOME(call) (SetLastError(0xdeadbeef), Outcome(call))

SC_HANDLE CreateIn(SC_HANDLE manager, const char* name, const char* program, DWORD type = SERVICE_WIN32_OWN_PROCESS,
                   DWORD start = SERVICE_DEMAND_START, DWORD access = SERVICE_ALL_ACCESS, const char* display = nullptr)
{
    return CreateServiceA(manager, name, display, access, type, start, SERVICE_ERROR_NORMAL, program, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
}

class ServiceControl : public ServiceTest {
protected:
    std::string DisplayName() const { return "Brenlix test service " + name; } // unique, like service names
    UniqueScHandle Create(const std::string& program, DWORD start = SERVICE_DEMAND_START,
                          DWORD access = SERVICE_ALL_ACCESS)
    {
        UniqueScHandle service(CreateIn(manager.get(), name.c_str(), program.c_str(), SERVICE_WIN32_OWN_PROCESS, start,
                                        access, DisplayName().c_str()));
        EXPECT_TRUE(service) << "CreateServiceA: " << GetLastError();
        return service;
    }
    SC_HANDLE Open(DWORD access) const { return OpenServiceA(manager.get(), name.c_str(), access); }

    const UniqueScHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    SERVICE_STATUS status{};
};

TEST(ServiceControlManager, RefusesWhatItCannotDo)
{
    SERVICE_STATUS status{};
    EXPECT_EQ(OUTCOME(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)), 0u);
    EXPECT_EQ(OUTCOME(OpenSCManagerA(nullptr, nullptr, 0)), 0u);
    EXPECT_EQ(OUTCOME(OpenSCManagerA("", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS)), 0u);
    EXPECT_EQ(OUTCOME(OpenSCManagerA(nullptr, "DoesNotExist", SC_MANAGER_CONNECT)), DWORD{ERROR_INVALID_NAME});
    EXPECT_EQ(OUTCOME(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, 0)), DWORD{ERROR_DATABASE_DOES_NOT_EXIST});
    if (!RunningUnderWine()) { // Wine's acts on this machine whatever computer is named
        EXPECT_EQ(OUTCOME(OpenSCManagerA("no-such-computer.invalid", nullptr, 0)), DWORD{RPC_S_SERVER_UNAVAILABLE});
        EXPECT_EQ(OUTCOME(OpenSCManagerA("\\\\no-such-computer.invalid", nullptr, 0)), DWORD{RPC_S_SERVER_UNAVAILABLE});
    }
    EXPECT_EQ(OUTCOME(CloseServiceHandle(nullptr)), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(OpenServiceA(nullptr, "BrenlixTest", SERVICE_QUERY_STATUS)), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(CreateIn(nullptr, "BrenlixTest", "x.exe")), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(DeleteService(nullptr)), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(StartServiceA(nullptr, 0, nullptr)), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(ControlService(nullptr, SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(OUTCOME(QueryServiceStatus(nullptr, &status)), DWORD{ERROR_INVALID_HANDLE});
}

TEST_F(ServiceControl, OpenAndCreateCheckTheirArguments)
{
    const std::string path = TestServiceCommand(log), fresh = name + "n", slashed = name + "\\sub";
    const std::string otherCase = "brenlixtest" + name.substr(11);
    const UniqueScHandle connected(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    const SC_HANDLE m = manager.get();
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    ASSERT_TRUE(Create(path));
    EXPECT_EQ(OUTCOME(OpenServiceA(m, nullptr, SERVICE_QUERY_STATUS)), DWORD{ERROR_INVALID_ADDRESS});
    EXPECT_EQ(OUTCOME(OpenServiceA(m, "", SERVICE_QUERY_STATUS)), DWORD{ERROR_INVALID_NAME});
    EXPECT_EQ(OUTCOME(OpenServiceA(m, fresh.c_str(), SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_EQ(OUTCOME(CreateIn(m, nullptr, path.c_str())), DWORD{ERROR_INVALID_ADDRESS});
    EXPECT_EQ(OUTCOME(CreateIn(m, fresh.c_str(), nullptr)), DWORD{ERROR_INVALID_ADDRESS});
    EXPECT_EQ(OUTCOME(CreateIn(connected.get(), fresh.c_str(), path.c_str())), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(OUTCOME(CreateIn(m, "", path.c_str())), DWORD{ERROR_INVALID_NAME});
    EXPECT_EQ(OUTCOME(CreateIn(m, slashed.c_str(), path.c_str())), DWORD{ERROR_INVALID_NAME});
    EXPECT_EQ(OUTCOME(CreateIn(m, fresh.c_str(), "")), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(OUTCOME(CreateIn(m, fresh.c_str(), path.c_str(), own | SERVICE_WIN32_SHARE_PROCESS)),
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(OUTCOME(CreateIn(m, fresh.c_str(), path.c_str(), own, SERVICE_BOOT_START)), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(OUTCOME(CreateIn(m, fresh.c_str(), path.c_str(), own, SERVICE_AUTO_START | SERVICE_DISABLED)),
              DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(OUTCOME(CreateIn(m, name.c_str(), "other.exe")), DWORD{ERROR_SERVICE_EXISTS});
    EXPECT_EQ(OUTCOME(CreateIn(m, otherCase.c_str(), "other.exe")), DWORD{ERROR_SERVICE_EXISTS});
    EXPECT_EQ(RawState(fresh), 0u) << "nothing else was created";
}

TEST_F(ServiceControl, CreateWritesTheConfigurationToTheRegistry)
{
    const std::string path = TestServiceCommand(log);
    ASSERT_TRUE(Create(path, SERVICE_AUTO_START, SERVICE_QUERY_STATUS));
    const struct {
        const char* value;
        DWORD type;
        std::string data;
    } rows[] = {
        {"Type", REG_DWORD, Dword(SERVICE_WIN32_OWN_PROCESS)},
        {"Start", REG_DWORD, Dword(SERVICE_AUTO_START)},
        {"ErrorControl", REG_DWORD, Dword(SERVICE_ERROR_NORMAL)},
        {"ImagePath", DWORD(RunningUnderWine() ? REG_SZ : REG_EXPAND_SZ), path + '\0'}, // Wine writes REG_SZ
        {"DisplayName", REG_SZ, DisplayName() + '\0'},
        {"ObjectName", REG_SZ, std::string("LocalSystem") + '\0'},
    };
    for (const auto& row : rows) {
        DWORD type = 0;
        std::string data;
        EXPECT_TRUE(ReadServiceValue(name, row.value, type, data)) << row.value;
        EXPECT_EQ(type, row.type) << row.value;
        EXPECT_EQ(data, row.data) << row.value;
    }
}

// Start, start again, a stop held pending, stop and start while it is, stop
// once stopped; and the status the system gives at each step.
TEST_F(ServiceControl, StartsAndStops)
{
    using Fields = std::vector<DWORD>; // type, state, controls accepted, exit code, check point, wait hint
    const auto fields = [](const SERVICE_STATUS& s) {
        return Fields{s.dwServiceType, s.dwCurrentState,        s.dwControlsAccepted, s.dwWin32ExitCode,
                      s.dwCheckPoint,  s.dwWaitHint};
    };
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    const UniqueScHandle service = Create(TestServiceCommand(log, HoldOption()));
    RawState(name, &status);
    EXPECT_EQ(fields(status), (Fields{own, SERVICE_STOPPED, 0, ERROR_SERVICE_NEVER_STARTED, 0, 0}));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), 0u);
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), DWORD{ERROR_SERVICE_ALREADY_RUNNING});
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    RawState(name, &status);
    EXPECT_EQ(fields(status), (Fields{own, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0}));

    const Fields pending{own, SERVICE_STOP_PENDING, 0, 0, 1, 1000};
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), 0u);
    EXPECT_EQ(fields(status), pending);
    RawState(name, &status);
    EXPECT_EQ(fields(status), pending);
    status = SERVICE_STATUS{};
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)),
              DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
    EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), DWORD{ERROR_SERVICE_ALREADY_RUNNING});
    ReleaseHold();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_SERVICE_NOT_ACTIVE});
    EXPECT_EQ(fields(status), (Fields{own, SERVICE_STOPPED, 0, 0, 0, 0}));
    const std::string lines = testing_support::ReadFile(log);
    EXPECT_EQ(lines.substr(lines.find('\n')), "\nrunning\nstop\nstopped\n");
}

TEST_F(ServiceControl, HandlesDoWhatTheyWereOpenedFor)
{
    const UniqueScHandle created = Create(TestServiceCommand(log), SERVICE_DEMAND_START, 0);
    const UniqueScHandle query(Open(SERVICE_QUERY_STATUS)), start(Open(SERVICE_START));
    EXPECT_EQ(OUTCOME(StartServiceA(query.get(), 0, nullptr)), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(OUTCOME(ControlService(query.get(), SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(OUTCOME(DeleteService(query.get())), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(OUTCOME(DeleteService(created.get())), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(OUTCOME(QueryServiceStatus(start.get(), &status)), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceControl, RefusedStarts)
{
    const std::pair<std::string, DWORD> rows[] = {
        {TestServiceCommand(log), SERVICE_DISABLED},
        {"\"" + files.File("missing.exe") + "\"", SERVICE_DEMAND_START},
    };
    for (const auto& [program, start] : rows) {
        const UniqueScHandle service = Create(program, start);
        EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)),
                  DWORD(start == SERVICE_DISABLED ? ERROR_SERVICE_DISABLED : ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
        EXPECT_EQ(OUTCOME(DeleteService(service.get())), 0u);
    }
}

TEST_F(ServiceControl, DeleteRemovesAStoppedServiceAndItsKey)
{
    const UniqueScHandle service = Create(TestServiceCommand(log));
    EXPECT_EQ(OUTCOME(DeleteService(service.get())), 0u);
    EXPECT_EQ(OUTCOME(DeleteService(service.get())), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
    EXPECT_EQ(OUTCOME(Open(SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    DWORD type = 0;
    std::string data;
    EXPECT_FALSE(ReadServiceValue(name, "ImagePath", type, data));
}

TEST_F(ServiceControl, ARunningServiceIsDeletedOnceItStops)
{
    UniqueScHandle service = Create(TestServiceCommand(log));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), 0u);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_EQ(OUTCOME(DeleteService(service.get())), 0u);
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING}) << "still running, marked for deletion";
    EXPECT_EQ(OUTCOME(CreateIn(manager.get(), name.c_str(), "other.exe")), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), 0u);
    service.reset();
    EXPECT_TRUE(WaitForRawState(name, 0));
    EXPECT_EQ(OUTCOME(Open(SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
}

} // namespace
