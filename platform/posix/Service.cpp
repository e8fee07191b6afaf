// The service control functions on Linux, over the service database
// (ServiceDatabase.h) and the services' processes (ServiceProcess.h).
//
// Handles check their access as Windows does: a call needs the right it is
// about (SERVICE_START, SERVICE_STOP, SERVICE_QUERY_STATUS, DELETE,
// SC_MANAGER_CREATE_SERVICE). Opening the manager or a service for any right
// that changes something needs a service database that the process may write
// (the machine's registry hive and <root>/services); otherwise
// ERROR_ACCESS_DENIED, as for a user who is no administrator on Windows.
//
// What Windows leaves to the service program is decided here: a started
// service runs at once (no start pending), and a stopped one is pending with a
// wait hint of kStopWaitHint until its process is gone. A service marked for
// deletion while it runs goes from the database once its process has ended.
#include <platform/Win32.h>

#include "HandleTable.h"
#include "ServiceDatabase.h"
#include "ServiceProcess.h"
#include "ThisMachine.h"

#include <cstring>
#include <memory>
#include <strings.h>

namespace platform::posix {

namespace {

constexpr DWORD kManagerChangeRights =
    SC_MANAGER_CREATE_SERVICE | SC_MANAGER_LOCK | SC_MANAGER_MODIFY_BOOT_CONFIG | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr DWORD kServiceChangeRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                                       SERVICE_USER_DEFINED_CONTROL | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr std::size_t kMaxServiceName = 256;
// How long ControlService gives a process to end after SIGTERM before it
// reports the stop as pending.
constexpr DWORD kStopGrace = 100;

class ManagerHandle final : public HandleObject {
public:
    explicit ManagerHandle(DWORD granted) : access(granted) {}
    bool ClosedByCloseHandle() const override { return false; }
    const DWORD access;
};

class ServiceHandle final : public HandleObject {
public:
    ServiceHandle(std::string serviceName, DWORD serviceType, DWORD granted)
        : name(std::move(serviceName)), type(serviceType), access(granted)
    {
    }
    bool ClosedByCloseHandle() const override { return false; }
    const std::string name;
    const DWORD type;
    const DWORD access;
};

DWORD GrantedManagerRights(DWORD desired)
{
    DWORD granted = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if ((desired & GENERIC_READ) != 0) {
        granted |= SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
    }
    if ((desired & GENERIC_WRITE) != 0) {
        granted |= SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG | READ_CONTROL;
    }
    if ((desired & GENERIC_EXECUTE) != 0) {
        granted |= SC_MANAGER_CONNECT | SC_MANAGER_LOCK | READ_CONTROL;
    }
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
        granted |= SC_MANAGER_ALL_ACCESS;
    }
    return granted;
}

DWORD GrantedServiceRights(DWORD desired)
{
    DWORD granted = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if ((desired & GENERIC_READ) != 0) {
        granted |= SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS |
                   READ_CONTROL;
    }
    if ((desired & GENERIC_WRITE) != 0) {
        granted |= SERVICE_CHANGE_CONFIG | READ_CONTROL;
    }
    if ((desired & GENERIC_EXECUTE) != 0) {
        granted |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;
    }
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) {
        granted |= SERVICE_ALL_ACCESS;
    }
    return granted;
}

// The rights granted, or ERROR_ACCESS_DENIED for rights that change the
// database when the process may not write it (MAXIMUM_ALLOWED then gets the
// others).
DWORD Grant(DWORD desired, DWORD granted, DWORD changeRights, DWORD& error)
{
    if ((granted & changeRights) != 0 && ServiceDatabaseWritable() != ERROR_SUCCESS) {
        if ((desired & MAXIMUM_ALLOWED) == 0) {
            error = ERROR_ACCESS_DENIED;
            return 0;
        }
        granted &= ~changeRights;
    }
    error = ERROR_SUCCESS;
    return granted;
}

template <typename T> std::shared_ptr<T> Find(SC_HANDLE handle)
{
    return FindHandleOf<T>(reinterpret_cast<HANDLE>(handle));
}

