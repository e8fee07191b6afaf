#include "ServiceProcess.h"

#include <platform/Win32.h>

#include "CommandLine.h"
#include "ErrnoToWin32.h"
#include "MachineRoot.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform::posix {

namespace {

std::string StateFile()
{
    return ServicesFolder() + "/state";
}

using Runs = std::map<std::string, ServiceRun>;

// Lines "pid TAB start time TAB stop requested (0/1) TAB name".
Runs ReadRuns()
{
    Runs runs;
    std::string bytes;
    struct stat st {};
    if (ReadFileBytes(StateFile(), bytes, st, true) != 0) {
        return runs;
    }
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        ServiceRun run;
        long long pid = 0;
        int stop = 0;
        std::string name;
        if (fields >> pid >> run.startTime >> stop && fields.get() == '\t' && std::getline(fields, name) &&
            !name.empty() && pid > 0) {
            run.pid = static_cast<pid_t>(pid);
            run.stopRequested = stop != 0;
            runs[name] = run;
        }
    }
    return runs;
}

std::uint32_t WriteRuns(const WriteLock& /*held*/, const Runs& runs)
{
    std::string text;
    for (const auto& [name, run] : runs) {
        text += std::to_string(run.pid) + '\t' + std::to_string(run.startTime) + '\t' +
                (run.stopRequested ? "1" : "0") + '\t' + name + '\n';
    }
    const std::string file = StateFile();
    struct stat old {};
    const bool exists = ::lstat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const int error =
        ReplaceFile(file, ServicesFolder(), text.data(), text.size(), exists ? &old : nullptr, kMachineFileMode);
    if (error != 0) {
        return ErrnoToWin32(error, file);
    }
    SyncFolder(ServicesFolder());
    return ERROR_SUCCESS;
}

// The start time (in clock ticks since boot) of a process that has not ended;
// false for a process that is gone or a zombie.
bool LiveStartTime(pid_t pid, unsigned long long& startTime)
{
    std::string bytes;
    struct stat st {};
    if (ReadFileBytes("/proc/" + std::to_string(pid) + "/stat", bytes, st) != 0) {
        return false;
    }
    // "pid (name) state ppid ...": the name may hold anything, so fields are
    // counted from the last ')'; the state is field 3, the start time field 22.
    const std::size_t close = bytes.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream fields(bytes.substr(close + 1));
    char state = 0;
    fields >> state;
    std::string skipped;
    for (int field = 4; field < 22 && fields >> skipped; ++field) {
    }
    if (!(fields >> startTime)) {
        return false;
    }
    return state != 'Z' && state != 'X' && state != 'x';
}

bool IsAlive(const ServiceRun& run)
{
    unsigned long long startTime = 0;
    return LiveStartTime(run.pid, startTime) && startTime == run.startTime;
}

// The program a command line names: "\" taken as "/", a bare name looked up on
// PATH. Empty when there is no such file.
std::string FindProgram(std::string program)
{
    for (char& c : program) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + '/' + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::string Expanded(const std::string& text)
{
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    std::string expanded(needed, '\0');
    if (needed == 0 || ExpandEnvironmentStringsA(text.c_str(), expanded.data(), needed) > needed) {
        return text;
    }
    expanded.resize(expanded.find('\0'));
    return expanded;
}

struct Identity {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Who the process runs as: the caller, or the Linux user the service's account
// names, which only root may switch to.
std::uint32_t IdentityOf(const ServiceConfig& config, Identity& identity)
{
    const std::string user = ServiceUserName(config.objectName);
    if (user.empty()) {
        return ERROR_SUCCESS;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return ERROR_SERVICE_LOGON_FAILED;
    }
    if (found->pw_uid == ::geteuid()) {
        return ERROR_SUCCESS;
    }
    if (::geteuid() != 0) {
        return ERROR_SERVICE_LOGON_FAILED;
    }
    identity.change = true;
    identity.uid = found->pw_uid;
    identity.gid = found->pw_gid;
    int count = 64;
    identity.groups.resize(static_cast<std::size_t>(count));
    while (::getgrouplist(found->pw_name, found->pw_gid, identity.groups.data(), &count) < 0) {
        identity.groups.resize(static_cast<std::size_t>(count));
    }
    identity.groups.resize(static_cast<std::size_t>(count));
    return ERROR_SUCCESS;
}

void ReadFully(int fd, void* data, std::size_t size, ssize_t& got)
{
    got = 0;
    while (static_cast<std::size_t>(got) < size) {
        const ssize_t n = ::read(fd, static_cast<char*>(data) + got, size - static_cast<std::size_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        got += n;
    }
}

// Marks every descriptor from 3 on to be closed by exec (the caller's pipes
// must not reach the service).
void CloseOnExecFrom3()
{
#if defined(SYS_close_range) && defined(CLOSE_RANGE_CLOEXEC)
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) {
        return;
    }
#endif
    const long limit = ::sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
}

// The service process, between the second fork and exec: only calls that are
// safe after fork in a threaded program. It waits for the go-ahead (the
// caller reads its start time first), then execs; a failed exec reports errno.
[[noreturn]] void RunService(const std::string& program, char* const* argv, const Identity& identity, int report,
                             int go)
{
    char ready = 0;
    while (::read(go, &ready, 1) < 0 && errno == EINTR) {
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        ::signal(signal, SIG_DFL);
    }
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2) {
            ::close(null);
        }
    }
    [[maybe_unused]] int ignored = ::chdir("/");
    int error = 0;
    if (identity.change && (::setgroups(identity.groups.size(), identity.groups.data()) != 0 ||
                            ::setgid(identity.gid) != 0 || ::setuid(identity.uid) != 0)) {
        error = EPERM;
    }
    if (error == 0) {
        CloseOnExecFrom3();
        ::execve(program.c_str(), argv, environ);
        error = errno;
    }
    ignored = static_cast<int>(::write(report, &error, sizeof error));
    ::_exit(127);
}

} // namespace

