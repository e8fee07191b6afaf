// The eight service control calls as the system makes them, against Wine's
// service control manager with a real service program, and natively against
// the Linux substitutes with the test daemon. Sentinels (SetLastError
// 0xdeadbeef, status records filled with 0xbd) catch stale errors and stray
// writes.
#include "ServiceTestSupport.h"

#include <cstring>

namespace {

using service_testing::LogLines;
using service_testing::RawState;
using service_testing::ReadServiceValue;
using service_testing::ServiceTest;
using service_testing::TestServiceCommand;
using service_testing::UniqueScHandle;
using service_testing::WaitForLines;
using service_testing::WaitForRawState;
using testing_support::RunningUnderWine;

std::string Dword(DWORD value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

SERVICE_STATUS Sentinel()
{
    SERVICE_STATUS status;
    std::memset(&status, 0xbd, sizeof status);
    return status;
}

class ServiceControl : public ServiceTest {
protected:
    // Display names are unique on a machine, like service names.
    std::string DisplayName() const { return "Brenlix test service " + name; }

    UniqueScHandle Create(const std::string& commandLine, DWORD access = SERVICE_ALL_ACCESS,
                          DWORD startType = SERVICE_DEMAND_START, const char* account = nullptr)
    {
        const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        EXPECT_TRUE(manager) << GetLastError();
        SetLastError(0xdeadbeef);
        UniqueScHandle service(CreateServiceA(manager.get(), name.c_str(), DisplayName().c_str(), access,
                                              SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                              commandLine.c_str(), nullptr, nullptr, nullptr, account, nullptr));
        EXPECT_TRUE(service) << "CreateServiceA: " << GetLastError();
        return service;
    }

    UniqueScHandle Open(DWORD access)
    {
        const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        return UniqueScHandle(OpenServiceA(manager.get(), name.c_str(), access));
    }
};

TEST(ServiceControlManager, OpensByMachineAndDatabase)
{
    struct Row {
        const char* machine;
        const char* database;
        DWORD access;
        DWORD error; // 0: opens
    };
    const Row rows[] = {
        {nullptr, nullptr, SC_MANAGER_CONNECT, 0},
        {nullptr, nullptr, 0, 0},
        {"", SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS, 0},
        {nullptr, "DoesNotExist", SC_MANAGER_CONNECT, ERROR_INVALID_NAME},
        {nullptr, SERVICES_FAILED_DATABASEA, SC_MANAGER_CONNECT, ERROR_DATABASE_DOES_NOT_EXIST},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.machine ? row.machine : "NULL") + ", " + (row.database ? row.database : "NULL"));
        SetLastError(0xdeadbeef);
        const UniqueScHandle manager(OpenSCManagerA(row.machine, row.database, row.access));
        if (row.error == 0) {
            EXPECT_TRUE(manager) << GetLastError();
        } else {
            EXPECT_FALSE(manager);
            EXPECT_EQ(GetLastError(), row.error);
        }
    }
}

TEST(ServiceControlManager, AnotherComputerIsUnavailable)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine's service control acts on this machine whatever computer is named";
    }
    for (const char* machine : {"no-such-computer.invalid", "\\\\no-such-computer.invalid"}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(OpenSCManagerA(machine, nullptr, SC_MANAGER_CONNECT), nullptr) << machine;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE)) << machine;
    }
}

