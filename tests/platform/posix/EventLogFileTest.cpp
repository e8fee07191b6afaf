// What the Linux event log decides for itself: one line per event in <root>/eventlog/Application.log, and
// which names count as this machine.
#include <platform/Win32.h>

#include "EventLogFormat.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using platform::posix::ParseEventLine;

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

class EventLogFile : public ::testing::Test {
protected:
    // The file's lines, each without its LF.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines{""};
        for (const char c : testing_support::ReadFile(root.Path() + "/eventlog/Application.log"))
            c == '\n' ? (void)lines.emplace_back() : lines.back().push_back(c);
        EXPECT_EQ(lines.back(), "") << "a line without its LF";
        lines.pop_back();
        return lines;
    }

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::ScopedEnvironment eventLog{"BRENLIX_EVENTLOG", "file"};
};

TEST_F(EventLogFile, EachEventIsOneLineThatReadsBack)
{
    const testing_support::ManualClock clock(testing_support::At(2024, 2, 29, 23, 59, 58, 999));
    const platform::ScopedClock useClock(clock);
    const HANDLE source = RegisterEventSourceA(nullptr, "Brenlix\tTest");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {"plain", "", "tab\there", "cr lf\r\nend\\", nullptr};
    BYTE data[] = {0xAB, 0x01, 0xFF};
    ASSERT_TRUE(
        ReportEventA(source, EVENTLOG_AUDIT_FAILURE, 65535, 0xC0000102, nullptr, 5, sizeof data, strings, data));
    ASSERT_TRUE(ReportEventA(source, EVENTLOG_SUCCESS, 0, 0, nullptr, 0, 0, nullptr, nullptr));
    ASSERT_TRUE(DeregisterEventSource(source));

    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "2024-02-29T23:59:58\t16\t65535\t3221225730\tBrenlix\\tTest\t" + HostName() +
                            "\t5\tplain\t\ttab\\there\tcr lf\\r\\nend\\\\\t\tAB01FF");
    EXPECT_EQ(lines[1], "2024-02-29T23:59:58\t0\t0\t0\tBrenlix\\tTest\t" + HostName() + "\t0\t");
    const auto full = ParseEventLine(lines[0]); // and read back
    ASSERT_TRUE(full) << lines[0];
    EXPECT_EQ(std::tie(full->time, full->type, full->category, full->eventId, full->source, full->computer, full->data),
              std::make_tuple("2024-02-29T23:59:58", WORD{EVENTLOG_AUDIT_FAILURE}, WORD{65535}, DWORD{0xC0000102},
                              "Brenlix\tTest", HostName(), "\xAB\x01\xFF"));
    EXPECT_EQ(full->strings, (std::vector<std::string>{"plain", "", "tab\there", "cr lf\r\nend\\", ""}));
}

TEST_F(EventLogFile, OnlyThisMachineIsServed)
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

TEST_F(EventLogFile, SourceNamesAndHandles)
{
    for (const auto& [name, error] : {std::pair<const char*, DWORD>{nullptr, ERROR_INVALID_PARAMETER},
                                      {"security", ERROR_ACCESS_DENIED}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(RegisterEventSourceA(nullptr, name), nullptr);
        EXPECT_EQ(GetLastError(), error);
    }
    const HANDLE source = RegisterEventSourceA(nullptr, "");
    ASSERT_NE(source, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 1, 2, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 1, 2, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    const auto event = ParseEventLine(lines[0]);
    ASSERT_TRUE(event) << lines[0];
    EXPECT_EQ(std::make_tuple(event->type, event->category, event->eventId, event->source),
              std::make_tuple(WORD{EVENTLOG_WARNING_TYPE}, WORD{1}, DWORD{2}, std::string()));
}

} // namespace
