// The registration of an event source: what it leaves in the registry, the marker that makes it
// happen once, the "Sources" list and the failures.
#include <brenlix/Error.h>
#include <brenlix/EventLog.h>
#include <brenlix/modCommon.h>

#include "EventLogFixture.h"
#include "RegisterEvntSource.h"

#ifndef _WIN32
#include "posix/RegistryFaults.h"
#endif

#include <set>

namespace {

using namespace std::string_literals;
using brenlix::EventLog;
using brenlix::eventlog::RegisterEvntSource;
using eventlog_testing::kApplicationKey;
using eventlog_testing::kMachine;
using eventlog_testing::kMarkerKey;
using raw::Dword;

const std::string kSource = "WriteEventLogs.RegisterEvntSource.RegisterEventSource";
const std::string kLeadIn = ".  The error was: ";

class Registration : public eventlog_testing::EventLogMachine {
protected:
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
    void ExpectFailure(const RegisterEvntSource& registration, std::int32_t number, const std::string& text) const
    {
        EXPECT_EQ(registration.LastRegErrNum, number);
        EXPECT_EQ(registration.LastRegErrSource, kSource);
        EXPECT_EQ(registration.LastRegErrDescription, text);
    }
};

// The first assignment of a name registers it and writes the marker; with any marker present,
// whatever happened to the registration since, it is not redone. An empty name touches nothing.
TEST_F(Registration, TheMarkerMakesItOnce)
{
    const std::optional<raw::Stored> markers[] = {std::nullopt, raw::Stored{4, Dword(0)}, raw::Stored{1, "no\0"s},
                                                  raw::Stored{3, ""}};
    for (const auto& marker : markers) {
        SCOPED_TRACE(marker ? marker->type : 0);
        EventLog log;
        if (marker) {
            ASSERT_EQ(raw::Write(kMachine, kMarkerKey, Name(), *marker), 0);
        } else {
            log.ApplicationName(Name());
            ExpectSourceKeyWritten();
            EXPECT_EQ(Sources(), (raw::Stored{7, "Application\0"s + Name() + "\0\0"s}));
            EXPECT_EQ(Marker(), (raw::Stored{4, Dword(1)}));
        }
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        SetSources("A\0\0"s);
        log.ApplicationName(Name());
        EXPECT_FALSE(raw::KeyExists(kMachine, SourceKey()));
        EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
        raw::RemoveTree(kMachine, kMarkerKey);
    }
    EventLog log;
    log.ApplicationName("");
    EXPECT_FALSE(raw::KeyExists(kMachine, kMarkerKey));
    EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
}

TEST_F(Registration, SourceListGetsTheNameOnceAndStaysWellFormed)
{
    const std::pair<std::string, std::string> cases[] = { // before, after with NAME for the source's name
        {"A\0B\0\0"s, "A\0B\0NAME\0\0"s},
        {"A\0brenlixeventtest\0B\0\0"s, "A\0brenlixeventtest\0B\0\0"s}, // found in another case
        {"  BRENLIXEVENTTEST \0\0"s, "  BRENLIXEVENTTEST \0\0"s},       // and with blanks around it
        {"A\0BrenlixEventTest"s, "A\0BrenlixEventTest"s},             // as the last name without its NULs
        {""s, "NAME\0\0"s}, {"\0\0\0"s, "NAME\0\0"s}, {"A\0B\0"s, "A\0B\0NAME\0\0"s}, {"A"s, "A\0NAME\0\0"s},
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(::testing::PrintToString(before));
        SetSources(before);
        RegisterEvntSource registration;
        EXPECT_TRUE(Register(registration));
        std::string expected = after;
        if (const std::size_t at = expected.find("NAME"); at != std::string::npos) {
            expected.replace(at, 4, Name());
        }
        EXPECT_EQ(Sources(), (raw::Stored{7, expected}));
        EXPECT_EQ(registration.LastRegErrNum, 0);
    }
}

// Two processes register new names at once: each reads, changes and writes the list as one
// step under a machine-wide lock, so no name is lost.
TEST_F(Registration, TwoProcessesAtOnceLoseNoName)
{
    const std::string prefixes[] = {Name() + "A", Name() + "B"};
    {
        testing_support::ChildProcess first(testing_support::TestChildCommand("register " + prefixes[0] + " 50"));
        testing_support::ChildProcess second(testing_support::TestChildCommand("register " + prefixes[1] + " 50"));
        EXPECT_EQ(first.Wait(), 0u);
        EXPECT_EQ(second.Wait(), 0u);
    }
    const std::optional<raw::Stored> sources = Sources();
    ASSERT_TRUE(sources) << raw::Subkeys(kMachine, kApplicationKey).size() << " subkeys under " << kApplicationKey;
    std::set<std::string> listed;
    for (std::size_t start = 0; start < sources->bytes.size();) {
        const std::size_t end = sources->bytes.find('\0', start);
        listed.insert(sources->bytes.substr(start, end - start));
        start = end == std::string::npos ? end : end + 1;
    }
    for (const std::string& prefix : prefixes) {
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(listed.count(prefix + std::to_string(i)), 1u) << prefix << i;
            raw::RemoveTree(kMachine, kApplicationKey + "\\" + prefix + std::to_string(i), kApplicationKey);
        }
    }
}