TEST(ServiceControlManager, NullHandlesAreInvalid)
{
    SERVICE_STATUS status = Sentinel();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(nullptr, "BrenlixTest", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(
        CreateServiceA(nullptr, nullptr, nullptr, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteService(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(nullptr, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceStatus(nullptr, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ServiceControl, OpeningAMissingServiceFails)
{
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(manager.get(), nullptr, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceControl, CreateChecksItsArguments)
{
    const std::string path = TestServiceCommand(log);
    const std::string slashed = name + "\\sub";
    struct Row {
        const char* what;
        DWORD managerAccess;
        const char* name;
        const char* path;
        DWORD type;
        DWORD start;
        DWORD error;
    };
    const Row rows[] = {
        {"no name", SC_MANAGER_CREATE_SERVICE, nullptr, path.c_str(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
         ERROR_INVALID_ADDRESS},
        {"no program", SC_MANAGER_CREATE_SERVICE, name.c_str(), nullptr, SERVICE_WIN32_OWN_PROCESS,
         SERVICE_DEMAND_START, ERROR_INVALID_ADDRESS},
        {"manager not opened for creating", SC_MANAGER_CONNECT, name.c_str(), path.c_str(), SERVICE_WIN32_OWN_PROCESS,
         SERVICE_DEMAND_START, ERROR_ACCESS_DENIED},
        {"empty name", SC_MANAGER_CREATE_SERVICE, "", path.c_str(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
         ERROR_INVALID_NAME},
        {"name with a backslash", SC_MANAGER_CREATE_SERVICE, slashed.c_str(), path.c_str(), SERVICE_WIN32_OWN_PROCESS,
         SERVICE_DEMAND_START, ERROR_INVALID_NAME},
        {"empty program", SC_MANAGER_CREATE_SERVICE, name.c_str(), "", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
         ERROR_INVALID_PARAMETER},
        {"two process types", SC_MANAGER_CREATE_SERVICE, name.c_str(), path.c_str(),
         SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_DEMAND_START, ERROR_INVALID_PARAMETER},
        {"boot start for a program", SC_MANAGER_CREATE_SERVICE, name.c_str(), path.c_str(), SERVICE_WIN32_OWN_PROCESS,
         SERVICE_BOOT_START, ERROR_INVALID_PARAMETER},
        {"start types or-ed", SC_MANAGER_CREATE_SERVICE, name.c_str(), path.c_str(), SERVICE_WIN32_OWN_PROCESS,
         SERVICE_AUTO_START | SERVICE_DISABLED, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, row.managerAccess));
        ASSERT_TRUE(manager);
        SetLastError(0xdeadbeef);
        const UniqueScHandle service(CreateServiceA(manager.get(), row.name, nullptr, SERVICE_ALL_ACCESS, row.type,
                                                    row.start, SERVICE_ERROR_NORMAL, row.path, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr));
        EXPECT_FALSE(service);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_EQ(RawState(name), 0u) << "nothing was created";
}

TEST_F(ServiceControl, CreateWritesTheConfigurationToTheRegistry)
{
    const std::string path = TestServiceCommand(log);
    ASSERT_TRUE(Create(path, SERVICE_QUERY_STATUS, SERVICE_AUTO_START));
    struct Row {
        const char* value;
        DWORD type;
        std::string data;
    };
    const Row rows[] = {
        {"Type", REG_DWORD, Dword(SERVICE_WIN32_OWN_PROCESS)},
        {"Start", REG_DWORD, Dword(SERVICE_AUTO_START)},
        {"ErrorControl", REG_DWORD, Dword(SERVICE_ERROR_NORMAL)},
        // Wine writes it as REG_SZ.
        {"ImagePath", static_cast<DWORD>(RunningUnderWine() ? REG_SZ : REG_EXPAND_SZ), path + '\0'},
        {"DisplayName", REG_SZ, DisplayName() + '\0'},
        {"ObjectName", REG_SZ, std::string("LocalSystem") + '\0'},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(ReadServiceValue(name, row.value, type, data));
        EXPECT_EQ(type, row.type);
        EXPECT_EQ(data, row.data);
    }
}

TEST_F(ServiceControl, AnAccountThatDoesNotExistIsRefused)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine checks no service account";
    }
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(manager.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, TestServiceCommand(log).c_str(), nullptr,
                             nullptr, nullptr, ".\\NoSuchUserOfBrenlix", "secret"),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SERVICE_ACCOUNT));
}

TEST_F(ServiceControl, ANameIsTakenOnce)
{
    ASSERT_TRUE(Create(TestServiceCommand(log)));
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    for (const std::string& taken : {name, "brenlixtest" + name.substr(11)}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateServiceA(manager.get(), taken.c_str(), nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "other.exe", nullptr, nullptr, nullptr,
                                 nullptr, nullptr),
                  nullptr)
            << taken;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS)) << taken;
    }
}

TEST_F(ServiceControl, ANewServiceHasNeverRun)
{
    ASSERT_TRUE(Create(TestServiceCommand(log)));
    SERVICE_STATUS status = Sentinel();
    ASSERT_EQ(RawState(name, &status), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(status.dwControlsAccepted, 0u);
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_NEVER_STARTED));
    EXPECT_EQ(status.dwCheckPoint, 0u);
    EXPECT_EQ(status.dwWaitHint, 0u);
}

TEST_F(ServiceControl, StartsAndStops)
{
    const UniqueScHandle service = Create(TestServiceCommand(log));
    ASSERT_TRUE(service);
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << GetLastError();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    SERVICE_STATUS status = Sentinel();
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted & SERVICE_ACCEPT_STOP, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);

    status = Sentinel();
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED)
        << status.dwCurrentState;
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    status = Sentinel();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("start ", 0), 0u);
    EXPECT_EQ(lines[3], "stopped");
}

