// EventLog's events as they reach the event log. On Linux they are read back
// from the machine's Application log file; Wine stores no events (its
// ReportEventA only traces them), so there the tests check what WriteEventLog
// returns and leaves in its fields.
#include <brenlix/EventLog.h>
#include <brenlix/modCommon.h>

#include "EventLogFixture.h"
#include "EventStrings.h"

#if !defined(_WIN32)
#  include "EventLogFormat.h"
// The class's enumeration is used by its own names here, not the system's macros.
#  undef EVENTLOG_ERROR_TYPE
#  undef EVENTLOG_WARNING_TYPE
#  undef EVENTLOG_INFORMATION_TYPE
#  undef EVENTLOG_AUDIT_SUCCESS
#  undef EVENTLOG_AUDIT_FAILURE
#endif

#include <functional>
#include <vector>

namespace {

using namespace std::string_literals;
using brenlix::EventLog;
using eventlog_testing::EventLogMachine;

constexpr std::int32_t kRegisterFailed = -2147220393; // 0x80040457
constexpr std::int32_t kReportFailed = -2147220391;   // 0x80040459

// What one event carried, as far as a test cares.
struct Event {
    int type = 0;
    int category = 0;
    std::uint32_t id = 0;
    std::vector<std::string> strings;
    std::string data;
    bool operator==(const Event&) const = default;
};

void PrintTo(const Event& event, std::ostream* out)
{
    *out << "type " << event.type << ", category " << event.category << ", id " << event.id << ", strings "
         << ::testing::PrintToString(event.strings) << ", data " << ::testing::PrintToString(event.data);
}

class EventLogWriter : public EventLogMachine {
protected:
    // The events in the machine's log, oldest first; nothing where the
    // events cannot be read back (Wine).
    std::optional<std::vector<Event>> Events() const
    {
#if defined(_WIN32)
        return std::nullopt;
#else
        std::vector<Event> events;
        const std::string log = testing_support::ReadFile(root_.Path() + "/eventlog/Application.log");
        for (std::size_t start = 0, end = 0; start < log.size(); start = end + 1) {
            end = log.find('\n', start);
            const std::string line = log.substr(start, end - start);
            const auto parsed = platform::posix::ParseEventLine(line);
            EXPECT_TRUE(parsed) << line;
            if (parsed) {
                EXPECT_EQ(parsed->source, Name());
                events.push_back({parsed->type, parsed->category, parsed->eventId, parsed->strings, parsed->data});
            }
        }
        return events;
#endif
    }
};

TEST_F(EventLogWriter, EventsCarryTheObjectsState)
{
    struct Step {
        const char* what;
        std::function<std::int32_t(EventLog&)> act;
        Event expected;
    };
    const Step steps[] = {
        {"fresh object: no strings, no data", [](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE); },
         {4, 0, 1, {}, ""}},
        {"text and id given",
         [](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_WARNING_TYPE, "Disk full", 7); },
         {2, 0, 7, {"Disk full"}, ""}},
        {"no text: the previous one again",
         [](EventLog& log) { return log.WriteEventLog(brenlix::EVENTLOG_ERROR_TYPE); },
         {1, 0, 1, {"Disk full"}, ""}},
        {"empty EventTekst: one empty string",
         [](EventLog& log) {
             log.EventTekst("");
             return log.WriteEventLog(brenlix::EVENTLOG_AUDIT_SUCCESS);
         },
         {8, 0, 1, {""}, ""}},
        {"data: the bytes without a NUL",
         [](EventLog& log) {
             log.EventDataBuffer("abc");
             return log.WriteEventLog(brenlix::EVENTLOG_AUDIT_FAILURE, "tab\there");
         },
         {16, 0, 1, {"tab\there"}, "abc"}},
        {"data stays until changed; category's low 16 bits",
         [](EventLog& log) {
             log.EventCategory(65537);
             return log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE, "", 3);
         },
         {4, 1, 3, {"tab\there"}, "abc"}},
        {"data: every byte of letters the code page may write in two",
         [](EventLog& log) {
             log.EventDataBuffer("æø");
             return log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE, "y");
         },
         {4, 1, 1, {"y"}, platform::ToAnsi("æø")}},
        {"type's low 16 bits, id as unsigned",
         [](EventLog& log) {
             log.EventDataBuffer("");
             log.EventCategory(0);
             return log.WriteEventLog(static_cast<brenlix::EventLogTypes>(0x10002), "x", -1);
         },
         {2, 0, 0xFFFFFFFFu, {"x"}, ""}},
    };

    EventLog log;
    log.ApplicationName(Name());
    std::vector<Event> expected;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(step.act(log), -1);
        expected.push_back(step.expected);
    }
    EXPECT_EQ(log.EventTekst(), "x");
    EXPECT_EQ(log.LastEventErrNum(), 0);
    EXPECT_EQ(log.LastEventErrSource(), "");
    EXPECT_EQ(log.LastEventErrDescription(), "");
    if (const auto events = Events()) {
        EXPECT_EQ(*events, expected);
    }
}