SC_HANDLE Add(std::shared_ptr<HandleObject> object)
{
    return reinterpret_cast<SC_HANDLE>(AddHandle(std::move(object)));
}

template <typename Result> Result Fail(DWORD error, Result result)
{
    SetLastError(error);
    return result;
}

bool HasProcess(RunState state)
{
    return state == RunState::Running || state == RunState::StopPending;
}

// A service handle opened with the right a call needs, and the service's
// configuration read under the services' lock, which it holds.
struct LockedService {
    std::unique_ptr<WriteLock> lock;
    ServiceConfig config;
};

DWORD LockService(SC_HANDLE handle, DWORD right, LockedService& locked)
{
    const auto service = Find<ServiceHandle>(handle);
    if (!service) {
        return ERROR_INVALID_HANDLE;
    }
    if ((service->access & right) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    DWORD error = ERROR_SUCCESS;
    if (!(locked.lock = LockServices(error))) {
        return error;
    }
    if (ReadServiceConfig(service->name, locked.config) != ERROR_SUCCESS || locked.config.markedForDelete) {
        return ERROR_SERVICE_MARKED_FOR_DELETE;
    }
    return ERROR_SUCCESS;
}

// Removes a service marked for deletion whose process has ended; true when
// it is gone.
bool SettleDeletion(const ServiceConfig& config)
{
    if (!config.markedForDelete || HasProcess(QueryRun(config.name))) {
        return false;
    }
    std::uint32_t error = 0;
    const auto lock = LockServices(error);
    if (!lock) {
        return false;
    }
    ServiceConfig now;
    if (ReadServiceConfig(config.name, now) != ERROR_SUCCESS) {
        return true;
    }
    if (!now.markedForDelete || HasProcess(QueryRun(config.name))) {
        return false;
    }
    ForgetRun(*lock, config.name);
    return RemoveServiceConfig(config.name) == ERROR_SUCCESS;
}

void FillStatus(const ServiceHandle& service, RunState state, LPSERVICE_STATUS status)
{
    *status = SERVICE_STATUS{};
    status->dwServiceType = service.type;
    switch (state) {
    case RunState::Running:
        status->dwCurrentState = SERVICE_RUNNING;
        status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
        break;
    case RunState::StopPending:
        status->dwCurrentState = SERVICE_STOP_PENDING;
        status->dwCheckPoint = 1;
        status->dwWaitHint = kStopWaitHint;
        break;
    case RunState::NeverStarted:
        status->dwCurrentState = SERVICE_STOPPED;
        status->dwWin32ExitCode = ERROR_SERVICE_NEVER_STARTED;
        break;
    case RunState::Stopped:
        status->dwCurrentState = SERVICE_STOPPED;
        break;
    case RunState::Ended:
        status->dwCurrentState = SERVICE_STOPPED;
        status->dwWin32ExitCode = ERROR_PROCESS_ABORTED;
        break;
    }
}

// The control codes a program may send: the standard ones it can send
// (shutdown is the system's) and the user-defined range 128 to 255.
bool IsSendableControl(DWORD control)
{
    return (control >= SERVICE_CONTROL_STOP && control <= SERVICE_CONTROL_INTERROGATE) ||
           (control >= 6 && control <= 16) || (control >= 128 && control <= 255);
}

DWORD RightForControl(DWORD control)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
        return SERVICE_INTERROGATE;
    default:
        return control >= 128 ? SERVICE_USER_DEFINED_CONTROL : SERVICE_PAUSE_CONTINUE;
    }
}

} // namespace

} // namespace platform::posix

