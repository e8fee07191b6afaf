// The event log calls as the system makes them. Wine's event log is a stub (any server name and any
// arguments succeed, nothing is stored), so there only the local calls are checked; what lands in the log
// is pinned in posix/EventLogFileTest.
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::ScopedEnvironment;

TEST(EventLog, ReportsThroughALocalSourceAndRefusesWhatWindowsRefuses)
{
    const testing_support::TempDir root;
    const ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str()), sink("BRENLIX_EVENTLOG", "file");
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
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterEventSourceA("\\\\no-such-server.invalid", "BrenlixTest"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    const HANDLE source = RegisterEventSourceA(nullptr, "BrenlixTest");
    ASSERT_NE(source, nullptr);
    for (const auto& [strings, size] : {std::pair<WORD, DWORD>{1, 0}, {0, 4}}) { // counted, but no pointer
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, strings, size, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
