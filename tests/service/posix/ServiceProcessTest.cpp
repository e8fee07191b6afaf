// What the Linux service substitutes decide for themselves: who may change
// the service database, that a service is a process of its own that outlives
// its starter and that a reused process id is not taken for it, and which
// accounts a service may run as.
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
using namespace service_testing;

// Field n (from 3) of /proc/<pid>/stat, counted as proc(5) does.
std::string StatField(pid_t pid, int field)
{
    const std::string text = testing_support::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string value;
    for (int i = 3; i <= field && fields >> value; ++i) {
    }
    return value;
}

class ServiceProcess : public ServiceTest {
protected:
    ServiceManager Manager()
    {
        ServiceManager manager;
        manager.ServiceShortName(name);
        manager.ServicePath(TestServiceCommand(log));
        return manager;
    }
    // Installs and starts the service; its process id from the log.
    pid_t Started(ServiceManager& manager)
    {
        EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
        EXPECT_TRUE(WaitForLines(log, "running"));
        return static_cast<pid_t>(std::stol("0" + testing_support::ReadFile(log).substr(6)));
    }
};

TEST_F(ServiceProcess, AReadOnlyDatabaseRefusesChanges)
{
    ServiceManager manager = Manager();
    ASSERT_GT(Started(manager), 0);
    const std::string hive = root.Path() + "/registry/HKLM.reg";
    ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    const UniqueScHandle reader(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceA(reader.get(), name.c_str(), SERVICE_STOP), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    // The class reads with the query rights alone.
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_RUNNING);
    EXPECT_TRUE(manager.IsServiceInstalled());
    ServiceManager other = Manager();
    other.ServiceShortName(name + "x");
    EXPECT_FALSE(other.InstallService());
    EXPECT_EQ(other.ServiceLastError(), brenlix::SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
    ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
}

// The registry class's failure reaches the caller; the service stays
// installed and is not started.
TEST_F(ServiceProcess, ADescriptionThatCannotBeWrittenRaises)
{
    ServiceManager manager = Manager();
    manager.ServiceDescription("Nightly work");
    {
        const registry_faults::ScopedFault fault("RegSetValueExA", "Description", 1, ERROR_ACCESS_DENIED);
        EXPECT_THROW(manager.InstallService(true), brenlix::Error);
    }
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
    EXPECT_FALSE(testing_support::FileExists(log)) << "never started";
}

TEST_F(ServiceProcess, TheServiceIsAProcessOfItsOwn)
{
    ServiceManager manager = Manager();
    const pid_t pid = Started(manager);
    ASSERT_GT(pid, 0);
    EXPECT_NE(StatField(pid, 4), std::to_string(::getpid())) << "not the caller's child";
    EXPECT_NE(StatField(pid, 6), std::to_string(::getsid(0))) << "in a session of its own";
    EXPECT_EQ(StatField(pid, 7), "0") << "without a terminal";
    EXPECT_EQ(testing_support::ReadFile(root.Path() + "/services/state"),
              std::to_string(pid) + '\t' + StatField(pid, 22) + "\t0\t" + name + '\n');
}

TEST_F(ServiceProcess, AProcessThatEndedByItselfIsStopped)
{
    ServiceManager manager = Manager();
    const pid_t pid = Started(manager);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    SERVICE_STATUS status{};
    RawState(name, &status);
    EXPECT_EQ(status.dwWin32ExitCode, DWORD{ERROR_PROCESS_ABORTED});
    EXPECT_TRUE(manager.ServiceStart(true)) << "and starts again";
}

// Another process, started a clock tick or more after the service (one of
// the same tick could not be told apart), takes the service's process id.
TEST_F(ServiceProcess, AReusedProcessIdIsNotTheService)
{
    ServiceManager manager = Manager();
    const pid_t pid = Started(manager);
    ASSERT_GT(pid, 0);
    const std::string file = root.Path() + "/services/state", recorded = StatField(pid, 22);
    std::string text = testing_support::ReadFile(file);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    pid_t other = 0;
    while ((other = ::fork()) == 0 || StatField(other, 22) == recorded) {
        if (other == 0) {
            ::pause();
            ::_exit(0);
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
    const std::string user = ::getpwuid(::geteuid())->pw_name;
    const std::pair<std::string, DWORD> rows[] = {
        {"LocalSystem", 0},         {".\\LocalSystem", 0},       {"NT AUTHORITY\\NetworkService", 0},
        {user, 0},                  {".\\" + user, 0},           {"localhost\\" + user, 0},
        {"no-such-user-here", ERROR_INVALID_SERVICE_ACCOUNT}, {"OTHER-DOMAIN\\" + user, ERROR_INVALID_SERVICE_ACCOUNT},
    };
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const auto& [account, error] : rows) {
        SetLastError(0xdeadbeef);
        const UniqueScHandle service(CreateServiceA(manager.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                    SERVICE_ERROR_NORMAL, TestServiceCommand(log).c_str(), nullptr,
                                                    nullptr, nullptr, account.c_str(), "secret"));
        EXPECT_EQ(service ? 0 : GetLastError(), error) << account;
        if (service) {
            EXPECT_TRUE(StartServiceA(service.get(), 0, nullptr)) << account << ": " << GetLastError();
            EXPECT_TRUE(WaitForLines(log, "running", CountLines(log, "start ")));
            SERVICE_STATUS status{};
            EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
            EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
            EXPECT_TRUE(DeleteService(service.get()));
        }
    }
}

TEST_F(ServiceProcess, ServiceRunsAsItsAccount)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root may start a process as another user";
    }
    // A copy of the program in the test's open folder: the build folder may
    // lie below one that only its owner may enter.
    const std::string program = files.Path() + "/" + TEST_SERVICE_FILE;
    std::filesystem::copy_file(platform::ProgramFolder() + "/" + TEST_SERVICE_FILE, program);
    ASSERT_EQ(::chmod(files.Path().c_str(), 0777) | ::chmod(program.c_str(), 0755), 0);
    ServiceManager manager = Manager();
    manager.ServicePath("\"" + program + "\" --log \"" + log + "\"");
    manager.ServiceUsername("nobody");
    const pid_t pid = Started(manager);
    struct stat st {};
    ASSERT_EQ(::stat(("/proc/" + std::to_string(pid)).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, ::getpwnam("nobody")->pw_uid);
}

} // namespace
