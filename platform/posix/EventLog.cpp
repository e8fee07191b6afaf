// The event log on Linux. Every event goes where BRENLIX_EVENTLOG says:
//
//   unset or empty    the system log (/dev/log): journald or a syslog daemon
//   syslog:<socket>   another syslog socket (a test's own)
//   file              one line an event, in one write to the end of the
//                     account's own file in <root>/eventlog: root's is
//                     Application.log, another's Application.<name>.log
//                     (EventLogFormat.h); for tests and machines without a
//                     system log
//
// and any other value fails ReportEventA with ERROR_BAD_ENVIRONMENT, so no
// event goes astray unnoticed. Like Windows for a source it does not know,
// every source lands in the Application log. Any user may report events.
#include "AnsiText.h"
#include "ErrnoToWin32.h"
#include "EventLogFormat.h"
#include "HandleTable.h"
#include "MachineRoot.h"
#include "StateFile.h"
#include "Syslog.h"
#include "ThisMachine.h"

#include <platform/Clock.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using platform::posix::HandleObject;
using platform::posix::HostName;
using platform::posix::IsThisMachine;

class EventSourceObject final : public HandleObject {
public:
    explicit EventSourceObject(std::string source) : source_(std::move(source)) {}
    bool ClosedByCloseHandle() const override { return false; }
    const std::string& Source() const { return source_; }

private:
    std::string source_;
};

std::string TimeText(const platform::LocalDateTime& when)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", when.year, when.month, when.day, when.hour,
                  when.minute, when.second);
    return text;
}

using UniqueFd = platform::UniqueHandle<int, &::close, -1>;

// One line on the standard error stream says why the place is passed over.
DWORD Refuse(const std::string& path, const char* why)
{
    std::fprintf(stderr, "brenlix: %s is not used for the event log: %s\n", path.c_str(), why);
    return ERROR_ACCESS_DENIED;
}

// Why the folder may not hold the caller's event file, or nullptr. Only its
// owner and root may rename it, and in a sticky folder only they may rename or
// remove another account's file.
const char* FolderFault(const struct stat& st)
{
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
        return "it belongs to another account";
    }
    if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0) {
        return "others may write it and it is not sticky";
    }
    return nullptr;
}

// Why the opened file may not take the caller's events, or nullptr.
const char* FileFault(const struct stat& st)
{
    if (!S_ISREG(st.st_mode)) {
        return "it is not a regular file";
    }
    if (st.st_nlink != 1) {
        return "it has another name (a hard link)";
    }
    if (st.st_uid != ::geteuid()) {
        return "it belongs to another account";
    }
    if ((st.st_mode & 022) != 0) {
        return "others may write it";
    }
    return nullptr;
}

std::string EventFileOfCaller()
{
    const uid_t uid = ::geteuid();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    const bool named = uid != 0 && ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found;
    return platform::posix::EventFileName(uid, named ? found->pw_name : nullptr);
}

// Appends the event's line to the caller's own file. The folder is open to
// every account (sticky, as /tmp), so anyone may put something under another
// account's file name first: their own file, a link to a file of the caller,
// a FIFO. The folder is checked through a descriptor, the file opened relative
// to it and checked through its own, so nothing can be swapped in between;
// what fails a check is not written and fails with ERROR_ACCESS_DENIED.
DWORD AppendToFile(const platform::posix::EventLine& event)
{
    const std::string root = platform::posix::MachineRoot();
    const std::string folder = root + "/eventlog";
    // The machine root and the folders above it as for all machine state; the
    // event folder itself is the one that is shared.
    const char* what = "the machine's folder";
    if (platform::posix::CheckMachinePath(root, what) != ERROR_SUCCESS ||
        (platform::posix::MakeFolders(root) && platform::posix::CheckMachinePath(root, what) != ERROR_SUCCESS)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!platform::posix::MakeFolders(root) || !platform::posix::MakeFolders(folder, 01777)) {
        return platform::ErrnoToWin32(errno, folder);
    }
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!dir) {
        // MakeFolders found a folder there, following a symbolic link.
        return errno == ENOTDIR ? Refuse(folder, "it is a symbolic link") : platform::ErrnoToWin32(errno, folder);
    }
    if (::fstat(dir.get(), &st) != 0) {
        return platform::ErrnoToWin32(errno, folder);
    }
    if (const char* fault = FolderFault(st)) {
        return Refuse(folder, fault);
    }
    const std::string name = EventFileOfCaller();
    const std::string path = folder + '/' + name;
    UniqueFd file(::openat(dir.get(), name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           platform::posix::kMachineFileMode));
    if (file) {
        ::fchmod(file.get(), platform::posix::kMachineFileMode);
    } else if (errno == EEXIST) {
        // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting.
        file.reset(
            ::openat(dir.get(), name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!file && errno == ELOOP) {
            return Refuse(path, "it is a symbolic link");
        }
        if (!file && errno == ENXIO) {
            return Refuse(path, "it is not a regular file");
        }
        if (!file && (errno == EACCES || errno == EPERM)) {
            return Refuse(path, "it belongs to another account");
        }
    }
    if (!file) {
        return platform::ErrnoToWin32(errno, path);
    }
    if (::fstat(file.get(), &st) != 0) {
        return platform::ErrnoToWin32(errno, path);
    }
    if (const char* fault = FileFault(st)) {
        return Refuse(path, fault);
    }
    // O_APPEND puts the whole line at the end in one step; WriteAll only loops
    // for a short write (a full disk), which fails anyway.
    const std::string line = platform::posix::FormatEventLine(event);
    const int error = platform::posix::WriteAll(file.get(), line.data(), line.size());
    return error != 0 ? platform::ErrnoToWin32(error, path) : ERROR_SUCCESS;
}

