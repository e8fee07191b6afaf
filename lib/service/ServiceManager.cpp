#include <brenlix/ServiceManager.h>
#include <brenlix/modCommon.h>

#include "ServiceDescription.h"
#include "ServiceWait.h"

#include <platform/Text.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include <exception>

namespace brenlix {

namespace {

using UniqueScHandle = platform::UniqueHandle<SC_HANDLE, &CloseServiceHandle>;

// A service opened through the manager it was opened with; the service's
// handle closes first. error is the system's code when either could not be
// opened, taken right after the failing call.
struct OpenedService {
    UniqueScHandle manager;
    UniqueScHandle service;
    DWORD error = ERROR_SUCCESS;
};

// The manager of the computer named (its "ServicesActive" database), or with
// computer nullptr this computer's manager, opened with managerAccess, and
// the service opened with serviceAccess.
OpenedService OpenNamedService(const std::string* computer, DWORD managerAccess, const std::string& name,
                               DWORD serviceAccess = SERVICE_ALL_ACCESS)
{
    OpenedService opened;
    opened.manager.reset(computer != nullptr
                             ? OpenSCManagerA(platform::ToAnsi(*computer).c_str(), "ServicesActive", managerAccess)
                             : OpenSCManagerA(nullptr, nullptr, managerAccess));
    if (!opened.manager) {
        opened.error = GetLastError();
        return opened;
    }
    opened.service.reset(OpenServiceA(opened.manager.get(), platform::ToAnsi(name).c_str(), serviceAccess));
    if (!opened.service) {
        opened.error = GetLastError();
    }
    return opened;
}

constexpr std::int32_t AsState(DWORD state)
{
    return static_cast<std::int32_t>(state);
}

} // namespace

void ServiceManager::RecordSystemError(std::uint32_t code)
{
    serviceLastError_ = SystemErrorText(static_cast<std::int32_t>(code));
}

ServiceState ServiceManager::ServiceStatus()
{
    return StatusOn(&computerName_);
}

// Asks with the query rights alone, which every user has: with all rights a
// user who is not an administrator would read any service as unknown.
ServiceState ServiceManager::StatusOn(const std::string* computer)
{
    try {
        const OpenedService opened =
            OpenNamedService(computer, SC_MANAGER_CONNECT, serviceShortName_, SERVICE_QUERY_STATUS);
        if (opened.error != ERROR_SUCCESS) {
            RecordSystemError(opened.error);
            return STATE_SERVICE_UNKNOWN;
        }
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(opened.service.get(), &status)) {
            RecordSystemError(GetLastError());
            return STATE_SERVICE_UNKNOWN;
        }
        lastWaitHint_ = static_cast<std::int32_t>(status.dwWaitHint);
        return static_cast<ServiceState>(status.dwCurrentState);
    } catch (const std::exception& error) {
        serviceLastError_ = error.what();
        return STATE_SERVICE_UNKNOWN;
    }
}

// Sends the start or stop request to the service on the computer and, when
// asked to, waits for the state it aims at. A request refused because the
// service is already where the request would take it counts as sent; any
// other refusal ends it with the system's reason.
bool ServiceManager::RequestAndWait(const std::string* computer, bool start, bool wait)
{
    {
        const OpenedService opened = OpenNamedService(computer, SC_MANAGER_ALL_ACCESS, serviceShortName_);
        if (opened.error != ERROR_SUCCESS) {
            RecordSystemError(opened.error);
            return false;
        }
        SERVICE_STATUS status{};
        const BOOL sent = start ? StartServiceA(opened.service.get(), 0, nullptr)
                                : ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &status);
        if (!sent) {
            const DWORD error = GetLastError();
            // A stop refused because the service is stopping already is a
            // stop under way: the system reports its state with the refusal.
            const bool stopping = !start && error == static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL) &&
                                  status.dwCurrentState == SERVICE_STOP_PENDING;
            if (error != static_cast<DWORD>(start ? ERROR_SERVICE_ALREADY_RUNNING : ERROR_SERVICE_NOT_ACTIVE) &&
                !stopping) {
                RecordSystemError(error);
                return false;
            }
        }
    }
    if (!wait) {
        return true;
    }
    const std::int32_t wanted = start ? AsState(SERVICE_RUNNING) : AsState(SERVICE_STOPPED);
    return service::WaitForState(maxWaitForService_, [&] {
        const ServiceState state = StatusOn(computer);
        return service::Poll{state == wanted, lastWaitHint_};
    });
}

