// On Linux events are read back from the machine's log file; Wine stores none, so there only the
// return values and error fields are checked.
#include <brenlix/Error.h>
#include <brenlix/EventLog.h>
#include <brenlix/KvRegistry.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "EventStrings.h"
#include "RawRegistry.h"
#include "RegisterEvntSource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "EventLogFormat.h"
#include "posix/RegistryFaults.h"
// The class's enumeration is used by its own names here, not the system's macros.
#undef EVENTLOG_ERROR_TYPE
#undef EVENTLOG_WARNING_TYPE
#undef EVENTLOG_INFORMATION_TYPE
#undef EVENTLOG_AUDIT_SUCCESS
#undef EVENTLOG_AUDIT_FAILURE
#endif

#include <functional>
#include <sstream>

namespace {

using namespace std::string_literals;
using brenlix::EventLog;
using brenlix::eventlog::RegisterEvntSource;
using platform::ToAnsi;
using raw::Dword;

constexpr std::int32_t kMachine = -2147483646; // HKEY_LOCAL_MACHINE
const std::string kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";
const std::string kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";

constexpr std::int32_t kRegisterFailed = -2147220393; // 0x80040457
constexpr std::int32_t kReportFailed = -2147220391;   // 0x80040459

// An event as "type/category/id strings|...|data".
std::string Event(int type, int category, std::uint32_t id, const std::vector<std::string>& strings, std::string data)
{
    std::string text = std::to_string(type) + "/" + std::to_string(category) + "/" + std::to_string(id) + " ";
    for (const std::string& each : strings) text += each + "|";
    return text + data;
}

const std::string kSource = "WriteEventLogs.RegisterEvntSource.RegisterEventSource";
const std::string kLeadIn = ".  The error was: ";

class EventLogMachine : public ::testing::Test {
protected:
    EventLogMachine() { SetSources("Application\0\0"s); }
    ~EventLogMachine() override
    {
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        raw::RemoveTree(kMachine, kMarkerKey);
        saved_ ? void(raw::Write(kMachine, kApplicationKey, "Sources", *saved_))
               : raw::RemoveValue(kMachine, kApplicationKey, "Sources");
    }
    void SetSources(const std::string& list) const { ASSERT_EQ(raw::Write(kMachine, kApplicationKey, "Sources", {7, list}), 0); }
    std::optional<raw::Stored> Sources() const { return raw::Read(kMachine, kApplicationKey, "Sources"); }
    std::optional<raw::Stored> Marker() const { return raw::Read(kMachine, kMarkerKey, name_); }
    std::string SourceKey() const { return kApplicationKey + "\\" + name_; }
    const std::string& Name() const { return name_; }
    // The events in the machine's log, oldest first; none where they cannot be read back (Wine).
    std::optional<std::vector<std::string>> Events() const
    {
#if defined(_WIN32)
        return std::nullopt;
#else
        std::vector<std::string> events;
        std::istringstream log(testing_support::ReadFile(root_.Path() + "/eventlog/Application.log"));
        for (std::string line; std::getline(log, line);) {
            const auto e = platform::posix::ParseEventLine(line);
            EXPECT_TRUE(e && e->source == Name()) << line;
            if (e) events.push_back(Event(e->type, e->category, e->eventId, e->strings, e->data));
        }
        return events;
#endif
    }
    static void ExpectError(const EventLog& l, std::int32_t number, const std::string& description)
    {
        EXPECT_EQ(std::to_string(l.LastEventErrNum()) + " " + l.LastEventErrSource() + " " + l.LastEventErrDescription(),
                  std::to_string(number) + " EventLog.WriteEventLog " + description);
    }
    bool Register(RegisterEvntSource& registration, std::string folder = "folder") const
    {
        return registration.RegisterEventSource("Kvevtmsg.dll", folder, Name());
    }
    void ExpectSourceKeyWritten() const
    {
        const std::string file = platform::LibraryFolder() + platform::PathSeparator() + "Kvevtmsg.dll";
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "EventMessageFile"),
                  (raw::Stored{2, platform::ToAnsi(file) + '\0'}));
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "TypesSupported"), (raw::Stored{4, Dword(7)}));
    }
    static void ExpectFailure(const RegisterEvntSource& r, std::int32_t number, const std::string& text)
    {
        EXPECT_EQ(std::to_string(r.LastRegErrNum) + " " + r.LastRegErrSource + " " + r.LastRegErrDescription,
                  std::to_string(number) + " " + kSource + " " + text);
    }

    testing_support::TempDir root_;
    testing_support::ScopedEnvironment machine_{"BRENLIX_ROOT", root_.Path().c_str()};
    testing_support::ScopedEnvironment eventLog_{"BRENLIX_EVENTLOG", "file"};