DWORD SendToSystemLog(const std::string& socket, const platform::posix::EventLine& event)
{
    const std::string message =
        platform::posix::SyslogMessage(platform::CurrentClock().Now(), static_cast<long>(::getpid()), event.source,
                                       event.type, event.category, event.eventId, event.strings, event.data);
    const int error = platform::posix::SendToSyslog(socket, message);
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ECONNREFUSED:
        return RPC_S_SERVER_UNAVAILABLE; // no log listens, as when the event log service is down
    case ETIMEDOUT:
        return RPC_S_SERVER_TOO_BUSY; // it listens but has stopped taking events
    case EMSGSIZE:
        return RPC_S_INVALID_BOUND; // more than the log takes in one message
    default:
        return platform::ErrnoToWin32(error, socket);
    }
}

// Windows' bounds for one event, in every sink: the characters of each
// insertion string and the bytes of the data; and the whole event as the log
// stores it (source and strings in UTF-16 with their NULs, and the data),
// since a record must fit in one 64 KB chunk of the log's file beside the
// chunk's 512-byte header.
constexpr std::size_t kMaxStringCharacters = 31839;
constexpr DWORD kMaxDataSize = 0xF000;
constexpr std::size_t kMaxEventBytes = 65536 - 512;

} // namespace

// A source name that is NULL fails with ERROR_INVALID_PARAMETER (the
// documentation gives it no meaning); any other name, "" included, is taken as
// Windows takes a source it has not registered: its events go to the
// Application log.
HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (!IsThisMachine(lpUNCServerName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (lpSourceName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (::strcasecmp(lpSourceName, "Security") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return platform::posix::AddHandle(std::make_shared<EventSourceObject>(lpSourceName));
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID /*lpUserSid*/,
                         WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData)
{
    const auto source = platform::posix::FindHandleOf<EventSourceObject>(hEventLog);
    if (!source) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((wNumStrings > 0 && lpStrings == nullptr) || (dwDataSize > 0 && lpRawData == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::posix::EventLine event;
    event.type = wType;
    event.category = wCategory;
    event.eventId = dwEventID;
    event.source = source->Source();
    std::size_t eventBytes = 2 * (platform::posix::AnsiCharacterCount(event.source) + 1) + dwDataSize;
    for (WORD i = 0; i < wNumStrings; ++i) {
        event.strings.emplace_back(lpStrings[i] != nullptr ? lpStrings[i] : "");
        const std::size_t characters = platform::posix::AnsiCharacterCount(event.strings.back());
        eventBytes += 2 * (characters + 1);
        if (characters > kMaxStringCharacters) {
            SetLastError(RPC_S_INVALID_BOUND);
            return FALSE;
        }
    }
    if (dwDataSize > kMaxDataSize || eventBytes > kMaxEventBytes) {
        SetLastError(RPC_S_INVALID_BOUND);
        return FALSE;
    }
    event.data.assign(static_cast<const char*>(lpRawData), dwDataSize);

    const char* setting = std::getenv("BRENLIX_EVENTLOG");
    const std::string sink = setting != nullptr ? setting : "";
    DWORD error = ERROR_BAD_ENVIRONMENT;
    if (sink.empty()) {
        error = SendToSystemLog(platform::posix::kSystemLogSocket, event);
    } else if (sink.rfind("syslog:", 0) == 0 && sink.size() > 7) {
        error = SendToSystemLog(sink.substr(7), event);
    } else if (sink == "file") {
        event.time = TimeText(platform::CurrentClock().Now());
        event.computer = HostName();
        error = AppendToFile(event);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog)
{
    if (!platform::posix::FindHandleOf<EventSourceObject>(hEventLog) || !platform::posix::RemoveHandle(hEventLog)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
