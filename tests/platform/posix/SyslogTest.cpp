// A system log daemon that has stopped reading: its socket's queue fills, and an event is then given up with
// RPC_S_SERVER_TOO_BUSY after the send limit, where a blocking send would have held the caller for ever.
#include <platform/Win32.h>

#include "TestSupport.h"
#include "posix/OtherUser.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

TEST(SystemLogQueue, AFullQueueFailsTheEventInsteadOfHanging)
{
    const TempDir dir;
    SyslogSocket log(dir.File("log"));
    const ScopedEnvironment sink("BRENLIX_EVENTLOG", ("syslog:" + log.Path()).c_str());
    const HANDLE source = RegisterEventSourceA(nullptr, "Probe");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {"queued"};
    const auto report = [&] {
        SetLastError(0xdeadbeef);
        const BOOL done = ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        return done ? DWORD{0} : GetLastError();
    };
    std::size_t queued = 0;
    DWORD error = 0;
    while (queued < 100000 && (error = report()) == 0) {
        ++queued;
    }
    EXPECT_EQ(error, DWORD{RPC_S_SERVER_TOO_BUSY}) << "after " << queued << " events";
    EXPECT_GT(queued, 0u);
    // What was queued arrives whole, and once the daemon reads again the next event goes through.
    EXPECT_NE(log.Receive().find("]: event=1 category=0 \"queued\""), std::string::npos);
    EXPECT_EQ(report(), DWORD{0});
    EXPECT_TRUE(DeregisterEventSource(source));
}

} // namespace
