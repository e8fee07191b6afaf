// The registration of an event source: what it leaves in the registry, the
// marker that makes it happen once, the "Sources" list and the failures.
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
using raw::Dword;
using eventlog_testing::EventLogMachine;
using eventlog_testing::kApplicationKey;
using eventlog_testing::kMachine;
using eventlog_testing::kMarkerKey;
using eventlog_testing::MessageFilePath;

const std::string kSource = "WriteEventLogs.RegisterEvntSource.RegisterEventSource";
const std::string kLeadIn = ".  The error was: ";

class Registration : public EventLogMachine {
protected:
    bool Register(RegisterEvntSource& registration, std::string folder = "folder") const
    {
        return registration.RegisterEventSource("Kvevtmsg.dll", folder, Name());
    }
    void ExpectSourceKeyWritten() const
    {
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "EventMessageFile"),
                  (raw::Stored{2, platform::ToAnsi(MessageFilePath()) + '\0'}));
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "TypesSupported"), (raw::Stored{4, Dword(7)}));
    }
};

TEST_F(Registration, FirstAssignmentWritesSourceListAndMarker)
{
    EventLog log;
    log.ApplicationName(Name());
    ExpectSourceKeyWritten();
    EXPECT_EQ(raw::ValueNames(kMachine, SourceKey()), (std::vector<std::string>{"EventMessageFile", "TypesSupported"}));
    EXPECT_EQ(Sources(), (raw::Stored{7, "Application\0"s + Name() + "\0\0"s}));
    EXPECT_EQ(Marker(), (raw::Stored{4, Dword(1)}));
}

TEST_F(Registration, AnyMarkerCountsAsDone)
{
    struct Case {
        const char* what;
        std::optional<raw::Stored> marker; // none: the one the first assignment writes
    };
    const Case cases[] = {
        {"written by a first assignment", std::nullopt},
        {"zero", raw::Stored{4, Dword(0)}},
        {"a string", raw::Stored{1, "no\0"s}},
        {"empty binary", raw::Stored{3, ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EventLog log;
        if (c.marker) {
            ASSERT_EQ(raw::Write(kMachine, kMarkerKey, Name(), *c.marker), 0);
        } else {
            log.ApplicationName(Name());
        }
        // Whatever happened to the registration since, it is not redone.
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        SetSources("A\0\0"s);

        log.ApplicationName(Name());
        EXPECT_FALSE(raw::KeyExists(kMachine, SourceKey()));
        EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
        raw::RemoveTree(kMachine, kMarkerKey);
    }
}

TEST_F(Registration, SourceListGetsTheNameOnceAndStaysWellFormed)
{
    struct Case {
        const char* what;
        std::string before;
        std::string after; // with NAME for the source's name
    };
    const Case cases[] = {
        {"appended after the others", "A\0B\0\0"s, "A\0B\0NAME\0\0"s},
        {"found in another case", "A\0brenlixeventtest\0B\0\0"s, "A\0brenlixeventtest\0B\0\0"s},
        {"found with blanks around it", "  BRENLIXEVENTTEST \0\0"s, "  BRENLIXEVENTTEST \0\0"s},
        {"found as the last name without its NULs", "A\0BrenlixEventTest"s, "A\0BrenlixEventTest"s},
        {"no data", ""s, "NAME\0\0"s},
        {"nothing but NULs", "\0\0\0"s, "NAME\0\0"s},
        {"the closing NUL missing", "A\0B\0"s, "A\0B\0NAME\0\0"s},
        {"no NUL at all", "A"s, "A\0NAME\0\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSources(c.before);
        RegisterEvntSource registration;
        EXPECT_TRUE(Register(registration));
        std::string after = c.after;
        if (const std::size_t at = after.find("NAME"); at != std::string::npos) {
            after.replace(at, 4, Name());
        }
        EXPECT_EQ(Sources(), (raw::Stored{7, after}));
        EXPECT_EQ(registration.LastRegErrNum, 0);
    }
}

TEST_F(Registration, NamesAreAppendedInTheOrderRegistered)
{
    SetSources("A\0B\0\0"s);
    for (const char* name : {"C", "D"}) {
        std::string folder = "folder";
        RegisterEvntSource registration;
        EXPECT_TRUE(registration.RegisterEventSource("Kvevtmsg.dll", folder, name));
        raw::RemoveTree(kMachine, kApplicationKey + "\\" + name, kApplicationKey);
    }
    EXPECT_EQ(Sources(), (raw::Stored{7, "A\0B\0C\0D\0\0"s}));
}

// Two processes that register new names at the same time: each reads,
// changes and writes the list as one step, so no name is lost.
TEST_F(Registration, TwoProcessesAtOnceLoseNoName)
{
    SetSources("Application\0\0"s);
    const std::string prefixes[] = {Name() + "A", Name() + "B"};
    {
        testing_support::ChildProcess first(testing_support::TestChildCommand("register " + prefixes[0] + " 50"));
        testing_support::ChildProcess second(testing_support::TestChildCommand("register " + prefixes[1] + " 50"));
        EXPECT_EQ(first.Wait(), 0u);
        EXPECT_EQ(second.Wait(), 0u);
    }
    const std::optional<raw::Stored> sources = Sources();
    ASSERT_TRUE(sources) << raw::ValueNames(kMachine, kApplicationKey).size() << " values and "
                         << raw::Subkeys(kMachine, kApplicationKey).size() << " subkeys under " << kApplicationKey;
    std::set<std::string> listed;
    for (std::size_t start = 0; start < sources->bytes.size();) {
        const std::size_t end = sources->bytes.find('\0', start);
        listed.insert(sources->bytes.substr(start, end - start));
        start = end == std::string::npos ? end : end + 1;
    }
    for (const std::string& prefix : prefixes) {
        for (int i = 0; i < 50; ++i) {
            const std::string name = prefix + std::to_string(i);
            EXPECT_EQ(listed.count(name), 1u) << name;
            raw::RemoveTree(kMachine, kApplicationKey + "\\" + name, kApplicationKey);
        }
    }
}

#ifndef _WIN32
constexpr std::int32_t kAccessDenied = 5;

// Linux only (the failing call is put in front of the library's by the
// dynamic linker): the failures a working registry never gives, each with its
// number, source and whole description, and the marker left unwritten.
TEST_F(Registration, FailuresOfTheLaterSteps)
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.function) + " " + row.valueName + " " + std::to_string(row.count));
        SetSources("A\0\0"s);
        RegisterEvntSource registration;
        {
            const registry_faults::ScopedFault fault(row.function, row.valueName, row.count, kAccessDenied);
            EXPECT_FALSE(Register(registration));
        }
        EXPECT_EQ(registration.LastRegErrNum, row.number);
        EXPECT_EQ(registration.LastRegErrSource, kSource);
        EXPECT_EQ(registration.LastRegErrDescription, row.description + brenlix::SystemErrorText(5));
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
    }
    // Through the class: a failed registration is no error, and no marker.
    {
        const registry_faults::ScopedFault fault("RegSetValueExA", "TypesSupported", 1, kAccessDenied);
        EventLog log;
        EXPECT_NO_THROW(log.ApplicationName(Name()));
    }
    EXPECT_FALSE(Marker());
}

