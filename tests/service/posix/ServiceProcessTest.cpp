// What the Linux substitutes decide: who may change the service database, the process and its accounts.
#include <brenlix/Error.h>
#include <brenlix/modCommon.h>

#include "../ServiceTestSupport.h"
#include "posix/RegistryFaults.h"

#include <csignal>
#include <filesystem>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using brenlix::ServiceManager;
using namespace service_testing;
using ServiceProcess = ServiceTest;

// Field n (from 3) of /proc/<pid>/stat, as proc(5) counts them.
std::string StatField(pid_t pid, int field)
{
    const std::string text = testing_support::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string value;
    for (int i = 3; i <= field && fields >> value; ++i) {
    }
    return value;
}
pid_t LoggedPid(const std::string& log)
{
    const std::string text = testing_support::ReadFile(log);
    return static_cast<pid_t>(std::stol(text.substr(text.rfind("start ") + 6)));
}

// A description that cannot be written raises, the service installed but not started. With the database read-only
// the class still reads (it asks with the query rights alone), and what would change the database is refused.
TEST_F(ServiceProcess, ADatabaseThatCannotBeWrittenRefusesChanges)
{
    ServiceManager manager = Manager();
    manager.ServiceDescription("Nightly work");
    {
        const registry_faults::ScopedFault fault("RegSetValueExA", "Description", 1, ERROR_ACCESS_DENIED);
        EXPECT_THROW(manager.InstallService(true), brenlix::Error);
    }
    EXPECT_TRUE(RawState(name) == SERVICE_STOPPED && !testing_support::FileExists(log)) << "installed, not started";
    ASSERT_TRUE(manager.ServiceStart(true) && WaitForRuns(log));
    const std::string hive = root.Path() + "/registry/HKLM.reg";
    ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_RUNNING);
    EXPECT_FALSE(manager.RemoveService() || manager.ServiceLastError() != "Unable to stop service");
    manager.ServiceShortName(name + "x");
    EXPECT_FALSE(manager.InstallService() ||
                 manager.ServiceLastError() != brenlix::SystemErrorText(ERROR_ACCESS_DENIED));
    ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
}

// Started from a caller that must go on (it once ended in the caller's place), detached on /dev/null; stopped once
// its process ends, or its id is another process's started a clock tick or more later.
TEST_F(ServiceProcess, TheServiceIsAProcessOfItsOwn)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    int status = 0;
    const pid_t caller = ::fork();
    if (caller == 0) {
        ::_exit(manager.ServiceStart(true) ? 42 : 1);
    }
    ASSERT_TRUE(::waitpid(caller, &status, 0) == caller && WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
    ASSERT_TRUE(WaitForRuns(log));
    pid_t pid = LoggedPid(log);
    EXPECT_NE(StatField(pid, 4), std::to_string(caller)) << "not the caller's child";
    EXPECT_NE(StatField(pid, 6), std::to_string(::getsid(0))) << "in a session of its own";
    EXPECT_EQ(StatField(pid, 7), "0") << "without a terminal";
    for (const char* fd : {"0", "1", "2"}) {
        EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + fd), "/dev/null") << fd;
    }
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    SERVICE_STATUS stopped{};
    EXPECT_EQ((RawState(name, &stopped), stopped.dwWin32ExitCode), DWORD{ERROR_PROCESS_ABORTED});
    ASSERT_TRUE(manager.ServiceStart(true) && WaitForRuns(log, 2));
    const std::string file = root.Path() + "/services/state", text = testing_support::ReadFile(file);
    const std::string recorded = StatField(pid = LoggedPid(log), 22);
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
    testing_support::WriteFile(file, std::to_string(other) + text.substr(text.find('\t')));
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

// Users of this machine run it as themselves, LocalSystem as the caller; the program is copied to an open folder,
// as the build folder may lie below one only its owner may enter.
TEST_F(ServiceProcess, AccountsAreUsersOfThisMachine)
{
    const std::string me = ::getpwuid(::geteuid())->pw_name, program = files.File(TEST_SERVICE_FILE);
    std::filesystem::copy_file(platform::ProgramFolder() + "/" + TEST_SERVICE_FILE, program);
    ASSERT_EQ(::chmod(files.Path().c_str(), 0777) | ::chmod(program.c_str(), 0755), 0);
    const std::string other = ::geteuid() == 0 ? "nobody" : me; // only root may run a process as another user
    const std::pair<std::string, DWORD> rows[] = {
        {".\\LocalSystem", 0}, // LocalSystem and NT AUTHORITY alone start in ServiceManagerTest.InstallsHere
        {".\\" + me, 0},
        {other, 0},
        {"no-such-user-here", ERROR_INVALID_SERVICE_ACCOUNT},
        {"OTHER-DOMAIN\\" + me, ERROR_INVALID_SERVICE_ACCOUNT},
    };
    const UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    SERVICE_STATUS status{};
    for (const auto& [account, error] : rows) {
        const std::string runLog = files.File(account + ".log"),
                          command = "\"" + program + "\" --log \"" + runLog + "\"";
        SetLastError(0xdeadbeef);
        const UniqueScHandle service(CreateServiceA(manager.get(), name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, 0, command.c_str(),
                                                    nullptr, nullptr, nullptr, account.c_str(), "pw"));
        EXPECT_EQ(service ? 0 : GetLastError(), error) << account;
        struct stat process {};
        EXPECT_TRUE(!service || (StartServiceA(service.get(), 0, nullptr) && WaitForRuns(runLog) &&
                                 ::stat(("/proc/" + std::to_string(LoggedPid(runLog))).c_str(), &process) == 0 &&
                                 process.st_uid == (account == "nobody" ? ::getpwnam("nobody")->pw_uid : ::geteuid()) &&
                                 ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
                                 WaitForRawState(name, SERVICE_STOPPED) && DeleteService(service.get())))
            << account << ": " << GetLastError();
    }
}

} // namespace
