// On Linux events are read back from the machine's log file; Wine stores none, so there only the
// return values and error fields are checked.
#include <brenlix/Error.h>
#include <brenlix/EventLog.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "RegisterEvntSource.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include "EventLogFormat.h"
#include "posix/RegistryFaults.h"

#include <pwd.h>
#include <unistd.h>
#endif

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <utility>

namespace {

using namespace std::string_literals;
using brenlix::EventLog;
using brenlix::SystemErrorText;
using brenlix::eventlog::RegisterEvntSource;
using platform::ToAnsi;
using raw::Dword;

constexpr std::int32_t kMachine = -2147483646; // HKEY_LOCAL_MACHINE
const std::string kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";
const std::string kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";
const std::string kName = "BrenlixEventTest", kSourceKey = kApplicationKey + "\\" + kName;
const std::string kLeadIn = ".  The error was: ";

// The class's event types by number (1 error, 2 warning, 4 information, 8 audit success).
brenlix::EventLogTypes Type(int number) { return static_cast<brenlix::EventLogTypes>(number); }

class EventLogMachine : public ::testing::Test {
protected:
    EventLogMachine() { SetSources("Application\0\0"s); }
    ~EventLogMachine() override
    {
        raw::RemoveTree(kMachine, kSourceKey, kApplicationKey);
        raw::RemoveTree(kMachine, kMarkerKey);
        saved_ ? void(raw::Write(kMachine, kApplicationKey, "Sources", *saved_))
               : raw::RemoveValue(kMachine, kApplicationKey, "Sources");
    }
    static void SetSources(const std::string& list)
    {
        ASSERT_EQ(raw::Write(kMachine, kApplicationKey, "Sources", {7, list}), 0);
    }
    std::optional<raw::Stored> Sources() const { return raw::Read(kMachine, kApplicationKey, "Sources"); }
    std::optional<raw::Stored> Marker() const { return raw::Read(kMachine, kMarkerKey, kName); }
    // The machine's log, oldest first, as "type/category/id strings|...|data"; nothing under Wine, which keeps none.
    std::optional<std::vector<std::string>> Events() const
    {
#if defined(_WIN32)
        return std::nullopt;
#else
        std::vector<std::string> events;
        const passwd* account = ::getpwuid(::geteuid()); // the caller's own file: root's is Application.log
        const std::string file =
            platform::posix::EventFileName(::geteuid(), account != nullptr ? account->pw_name : nullptr);
        std::istringstream log(testing_support::ReadFile(root_.Path() + "/eventlog/" + file));
        for (std::string line; std::getline(log, line);) {
            const auto e = platform::posix::ParseEventLine(line).value();
            EXPECT_EQ(e.source, kName);
            std::string text =
                std::to_string(e.type) + "/" + std::to_string(e.category) + "/" + std::to_string(e.eventId) + " ";
            for (const std::string& each : e.strings) text += each + "|";
            events.push_back(text + e.data);
        }
        return events;
#endif
    }

