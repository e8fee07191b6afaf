// A machine of its own on Linux (registry and event log under a temporary root), a source name,
// and the Application log's "Sources" list set to a known content and put back afterwards (under
// Wine the tests write the prefix's own registry).
#pragma once

#include <brenlix/KvRegistry.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace eventlog_testing {

using namespace std::string_literals;

constexpr std::int32_t kMachine = brenlix::HKEY_LOCAL_MACHINE;
inline const std::string kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";
inline const std::string kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";

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
    std::optional<raw::Stored> saved_ = raw::Read(kMachine, kApplicationKey, "Sources");
};

} // namespace eventlog_testing
