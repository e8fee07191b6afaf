// The event log on Linux: every event goes, in one write, to the end of
// <root>/eventlog/Application.log, so concurrent writers lose nothing. Like
// Windows for a source it does not know, every source lands in the
// Application log.
#include "ErrnoToWin32.h"
#include "EventLogFormat.h"
#include "HandleTable.h"
#include "MachineRoot.h"
#include "StateFile.h"
#include "ThisMachine.h"

#include <platform/Clock.h>
#include <platform/Win32.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
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
    event.time = TimeText(platform::CurrentClock().Now());
    event.type = wType;
    event.category = wCategory;
    event.eventId = dwEventID;
    event.source = source->Source();
    event.computer = HostName();
    for (WORD i = 0; i < wNumStrings; ++i) {
        event.strings.emplace_back(lpStrings[i] != nullptr ? lpStrings[i] : "");
    }
    event.data.assign(static_cast<const char*>(lpRawData), dwDataSize);
    const std::string line = platform::posix::FormatEventLine(event);

    const std::string folder = platform::posix::MachineRoot() + "/eventlog";
    const std::string path = folder + "/Application.log";
    if (!platform::posix::MakeFolders(folder)) {
        SetLastError(platform::ErrnoToWin32(errno, folder));
        return FALSE;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(platform::ErrnoToWin32(errno, path));
        return FALSE;
    }
    // O_APPEND puts the whole line at the end in one step; WriteAll only loops
    // for a short write (a full disk), which fails anyway.
    const int error = platform::posix::WriteAll(fd, line.data(), line.size());
    ::close(fd);
    if (error != 0) {
        SetLastError(platform::ErrnoToWin32(error, path));
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
