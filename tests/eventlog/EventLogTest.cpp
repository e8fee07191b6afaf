// Events as they reach the event log. On Linux they are read back from the machine's Application
// log file; Wine stores no events (its ReportEventA only traces them), so there the tests check
// what WriteEventLog returns and leaves in its fields.
#include <brenlix/EventLog.h>
#include <brenlix/modCommon.h>

#include "EventLogFixture.h"
#include "EventStrings.h"

#if !defined(_WIN32)
#include "EventLogFormat.h"
// The class's enumeration is used by its own names here, not the system's macros.
#undef EVENTLOG_ERROR_TYPE
#undef EVENTLOG_WARNING_TYPE
#undef EVENTLOG_INFORMATION_TYPE
#undef EVENTLOG_AUDIT_SUCCESS
#undef EVENTLOG_AUDIT_FAILURE
#endif

#include <functional>

namespace {

using brenlix::EventLog;

constexpr std::int32_t kRegisterFailed = -2147220393; // 0x80040457
constexpr std::int32_t kReportFailed = -2147220391;   // 0x80040459

// An event as "type/category/id strings|...|data".
std::string Event(int type, int category, std::uint32_t id, const std::vector<std::string>& strings,
                  const std::string& data)
{
    std::string text = std::to_string(type) + "/" + std::to_string(category) + "/" + std::to_string(id) + " ";
    for (const std::string& each : strings) {
        text += each + "|";
    }
    return text + data;
}

class EventLogWriter : public eventlog_testing::EventLogMachine {
protected:
    // The events in the machine's log, oldest first; none where they cannot be read back (Wine).
    std::optional<std::vector<std::string>> Events() const
    {
#if defined(_WIN32)
        return std::nullopt;
#else
        std::vector<std::string> events;
        const std::string log = testing_support::ReadFile(root_.Path() + "/eventlog/Application.log");
        for (std::size_t start = 0, end = 0; start < log.size(); start = end + 1) {
            end = log.find('\n', start);
            const auto parsed = platform::posix::ParseEventLine(log.substr(start, end - start));
            EXPECT_TRUE(parsed && parsed->source == Name()) << log.substr(start, end - start);
            if (parsed) {
                events.push_back(Event(parsed->type, parsed->category, parsed->eventId, parsed->strings, parsed->data));
            }
        }
        return events;
#endif
    }
    void ExpectError(const EventLog& log, std::int32_t number, const std::string& description) const
    {
        EXPECT_EQ(log.LastEventErrNum(), number);
        EXPECT_EQ(log.LastEventErrSource(), "EventLog.WriteEventLog");
        EXPECT_EQ(log.LastEventErrDescription(), description);
    }
};

// Each event carries the object's text, data and category as the steps left them; a success
// leaves the error fields as the client set them.
TEST_F(EventLogWriter, EventsCarryTheObjectsState)
{
    const std::pair<std::function<std::int32_t(EventLog&)>, std::string> steps[] = {
        {[](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE); }, Event(4, 0, 1, {}, "")},
        {[](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_WARNING_TYPE, "Disk full", 7); },
         Event(2, 0, 7, {"Disk full"}, "")},
        {[](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_ERROR_TYPE); },
         Event(1, 0, 1, {"Disk full"}, "")},
        {[](EventLog& log) { return log.EventTekst(""), log.WriteEventLog(brenlix::EVENTLOG_AUDIT_SUCCESS); },
         Event(8, 0, 1, {""}, "")},
        {[](EventLog& log) {
             return log.EventDataBuffer("abc"), log.WriteEventLog(brenlix::EVENTLOG_AUDIT_FAILURE, "tab\there");
         },
         Event(16, 0, 1, {"tab\there"}, "abc")},
        {[](EventLog& log) {
             return log.EventCategory(65537), log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE, "", 3);
         },
         Event(4, 1, 3, {"tab\there"}, "abc")},
        {[](EventLog& log) {
             return log.EventDataBuffer("æø"), log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE, "y");
         },
         Event(4, 1, 1, {"y"}, platform::ToAnsi("æø"))},
        {[](EventLog& log) {
             log.EventDataBuffer("");
             log.EventCategory(0);
             return log.WriteEventLog(static_cast<brenlix::EventLogTypes>(0x10002), "x", -1);
         },
         Event(2, 0, 0xFFFFFFFFu, {"x"}, "")},
    };
    EventLog log;
    log.LastEventErrNum(42);
    log.LastEventErrSource("mine");
    log.LastEventErrDescription("set by the client");
    log.ApplicationName(Name());
    std::vector<std::string> expected;
    for (const auto& [step, event] : steps) {
        EXPECT_EQ(step(log), -1) << expected.size();
        expected.push_back(event);
    }
    EXPECT_EQ(log.EventTekst(), "x");
    EXPECT_EQ(log.LastEventErrNum(), 42);
    EXPECT_EQ(log.LastEventErrSource(), "mine");
    EXPECT_EQ(log.LastEventErrDescription(), "set by the client");
    if (const auto events = Events()) {
        EXPECT_EQ(*events, expected);
    }
}

TEST_F(EventLogWriter, FailuresAreKeptThroughLaterSuccess)
{
    if (testing_support::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's event log takes any server and any source";
    }
    const std::tuple<const char*, std::string, std::int32_t> cases[] = {
        {"\\\\no-such-server.invalid", Name(), 1722}, // RPC server unavailable
        {"", "Security", 5},                          // a source no application may write
    };
    for (const auto& [server, source, code] : cases) {
        EventLog log;
        log.ApplicationName(source);
        log.ServerName(server);
        EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_ERROR_TYPE, "lost"), 0);
        const std::string description =
            "Could not RegisterEventSource for " + source + ".  The error was: " + brenlix::SystemErrorText(code);
        ExpectError(log, kRegisterFailed, description);
        log.ServerName("");
        log.ApplicationName(Name());
        EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
        ExpectError(log, kRegisterFailed, description);
    }
    if (const auto events = Events()) {
        EXPECT_EQ(*events, std::vector<std::string>(2, Event(4, 0, 1, {"lost"}, "")));
    }
}

#if !defined(_WIN32)
// Linux only (the system's event log cannot be made to refuse an event): the log's folder is a file.
TEST_F(EventLogWriter, AFailedReportSaysSo)
{
    testing_support::WriteFile(root_.Path() + "/eventlog", "");
    EventLog log;
    log.ApplicationName(Name());
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), 0);
    ExpectError(log, kReportFailed,
                "Could not WRITE to the Application Event Log.The error was: " + brenlix::SystemErrorText(3));
}
#endif

TEST(EventStringTable, TakesAtMostItsSlots)
{
    for (const auto& [entries, taken] : {std::pair{0, 0}, {1, 1}, {98, 98}, {99, 99}, {100, 99}, {250, 99}}) {
        std::vector<std::string> list;
        for (int i = 0; i < entries; ++i) {
            list.push_back("s" + std::to_string(i));
        }
        std::array<std::string, 99> table;
        table.fill("old");
        EXPECT_EQ(brenlix::eventlog::CopyStrings(list, table), taken);
        for (int slot = 0; slot < 99; ++slot) {
            EXPECT_EQ(table[slot], slot < taken ? list[slot] : "old") << entries << " " << slot;
        }
    }
}

} // namespace
