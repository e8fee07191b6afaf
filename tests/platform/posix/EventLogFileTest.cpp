// What the Linux event log decides for itself: one line per event in <root>/eventlog/Application.log, and
// which names count as this machine. Also what it refuses as Windows does, which Wine's stub takes.
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <unistd.h>

namespace {

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

class EventLogFile : public ::testing::Test {
protected:
    const testing_support::TempDir root;
    const testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    const testing_support::ScopedEnvironment sink{"BRENLIX_EVENTLOG", "file"};
};

// The fields' tabs, line breaks and backslashes escaped, the data in hex; a source without a name has none.
TEST_F(EventLogFile, EachEventIsOneLine)
{
    const testing_support::ManualClock clock(testing_support::At(2024, 2, 29, 23, 59, 58, 999));
    const platform::ScopedClock useClock(clock);
    LPCSTR strings[] = {"plain", "", "tab\there", "cr lf\r\nend\\", nullptr};
    BYTE data[] = {0xAB, 0x01, 0xFF};
    const HANDLE source = RegisterEventSourceA(nullptr, "Brenlix\tTest");
    const HANDLE unnamed = RegisterEventSourceA(nullptr, "");
    EXPECT_TRUE(
        ReportEventA(source, EVENTLOG_AUDIT_FAILURE, 65535, 0xC0000102, nullptr, 5, sizeof data, strings, data));
    EXPECT_TRUE(ReportEventA(unnamed, EVENTLOG_SUCCESS, 0, 0, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source) && DeregisterEventSource(unnamed));
    const std::string text = testing_support::ReadFile(root.Path() + "/eventlog/Application.log");
    const std::string first = "2024-02-29T23:59:58\t16\t65535\t3221225730\tBrenlix\\tTest\t" + HostName() +
                              "\t5\tplain\t\ttab\\there\tcr lf\\r\\nend\\\\\t\tAB01FF";
    EXPECT_EQ(text, first + "\n2024-02-29T23:59:58\t0\t0\t0\t\t" + HostName() + "\t0\t\n");
}

// Each call's last error, 0 where it succeeds. The handle is the event log's; CloseHandle does not take it. "" is the
// local machine, as are its own names in any case; other names are refused as a server that is down.
TEST_F(EventLogFile, RefusesWhatWindowsRefuses)
{
    std::string upper = HostName();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto on = [](const std::string& server) {
        const HANDLE opened = RegisterEventSourceA(server.c_str(), "BrenlixTest");
        return opened != nullptr && DeregisterEventSource(opened);
    };
    const HANDLE source = RegisterEventSourceA(nullptr, "BrenlixTest");
    ASSERT_NE(source, nullptr);
    const auto report = [source](WORD strings, DWORD size) {
        return ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, strings, size, nullptr, nullptr);
    };
    const std::pair<std::function<bool()>, DWORD> rows[] = {
        {[&] { return on(""); }, 0},
        {[&] { return on("\\\\" + upper); }, 0},
        {[&] { return on("\\\\localhost"); }, 0},
        {[&] { return on("127.0.0.1"); }, 0},
        {[&] { return on("\\\\elsewhere"); }, RPC_S_SERVER_UNAVAILABLE},
        {[&] { return on(HostName() + "x"); }, RPC_S_SERVER_UNAVAILABLE},
        {[] { return RegisterEventSourceA(nullptr, nullptr) != nullptr; }, ERROR_INVALID_PARAMETER},
        {[] { return RegisterEventSourceA(nullptr, "security") != nullptr; }, ERROR_ACCESS_DENIED},
        {[&] { return report(1, 0); }, ERROR_INVALID_PARAMETER}, // counted, but no pointer
        {[&] { return report(0, 4); }, ERROR_INVALID_PARAMETER},
        {[&] { return CloseHandle(source); }, ERROR_INVALID_HANDLE},
        {[&] { return report(0, 0); }, 0},
        {[&] { return DeregisterEventSource(source); }, 0},
        {[&] { return report(0, 0); }, ERROR_INVALID_HANDLE},
        {[&] { return DeregisterEventSource(source); }, ERROR_INVALID_HANDLE},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(rows[i].first() ? 0 : GetLastError(), rows[i].second) << "row " << i + 1;
    }
}

} // namespace