    testing_support::TempDir root_;
    testing_support::ScopedEnvironment machine_{"BRENLIX_ROOT", root_.Path().c_str()};
    testing_support::ScopedEnvironment eventLog_{"BRENLIX_EVENTLOG", "file"};
    std::optional<raw::Stored> saved_ = raw::Read(kMachine, kApplicationKey, "Sources");
};

using EventLogWriter = EventLogMachine;

// Each event carries the object's text, data and category. A failure fills the error fields, which a later
// success leaves alone; an event whose handle does not close is written all the same; under Wine no server is refused, so the steps end before the first failure there.
TEST_F(EventLogWriter, EventsCarryTheObjectsStateAndFailuresStay)
{
    using L = EventLog&;
    const std::string could = " EventLog.WriteEventLog Could not ", folder = root_.Path() + "/eventlog";
    const std::string lost =
        "-2147220393" + could + "RegisterEventSource for " + kName + kLeadIn + SystemErrorText(1722);
    // each step, the event it writes ("": none, so it returns 0) and the error fields after it
    const std::tuple<std::function<std::int32_t(EventLog&)>, std::string, std::string> steps[] = {
        {[](L l) { return l.WriteEventLog(Type(4)); }, "4/0/1 ", "42  "},
        {[](L l) { return l.WriteEventLog(Type(2), "Disk full", 7); }, "2/0/7 Disk full|", "42  "},
        {[](L l) { return l.EventTekst(""), l.WriteEventLog(Type(8)); }, "8/0/1 |", "42  "},
        {[](L l) { return l.EventDataBuffer("æø"), l.EventCategory(65537), l.WriteEventLog(Type(4), "", 3); },
         "4/1/3 |" + ToAnsi("æø"), "42  "},
        {[](L l) { return l.EventDataBuffer(""), l.EventCategory(0), l.WriteEventLog(Type(0x10002), "x", -1); },
         "2/0/4294967295 x|", "42  "},
        {[](L l) { return l.ServerName("\\\\no-such-server.invalid"), l.WriteEventLog(Type(1), "lost"); }, "", lost},
        {[](L l) { return l.ServerName(""), l.WriteEventLog(Type(4)); }, "4/0/1 lost|", lost},
#if !defined(_WIN32) // the system's event log cannot be made to refuse an event; here its folder is a file
        {[](L l) { const registry_faults::ScopedFault fault("DeregisterEventSource", "", 1, 5);
                   return l.WriteEventLog(Type(4)); },
         "4/0/1 lost|", "-2147220392" + could + "WRITE to the Application Event Log.The error was: " + SystemErrorText(5)},
        {[&](L l) { return std::filesystem::remove_all(folder), testing_support::WriteFile(folder, ""),
                           l.WriteEventLog(Type(4)); },
         "", "-2147220391" + could + "WRITE to the Application Event Log.The error was: " + SystemErrorText(3)},
#endif
    };
    EventLog log;
    log.LastEventErrNum(42);
    log.ApplicationName(kName);
    std::vector<std::string> expected;
    std::string before = "42  ";
    for (const auto& [step, event, fields] : steps) { // 0 exactly when the call records a failure
        if (event.empty() && testing_support::RunningUnderWine())
            break;
        EXPECT_EQ(step(log), fields == std::exchange(before, fields) ? -1 : 0) << event;
        EXPECT_EQ(std::to_string(log.LastEventErrNum()) + " " + log.LastEventErrSource() + " " +
                      log.LastEventErrDescription(), fields);
        if (!event.empty()) {
            expected.push_back(event);
            EXPECT_EQ(Events().value_or(expected), expected);
        }
    }
}

using Registration = EventLogMachine;

// Registered and marked once; with any marker present it is not redone. A marker that cannot be written is the
// registry class's error; a failed registration (here the list is missing) writes none, so the next assignment tries
// again. An empty name touches nothing.
TEST_F(Registration, TheMarkerMakesItOnce)
{
    EventLog log;
#if !defined(_WIN32) // faults are injected through the dynamic linker
    {
        const registry_faults::ScopedFault fault("RegSetValueExA", kName, 1, 5);
        EXPECT_THROW(log.ApplicationName(kName), brenlix::Error);
        EXPECT_FALSE(Marker());
    }
#endif
    raw::RemoveValue(kMachine, kApplicationKey, "Sources");
    log.ApplicationName(kName);
    EXPECT_FALSE(Marker());
    SetSources("Application\0\0"s);
    log.ApplicationName(kName);
    const std::string file = ToAnsi(platform::LibraryFolder() + platform::PathSeparator() + "Kvevtmsg.dll");
    EXPECT_EQ(raw::Read(kMachine, kSourceKey, "EventMessageFile"), (raw::Stored{2, file + '\0'}));
    EXPECT_EQ(Marker(), (raw::Stored{4, Dword(1)}));
    ASSERT_EQ(raw::Write(kMachine, kMarkerKey, kName, {4, Dword(0)}), 0);
    raw::RemoveTree(kMachine, kSourceKey, kApplicationKey);
    SetSources("A\0\0"s);
    log.ApplicationName(kName);
    EXPECT_FALSE(raw::KeyExists(kMachine, kSourceKey));
    raw::RemoveTree(kMachine, kMarkerKey);
    log.ApplicationName("");
    EXPECT_FALSE(raw::KeyExists(kMachine, kMarkerKey));
    EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
    EXPECT_EQ(log.WriteEventLog(Type(4)), -1);
}

// NAME is the source's name, found in any case, amid blanks and last without NULs; a name of blanks is the list's
// closing empty entry. The folder is trimmed, its separator added when it has none.
TEST_F(Registration, SourceListGetsTheNameOnceAndStaysWellFormed)
{
    const std::string s(1, platform::PathSeparator()), blanks = "   ";
    const std::array<std::string, 4> cases[] = { // list before, name, folder, list after ("": unchanged)
        {"A\0B\0\0"s, kName, "  lib  ", "A\0B\0NAME\0\0"s}, {"A\0  brenlixeventtest \0B\0\0"s, kName, "lib" + s, ""},
        {"A\0BrenlixEventTest"s, kName, " lib" + s + " ", ""}, {""s, kName, "lib", "NAME\0\0"s},
        {"A"s, kName, "lib", "A\0NAME\0\0"s}, {"A\0\0"s, blanks, "lib", ""},
    };
    for (const auto& [before, name, folder, after] : cases) {
        SetSources(before);
        RegisterEvntSource registration;
        std::string path = folder;
        EXPECT_TRUE(registration.RegisterEventSource("Kvevtmsg.dll", path, name));
        raw::RemoveTree(kMachine, kApplicationKey + "\\" + blanks, kApplicationKey);
        std::string expected = after.empty() ? before : after;
        if (const std::size_t at = expected.find("NAME"); at != std::string::npos) expected.replace(at, 4, kName);
        EXPECT_EQ(Sources(), (raw::Stored{7, expected})) << ::testing::PrintToString(before);
        EXPECT_EQ(path + " " + std::to_string(registration.LastRegErrNum), "lib" + s + " 0");
        if (name == kName) {
            EXPECT_EQ(raw::Read(kMachine, kSourceKey, "EventMessageFile"), (raw::Stored{2, path + "Kvevtmsg.dll\0"s}));
        }
    }
}

// Two processes register at once: the list is read, changed and written under a machine-wide lock.
TEST_F(Registration, TwoProcessesAtOnceLoseNoName)
{
    using testing_support::TestChildCommand;
    testing_support::ChildProcess first(TestChildCommand("register " + kName + "A 50")),
        second(TestChildCommand("register " + kName + "B 50"));
    EXPECT_EQ(first.Wait() + second.Wait(), 0u);
    const std::string listed = "\0"s + Sources().value_or(raw::Stored{}).bytes;
    for (int i = 0; i < 100; ++i) {
        const std::string name = kName + "AB"[i / 50] + std::to_string(i % 50);
        EXPECT_NE(listed.find("\0"s + name + "\0"s), std::string::npos) << name;
        raw::RemoveTree(kMachine, kApplicationKey + "\\" + name, kApplicationKey);
    }
}

// Each step's failure with its error; a list missing or over 10240 bytes fails after the source key is written.
TEST_F(Registration, FailuresOfEachStep)
{
    const std::string under = ", in the registry under " + kApplicationKey + kLeadIn;
    const std::string list = "Could not OPEN the key, " + kApplicationKey + ", in the registry" + kLeadIn;
    // fault: the call failing with code 5 at its count-th call, "hive" for a read-only hive (Linux only)
    const struct { std::optional<std::string> sources; std::string fault, valueName; int count; std::int32_t number;
                   std::string text; int code; } rows[] = {
        {std::nullopt, "", "", 0, -2147220492, list, 2},
        {std::string(10241, 'x'), "", "", 0, -2147220492, list, 234},
        {"A\0\0"s, "RegSetValueExA", "EventMessageFile", 1, -2147220491,
         "Could not SET the EventMessageFile value for the key, " + kName + under, 5},
        {"A\0\0"s, "RegOpenKeyExA", kSourceKey, 1, -2147220492, "Could not OPEN the key, " + kName + under, 5},
        {"A\0\0"s, "RegSetValueExA", "TypesSupported", 1, -2147220490,
         "Could not SET the TypesSupported value for the key, " + kName + under, 5},
        {"A\0\0"s, "RegSetValueExA", "Sources", 1, -2147220491,
         "Could not SET the Sources value for the key, " + kApplicationKey + ", in the registry" + kLeadIn, 5},
        {"A\0\0"s, "RegCloseKey", "", 2, -2147220489, "Could not CLOSE the key, " + kName + under, 5},
        {"A\0\0"s, "RegCloseKey", "", 3, -2147220489, "Could not CLOSE the key, " + kName + under, 5},
        {"A\0\0"s, "hive", "", 0, -2147220493, "Could not CREATE the key, " + kName + under, 5},
    };
    for (const auto& row : rows) {
        raw::RemoveTree(kMachine, kSourceKey, kApplicationKey);
        row.sources ? SetSources(*row.sources) : raw::RemoveValue(kMachine, kApplicationKey, "Sources");
#if defined(_WIN32)
        if (!row.fault.empty())
            continue;
#else
        std::optional<registry_faults::ScopedFault> fault;
        if (row.fault == "hive")
            testing_support::MakeReadOnly(root_.Path() + "/registry/HKLM.reg");
        else if (!row.fault.empty())
            fault.emplace(row.fault, row.valueName, row.count, 5);
#endif
        RegisterEvntSource registration;
        std::string folder = platform::LibraryFolder();
        EXPECT_FALSE(registration.RegisterEventSource("Kvevtmsg.dll", folder, kName));
        EXPECT_EQ(std::to_string(registration.LastRegErrNum) + " " + registration.LastRegErrSource + " " +
                      registration.LastRegErrDescription,
                  std::to_string(row.number) + " WriteEventLogs.RegisterEvntSource.RegisterEventSource " + row.text +
                      SystemErrorText(row.code));
        if (row.fault.empty()) {
            EXPECT_EQ(raw::Read(kMachine, kSourceKey, "TypesSupported"), (raw::Stored{4, Dword(7)}));
        }
    }
}

} // namespace
