// The event log on Linux. Every event goes where BRENLIX_EVENTLOG says:
//
//   unset or empty    the system log (/dev/log): journald or a syslog daemon
//   syslog:<socket>   another syslog socket (a test's own)
//   file              one line an event, in one write to the end of
//                     <root>/eventlog/Application.log (EventLogFormat.h), for
//                     tests and machines without a system log
//
// and any other value fails ReportEventA with ERROR_BAD_ENVIRONMENT, so no
// event goes astray unnoticed. Like Windows for a source it does not know,
// every source lands in the Application log. Any user may report events.
#include "ErrnoToWin32.h"
#include "EventLogFormat.h"
#include "HandleTable.h"
#include "MachineRoot.h"
#include "StateFile.h"
#include "Syslog.h"
#include "ThisMachine.h"

#include <platform/Clock.h>
#include <platform/Win32.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Appends the event's line to the file log. Its folder takes files of every
// user (sticky, as /tmp) and the file takes every user's events. So any user
// may put something else under the file's name: a symbolic or hard link to
// another file, a FIFO or a device would have the caller (root, say) write
// there. Only a regular file with no other name is written; anything else
// fails with ERROR_ACCESS_DENIED and a line on the standard error stream.
DWORD AppendToFile(const platform::posix::EventLine& event)
{
    const std::string folder = platform::posix::MachineRoot() + "/eventlog";
    const std::string path = folder + "/Application.log";
    if (!platform::posix::MakeFolders(platform::posix::MachineRoot()) || !platform::posix::MakeFolders(folder, 01777)) {
        return platform::ErrnoToWin32(errno, folder);
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0666);
    } else if (errno == EEXIST) {
        // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting.
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        const bool plain = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
        if (!plain && (fd >= 0 || errno == ELOOP || errno == ENXIO)) {
            if (fd >= 0) {
                ::close(fd);
            }
            std::fprintf(stderr, "brenlix: %s is not used as the event log: it is not a regular file of its own\n",
                         path.c_str());
            return ERROR_ACCESS_DENIED;
        }
    }
    if (fd < 0) {
        return platform::ErrnoToWin32(errno, path);
    }
    // O_APPEND puts the whole line at the end in one step; WriteAll only loops
    // for a short write (a full disk), which fails anyway.
    const std::string line = platform::posix::FormatEventLine(event);
    const int error = platform::posix::WriteAll(fd, line.data(), line.size());
    ::close(fd);
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
    default:
        return platform::ErrnoToWin32(error, socket);
    }
}

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
    for (WORD i = 0; i < wNumStrings; ++i) {
        event.strings.emplace_back(lpStrings[i] != nullptr ? lpStrings[i] : "");
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
