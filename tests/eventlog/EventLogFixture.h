// What the event log tests share: a machine of their own on Linux (registry
// and event log under a temporary root), a source name of their own, and the
// Application log's "Sources" list set to a known content and put back
// afterwards (under Wine the tests write the prefix's own registry).
#pragma once

#include <brenlix/KvRegistry.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace eventlog_testing {

using namespace std::string_literals;

constexpr std::int32_t kMachine = brenlix::HKEY_LOCAL_MACHINE;
inline const std::string kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";
inline const std::string kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";

// The path that a registration writes as the message file.
inline std::string MessageFilePath()
{
    return platform::LibraryFolder() + platform::PathSeparator() + "Kvevtmsg.dll";
}

class EventLogMachine : public ::testing::Test {
protected:
    EventLogMachine()
    {
        saved_ = raw::Read(kMachine, kApplicationKey, "Sources");
        SetSources("Application\0\0"s);
    }

    ~EventLogMachine() override
    {
        raw::RemoveTree(kMachine, SourceKey(), kApplicationKey);
        raw::RemoveTree(kMachine, kMarkerKey);
        if (saved_) {
            raw::Write(kMachine, kApplicationKey, "Sources", *saved_);
        } else {
            raw::RemoveValue(kMachine, kApplicationKey, "Sources");
        }
    }

    void SetSources(const std::string& list) const
    {
        ASSERT_EQ(raw::Write(kMachine, kApplicationKey, "Sources", {7, list}), 0);
    }
    std::optional<raw::Stored> Sources() const { return raw::Read(kMachine, kApplicationKey, "Sources"); }
    std::optional<raw::Stored> Marker() const { return raw::Read(kMachine, kMarkerKey, name_); }
    std::string SourceKey() const { return kApplicationKey + "\\" + name_; }
    const std::string& Name() const { return name_; }

    testing_support::TempDir root_;
    testing_support::ScopedEnvironment machine_{"BRENLIX_ROOT", root_.Path().c_str()};
    testing_support::ScopedEnvironment eventLog_{"BRENLIX_EVENTLOG", "file"};

private:
    std::string name_ = "BrenlixEventTest";
    std::optional<raw::Stored> saved_;
};

} // namespace eventlog_testing