private:
    std::string name_ = "BrenlixEventTest";
    std::optional<raw::Stored> saved_ = raw::Read(kMachine, kApplicationKey, "Sources");
};

using EventLogWriter = EventLogMachine;

// Each event carries the object's text, data and category; a success leaves the error fields alone.
TEST_F(EventLogWriter, EventsCarryTheObjectsState)
{
    using L = EventLog&;
    const auto info = brenlix::EVENTLOG_INFORMATION_TYPE, warning = brenlix::EVENTLOG_WARNING_TYPE;
    const auto success = brenlix::EVENTLOG_AUDIT_SUCCESS;
    const auto odd = static_cast<brenlix::EventLogTypes>(0x10002);
    const std::pair<std::function<std::int32_t(EventLog&)>, std::string> steps[] = {
        {[&](L l) { return l.WriteEventLog(info); }, Event(4, 0, 1, {}, "")},
        {[&](L l) { return l.WriteEventLog(warning, "Disk full", 7); }, Event(2, 0, 7, {"Disk full"}, "")},
        {[&](L l) { return l.EventTekst(""), l.WriteEventLog(success); }, Event(8, 0, 1, {""}, "")},
        {[&](L l) { return l.EventDataBuffer("æø"), l.EventCategory(65537), l.WriteEventLog(info, "", 3); },
         Event(4, 1, 3, {""}, ToAnsi("æø"))},
        {[&](L l) { return l.EventDataBuffer(""), l.EventCategory(0), l.WriteEventLog(odd, "x", -1); },
         Event(2, 0, 0xFFFFFFFFu, {"x"}, "")}, // the type's low word, the id as unsigned
    };
    EventLog log;
    log.LastEventErrNum(42);
    log.ApplicationName(Name());
    std::vector<std::string> expected;
    for (const auto& [step, event] : steps) {
        EXPECT_EQ(step(log), -1) << event;
        expected.push_back(event);
    }
    EXPECT_EQ(log.LastEventErrNum(), 42);
    if (const auto events = Events()) {
        EXPECT_EQ(*events, expected);
    }
}

TEST_F(EventLogWriter, FailuresAreKeptThroughLaterSuccess)
{
    if (testing_support::RunningUnderWine()) {
        GTEST_SKIP() << "Wine's event log takes any server and any source";
    }
    EventLog log;
    log.ApplicationName(Name());
    log.ServerName("\\\\no-such-server.invalid");
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_ERROR_TYPE, "lost"), 0);
    const std::string description =
        "Could not RegisterEventSource for " + Name() + ".  The error was: " + brenlix::SystemErrorText(1722);
    ExpectError(log, kRegisterFailed, description);
    log.ServerName("");
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
    ExpectError(log, kRegisterFailed, description);
    if (const auto events = Events()) {
        EXPECT_EQ(*events, std::vector<std::string>{Event(4, 0, 1, {"lost"}, "")});
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
    std::array<std::string, 99> table;
    EXPECT_EQ(brenlix::eventlog::CopyStrings(std::vector<std::string>(100, "s"), table), 99);
    EXPECT_EQ(brenlix::eventlog::CopyStrings({"a"}, table), 1);
    EXPECT_EQ(table[0] + table[1] + table[98], "ass");
}

using Registration = EventLogMachine;

// Registered and marked once; with any marker present it is not redone. An empty name touches nothing.
TEST_F(Registration, TheMarkerMakesItOnce)
{
    for (const auto& marker : {std::optional<raw::Stored>(), std::optional(raw::Stored{4, Dword(0)})}) {
        EventLog log;
        if (!marker) {
            log.ApplicationName(Name());
            ExpectSourceKeyWritten();
            EXPECT_EQ(Sources(), (raw::Stored{7, "Application\0"s + Name() + "\0\0"s}));
            EXPECT_EQ(Marker(), (raw::Stored{4, Dword(1)}));
        } else {
            ASSERT_EQ(raw::Write(kMachine, kMarkerKey, Name(), *marker), 0);
        }
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        SetSources("A\0\0"s);
        log.ApplicationName(Name());
        EXPECT_FALSE(raw::KeyExists(kMachine, SourceKey())) << (marker ? marker->type : 0);
        EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
        raw::RemoveTree(kMachine, kMarkerKey);
    }
    EventLog log;
    log.ApplicationName("");
    EXPECT_FALSE(raw::KeyExists(kMachine, kMarkerKey));
    EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
}

