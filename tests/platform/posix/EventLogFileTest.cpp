// What the Linux event log decides for itself: one line per event in the account's own file under <root>/eventlog,
// what root refuses there when another account could have put it in place, and which names count as this machine.
// Also what it refuses as Windows does, which Wine's stub takes.
#include "OwnMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using testing_support::ReadFile;

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

// "1 0", or "0 " and the last error.
std::string ReportText(LPCSTR text) { return Report("Probe", EVENTLOG_INFORMATION_TYPE, 0, 1, {text}); }

std::ptrdiff_t OpenFiles()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

// Report in a child process run as the account: "1 0" or "0 <error>", " and left files open" when it did, a line
// break and what it wrote to the standard error stream. One that never returns fails by the hang guard.
std::string ReportAs(const testing_support::Account& account, LPCSTR text)
{
    return testing_support::RunAs(account, 022, [text] {
        const auto open = OpenFiles();
        ::testing::internal::CaptureStderr();
        const std::string result = ReportText(text);
        const std::string said = ::testing::internal::GetCapturedStderr();
        return result + (OpenFiles() == open ? "" : " and left files open") + "\n" + said;
    });
}

// The first insertion string of each event in the file, or "malformed".
std::vector<std::string> EventsIn(const std::string& path)
{
    std::vector<std::string> events;
    for (const std::string& line : EventLines(path)) {
        const auto event = platform::posix::ParseEventLine(line);
        events.push_back(event && !event->strings.empty() ? event->strings[0] : "malformed");
    }
    return events;
}

class EventLogFile : public OwnMachine {
protected:
    const testing_support::ScopedEnvironment sink{"BRENLIX_EVENTLOG", "file"};
    const std::string folder = root.Path() + "/eventlog";
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
    const std::string first = "2024-02-29T23:59:58\t16\t65535\t3221225730\tBrenlix\\tTest\t" + HostName() +
                              "\t5\tplain\t\ttab\\there\tcr lf\\r\\nend\\\\\t\tAB01FF";
    EXPECT_EQ(ReadFile(OwnEventFile()), first + "\n2024-02-29T23:59:58\t0\t0\t0\t\t" + HostName() + "\t0\t\n");
}