TEST_F(EventLogWriter, FailuresAreKeptThroughLaterSuccess)
{
    if (testing_support::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's event log takes any server and any source";
    }
    struct Case {
        const char* server;
        const char* source;
        std::int32_t code;
    };
    const Case cases[] = {
        {"\\\\no-such-server.invalid", nullptr, 1722}, // RPC server unavailable
        {"", "Security", 5},                            // a source no application may write
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        EventLog log;
        log.ApplicationName(c.source != nullptr ? c.source : Name());
        log.ServerName(c.server);
        EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_ERROR_TYPE, "lost"), 0);
        const std::string description = "Could not RegisterEventSource for " + log.ApplicationName() +
                                        ".  The error was: " + brenlix::SystemErrorText(c.code);
        EXPECT_EQ(log.LastEventErrNum(), kRegisterFailed);
        EXPECT_EQ(log.LastEventErrSource(), "EventLog.WriteEventLog");
        EXPECT_EQ(log.LastEventErrDescription(), description);

        log.ServerName("");
        log.ApplicationName(Name());
        EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
        EXPECT_EQ(log.LastEventErrNum(), kRegisterFailed);
        EXPECT_EQ(log.LastEventErrSource(), "EventLog.WriteEventLog");
        EXPECT_EQ(log.LastEventErrDescription(), description);
    }
    if (const auto events = Events()) {
        ASSERT_EQ(events->size(), 2u);
        EXPECT_EQ(events->at(0).strings, std::vector<std::string>{"lost"});
    }
}

TEST_F(EventLogWriter, AFailedReportReleasesTheSourceAndSaysSo)
{
#if defined(_WIN32)
    GTEST_SKIP() << "no way to make the system's event log refuse an event";
#else
    // The log's folder is taken by a file.
    testing_support::WriteFile(root_.Path() + "/eventlog", "");
    EventLog log;
    log.ApplicationName(Name());
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), 0);
    EXPECT_EQ(log.LastEventErrNum(), kReportFailed);
    EXPECT_EQ(log.LastEventErrSource(), "EventLog.WriteEventLog");
    EXPECT_EQ(log.LastEventErrDescription(),
              "Could not WRITE to the Application Event Log.The error was: " + brenlix::SystemErrorText(3));
#endif
}

TEST_F(EventLogWriter, ClientsMayAssignTheErrorFields)
{
    EventLog log;
    log.LastEventErrNum(42);
    log.LastEventErrSource("mine");
    log.LastEventErrDescription("set by the client");
    log.ApplicationName(Name());
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
    EXPECT_EQ(log.LastEventErrNum(), 42);
    EXPECT_EQ(log.LastEventErrSource(), "mine");
    EXPECT_EQ(log.LastEventErrDescription(), "set by the client");
}

TEST(EventStringTable, TakesAtMostItsSlots)
{
    struct Case {
        std::size_t entries;
        std::int32_t taken;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{98, 98}, Case{99, 99}, Case{100, 99}, Case{250, 99}}) {
        SCOPED_TRACE(c.entries);
        std::vector<std::string> list;
        for (std::size_t i = 0; i < c.entries; ++i) {
            list.push_back("s" + std::to_string(i));
        }
        std::array<std::string, 99> table;
        table.fill("old");
        EXPECT_EQ(brenlix::eventlog::CopyStrings(list, table), c.taken);
        for (std::size_t slot = 0; slot < table.size(); ++slot) {
            EXPECT_EQ(table[slot], slot < static_cast<std::size_t>(c.taken) ? list[slot] : "old") << slot;
        }
    }
}

} // namespace
