// The service control calls against Wine's and the Linux substitutes': a call and the last error it leaves (0: none).
#include "ServiceTestSupport.h"

namespace {

using namespace service_testing;

DWORD Outcome(BOOL succeeded)
{
    return succeeded ? 0 : GetLastError();
}
DWORD Outcome(SC_HANDLE handle)
{
    const UniqueScHandle closed(handle);
    return handle != nullptr ? 0 : GetLastError();
}
#define OUTCOME(call) (SetLastError(0xdeadbeef), Outcome(call))

SC_HANDLE CreateIn(SC_HANDLE manager, const char* name, const char* program, DWORD type = SERVICE_WIN32_OWN_PROCESS,
                   DWORD start = SERVICE_DEMAND_START, DWORD access = SERVICE_ALL_ACCESS, const char* shown = nullptr)
{
    return CreateServiceA(manager, name, shown, access, type, start, SERVICE_ERROR_NORMAL, program, nullptr, nullptr,
                          nullptr, nullptr, nullptr);
}

struct ServiceControl : ServiceTest {
    SC_HANDLE Open(DWORD access) const { return OpenServiceA(manager.get(), name.c_str(), access); }
    const UniqueScHandle manager{OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    const std::string program = TestServiceCommand(log);
    SERVICE_STATUS status{};
};

TEST_F(ServiceControl, Refusals)
{
    const SC_HANDLE m = manager.get();
    const char* p = program.c_str();
    const DWORD own = SERVICE_WIN32_OWN_PROCESS, connect = SC_MANAGER_CONNECT;
    const std::string absent = name + "x", slashed = name + "\\n", otherCase = "brenlixtest" + name.substr(11);
    const std::string shown = "Shown " + name, shownOtherCase = "SHOWN " + name;
    const UniqueScHandle connected(OpenSCManagerA(nullptr, nullptr, connect));
    UniqueScHandle created(CreateIn(m, name.c_str(), p, own, SERVICE_DISABLED, 0, shown.c_str())),
        query(Open(SERVICE_QUERY_STATUS)),
        start(Open(SERVICE_START)), all(Open(SERVICE_ALL_ACCESS));
    const std::pair<DWORD, DWORD> rows[] = {
        {OUTCOME(OpenSCManagerA(nullptr, nullptr, 0)), 0},
        {OUTCOME(OpenSCManagerA("", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS)), 0},
        {OUTCOME(OpenSCManagerA(nullptr, "DoesNotExist", connect)), ERROR_INVALID_NAME},
        {OUTCOME(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, connect)), ERROR_DATABASE_DOES_NOT_EXIST},
        {OUTCOME(CloseServiceHandle(nullptr)), ERROR_INVALID_HANDLE},
        {OUTCOME(OpenServiceA(nullptr, name.c_str(), SERVICE_QUERY_STATUS)), ERROR_INVALID_HANDLE},
        {OUTCOME(CreateIn(nullptr, absent.c_str(), p)), ERROR_INVALID_HANDLE},
        {OUTCOME(DeleteService(nullptr)), ERROR_INVALID_HANDLE},
        {OUTCOME(ControlService(nullptr, SERVICE_CONTROL_STOP, &status)), ERROR_INVALID_HANDLE},
        {OUTCOME(QueryServiceStatus(nullptr, &status)), ERROR_INVALID_HANDLE},
        {OUTCOME(OpenServiceA(m, nullptr, SERVICE_QUERY_STATUS)), ERROR_INVALID_ADDRESS},
        {OUTCOME(OpenServiceA(m, "", SERVICE_QUERY_STATUS)), ERROR_INVALID_NAME}, // no service lacks a name
        {OUTCOME(CreateIn(m, nullptr, p)), ERROR_INVALID_ADDRESS},
        {OUTCOME(CreateIn(m, absent.c_str(), nullptr)), ERROR_INVALID_ADDRESS},
        {OUTCOME(CreateIn(connected.get(), absent.c_str(), p)), ERROR_ACCESS_DENIED},
        {OUTCOME(CreateIn(m, "", p)), ERROR_INVALID_NAME},
        {OUTCOME(CreateIn(m, slashed.c_str(), p)), ERROR_INVALID_NAME},
        {OUTCOME(CreateIn(m, absent.c_str(), "")), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, absent.c_str(), p, own | SERVICE_WIN32_SHARE_PROCESS)), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, absent.c_str(), p, own, SERVICE_BOOT_START)), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, absent.c_str(), p, own, SERVICE_AUTO_START | SERVICE_DISABLED)), ERROR_INVALID_PARAMETER},
        {OUTCOME(CreateIn(m, otherCase.c_str(), "other.exe")), ERROR_SERVICE_EXISTS},
        {OUTCOME(CreateIn(m, absent.c_str(), p, own, SERVICE_DEMAND_START, SERVICE_ALL_ACCESS, shownOtherCase.c_str())),
         ERROR_DUPLICATE_SERVICE_NAME},
        {OUTCOME(StartServiceA(query.get(), 0, nullptr)), ERROR_ACCESS_DENIED},
        {OUTCOME(ControlService(query.get(), SERVICE_CONTROL_STOP, &status)), ERROR_ACCESS_DENIED},
        {OUTCOME(DeleteService(created.get())), ERROR_ACCESS_DENIED},
        {OUTCOME(QueryServiceStatus(start.get(), &status)), ERROR_ACCESS_DENIED},
        {OUTCOME(StartServiceA(start.get(), 0, nullptr)), ERROR_SERVICE_DISABLED},
        {OUTCOME(ControlService(all.get(), SERVICE_CONTROL_STOP, &status)), ERROR_SERVICE_NOT_ACTIVE},
        {OUTCOME(DeleteService(all.get())), 0},
        {OUTCOME(DeleteService(all.get())), ERROR_SERVICE_MARKED_FOR_DELETE},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i + 1;
    }
    created.reset(), query.reset(), start.reset(), all.reset(); // gone with the last handle
    EXPECT_EQ(OUTCOME(Open(SERVICE_QUERY_STATUS)), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
    EXPECT_EQ(ServiceValue(name, "ImagePath"), "") << "and its key";
}

TEST_F(ServiceControl, ARunningServiceIsDeletedOnceItStops)
{
    UniqueScHandle service(CreateIn(manager.get(), name.c_str(), program.c_str()));
    EXPECT_EQ(OUTCOME(StartServiceA(service.get(), 0, nullptr)), 0u);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING) && WaitForRuns(log));
    EXPECT_EQ(OUTCOME(DeleteService(service.get())), 0u);
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING}) << "still running, marked for deletion";
    EXPECT_EQ(OUTCOME(CreateIn(manager.get(), name.c_str(), "other.exe")), DWORD{ERROR_SERVICE_MARKED_FOR_DELETE});
    EXPECT_EQ(OUTCOME(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)), 0u);
    service.reset();
    EXPECT_TRUE(WaitForRawState(name, 0));
}

} // namespace