using namespace platform::posix;

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess)
{
    if (!IsThisMachine(lpMachineName)) {
        return Fail(RPC_S_SERVER_UNAVAILABLE, SC_HANDLE{});
    }
    if (lpDatabaseName != nullptr && ::strcasecmp(lpDatabaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
        return Fail(::strcasecmp(lpDatabaseName, SERVICES_FAILED_DATABASEA) == 0 ? ERROR_DATABASE_DOES_NOT_EXIST
                                                                                 : ERROR_INVALID_NAME,
                    SC_HANDLE{});
    }
    DWORD error = ERROR_SUCCESS;
    const DWORD granted = Grant(dwDesiredAccess, GrantedManagerRights(dwDesiredAccess), kManagerChangeRights, error);
    if (error != ERROR_SUCCESS) {
        return Fail(error, SC_HANDLE{});
    }
    return Add(std::make_shared<ManagerHandle>(granted));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess)
{
    if (!Find<ManagerHandle>(hSCManager)) {
        return Fail(ERROR_INVALID_HANDLE, SC_HANDLE{});
    }
    if (lpServiceName == nullptr) {
        return Fail(ERROR_INVALID_ADDRESS, SC_HANDLE{});
    }
    if (*lpServiceName == '\0') {
        return Fail(ERROR_INVALID_NAME, SC_HANDLE{}); // as Windows: no service has no name
    }
    ServiceConfig config;
    DWORD error = ReadServiceConfig(lpServiceName, config);
    if (error == ERROR_SUCCESS && SettleDeletion(config)) {
        error = ERROR_SERVICE_DOES_NOT_EXIST;
    }
    if (error != ERROR_SUCCESS) {
        return Fail(error, SC_HANDLE{});
    }
    const DWORD granted = Grant(dwDesiredAccess, GrantedServiceRights(dwDesiredAccess), kServiceChangeRights, error);
    if (error != ERROR_SUCCESS) {
        return Fail(error, SC_HANDLE{});
    }
    return Add(std::make_shared<ServiceHandle>(config.name, config.type, granted));
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName, DWORD dwDesiredAccess,
                                DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR /*lpPassword*/)
{
    const auto manager = Find<ManagerHandle>(hSCManager);
    if (!manager) {
        return Fail(ERROR_INVALID_HANDLE, SC_HANDLE{});
    }
    if (lpServiceName == nullptr || lpBinaryPathName == nullptr) {
        return Fail(ERROR_INVALID_ADDRESS, SC_HANDLE{});
    }
    if ((manager->access & SC_MANAGER_CREATE_SERVICE) == 0) {
        return Fail(ERROR_ACCESS_DENIED, SC_HANDLE{});
    }
    const std::size_t nameLength = std::strlen(lpServiceName);
    if (nameLength == 0 || nameLength > kMaxServiceName || std::strpbrk(lpServiceName, "/\\\r\n") != nullptr) {
        return Fail(ERROR_INVALID_NAME, SC_HANDLE{});
    }
    // Only programs are services here: no drivers.
    const DWORD kind = dwServiceType & ~SERVICE_INTERACTIVE_PROCESS;
    if (*lpBinaryPathName == '\0' || (kind != SERVICE_WIN32_OWN_PROCESS && kind != SERVICE_WIN32_SHARE_PROCESS) ||
        dwStartType < SERVICE_AUTO_START || dwStartType > SERVICE_DISABLED || dwErrorControl > SERVICE_ERROR_CRITICAL ||
        lpdwTagId != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, SC_HANDLE{});
    }
    ServiceConfig config;
    bool localSystem = false;
    if (const DWORD error = CheckServiceAccount(lpServiceStartName, config.objectName, localSystem);
        error != ERROR_SUCCESS) {
        return Fail(error, SC_HANDLE{});
    }
    if ((dwServiceType & SERVICE_INTERACTIVE_PROCESS) != 0 && !localSystem) {
        return Fail(ERROR_INVALID_PARAMETER, SC_HANDLE{});
    }
    config.name = lpServiceName;
    config.displayName = lpDisplayName != nullptr ? lpDisplayName : "";
    config.type = dwServiceType;
    config.start = dwStartType;
    config.errorControl = dwErrorControl;
    config.imagePath = lpBinaryPathName;
    config.group = lpLoadOrderGroup != nullptr ? lpLoadOrderGroup : "";
    if (lpDependencies != nullptr) {
        for (const char* item = lpDependencies; *item != '\0'; item += std::strlen(item) + 1) {
            config.dependencies.append(item, std::strlen(item) + 1);
        }
    }

    DWORD error = ERROR_SUCCESS;
    const auto lock = LockServices(error);
    if (!lock) {
        return Fail(error, SC_HANDLE{});
    }
    ServiceConfig existing;
    if (ReadServiceConfig(config.name, existing) == ERROR_SUCCESS && existing.markedForDelete &&
        !HasProcess(QueryRun(existing.name))) {
        ForgetRun(*lock, existing.name);
        RemoveServiceConfig(existing.name);
    }
    if ((error = AddServiceConfig(config)) != ERROR_SUCCESS) {
        return Fail(error, SC_HANDLE{});
    }
    ForgetRun(*lock, config.name);
    // The new handle has the rights asked for, whatever they are.
    return Add(std::make_shared<ServiceHandle>(config.name, config.type, GrantedServiceRights(dwDesiredAccess)));
}

