// ServiceManager: one Windows service, named by ServiceShortName, and what can
// be done with it: install (with display name, program, description and
// account), remove, test for presence, query its state, start, stop and
// restart it, the last three optionally waiting up to MaxWaitForService
// milliseconds for the state they aim at.
//
// No operation throws for a failed system call: each returns false (or
// STATE_SERVICE_UNKNOWN) and keeps the reason in ServiceLastError, the
// system's text for the error code or "Service not installed" / "Unable to
// stop service" from RemoveService. Success leaves ServiceLastError as it was.
// The one error that reaches the caller is KvRegistry's, when InstallService
// cannot write the description (the service is installed by then, not started).
//
// ServiceStatus, ServiceStart and ServiceStop address the computer named by
// ComputerName ("" for this one); IsServiceInstalled, InstallService and
// RemoveService always work on this computer.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>

#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4251) // std::string members of an exported class
#endif

namespace brenlix {

// 1 to 7 are the system's service states.
enum ServiceState : std::int32_t {
    STATE_SERVICE_UNKNOWN = 0,
    STATE_SERVICE_STOPPED = 1,
    STATE_SERVICE_START_PENDING = 2,
    STATE_SERVICE_STOP_PENDING = 3,
    STATE_SERVICE_RUNNING = 4,
    STATE_SERVICE_CONTINUE_PENDING = 5,
    STATE_SERVICE_PAUSE_PENDING = 6,
    STATE_SERVICE_PAUSED = 7,
};

class BRENLIX_API ServiceManager {
public:
    std::int32_t MaxWaitForService() const { return maxWaitForService_; }
    void MaxWaitForService(std::int32_t value) { maxWaitForService_ = value; }
    const std::string& ServiceShortName() const { return serviceShortName_; }
    void ServiceShortName(const std::string& value) { serviceShortName_ = value; }
    const std::string& ServiceLongName() const { return serviceLongName_; }
    void ServiceLongName(const std::string& value) { serviceLongName_ = value; }
    const std::string& ServicePath() const { return servicePath_; }
    void ServicePath(const std::string& value) { servicePath_ = value; }
    const std::string& ServiceDescription() const { return serviceDescription_; }
    void ServiceDescription(const std::string& value) { serviceDescription_ = value; }
    const std::string& ServiceUsername() const { return serviceUsername_; }
    void ServiceUsername(const std::string& value) { serviceUsername_ = value; }
    const std::string& ServiceUserPassword() const { return serviceUserPassword_; }
    void ServiceUserPassword(const std::string& value) { serviceUserPassword_ = value; }
    const std::string& ComputerName() const { return computerName_; }
    void ComputerName(const std::string& value) { computerName_ = value; }
    const std::string& ServiceLastError() const { return serviceLastError_; }

    // The service's current state; STATE_SERVICE_UNKNOWN when it cannot be had.
    ServiceState ServiceStatus();
    // Asks the service to start (a service that already runs counts as
    // started); with WaitforStart, true only once it is seen running. Returns
    // false, with the reason kept unless it was no system call, when the
    // request is refused or the wait runs out.
    bool ServiceStart(bool WaitforStart = false);
    // Asks the service to stop (one that is not running counts as stopped);
    // with WaitForStop, true only once it is seen stopped.
    bool ServiceStop(bool WaitForStop = false);
    // Stops the service, waiting; only when it stopped, starts it again.
    bool RestartService(bool WaitforStart = false);
    bool IsServiceInstalled();
    // Installs an own-process service that starts with the system, as
    // ServiceUsername (with ServiceUserPassword) or, when that is empty, as
    // LocalSystem; writes ServiceDescription beside it when there is one.
    // With StartAfterInstall, the result is that of a waiting ServiceStart.
    bool InstallService(bool StartAfterInstall = false);
    // Stops the service (waiting) unless it is stopped, then deletes it.
    bool RemoveService();

private:
    // The operations on the computer named, or with nullptr on this one.
    ServiceState StatusOn(const std::string* computer);
    bool RequestAndWait(const std::string* computer, bool start, bool wait);
    bool StartOrStop(const std::string* computer, bool start, bool wait);
    void RecordSystemError(std::uint32_t code);

    std::int32_t maxWaitForService_ = 5000;
    std::string serviceShortName_;
    std::string serviceLongName_;
    std::string servicePath_;
    std::string serviceDescription_;
    std::string serviceUsername_;
    std::string serviceUserPassword_;
    std::string computerName_;
    std::string serviceLastError_;
    std::int32_t lastWaitHint_ = 0;
};

} // namespace brenlix

#if defined(_MSC_VER)
#pragma warning(pop)
#endif