// A failed write of the marker is the registry class's failure, raised to
// whoever assigned the name.
TEST_F(Registration, AMarkerThatCannotBeWrittenRaises)
{
    const registry_faults::ScopedFault fault("RegSetValueExA", Name(), 1, kAccessDenied);
    EventLog log;
    EXPECT_THROW(log.ApplicationName(Name()), brenlix::Error);
    EXPECT_EQ(log.ApplicationName(), Name());
    EXPECT_FALSE(Marker());
}
#endif

TEST_F(Registration, MessageFileFolderGetsOneSeparator)
{
    const std::string s(1, platform::PathSeparator());
    const std::pair<std::string, std::string> cases[] = {
        {"lib", "lib" + s},
        {"lib" + s, "lib" + s},
        {"  lib  ", "lib" + s},
        {"  lib" + s + "  ", "lib" + s},
        {"x" + s + "lib" + s, "x" + s + "lib" + s},
    };
    for (const auto& [given, folder] : cases) {
        SCOPED_TRACE(given);
        std::string path = given;
        RegisterEvntSource registration;
        EXPECT_TRUE(registration.RegisterEventSource("Kvevtmsg.dll", path, Name()));
        EXPECT_EQ(path, folder);
        EXPECT_EQ(raw::Read(kMachine, SourceKey(), "EventMessageFile"),
                  (raw::Stored{2, folder + "Kvevtmsg.dll\0"s}));
    }
}

TEST_F(Registration, UnreadableSourceListFailsAfterTheSourceKey)
{
    struct Case {
        const char* what;
        std::optional<std::string> sources; // none: the value is missing
        std::int32_t code;
    };
    const Case cases[] = {
        {"missing", std::nullopt, 2},                   // file not found
        {"over 10240 bytes", std::string(10241, 'x'), 234}, // more data
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.sources) {
            SetSources(*c.sources);
        } else {
            raw::RemoveValue(kMachine, kApplicationKey, "Sources");
        }
        RegisterEvntSource registration;
        EXPECT_FALSE(Register(registration, platform::LibraryFolder()));
        EXPECT_EQ(registration.LastRegErrNum, -2147220492);
        EXPECT_EQ(registration.LastRegErrSource, kSource);
        EXPECT_EQ(registration.LastRegErrDescription, "Could not OPEN the key, " + kApplicationKey +
                                                          ", in the registry" + kLeadIn +
                                                          brenlix::SystemErrorText(c.code));
        ExpectSourceKeyWritten();

        // Through EventLog: no error, no marker, and the next assignment tries again.
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

TEST_F(Registration, EmptyNameTouchesNothing)
{
    SetSources("A\0\0"s);
    EventLog log;
    log.ApplicationName("");
    EXPECT_FALSE(raw::KeyExists(kMachine, kMarkerKey));
    EXPECT_EQ(Sources(), (raw::Stored{7, "A\0\0"s}));
    EXPECT_EQ(log.WriteEventLog(brenlix::EVENTLOG_INFORMATION_TYPE), -1);
}

TEST_F(Registration, AMachineHiveNobodyMayWriteFailsAtTheCreateStep)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the Wine prefix lets every process write HKEY_LOCAL_MACHINE";
#else
    // A hive file without write permission is read-only for every user.
    SetSources("A\0\0"s); // so that the hive has a file
    testing_support::MakeReadOnly(root_.Path() + "/registry/HKLM.reg");
    RegisterEvntSource registration;
    EXPECT_FALSE(Register(registration));
    EXPECT_EQ(registration.LastRegErrNum, -2147220493);
    EXPECT_EQ(registration.LastRegErrSource, kSource);
    EXPECT_EQ(registration.LastRegErrDescription, "Could not CREATE the key, " + Name() +
                                                      ", in the registry under " + kApplicationKey + kLeadIn +
                                                      brenlix::SystemErrorText(5));

    EventLog log;
    EXPECT_NO_THROW(log.ApplicationName(Name()));
    EXPECT_EQ(log.ApplicationName(), Name());
    EXPECT_FALSE(Marker());
    EXPECT_FALSE(raw::KeyExists(kMachine, SourceKey()));
#endif
}

} // namespace