TEST_F(ServiceControl, AStopThatTakesTimeIsPending)
{
    const UniqueScHandle service = Create(TestServiceCommand(log, HoldOption() + " --stop-hint 1000"));
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    SERVICE_STATUS status = Sentinel();
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    ASSERT_EQ(RawState(name, &status), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(status.dwWaitHint, 1000u);
    EXPECT_EQ(status.dwControlsAccepted, 0u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    ReleaseHold();
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
}

TEST_F(ServiceControl, HandlesDoWhatTheyWereOpenedFor)
{
    ASSERT_TRUE(Create(TestServiceCommand(log)));
    SERVICE_STATUS status = Sentinel();
    const UniqueScHandle query = Open(SERVICE_QUERY_STATUS);
    ASSERT_TRUE(query);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(query.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(query.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteService(query.get()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const UniqueScHandle start = Open(SERVICE_START);
    ASSERT_TRUE(start);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceStatus(start.get(), &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceControl, DeleteRemovesAStoppedServiceAndItsKey)
{
    {
        const UniqueScHandle created = Create(TestServiceCommand(log), 0);
        ASSERT_TRUE(created);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteService(created.get())) << "created without DELETE access";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        const UniqueScHandle service = Open(DELETE);
        ASSERT_TRUE(service);
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(DeleteService(service.get())) << GetLastError();
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteService(service.get()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    }
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    DWORD type = 0;
    std::string data;
    EXPECT_FALSE(ReadServiceValue(name, "ImagePath", type, data));
}

TEST_F(ServiceControl, ARunningServiceIsDeletedOnceItStops)
{
    const UniqueScHandle service = Create(TestServiceCommand(log));
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    ASSERT_TRUE(DeleteService(service.get())) << GetLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING)) << "still running, marked for deletion";
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(manager.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "other.exe", nullptr, nullptr, nullptr,
                             nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    SERVICE_STATUS status = Sentinel();
    ASSERT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    for (int i = 0; i < 1000 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
        Sleep(10);
        ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    }
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceControl, ADisabledServiceDoesNotStart)
{
    const UniqueScHandle service = Create(TestServiceCommand(log), SERVICE_ALL_ACCESS, SERVICE_DISABLED);
    ASSERT_TRUE(service);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
}

TEST_F(ServiceControl, AMissingProgramDoesNotStart)
{
    const UniqueScHandle service = Create("\"" + files.File("missing.exe") + "\"");
    ASSERT_TRUE(service);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
}

} // namespace