TEST_F(Registration, MessageFileFolderGetsOneSeparator)
{
    const std::string s(1, platform::PathSeparator());
    const std::pair<std::string, std::string> cases[] = {
        {"lib", "lib" + s}, {"lib" + s, "lib" + s}, {"  lib  ", "lib" + s}, {"  lib" + s + "  ", "lib" + s},
        {"x" + s + "lib" + s, "x" + s + "lib" + s},
    };
    for (const auto& [given, folder] : cases) {
        std::string path = given;
        RegisterEvntSource registration;
        EXPECT_TRUE(registration.RegisterEventSource("Kvevtmsg.dll", path, Name()));
        EXPECT_EQ(path, folder);
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "EventMessageFile"), (raw::Stored{2, folder + "Kvevtmsg.dll\0"s}));
    }
}

// A list that is missing or over 10240 bytes fails after the source key; through EventLog that is
// no error and no marker, so the next assignment tries again.
TEST_F(Registration, UnreadableSourceListFailsAfterTheSourceKey)
{
    for (const auto& [sources, code] : {std::pair{std::optional<std::string>(), 2}, {std::string(10241, 'x'), 234}}) {
        SCOPED_TRACE(code);
        sources ? SetSources(*sources) : raw::RemoveValue(kMachine, kApplicationKey, "Sources");
        RegisterEvntSource registration;
        EXPECT_FALSE(Register(registration, platform::LibraryFolder()));
        ExpectFailure(registration, -2147220492,
                      "Could not OPEN the key, " + kApplicationKey + ", in the registry" + kLeadIn +
                          brenlix::SystemErrorText(code));
        ExpectSourceKeyWritten();
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        EventLog log;
        log.ApplicationName(Name());
        EXPECT_FALSE(Marker());
        ExpectSourceKeyWritten();
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        log.ApplicationName(Name());
        EXPECT_TRUE(raw::KeyExists(kMachine, SourceKey()));
    }
}

#ifndef _WIN32
// Linux only (the failing call is put in front of the library's by the dynamic linker, or the
// hive file is read-only for every user): each failure with its number, source and description.
// Through EventLog a failed registration is no error and writes no marker; a marker that cannot be
// written is the registry class's error.
TEST_F(Registration, FailuresOfEachStep)
{
    const std::string under = ", in the registry under " + kApplicationKey + kLeadIn;
    const struct {
        const char* function;
        std::string valueName;
        int count;
        std::int32_t number;
        std::string description;
    } rows[] = {
        {"RegSetValueExA", "EventMessageFile", 1, -2147220491,
         "Could not SET the EventMessageFile value for the key, " + Name() + under},
        {"RegSetValueExA", "TypesSupported", 1, -2147220490,
         "Could not SET the TypesSupported value for the key, " + Name() + under},
        {"RegSetValueExA", "Sources", 1, -2147220491,
         "Could not SET the Sources value for the key, " + kApplicationKey + ", in the registry" + kLeadIn},
        {"RegCloseKey", "", 2, -2147220489, "Could not CLOSE the key, " + Name() + under}, // the source key
        {"RegCloseKey", "", 3, -2147220489, "Could not CLOSE the key, " + Name() + under}, // the last one
        {"", "", 0, -2147220493, "Could not CREATE the key, " + Name() + under},          // a read-only hive
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.function) + " " + row.valueName + " " + std::to_string(row.count));
        SetSources("A\0\0"s);
        RegisterEvntSource registration;
        if (row.count == 0) {
            testing_support::MakeReadOnly(root_.Path() + "/registry/HKLM.reg");
            EXPECT_FALSE(Register(registration));
        } else {
            const registry_faults::ScopedFault fault(row.function, row.valueName, row.count, 5);
            EXPECT_FALSE(Register(registration));
        }
        ExpectFailure(registration, row.number, row.description + brenlix::SystemErrorText(5));
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
    }
    EXPECT_FALSE(raw::KeyExists(kMachine, SourceKey()));
    EventLog log;
    EXPECT_NO_THROW(log.ApplicationName(Name()));
    EXPECT_FALSE(Marker());
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