// A start that fails by an exception is only false; a stop says why.
bool ServiceManager::StartOrStop(const std::string* computer, bool start, bool wait)
{
    try {
        return RequestAndWait(computer, start, wait);
    } catch (const std::exception& error) {
        if (!start) {
            serviceLastError_ = error.what();
        }
        return false;
    } catch (...) {
        return false;
    }
}

bool ServiceManager::ServiceStart(bool WaitforStart)
{
    return StartOrStop(&computerName_, true, WaitforStart);
}

bool ServiceManager::ServiceStop(bool WaitForStop)
{
    return StartOrStop(&computerName_, false, WaitForStop);
}

bool ServiceManager::RestartService(bool WaitforStart)
{
    return ServiceStop(true) && ServiceStart(WaitforStart);
}

bool ServiceManager::IsServiceInstalled()
{
    try {
        const OpenedService opened =
            OpenNamedService(nullptr, SC_MANAGER_CONNECT, serviceShortName_, SERVICE_QUERY_STATUS);
        if (opened.error != ERROR_SUCCESS) {
            RecordSystemError(opened.error);
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        serviceLastError_ = error.what();
        return false;
    }
}

bool ServiceManager::InstallService(bool StartAfterInstall)
{
    {
        const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        if (!manager) {
            RecordSystemError(GetLastError());
            return false;
        }
        const bool withAccount = !serviceUsername_.empty();
        const std::string account = platform::ToAnsi(serviceUsername_);
        const std::string password = platform::ToAnsi(serviceUserPassword_);
        const UniqueScHandle service(CreateServiceA(
            manager.get(), platform::ToAnsi(serviceShortName_).c_str(), platform::ToAnsi(serviceLongName_).c_str(),
            SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
            platform::ToAnsi(servicePath_).c_str(), nullptr, nullptr, nullptr, withAccount ? account.c_str() : nullptr,
            withAccount ? password.c_str() : nullptr));
        if (!service) {
            RecordSystemError(GetLastError());
            return false;
        }
    }
    if (!serviceDescription_.empty()) {
        service::WriteServiceDescription(serviceShortName_, serviceDescription_);
    }
    // Installed here, so started here, whatever ComputerName names.
    return StartAfterInstall ? StartOrStop(nullptr, true, true) : true;
}

bool ServiceManager::RemoveService()
{
    try {
        // Every step here, whatever ComputerName names. Only a missing
        // service is "not installed"; any other reason (access denied, say)
        // keeps the system's text.
        const DWORD installed =
            OpenNamedService(nullptr, SC_MANAGER_CONNECT, serviceShortName_, SERVICE_QUERY_STATUS).error;
        if (installed != ERROR_SUCCESS) {
            if (installed == static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST)) {
                serviceLastError_ = "Service not installed";
            } else {
                RecordSystemError(installed);
            }
            return false;
        }
        if (StatusOn(nullptr) != STATE_SERVICE_STOPPED && !StartOrStop(nullptr, false, true)) {
            serviceLastError_ = "Unable to stop service";
            return false;
        }
        const OpenedService opened = OpenNamedService(nullptr, SC_MANAGER_ALL_ACCESS, serviceShortName_);
        if (opened.error != ERROR_SUCCESS) {
            RecordSystemError(opened.error);
            return false;
        }
        if (!DeleteService(opened.service.get())) {
            RecordSystemError(GetLastError());
            return false;
        }
        return true;
    } catch (const std::exception& error) {
        serviceLastError_ = error.what();
        return false;
    }
}

} // namespace brenlix
