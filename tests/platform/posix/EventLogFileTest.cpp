// What the Linux event log decides for itself: one line per event in <root>/eventlog/Application.log, and
// which names count as this machine.
#include <platform/Win32.h>

#include "EventLogFormat.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <tuple>
#include <unistd.h>

namespace {

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// The fields' tabs, line breaks and backslashes escaped, the data in hex; a source without a name has none.
TEST(EventLogFile, EachEventIsOneLineThatReadsBack)
{
    const testing_support::TempDir root;
    const testing_support::ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str()),
        sink("BRENLIX_EVENTLOG", "file");
    const testing_support::ManualClock clock(testing_support::At(2024, 2, 29, 23, 59, 58, 999));
    const platform::ScopedClock useClock(clock);
    LPCSTR strings[] = {"plain", "", "tab\there", "cr lf\r\nend\\", nullptr};
    BYTE data[] = {0xAB, 0x01, 0xFF};
    const HANDLE source = RegisterEventSourceA(nullptr, "Brenlix\tTest"), unnamed = RegisterEventSourceA(nullptr, "");
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_AUDIT_FAILURE, 65535, 0xC0000102, nullptr, 5, sizeof data, strings, data));
    EXPECT_TRUE(ReportEventA(unnamed, EVENTLOG_SUCCESS, 0, 0, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source) && DeregisterEventSource(unnamed));
    const std::string text = testing_support::ReadFile(root.Path() + "/eventlog/Application.log");
    const std::string first = "2024-02-29T23:59:58\t16\t65535\t3221225730\tBrenlix\\tTest\t" + HostName() +
                              "\t5\tplain\t\ttab\\there\tcr lf\\r\\nend\\\\\t\tAB01FF";
    EXPECT_EQ(text, first + "\n2024-02-29T23:59:58\t0\t0\t0\t\t" + HostName() + "\t0\t\n");
    const auto e = platform::posix::ParseEventLine(first).value(); // and read back
    EXPECT_EQ(std::tie(e.time, e.type, e.category, e.eventId, e.source, e.computer, e.strings, e.data),
              std::make_tuple("2024-02-29T23:59:58", WORD{EVENTLOG_AUDIT_FAILURE}, WORD{65535}, DWORD{0xC0000102},
                              "Brenlix\tTest", HostName(),
                              std::vector<std::string>{"plain", "", "tab\there", "cr lf\r\nend\\", ""}, "\xAB\x01\xFF"));
}

TEST(EventLogFile, OnlyThisMachineIsServed)
{
    std::string upper = HostName();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    using Name = std::pair<std::string, DWORD>; // the name, and the last error of the refusal (0: served)
    const DWORD remote = RPC_S_SERVER_UNAVAILABLE;
    for (const auto& [name, error] : {Name{".", 0}, Name{"\\\\localhost", 0}, Name{"127.0.0.1", 0}, Name{"\\\\" + upper, 0},
                                      Name{"\\\\elsewhere", remote}, Name{"127.0.0.2", remote}, Name{HostName() + "x", remote}}) {
        SetLastError(0xdeadbeef);
        const HANDLE source = RegisterEventSourceA(name.c_str(), "BrenlixTest");
        EXPECT_EQ(source != nullptr ? 0 : GetLastError(), error) << name;
        EXPECT_EQ(source != nullptr && DeregisterEventSource(source), error == 0) << name;
    }
}

} // namespace
