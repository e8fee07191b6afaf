#include "Syslog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace platform::posix {

namespace {

int Severity(WORD type)
{
    switch (type) {
    case EVENTLOG_ERROR_TYPE:
        return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
        return LOG_WARNING;
    case EVENTLOG_AUDIT_FAILURE:
        return LOG_NOTICE;
    default:
        return LOG_INFO;
    }
}

std::string Ident(const std::string& source)
{
    if (source.empty()) {
        return program_invocation_short_name;
    }
    std::string ident = source;
    for (char& c : ident) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F || c == '[' || c == ']' || c == ':') {
            c = '_';
        }
    }
    return ident;
}

void AppendQuoted(std::string& out, const std::string& text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

std::string SyslogMessage(const LocalDateTime& when, long pid, const std::string& source, WORD type, WORD category,
                          DWORD eventId, const std::vector<std::string>& strings, const std::string& data)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = when.month >= 1 && when.month <= 12 ? when.month : 1;
    char head[64];
    std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d ", LOG_USER | Severity(type), months[month - 1],
                  when.day, when.hour, when.minute, when.second);
    std::string message = head + Ident(source) + '[' + std::to_string(pid) + "]: event=" + std::to_string(eventId) +
                          " category=" + std::to_string(category);
    for (const std::string& text : strings) {
        message += ' ';
        AppendQuoted(message, text);
    }
    if (!data.empty()) {
        static const char digits[] = "0123456789ABCDEF";
        message += " data=";
        for (const char c : data) {
            const auto byte = static_cast<unsigned char>(c);
            message += digits[byte >> 4];
            message += digits[byte & 0x0F];
        }
    }
    return message;
}

int SendToSyslog(const std::string& socketPath, const std::string& message)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    // A daemon listens on a datagram socket; some older ones on a stream.
    for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return errno;
        }
        // A daemon that has stopped reading fills the socket's queue, and a
        // send would then wait for it for ever: the event is given up instead.
        const timeval limit{kSendLimitSeconds, 0};
        if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EPROTOTYPE && type == SOCK_DGRAM) {
                continue;
            }
            return error;
        }
        int error = 0;
        const char* data = message.data();
        std::size_t left = message.size() + (type == SOCK_STREAM ? 1 : 0); // the NUL ends it on a stream
        while (left > 0) {
            const ssize_t sent = ::send(fd, data, left, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error = errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno;
                break;
            }
            if (type == SOCK_DGRAM) {
                break; // a datagram goes whole or not at all
            }
            data += sent;
            left -= static_cast<std::size_t>(sent);
        }
        ::close(fd);
        return error;
    }
    return EPROTOTYPE;
}

} // namespace platform::posix