// NAME stands for the source's name; found in any case, with blanks around it, and as the last name without NULs.
TEST_F(Registration, SourceListGetsTheNameOnceAndStaysWellFormed)
{
    const std::pair<std::string, std::string> cases[] = {
        {"A\0B\0\0"s, "A\0B\0NAME\0\0"s}, {"A\0  brenlixeventtest \0B\0\0"s, ""}, {"A\0BrenlixEventTest"s, ""},
        {""s, "NAME\0\0"s}, {"A"s, "A\0NAME\0\0"s},
    };
    for (const auto& [before, after] : cases) {
        SetSources(before);
        RegisterEvntSource registration;
        EXPECT_TRUE(Register(registration));
        std::string expected = after.empty() ? before : after;
        if (const std::size_t at = expected.find("NAME"); at != std::string::npos) expected.replace(at, 4, Name());
        EXPECT_EQ(Sources(), (raw::Stored{7, expected})) << ::testing::PrintToString(before);
        EXPECT_EQ(registration.LastRegErrNum, 0);
    }
    const std::string folder = "lib"s + platform::PathSeparator(); // trimmed, with one separator
    std::string path = "  lib  ";
    RegisterEvntSource registration;
    EXPECT_TRUE(registration.RegisterEventSource("Kvevtmsg.dll", path, Name()));
    EXPECT_EQ(path, folder);
    EXPECT_EQ(raw::Read(kMachine, SourceKey(), "EventMessageFile"), (raw::Stored{2, folder + "Kvevtmsg.dll\0"s}));
}

// Two processes register at once: the list is read, changed and written under a machine-wide lock.
TEST_F(Registration, TwoProcessesAtOnceLoseNoName)
{
    const std::string prefixes[] = {Name() + "A", Name() + "B"};
    testing_support::ChildProcess first(testing_support::TestChildCommand("register " + prefixes[0] + " 50"));
    testing_support::ChildProcess second(testing_support::TestChildCommand("register " + prefixes[1] + " 50"));
    EXPECT_EQ(first.Wait() + second.Wait(), 0u);
    const std::string listed = "\0"s + Sources().value_or(raw::Stored{}).bytes;
    for (int i = 0; i < 100; ++i) {
        const std::string name = prefixes[i / 50] + std::to_string(i % 50);
        EXPECT_NE(listed.find("\0"s + name + "\0"s), std::string::npos) << name;
        raw::RemoveTree(kMachine, kApplicationKey + "\\" + name, kApplicationKey);
    }
}

// A list missing or over 10240 bytes fails after the source key; no marker, so the next try redoes it.
TEST_F(Registration, UnreadableSourceListFailsAfterTheSourceKey)
{
    for (const auto& [sources, code] : {std::pair{std::optional<std::string>(), 2}, {std::string(10241, 'x'), 234}}) {
        sources ? SetSources(*sources) : raw::RemoveValue(kMachine, kApplicationKey, "Sources");
        RegisterEvntSource registration;
        EXPECT_FALSE(Register(registration, platform::LibraryFolder()));
        ExpectFailure(registration, -2147220492, "Could not OPEN the key, " + kApplicationKey + ", in the registry" +
                                                     kLeadIn + brenlix::SystemErrorText(code));
        ExpectSourceKeyWritten();
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        EventLog log;
        log.ApplicationName(Name());
        EXPECT_FALSE(Marker());
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        log.ApplicationName(Name());
        EXPECT_TRUE(raw::KeyExists(kMachine, SourceKey()));
    }
}

#if !defined(_WIN32)
// Linux only (faults injected through the dynamic linker); a marker that cannot be written is the
// registry class's error.
TEST_F(Registration, FailuresOfEachStep)
{
    const std::string under = ", in the registry under " + kApplicationKey + kLeadIn;
    const std::string set = "Could not SET the ", value = " value for the key, " + Name() + under;
    const std::tuple<const char*, std::string, int, std::int32_t, std::string> rows[] = {
        {"RegSetValueExA", "EventMessageFile", 1, -2147220491, set + "EventMessageFile" + value},
        {"RegCloseKey", "", 2, -2147220489, "Could not CLOSE the key, " + Name() + under},
        {"", "", 0, -2147220493, "Could not CREATE the key, " + Name() + under},          // a read-only hive
    };
    for (const auto& [function, valueName, count, number, description] : rows) {
        SetSources("A\0\0"s);
        RegisterEvntSource registration;
        std::optional<registry_faults::ScopedFault> fault;
        if (count == 0) {
            testing_support::MakeReadOnly(root_.Path() + "/registry/HKLM.reg");
        } else {
            fault.emplace(function, valueName, count, 5);
        }
        EXPECT_FALSE(Register(registration));
        ExpectFailure(registration, number, description + brenlix::SystemErrorText(5));
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
    }
}

TEST_F(Registration, AMarkerThatCannotBeWrittenRaises)
{
    const registry_faults::ScopedFault fault("RegSetValueExA", Name(), 1, 5);
    EventLog log;
    EXPECT_THROW(log.ApplicationName(Name()), brenlix::Error);
    EXPECT_EQ(log.ApplicationName(), Name());
    EXPECT_FALSE(Marker());
}

#endif

} // namespace
