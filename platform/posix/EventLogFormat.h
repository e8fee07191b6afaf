// One reported event as a line of an event file in <root>/eventlog. The fields
// are separated by TAB and the line ends with LF:
//
//   time  type  category  event-id  source  computer  count  string...  data
//
// time is the local "YYYY-MM-DDTHH:MM:SS"; type, category and event id are
// decimal; count is the number of insertion strings that follow (as the
// caller gave it); data is the raw bytes as upper-case hex pairs, empty when
// there are none. Text fields escape "\" as "\\", TAB as "\t", CR as "\r" and
// LF as "\n", so a line stays one line and its fields stay apart.
#pragma once

#include <platform/Win32.h>

#include <cstring>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::posix {

struct EventLine {
    std::string time;
    WORD type = 0;
    WORD category = 0;
    DWORD eventId = 0;
    std::string source;
    std::string computer;
    std::vector<std::string> strings;
    std::string data; // raw bytes
};

// The account's event file in <root>/eventlog: Application.log for root,
// Application.<name>.log for any other account, with the decimal uid for the
// name when the account has none or one that is no plain file name (a "/" in
// it, or a leading ".").
inline std::string EventFileName(uid_t uid, const char* name)
{
    if (uid == 0) {
        return "Application.log";
    }
    const bool plain = name != nullptr && *name != '\0' && *name != '.' && std::strchr(name, '/') == nullptr;
    return "Application." + (plain ? std::string(name) : std::to_string(uid)) + ".log";
}

inline std::string EscapeEventText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

inline std::string FormatEventLine(const EventLine& event)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string line = event.time + '\t' + std::to_string(event.type) + '\t' + std::to_string(event.category) + '\t' +
                       std::to_string(event.eventId) + '\t' + EscapeEventText(event.source) + '\t' +
                       EscapeEventText(event.computer) + '\t' + std::to_string(event.strings.size());
    for (const std::string& text : event.strings) {
        line += '\t' + EscapeEventText(text);
    }
    line += '\t';
    for (const char c : event.data) {
        const auto byte = static_cast<unsigned char>(c);
        line += digits[byte >> 4];
        line += digits[byte & 0x0F];
    }
    line += '\n';
    return line;
}

// The event of one line (without its LF); nothing when the line does not have
// the layout above.
inline std::optional<EventLine> ParseEventLine(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\') {
            if (++i == line.size()) {
                return std::nullopt;
            }
            switch (line[i]) {
            case '\\':
                fields.back() += '\\';
                break;
            case 't':
                fields.back() += '\t';
                break;
            case 'r':
                fields.back() += '\r';
                break;
            case 'n':
                fields.back() += '\n';
                break;
            default:
                return std::nullopt;
            }
        } else if (c == '\r' || c == '\n') {
            return std::nullopt;
        } else {
            fields.back() += c;
        }
    }
    const auto number = [](const std::string& text, unsigned long long limit) -> std::optional<unsigned long long> {
        if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        const unsigned long long value = std::stoull(text);
        return value <= limit ? std::optional(value) : std::nullopt;
    };
    if (fields.size() < 8) {
        return std::nullopt;
    }
    const auto type = number(fields[1], 0xFFFF);
    const auto category = number(fields[2], 0xFFFF);
    const auto id = number(fields[3], 0xFFFFFFFFull);
    const auto count = number(fields[6], 0xFFFF);
    if (!type || !category || !id || !count || fields.size() != 8 + *count || fields.back().size() % 2 != 0) {
        return std::nullopt;
    }
    EventLine event;
    event.time = fields[0];
    event.type = static_cast<WORD>(*type);
    event.category = static_cast<WORD>(*category);
    event.eventId = static_cast<DWORD>(*id);
    event.source = fields[4];
    event.computer = fields[5];
    event.strings.assign(fields.begin() + 7, fields.end() - 1);
    const std::string& hex = fields.back();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto nibble = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        const int high = nibble(hex[i]);
        const int low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        event.data += static_cast<char>(high * 16 + low);
    }
    return event;
}

} // namespace platform::posix
