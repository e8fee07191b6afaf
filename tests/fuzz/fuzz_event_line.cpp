// An event written as a line of the event file parses back to the same event, its fields kept separate; any line that
// parses gives itself back once written again. The same event sent to the system log keeps its strings separate.
#include "FuzzCheck.h"
#include "EventLogFormat.h"
#include "Syslog.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

using namespace platform::posix;

static bool Same(const EventLine& a, const EventLine& b)
{
    return a.time == b.time && a.type == b.type && a.category == b.category && a.eventId == b.eventId &&
           a.source == b.source && a.computer == b.computer && a.strings == b.strings && a.data == b.data;
}

// The quoted strings of a syslog message, unescaped.
static std::vector<std::string> SyslogStrings(const std::string& message)
{
    std::vector<std::string> strings;
    for (std::size_t i = message.find(" \""); i != std::string::npos; i = message.find(" \"", i)) {
        std::string text;
        for (i += 2; message[i] != '"'; ++i) {
            const bool hex = message[i] == '\\' && message[++i] == 'x';
            text += hex ? static_cast<char>(std::stoi(message.substr(i + 1, 2), nullptr, 16)) : message[i];
            i += hex ? 2 : 0;
        }
        strings.push_back(text);
    }
    return strings;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        const std::string text = in.ConsumeRemainingBytesAsString();
        const auto event = ParseEventLine(text);
        std::size_t at = 0;
        for (int field = 0; event && field < 6; ++field) {
            at = text.find('\t', at) + 1;
        }
        Require(!event || std::stoul(text.substr(at, text.find('\t', at) - at)) == event->strings.size(),
                "the count of strings disagrees with the strings");
        if (event && event->time.find_first_of("\\\t\r\n") == std::string::npos) {
            const std::string line = FormatEventLine(*event);
            const auto again = ParseEventLine(line.substr(0, line.size() - 1));
            Require(again && Same(*event, *again), "a line read and written again reads differently");
        }
        return 0;
    }
    EventLine event;
    char time[32];
    std::snprintf(time, sizeof time, "%04u-%02u-%02uT%02u:%02u:%02u", in.ConsumeIntegralInRange(1601u, 9999u),
                  in.ConsumeIntegralInRange(1u, 12u), in.ConsumeIntegralInRange(1u, 31u),
                  in.ConsumeIntegralInRange(0u, 23u), in.ConsumeIntegralInRange(0u, 59u),
                  in.ConsumeIntegralInRange(0u, 59u));
    event.time = time;
    event.type = in.ConsumeIntegral<WORD>();
    event.category = in.ConsumeIntegral<WORD>();
    event.eventId = in.ConsumeIntegral<DWORD>();
    event.source = in.ConsumeRandomLengthString(16);
    event.computer = in.ConsumeRandomLengthString(16);
    for (std::size_t n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        event.strings.push_back(in.ConsumeRandomLengthString(32));
    }
    event.data = in.ConsumeRemainingBytesAsString();

    const std::string line = FormatEventLine(event);
    Require(line.back() == '\n' && line.find_first_of("\r\n") == line.size() - 1, "the line is not one line");
    Require(std::count(line.begin(), line.end(), '\t') == 7 + static_cast<long>(event.strings.size()),
            "a field holds a TAB");
    const auto parsed = ParseEventLine(line.substr(0, line.size() - 1));
    Require(parsed && Same(event, *parsed), "the line reads back as another event");

    const std::string message = SyslogMessage({}, 42, event.source, event.type, event.category, event.eventId,
                                              event.strings, event.data);
    Require(std::none_of(message.begin(), message.end(), [](char c) { return (c >= 0 && c < ' ') || c == 0x7F; }),
            "the syslog message holds a control character");
    const std::size_t tag = message.find("[42]: event=" + std::to_string(event.eventId) + " category=");
    Require(tag != std::string::npos && message.find_first_of(" []:", 20) == tag, "the ident is not one word");
    Require(SyslogStrings(message.substr(tag)) == event.strings, "the syslog strings read back differently");
    return 0;
}
