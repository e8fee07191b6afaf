// The service control calls as Windows makes them: against Wine's service
// control manager with a real service program, and natively against the
// Linux substitutes with the test daemon. A row is a call and the last error
// it leaves (0: it succeeded), set to 0xdeadbeef before it.
#include "ServiceTestSupport.h"

namespace {

using namespace service_testing;

DWORD Outcome(BOOL succeeded)
{
    return succeeded ? 0 : GetLastError();
}

DWORD Outcome(SC_HANDLE handle)
{
    const DWORD error = handle != nullptr ? 0 : GetLastError();
    UniqueScHandle closed(handle);
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
    SC_HANDLE Open(DWORD access) const { return OpenServiceA(manager.get(), name.c_str(), access); }
    // Display names are unique on a machine, like service names.
    SC_HANDLE Create(const std::string& path, DWORD start = SERVICE_DEMAND_START, DWORD access = SERVICE_ALL_ACCESS)
    {
        const std::string display = "Brenlix test " + name;
        return CreateIn(manager.get(), name.c_str(), path.c_str(), SERVICE_WIN32_OWN_PROCESS, start, access,
                        display.c_str());
    }
    const UniqueScHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    const std::string program = TestServiceCommand(log), fresh = name + "n";
    SERVICE_STATUS status{};
};

TEST_F(ServiceControl, RefusalsByArgumentsAndRights)
{
    const SC_HANDLE m = manager.get();
    const UniqueScHandle connected(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueScHandle created(Create(program, SERVICE_DISABLED, 0));
    UniqueScHandle query(Open(SERVICE_QUERY_STATUS)), start(Open(SERVICE_START)), all(Open(SERVICE_ALL_ACCESS));
    const std::string slashed = fresh + "\\sub", otherCase = "brenlixtest" + name.substr(11);
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    const std::pair<DWORD, DWORD> rows[] = {
        {OUTCOME(OpenSCManagerA(nullptr, nullptr, 0)), 0},
        {OUTCOME(OpenSCManagerA("", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS)), 0},
        {OUTCOME(OpenSCManagerA(nullptr, "DoesNotExist", SC_MANAGER_CONNECT)), ERROR_INVALID_NAME},
        {OUTCOME(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, SC_MANAGER_CONNECT)),
          ERROR_DATABASE_DOES_NOT_EXIST},
        {OUTCOME(CloseServiceHandle(nullptr)), ERROR_INVALID_HANDLE},
        {OUTCOME(OpenServiceA(nullptr, name.c_str(), SERVICE_QUERY_STATUS)), ERROR_INVALID_HANDLE},
        {OUTCOME(CreateIn(nullptr, fresh.c_str(), program.c_str())), ERROR_INVALID_HANDLE},
        {OUTCOME(DeleteService(nullptr)), ERROR_INVALID_HANDLE},
        {OUTCOME(StartServiceA(nullptr, 0, nullptr)), ERROR_INVALID_HANDLE},
        {OUTCOME(ControlService(nullptr, SERVICE_CONTROL_STOP, &status)), ERROR_INVALID_HANDLE},
        {OUTCOME(QueryServiceStatus(nullptr, &status)), ERROR_INVALID_HANDLE},
        {OUTCOME(OpenServiceA(m, nullptr, SERVICE_QUERY_STATUS)), ERROR_INVALID_ADDRESS},
        {OUTCOME(OpenServiceA(m, "", SERVICE_QUERY_STATUS)), ERROR_INVALID_NAME},
        {OUTCOME(OpenServiceA(m, fresh.c_str(), SERVICE_QUERY_STATUS)), ERROR_SERVICE_DOES_NOT_EXIST},
        {OUTCOME(CreateIn(m, nullptr, program.c_str())), ERROR_INVALID_ADDRESS},
        {OUTCOME(CreateIn(m, fresh.c_str(), nullptr)), ERROR_INVALID_ADDRESS},
        {OUTCOME(CreateIn(connected.get(), fresh.c_str(), program.c_str())), ERROR_ACCESS_DENIED},
        {OUTCOME(CreateIn(m, "", program.c_str())), ERROR_INVALID_NAME},
        {OUTCOME(CreateIn(m, slashed.c_str(), program.c_str())), ERROR_INVALID_NAME},
        {OUTCOME(CreateIn(m, fresh.c_str(), "")), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, fresh.c_str(), program.c_str(), own | SERVICE_WIN32_SHARE_PROCESS)), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, fresh.c_str(), program.c_str(), own, SERVICE_BOOT_START)), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, fresh.c_str(), program.c_str(), own, SERVICE_AUTO_START | SERVICE_DISABLED)),
         ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, name.c_str(), "other.exe")), ERROR_SERVICE_EXISTS},
        {OUTCOME(CreateIn(m, otherCase.c_str(), "other.exe")), ERROR_SERVICE_EXISTS},
        {OUTCOME(StartServiceA(query.get(), 0, nullptr)), ERROR_ACCESS_DENIED},
        {OUTCOME(ControlService(query.get(), SERVICE_CONTROL_STOP, &status)), ERROR_ACCESS_DENIED},
        {OUTCOME(DeleteService(query.get())), ERROR_ACCESS_DENIED},
        {OUTCOME(DeleteService(created.get())), ERROR_ACCESS_DENIED},
        {OUTCOME(QueryServiceStatus(start.get(), &status)), ERROR_ACCESS_DENIED},
        {OUTCOME(StartServiceA(start.get(), 0, nullptr)), ERROR_SERVICE_DISABLED},
        {OUTCOME(DeleteService(all.get())), 0},
        {OUTCOME(DeleteService(all.get())), ERROR_SERVICE_MARKED_FOR_DELETE},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i + 1;
    }
    created.reset(), query.reset(), start.reset(), all.reset(); // gone with the last handle
    EXPECT_EQ(OUTCOME(Open(SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_EQ(ServiceValue(name, "ImagePath") + ServiceValue(fresh, "ImagePath"), "") << "no key left";
    if (!testing_support::RunningUnderWine()) { // Wine's acts on this machine whatever computer is named
        EXPECT_EQ(OUTCOME(OpenSCManagerA("no-such-computer.invalid", nullptr, 0)), DWORD{RPC_S_SERVER_UNAVAILABLE});
        EXPECT_EQ(OUTCOME(OpenSCManagerA("\\\\no-such.invalid", nullptr, 0)), DWORD{RPC_S_SERVER_UNAVAILABLE});
    }
}

// Never started, started, started again, a stop held pending, stop and start
// while it is, stopped, stopped again: the status the system gives, in the
// order type, state, controls accepted, exit code, check point, wait hint.
TEST_F(ServiceControl, StartsAndStops)
{
    using Fields = std::vector<DWORD>;
    const auto fields = [this](bool raw) {
        if (raw) {
            RawState(name, &status);
        }
        const SERVICE_STATUS& s = status;
        return Fields{s.dwServiceType, s.dwCurrentState, s.dwControlsAccepted, s.dwWin32ExitCode, s.dwCheckPoint,
                      s.dwWaitHint};
    };
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    const UniqueScHandle service(Create(TestServiceCommand(log, HoldOption())));
    EXPECT_EQ(fields(true), (Fields{own, SERVICE_STOPPED, 0, ERROR_SERVICE_NEVER_STARTED, 0, 0}));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), 0u);
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), DWORD{ERROR_SERVICE_ALREADY_RUNNING});
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING) && WaitForLines(log, "running"));
    EXPECT_EQ(fields(true), (Fields{own, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0}));
    const Fields pending{own, SERVICE_STOP_PENDING, 0, 0, 1, 1000};
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), 0u);
    EXPECT_EQ(fields(false), pending);
    EXPECT_EQ(fields(true), pending);
    status = SERVICE_STATUS{};
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)),
              DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
    EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), DWORD{ERROR_SERVICE_ALREADY_RUNNING});
    ReleaseHold();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), DWORD{ERROR_SERVICE_NOT_ACTIVE});
    EXPECT_EQ(fields(false), (Fields{own, SERVICE_STOPPED, 0, 0, 0, 0}));
    const std::string lines = testing_support::ReadFile(log);
    EXPECT_EQ(lines.substr(lines.find('\n')), "\nrunning\nstop\nstopped\n");
}

TEST_F(ServiceControl, AMissingProgramDoesNotStart)
{
    const UniqueScHandle service(Create("\"" + files.File("no.exe") + "\""));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
}

TEST_F(ServiceControl, ARunningServiceIsDeletedOnceItStops)
{
    UniqueScHandle service(Create(program));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), 0u);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING) && WaitForLines(log, "running"));
    EXPECT_EQ(OUTCOME(DeleteService(service.get())), 0u);
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING}) << "still running, marked for deletion";
    EXPECT_EQ(OUTCOME(CreateIn(manager.get(), name.c_str(), "other.exe")), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), 0u);
    service.reset();
    EXPECT_TRUE(WaitForRawState(name, 0));
    EXPECT_EQ(OUTCOME(Open(SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
}

} // namespace
