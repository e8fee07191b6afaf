// Processes for the substitutes. A child started by CreateProcessA is reaped
// with waitpid when someone asks about it; its exit status is kept as long as
// a handle refers to it, so GetExitCodeProcess and WaitForSingleObject can
// answer after it has gone.
#include <platform/Text.h>
#include <platform/Win32.h>

#include "CommandLine.h"
#include "ErrnoToWin32.h"
#include "HandleTable.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <map>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::posix {

namespace {

struct Child {
    pid_t pid = 0;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    bool terminated = false;
    DWORD terminateCode = 0;
};

struct Children {
    std::mutex lock;
    std::map<pid_t, std::shared_ptr<Child>> byPid;
};

Children& TheChildren()
{
    static Children children;
    return children;
}

// Polls (or waits for) the end of a child. Called with the children's lock held.
void Reap(Child& child, bool block)
{
    if (child.ended) {
        return;
    }
    int status = 0;
    pid_t rc;
    do {
        rc = ::waitpid(child.pid, &status, block ? 0 : WNOHANG);
    } while (rc < 0 && errno == EINTR);
    if (rc == child.pid) {
        child.ended = true;
        if (child.terminated) {
            child.exitCode = child.terminateCode;
        } else if (WIFEXITED(status)) {
            child.exitCode = static_cast<DWORD>(WEXITSTATUS(status));
        } else {
            // Ended by a signal: report it the way a shell does.
            child.exitCode = 128u + static_cast<DWORD>(WTERMSIG(status));
        }
    } else if (rc < 0) {
        // Already reaped elsewhere (SIGCHLD ignored, say): it has ended, how is unknown.
        child.ended = true;
        child.exitCode = child.terminated ? child.terminateCode : 0;
    }
}

// Forgets children that have ended and that no handle refers to any more.
void Sweep()
{
    Children& children = TheChildren();
    std::lock_guard guard(children.lock);
    for (auto it = children.byPid.begin(); it != children.byPid.end();) {
        Reap(*it->second, false);
        if (it->second->ended && it->second.use_count() == 1) {
            it = children.byPid.erase(it);
        } else {
            ++it;
        }
    }
}

class ProcessObject final : public HandleObject {
public:
    ProcessObject(pid_t pid, std::shared_ptr<Child> child) : pid_(pid), child_(std::move(child)) {}
    ~ProcessObject() override
    {
        child_.reset();
        Sweep();
    }

    // True when the process has ended; exitCode is then its exit code.
    bool Ended(bool block, DWORD& exitCode)
    {
        if (child_) {
            std::lock_guard guard(TheChildren().lock);
            Reap(*child_, block);
            exitCode = child_->exitCode;
            return child_->ended;
        }
        // A process that is not our child: all we can see is whether it exists.
        exitCode = STILL_ACTIVE;
        while (::kill(pid_, 0) == 0 || errno == EPERM) {
            if (!block) {
                return false;
            }
            ::Sleep(10);
        }
        exitCode = 0;
        return true;
    }

    bool Terminate(UINT code)
    {
        if (child_) {
            std::lock_guard guard(TheChildren().lock);
            if (child_->ended) {
                return false;
            }
            child_->terminated = true;
            child_->terminateCode = code;
        }
        return ::kill(pid_, SIGKILL) == 0;
    }

private:
    pid_t pid_;
    std::shared_ptr<Child> child_;
};

class ThreadObject final : public HandleObject {};

std::shared_ptr<Child> FindChild(pid_t pid)
{
    Children& children = TheChildren();
    std::lock_guard guard(children.lock);
    const auto found = children.byPid.find(pid);
    return found == children.byPid.end() ? nullptr : found->second;
}

bool IsBlankOnly(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

} // namespace

} // namespace platform::posix

using namespace platform::posix;

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation)
{
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sweep();

    std::vector<std::string> args = SplitCommandLine(lpCommandLine ? lpCommandLine : "");
    std::string program = lpApplicationName ? lpApplicationName : args.front();
    if (IsBlankOnly(program)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Windows accepts "\" between folders; here it is "/".
    for (char& c : program) {
        if (c == '\\') {
            c = '/';
        }
    }

    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (lpCurrentDirectory != nullptr) {
        posix_spawn_file_actions_addchdir_np(&actions, lpCurrentDirectory);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with the default signal dispositions and no blocked signals.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    char** environment = lpEnvironment ? static_cast<char**>(lpEnvironment) : environ;
    pid_t pid = 0;
    const bool searchPath = program.find('/') == std::string::npos;
    const int rc = searchPath ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environment)
                              : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environment);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastError(platform::ErrnoToWin32(rc, searchPath ? std::string() : program));
        return FALSE;
    }

    auto child = std::make_shared<Child>();
    child->pid = pid;
    {
        std::lock_guard guard(TheChildren().lock);
        TheChildren().byPid[pid] = child;
    }
    lpProcessInformation->hProcess = AddHandle(std::make_shared<ProcessObject>(pid, child));
    lpProcessInformation->hThread = AddHandle(std::make_shared<ThreadObject>());
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId)
{
    const auto pid = static_cast<pid_t>(dwProcessId);
    if (pid <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Child> child = FindChild(pid);
    if (!child && ::kill(pid, 0) != 0 && errno != EPERM) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return AddHandle(std::make_shared<ProcessObject>(pid, std::move(child)));
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    auto process = FindHandleOf<ProcessObject>(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD code = STILL_ACTIVE;
    process->Ended(false, code);
    if (lpExitCode != nullptr) {
        *lpExitCode = code;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto process = FindHandleOf<ProcessObject>(hHandle);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD code = 0;
    if (dwMilliseconds == INFINITE) {
        process->Ended(true, code);
        return WAIT_OBJECT_0;
    }
    const DWORD start = GetTickCount();
    while (!process->Ended(false, code)) {
        if (GetTickCount() - start >= dwMilliseconds) {
            return WAIT_TIMEOUT;
        }
        ::Sleep(1);
    }
    return WAIT_OBJECT_0;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode)
{
    auto process = FindHandleOf<ProcessObject>(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!process->Terminate(uExitCode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    const auto object = FindHandle(hObject);
    if (!object || !object->ClosedByCloseHandle() || !RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetCurrentProcessId()
{
    return static_cast<DWORD>(::getpid());
}