std::unique_ptr<WriteLock> LockServices(std::uint32_t& error)
{
    const std::string folder = ServicesFolder();
    const char* what = "the services' folder";
    if ((error = CheckMachinePath(folder, what)) != ERROR_SUCCESS) {
        return nullptr;
    }
    if (!MakeFolders(folder)) {
        error = ErrnoToWin32(errno, folder);
        return nullptr;
    }
    if ((error = CheckMachinePath(folder, what)) != ERROR_SUCCESS) { // made meanwhile by someone else
        return nullptr;
    }
    auto lock = std::make_unique<WriteLock>(WriteLock::OfLockFile(folder + "/.lock"));
    if (lock->error() != ERROR_SUCCESS) {
        error = lock->error();
        return nullptr;
    }
    return lock;
}

RunState QueryRun(const std::string& name, ServiceRun* run)
{
    const Runs runs = ReadRuns();
    const auto found = runs.find(name);
    if (found == runs.end()) {
        return RunState::NeverStarted;
    }
    if (run != nullptr) {
        *run = found->second;
    }
    if (IsAlive(found->second)) {
        return found->second.stopRequested ? RunState::StopPending : RunState::Running;
    }
    return found->second.stopRequested ? RunState::Stopped : RunState::Ended;
}

std::uint32_t LaunchService(const WriteLock& lock, const ServiceConfig& config)
{
    std::vector<std::string> args = SplitCommandLine(Expanded(config.imagePath));
    const std::string program = args.empty() ? std::string() : FindProgram(args.front());
    if (program.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    Identity identity;
    if (const std::uint32_t error = IdentityOf(config, identity); error != ERROR_SUCCESS) {
        return error;
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int report[2];
    int go[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return ErrnoToWin32(errno);
    }
    // A socket, so that the go-ahead to a process that is gone raises no SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, go) != 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return ErrnoToWin32(error);
    }
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::setsid();
        const pid_t service = ::fork();
        if (service == 0) {
            RunService(program, argv.data(), identity, report[1], go[0]);
        }
        const int value = service > 0 ? static_cast<int>(service) : -errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &value, sizeof value);
        ::_exit(0);
    }
    const int forkError = errno;
    ::close(report[1]);
    ::close(go[0]);
    if (middle < 0) {
        ::close(report[0]);
        ::close(go[1]);
        return ErrnoToWin32(forkError);
    }
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    int value = 0;
    ssize_t got = 0;
    ReadFully(report[0], &value, sizeof value, got);
    ServiceRun run;
    bool started = got == sizeof value && value > 0;
    if (started) {
        run.pid = static_cast<pid_t>(value);
        started = LiveStartTime(run.pid, run.startTime); // it waits for the go-ahead, so it is there
    }
    [[maybe_unused]] const ssize_t sent = ::send(go[1], "g", 1, MSG_NOSIGNAL);
    ::close(go[1]);
    int execError = 0;
    ReadFully(report[0], &execError, sizeof execError, got);
    ::close(report[0]);
    if (!started) {
        return ErrnoToWin32(value < 0 ? -value : EAGAIN);
    }
    if (got == sizeof execError) {
        return execError == EPERM && identity.change ? ERROR_SERVICE_LOGON_FAILED : ErrnoToWin32(execError, program);
    }
    Runs runs = ReadRuns();
    runs[config.name] = run;
    return WriteRuns(lock, runs);
}

std::uint32_t SignalStop(const WriteLock& lock, const std::string& name)
{
    Runs runs = ReadRuns();
    const auto found = runs.find(name);
    if (found == runs.end() || !IsAlive(found->second)) {
        return ERROR_SERVICE_NOT_ACTIVE;
    }
    if (::kill(found->second.pid, SIGTERM) != 0) {
        return errno == ESRCH ? ERROR_SERVICE_NOT_ACTIVE : ERROR_ACCESS_DENIED;
    }
    found->second.stopRequested = true;
    return WriteRuns(lock, runs);
}

std::uint32_t ForgetRun(const WriteLock& lock, const std::string& name)
{
    Runs runs = ReadRuns();
    return runs.erase(name) == 0 ? ERROR_SUCCESS : WriteRuns(lock, runs);
}

bool WaitForEnd(const ServiceRun& run, std::uint32_t milliseconds)
{
    for (std::uint32_t waited = 0;; waited += 5) {
        if (!IsAlive(run)) {
            return true;
        }
        if (waited >= milliseconds) {
            return false;
        }
        const timespec pause{0, 5 * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace platform::posix