// Root's file is Application.log; another account's carries the account's name, or its uid where there is no name
// or the name would not be a plain file name in the folder.
TEST(EventFileName, NamesEachAccountsFile)
{
    const struct { uid_t uid; const char* name; std::string file; } rows[] = {
        {0, "toor", "Application.log"}, // root by its uid, whatever its name
        {1001, "svc.backup", "Application.svc.backup.log"},
        {1001, nullptr, "Application.1001.log"},
        {1001, "", "Application.1001.log"},
        {1001, "a/b", "Application.1001.log"},
        {1001, "..", "Application.1001.log"},
        {1001, ".hidden", "Application.1001.log"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::posix::EventFileName(row.uid, row.name), row.file)
            << row.uid << " " << (row.name ? row.name : "null");
}

// Each account other than root writes a file of its own, named after it (its uid when it has no name), owned by it
// and 0644 whatever its umask; root's file keeps root's events alone.
TEST_F(EventLogFile, EachAccountWritesItsOwnFile)
{
    if (!other)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    uid_t unnamed = 4242;
    while (::getpwuid(unnamed) != nullptr)
        ++unnamed;
    ASSERT_EQ(ReportText("root's"), "1 0");
    for (const testing_support::Account& account : {*other, testing_support::Account{"", unnamed, unnamed}}) {
        const std::string name = account.name.empty() ? std::to_string(account.uid) : account.name;
        SCOPED_TRACE(name);
        EXPECT_EQ(testing_support::RunAs(account, 077, [&] { return ReportText(name.c_str()); }), "1 0");
        const std::string file = folder + "/Application." + name + ".log";
        EXPECT_EQ(OwnerAndMode(file), std::to_string(account.uid) + " 100644");
        EXPECT_EQ(EventsIn(file), std::vector<std::string>{name});
    }
    ASSERT_EQ(ReportText("root's again"), "1 0");
    EXPECT_EQ(EventsIn(folder + "/Application.log"), (std::vector<std::string>{"root's", "root's again"}));
}

// Root's events go nowhere another account put in their place or could change: each such event fails with
// ERROR_ACCESS_DENIED and one line on the standard error stream naming the place, which stays as it was, and nothing
// is left open. Another account is refused as well when its file's name is taken by a file of root's, whether or not
// it may write that file. What root plants here stands for what nobody can plant where the kernel lets them (hard
// links with fs.protected_hardlinks off, anything in the machine's folder when it is writable).
TEST_F(EventLogFile, WhatAnotherAccountCouldHavePlacedIsRefused)
{
    if (!other)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    const std::string file = folder + "/Application.log", nobodys = folder + "/Application." + other->name + ".log";
    const std::string roots = root.File("root's"), elsewhere = root.File("elsewhere");
    int reader = -1;
    const auto asNobody = [this](const std::function<int()>& plant) {
        ASSERT_EQ(testing_support::RunAs(*other, 022, [&] { return plant() == 0 ? "" : std::strerror(errno); }), "");
    };
    // refused: the path the error line names, and whose event it is (nobody's for nobody's own file, else root's);
    // watched: what must stay as it was
    const struct { const char* attack; std::function<void()> plant; std::string refused, watched; } rows[] = {
        {"nobody's own file under root's name",
         [&] { asNobody([&] { return testing_support::WriteFile(file, "nobody's\n"), 0; }); }, file, file},
        {"root's file that others may write", [&] {
             testing_support::WriteFile(file, "root's\n");
             ::chmod(file.c_str(), 0664);
         }, file, file},
        {"nobody's symbolic link to a file of root's",
         [&] { asNobody([&] { return ::symlink(roots.c_str(), file.c_str()); }); }, file, roots},
        {"a hard link to a file of root's", [&] { ::link(roots.c_str(), file.c_str()); }, file, roots},
        {"nobody's own event file linked under root's name", [&] {
             asNobody([&] { return ReportText("nobody's") == "1 0" ? ::link(nobodys.c_str(), file.c_str()) : -1; });
         }, file, nobodys},
        {"a FIFO without a reader", [&] { ::mkfifo(file.c_str(), 0600); }, file, file},
        {"a FIFO with a reader", [&] {
             ::mkfifo(file.c_str(), 0600);
             reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         }, file, file},
        {"a folder nobody owns", [&] { testing_support::GiveTo(*other, folder); }, folder, folder},
        {"a folder others may write that is not sticky", [&] { ::chmod(folder.c_str(), 0777); }, folder, folder},
        {"a symbolic link to a folder of root's", [&] {
             std::filesystem::remove(folder);
             ::mkdir(elsewhere.c_str(), 0755);
             ::chmod(elsewhere.c_str(), 0755);
             std::filesystem::create_directory_symlink(elsewhere, folder);
         }, folder, elsewhere},
        {"root's file under nobody's name", [&] { testing_support::WriteFile(nobodys, "root's\n"); }, nobodys, nobodys},
        {"root's file under nobody's name that nobody may write", [&] {
             testing_support::WriteFile(nobodys, "root's\n");
             ::chmod(nobodys.c_str(), 0666);
         }, nobodys, nobodys},
    };
    const std::string denied = "0 " + std::to_string(ERROR_ACCESS_DENIED) + "\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.attack);
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(elsewhere);
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
        testing_support::WriteFile(roots, "root's own\n");
        ASSERT_EQ(::chmod(roots.c_str(), 0600), 0);
        row.plant();
        const std::string before = Snapshot(row.watched, reader);
        const bool byNobody = row.refused == nobodys;
        const std::string got = ReportAs(byNobody ? *other : testing_support::Account{"root", 0, 0}, "an event");
        const std::string line = "brenlix: " + row.refused + " is not used for the event log: "; // and why
        EXPECT_EQ(got.substr(0, denied.size() + line.size()), denied + line);
        EXPECT_TRUE(!byNobody || got == denied + line + "it belongs to another account\n") << got;
        EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 2) << got;
        EXPECT_EQ(Snapshot(row.watched, reader), before);
        if (reader >= 0)
            ::close(std::exchange(reader, -1));
    }
}

// Each call's last error, 0 where it succeeds. The handle is the event log's; CloseHandle does not take it. "" is the
// local machine, as are its own names in any case; other names are refused as a server that is down.
TEST_F(EventLogFile, RefusesWhatWindowsRefuses)
{
    std::string upper = HostName();
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
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