BOOL WINAPI DeleteService(SC_HANDLE hService)
{
    LockedService locked;
    DWORD error = LockService(hService, DELETE, locked);
    if (error != ERROR_SUCCESS) {
        return Fail(error, FALSE);
    }
    const std::string& name = locked.config.name;
    if (HasProcess(QueryRun(name))) {
        error = MarkServiceForDelete(name);
    } else {
        ForgetRun(*locked.lock, name);
        error = RemoveServiceConfig(name);
    }
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD /*dwNumServiceArgs*/, LPCSTR* /*lpServiceArgVectors*/)
{
    LockedService locked;
    DWORD error = LockService(hService, SERVICE_START, locked);
    if (error == ERROR_SUCCESS && locked.config.start == SERVICE_DISABLED) {
        error = ERROR_SERVICE_DISABLED;
    }
    if (error == ERROR_SUCCESS && HasProcess(QueryRun(locked.config.name))) {
        error = ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (error == ERROR_SUCCESS) {
        error = LaunchService(*locked.lock, locked.config);
    }
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus)
{
    const auto service = Find<ServiceHandle>(hService);
    if (!service) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if (!IsSendableControl(dwControl)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if ((service->access & RightForControl(dwControl)) == 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (lpServiceStatus == nullptr) {
        return Fail(ERROR_INVALID_ADDRESS, FALSE);
    }
    ServiceRun run;
    RunState state = QueryRun(service->name, &run);
    DWORD error = ERROR_SUCCESS;
    if (state == RunState::Running && dwControl == SERVICE_CONTROL_STOP) {
        if (const auto lock = LockServices(error)) {
            error = SignalStop(*lock, service->name);
        }
        state = QueryRun(service->name, &run);
        if (error == ERROR_SUCCESS && WaitForEnd(run, kStopGrace)) {
            state = QueryRun(service->name, &run);
            ServiceConfig config;
            if (ReadServiceConfig(service->name, config) == ERROR_SUCCESS) {
                SettleDeletion(config);
            }
        }
    } else if (state == RunState::StopPending) {
        error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    } else if (state != RunState::Running) {
        error = ERROR_SERVICE_NOT_ACTIVE;
    } else if (dwControl != SERVICE_CONTROL_INTERROGATE) {
        error = ERROR_INVALID_SERVICE_CONTROL; // the process takes no other control
    }
    FillStatus(*service, state, lpServiceStatus);
    return error == ERROR_SUCCESS ? TRUE : Fail(error, FALSE);
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus)
{
    const auto service = Find<ServiceHandle>(hService);
    if (!service) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    if ((service->access & SERVICE_QUERY_STATUS) == 0) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (lpServiceStatus == nullptr) {
        return Fail(ERROR_INVALID_ADDRESS, FALSE);
    }
    const RunState state = QueryRun(service->name);
    if (!HasProcess(state)) {
        ServiceConfig config;
        if (ReadServiceConfig(service->name, config) == ERROR_SUCCESS) {
            SettleDeletion(config);
        }
    }
    FillStatus(*service, state, lpServiceStatus);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(hSCObject);
    if ((!Find<ManagerHandle>(hSCObject) && !Find<ServiceHandle>(hSCObject)) || !RemoveHandle(handle)) {
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    return TRUE;
}
