// What the Linux service substitutes decide for themselves: who may change
// the service database, that a started service is a process of its own that
// outlives its starter, that a process id reused by another process is not
// taken for the service, and which accounts a service may run as.
#include <brenlix/Error.h>
#include <brenlix/ServiceManager.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>

#include "../ServiceTestSupport.h"
#include "posix/RegistryFaults.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using brenlix::ServiceManager;
using service_testing::RawState;
using service_testing::ServiceTest;
using service_testing::TestServiceCommand;
using service_testing::UniqueScHandle;
using service_testing::WaitForRawState;

// Field n (from 1) of /proc/<pid>/stat, counted after the command name.
std::string StatField(pid_t pid, int field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string value;
    for (int i = 3; i <= field && fields >> value; ++i) {
    }
    return value;
}

pid_t ServicePid(const std::string& log)
{
    service_testing::WaitForLines(log, "running");
    for (const std::string& line : service_testing::LogLines(log)) {
        if (line.rfind("start ", 0) == 0) {
            return static_cast<pid_t>(std::stol(line.substr(6)));
        }
    }
    return 0;
}

class ServiceProcess : public ServiceTest {
protected:
    ServiceManager Manager(const std::string& options = "")
    {
        ServiceManager manager;
        manager.ServiceShortName(name);
        manager.ServicePath(TestServiceCommand(log, options));
        return manager;
    }
};

TEST_F(ServiceProcess, AReadOnlyDatabaseRefusesChanges)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    const std::string hive = root.Path() + "/registry/HKLM.reg";
    ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const UniqueScHandle reader(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(reader);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(reader.get(), name.c_str(), SERVICE_STOP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING)) << "reading still works";

    // The class asks with the query rights alone, so reading works for it
    // too; what changes the database is refused with the system's reason.
    const std::string denied = brenlix::SystemErrorText(ERROR_ACCESS_DENIED);
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_RUNNING);
    EXPECT_TRUE(manager.IsServiceInstalled());
    ServiceManager other = Manager();
    other.ServiceShortName(name + "x");
    EXPECT_FALSE(other.InstallService());
    EXPECT_EQ(other.ServiceLastError(), denied);
    EXPECT_FALSE(other.RemoveService());
    EXPECT_EQ(other.ServiceLastError(), "Service not installed");
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
    ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
}

// A description that cannot be written is the registry class's failure: it
// reaches the caller, and the service stays installed and is not started.
TEST_F(ServiceProcess, ADescriptionThatCannotBeWrittenRaises)
{
    ServiceManager manager = Manager();
    manager.ServiceDescription("Nightly work");
    {
        const registry_faults::ScopedFault fault("RegSetValueExA", "Description", 1, ERROR_ACCESS_DENIED);
        EXPECT_THROW(manager.InstallService(true), brenlix::Error);
    }
    EXPECT_TRUE(manager.IsServiceInstalled());
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(testing_support::FileExists(log)) << "never started";
}

TEST_F(ServiceProcess, TheServiceIsAProcessOfItsOwn)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    const pid_t pid = ServicePid(log);
    ASSERT_GT(pid, 0);
    EXPECT_NE(StatField(pid, 4), std::to_string(::getpid())) << "not the caller's child";
    EXPECT_NE(StatField(pid, 6), std::to_string(::getsid(0))) << "in a session of its own";
    EXPECT_EQ(StatField(pid, 7), "0") << "without a terminal";
    std::ifstream state(root.Path() + "/services/state");
    std::string line;
    ASSERT_TRUE(std::getline(state, line));
    EXPECT_EQ(line, std::to_string(pid) + '\t' + StatField(pid, 22) + "\t0\t" + name);
}

TEST_F(ServiceProcess, AProcessThatEndedByItselfIsStopped)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    const pid_t pid = ServicePid(log);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    SERVICE_STATUS status{};
    RawState(name, &status);
    EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
    EXPECT_TRUE(manager.ServiceStart(true)) << "and starts again";
}

TEST_F(ServiceProcess, AReusedProcessIdIsNotTheService)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    const pid_t pid = ServicePid(log);
    ASSERT_GT(pid, 0);
    const std::string file = root.Path() + "/services/state";
    std::string text = testing_support::ReadFile(file);
    const std::string recorded = StatField(pid, 22);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    // Another process takes the service's process id: one started a clock
    // tick or more after the service, so its start time differs from the
    // recorded one (a process started in the same tick could not be told
    // apart, on Linux as by this check).
    pid_t other = 0;
    for (;;) {
        other = ::fork();
        ASSERT_GE(other, 0);
        if (other == 0) {
            ::pause();
            ::_exit(0);
        }
        if (StatField(other, 22) != recorded) {
            break;
        }
        ::kill(other, SIGKILL);
        ::waitpid(other, nullptr, 0);
        ::usleep(10000);
    }
    text.replace(0, text.find('\t'), std::to_string(other));
    testing_support::WriteFile(file, text);
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

TEST_F(ServiceProcess, AccountsAreUsersOfThisMachine)
{
    passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    const std::string user = me->pw_name;
    struct Row {
        std::string account;
        DWORD error;
    };
    const Row rows[] = {
        {"LocalSystem", 0},
        {".\\LocalSystem", 0},
        {"NT AUTHORITY\\NetworkService", 0},
        {user, 0},
        {".\\" + user, 0},
        {"localhost\\" + user, 0},
        {"no-such-user-here", ERROR_INVALID_SERVICE_ACCOUNT},
        {"OTHER-DOMAIN\\" + user, ERROR_INVALID_SERVICE_ACCOUNT},
    };
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.account);
        SetLastError(0xdeadbeef);
        const UniqueScHandle service(CreateServiceA(manager.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                    SERVICE_ERROR_NORMAL, TestServiceCommand(log).c_str(), nullptr,
                                                    nullptr, nullptr, row.account.c_str(), "secret"));
        if (row.error != 0) {
            EXPECT_FALSE(service);
            EXPECT_EQ(GetLastError(), row.error);
            continue;
        }
        ASSERT_TRUE(service) << GetLastError();
        EXPECT_TRUE(StartServiceA(service.get(), 0, nullptr)) << GetLastError();
        SERVICE_STATUS status{};
        EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
        EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
        EXPECT_TRUE(DeleteService(service.get()));
    }
}

TEST_F(ServiceProcess, ServiceRunsAsItsAccount)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root may start a process as another user";
    }
    passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::chmod(files.Path().c_str(), 0777), 0);
    // The account must reach the program: a copy in the test's open folder,
    // since the build folder may lie below one that only its owner may enter.
    const std::string program = files.Path() + "/" + TEST_SERVICE_FILE;
    std::filesystem::copy_file(platform::ProgramFolder() + "/" + TEST_SERVICE_FILE, program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    ServiceManager manager = Manager();
    manager.ServicePath("\"" + program + "\" --log \"" + log + "\"");
    manager.ServiceUsername("nobody");
    ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    const pid_t pid = ServicePid(log);
    ASSERT_GT(pid, 0);
    struct stat st {};
    ASSERT_EQ(::stat(("/proc/" + std::to_string(pid)).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nobody->pw_uid);
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
}

} // namespace
