// Events as the system log takes them: one message in the BSD syslog layout
// (RFC 3164) that glibc's syslog() sends, written to a local socket.
#pragma once

#include <platform/Clock.h>
#include <platform/Win32.h>

#include <string>
#include <vector>

namespace platform::posix {

// The system's log socket, where journald or a syslog daemon listens.
constexpr const char* kSystemLogSocket = "/dev/log";

// "<PRI>Mmm dd hh:mm:ss ident[pid]: event=ID category=N "string"... data=HEX",
// one line. The facility is user; the event type gives the severity (error:
// err, warning: warning, audit failure: notice, any other: info). Blanks,
// control characters, "[", "]" and ":" in the source become "_" in the ident
// (the tag ends at the first of them), an empty source is the program's name.
// In the strings "\" and '"' are escaped with "\" and control characters
// written as \xHH; data comes only when there is some, as upper-case hex.
std::string SyslogMessage(const LocalDateTime& when, long pid, const std::string& source, WORD type, WORD category,
                          DWORD eventId, const std::vector<std::string>& strings, const std::string& data);

// How long a send waits for a daemon whose queue is full.
constexpr long kSendLimitSeconds = 10;

// Sends one message to the socket, as a datagram (or, to a stream socket,
// followed by a NUL). Returns 0 or an errno value; ETIMEDOUT when the daemon
// took nothing for kSendLimitSeconds.
int SendToSyslog(const std::string& socketPath, const std::string& message);

} // namespace platform::posix
