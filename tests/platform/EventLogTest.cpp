// The event log calls as the system makes them. Wine's event log is a stub that takes any server and arguments and
// stores nothing, so there only the local calls are checked; what lands in the log is pinned in posix/EventLogFileTest.
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(EventLog, ReportsThroughALocalSourceAndRefusesWhatWindowsRefuses)
{
    const testing_support::TempDir root;
    const testing_support::ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str()),
        sink("BRENLIX_EVENTLOG", "file");
    for (const char* server : {static_cast<const char*>(nullptr), ""}) {
        const HANDLE source = RegisterEventSourceA(server, "BrenlixTest");
        ASSERT_NE(source, nullptr) << GetLastError();
        LPCSTR strings[] = {"first", ""};
        BYTE data[] = {1, 2, 3};
        EXPECT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
        EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 2, 0x40000003, nullptr, 2, sizeof data, strings, data));
        EXPECT_TRUE(DeregisterEventSource(source));
    }
    if (testing_support::RunningUnderWine())
        return;
    // Each call's last error, 0 where it succeeds. The handle is the event log's; CloseHandle does not take it.
    std::vector<DWORD> errors;
    const auto note = [&errors](bool done) { errors.push_back(done ? 0 : GetLastError()), SetLastError(0xdeadbeef); };
    SetLastError(0xdeadbeef);
    note(RegisterEventSourceA(nullptr, nullptr) != nullptr);
    note(RegisterEventSourceA(nullptr, "security") != nullptr);
    const HANDLE source = RegisterEventSourceA(nullptr, "BrenlixTest");
    ASSERT_NE(source, nullptr);
    const auto report = [&](WORD strings, DWORD size) {
        note(ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, strings, size, nullptr, nullptr));
    };
    report(1, 0), report(0, 4); // counted, but no pointer
    note(CloseHandle(source)), report(0, 0), note(DeregisterEventSource(source));
    report(0, 0), note(DeregisterEventSource(source));
    const DWORD parameter = ERROR_INVALID_PARAMETER, handle = ERROR_INVALID_HANDLE;
    EXPECT_EQ(errors, (std::vector<DWORD>{parameter, ERROR_ACCESS_DENIED, parameter, parameter, handle, 0, 0, handle, handle}));
}

} // namespace
