// The event log calls as the system makes them: registering a source on this
// machine, reporting events and closing the source. Wine's event log is a stub
// (any server name succeeds, nothing is stored), so there only the local
// calls are checked; what lands in the log is pinned in posix/EventLogFileTest.
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using testing_support::RunningUnderWine;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

class EventLog : public ::testing::Test {
protected:
    TempDir root;
    ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    ScopedEnvironment eventLog{"BRENLIX_EVENTLOG", "file"};
};

TEST_F(EventLog, ReportsThroughALocalSource)
{
    for (const char* server : {static_cast<const char*>(nullptr), ""}) {
        SCOPED_TRACE(server == nullptr ? "NULL" : "\"\"");
        SetLastError(0xdeadbeef);
        const HANDLE source = RegisterEventSourceA(server, "BrenlixTest");
        ASSERT_NE(source, nullptr) << GetLastError();
        LPCSTR strings[] = {"first", ""};
        const BYTE data[] = {1, 2, 3};
        EXPECT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
        EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 2, 0x40000003, nullptr, 2, sizeof data, strings,
                                 const_cast<BYTE*>(data)));
        EXPECT_TRUE(DeregisterEventSource(source));
    }
}

TEST_F(EventLog, RemoteServerIsUnavailable)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine's event log accepts any server name";
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterEventSourceA("\\\\no-such-server.invalid", "BrenlixTest"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(EventLog, MissingArgumentsAreRefused)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine's event log checks no arguments and no handle (each "
                        "call returns TRUE)";
    }
    const HANDLE source = RegisterEventSourceA(nullptr, "BrenlixTest");
    ASSERT_NE(source, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 0, 4, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DeregisterEventSource(source));

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
