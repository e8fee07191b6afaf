// ServiceManager over the real service control: its texts, waits and what it installs; and its wait alone.
#include <brenlix/modCommon.h>

#include "ServiceTestSupport.h"
#include "ServiceWait.h"

#include <functional>
#include <stdexcept>
#include <tuple>

namespace {

using brenlix::ServiceManager;
using brenlix::SystemErrorText;
using namespace service_testing;
using ServiceManagerTest = ServiceTest;

template <typename Error> struct ThrowingClock final : platform::Clock {
    explicit ThrowingClock(Error thrown) : error(thrown) {}
    platform::LocalDateTime Now() const override { return {}; }
    std::uint64_t MonotonicMilliseconds() const override { throw error; }
    void Pause(std::uint32_t) const override {}
    Error error;
};

TEST_F(ServiceManagerTest, FailuresKeepTheReason)
{
    const std::string missing = SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(std::to_string(ServiceManager().MaxWaitForService()) + ServiceManager().ServiceLastError(), "5000");
    ServiceManager manager = Manager();
    manager.ServicePath("\"" + files.File("missing.exe") + "\"");
    const std::tuple<std::function<bool(ServiceManager&)>, bool, std::string> rows[] = {
        {[](auto& m) { return m.ServiceStatus() != brenlix::STATE_SERVICE_UNKNOWN; }, false, missing},
        {[](auto& m) { return m.IsServiceInstalled(); }, false, missing},
        {[](auto& m) { return m.ServiceStart(true); }, false, missing},
        {[](auto& m) { return m.RemoveService(); }, false, "Service not installed"},
        {[](auto& m) { return m.InstallService(); }, true, "Service not installed"}, // success keeps the text
        {[](auto& m) { return m.InstallService(); }, false, SystemErrorText(ERROR_SERVICE_EXISTS)},
        {[](auto& m) { return m.ServiceStart(true); }, false, SystemErrorText(ERROR_FILE_NOT_FOUND)},
        {[](auto& m) { return m.ServiceShortName(""), m.RemoveService(); }, false, SystemErrorText(ERROR_INVALID_NAME)},
    };
    for (const auto& [call, result, text] : rows) {
        EXPECT_EQ(call(manager), result) << text;
        EXPECT_EQ(manager.ServiceLastError(), text);
    }
}

// As LocalSystem (a password alone is no account) or the account given; installed here whatever computer is named.
TEST_F(ServiceManagerTest, InstallsHere)
{
    const auto dword = [](DWORD value) { return "4:" + std::string(reinterpret_cast<const char*>(&value), 4); };
    const bool wine = testing_support::RunningUnderWine();
    for (const std::string account : {"", "NT AUTHORITY\\LocalService"}) {
        ServiceManager manager = Manager();
        manager.ComputerName("no-such-computer.invalid");
        manager.ServiceUsername(account);
        manager.ServiceUserPassword("secret");
        manager.ServiceDescription(account.empty() ? "" : "Backs up");
        ASSERT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
        EXPECT_TRUE(manager.IsServiceInstalled() && RawState(name) == SERVICE_RUNNING);
        const std::string rows[][2] = {
            {"Start", dword(SERVICE_AUTO_START)},
            {"ErrorControl", dword(SERVICE_ERROR_NORMAL)},
            {"ImagePath", (wine ? "1:" : "2:") + TestServiceCommand(log) + '\0'}, // Wine writes REG_SZ
            {"DisplayName", "1:Brenlix test " + name + '\0'},
            {"ObjectName", "1:" + (account.empty() ? "LocalSystem" : account) + '\0'},
            {"Description", account.empty() ? "" : std::string("1:Backs up") + '\0'},
        };
        for (const auto& [value, data] : rows) {
            EXPECT_EQ(ServiceValue(name, value.c_str()), data) << value;
        }
        if (!wine) { // Wine's acts on this machine whatever computer is named
            EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_UNKNOWN);
            EXPECT_FALSE(manager.ServiceStart(true) || manager.ServiceStop(true));
            EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(RPC_S_SERVER_UNAVAILABLE));
        }
        EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), 0u);
    }
}

// A request also counts as done when the service is where it would take it. Held, a stop stays pending: a wait
// polls by the hint and runs out, a restart starts nothing, and RemoveService's stop, refused as the service is
// stopping, waits again. A wait that fails by an exception is false, and only a stop keeps its text. The raw
// status as type, state, controls accepted, exit code, check point and wait hint.
TEST_F(ServiceManagerTest, StartsStopsAndRestarts)
{
    SERVICE_STATUS status{};
    const auto fields = [&] {
        return std::vector<DWORD>{status.dwServiceType,   status.dwCurrentState, status.dwControlsAccepted,
                                  status.dwWin32ExitCode, status.dwCheckPoint,   status.dwWaitHint};
    };
    const auto raw = [&] { return RawState(name, &status), fields(); };
    const DWORD own = SERVICE_WIN32_OWN_PROCESS;
    const std::vector<DWORD> pending{own, SERVICE_STOP_PENDING, 0, 0, 1, 1000};
    ServiceManager manager = Manager(holdOption);
    ReleaseHold(); // stops go through until the hold file goes
    ASSERT_TRUE(manager.InstallService());
    EXPECT_EQ(raw(), (std::vector<DWORD>{own, SERVICE_STOPPED, 0, ERROR_SERVICE_NEVER_STARTED, 0, 0}));
    EXPECT_TRUE(manager.ServiceStart(true) && manager.ServiceStart(true) && WaitForRuns(log));
    EXPECT_EQ(raw(), (std::vector<DWORD>{own, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0}));
    EXPECT_TRUE(manager.ServiceStop(true) && manager.ServiceStop(true));
    EXPECT_EQ(raw(), (std::vector<DWORD>{own, SERVICE_STOPPED, 0, 0, 0, 0}));
    EXPECT_TRUE(manager.ServiceStart() && WaitForRawState(name, SERVICE_RUNNING) && WaitForRuns(log, 2));
    EXPECT_TRUE(manager.RestartService(true) && RawState(name) == SERVICE_RUNNING) << manager.ServiceLastError();
    EXPECT_TRUE(WaitForRuns(log, 3) && manager.ServiceStop() && WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(Count(log, "running") * 10 + Count(log, "stopped"), 33);

    ASSERT_TRUE(std::remove(hold.c_str()) == 0 && manager.ServiceStart(true) && WaitForRuns(log, 4));
    const UniqueScHandle scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)),
        service(OpenServiceA(scm.get(), name.c_str(), SERVICE_STOP));
    EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status) && fields() == pending);
    {
        testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
        const platform::ScopedClock installed(clock);
        manager.MaxWaitForService(2500);
        EXPECT_FALSE(manager.RestartService());
        EXPECT_EQ(clock.PausedMilliseconds(), 3000u);
        EXPECT_TRUE(manager.ServiceStart());
        EXPECT_FALSE(manager.RemoveService());
        EXPECT_EQ(clock.PausedMilliseconds(), 6000u);
    }
    EXPECT_TRUE(manager.ServiceLastError() == "Unable to stop service" && Count(log, "running") == 4);
    EXPECT_EQ(raw(), pending);
    ReleaseHold();
    manager.MaxWaitForService(static_cast<std::int32_t>(testing_support::kHangGuardMs));
    EXPECT_TRUE(manager.ServiceStop(true) && RawState(name) == SERVICE_STOPPED);

    {
        const ThrowingClock<std::runtime_error> clock(std::runtime_error("no clock"));
        const platform::ScopedClock installed(clock);
        EXPECT_FALSE(manager.ServiceStart(true));
        EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
        ASSERT_TRUE(WaitForRawState(name, SERVICE_RUNNING) && WaitForRuns(log, 5));
        EXPECT_FALSE(manager.ServiceStop(true));
        EXPECT_EQ(manager.ServiceLastError(), "no clock");
    }
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    const ThrowingClock<int> clock(1);
    const platform::ScopedClock installed(clock);
    EXPECT_FALSE(manager.ServiceStart(true));
}

// Past 2^31 a signed deadline overflows, at 2^32 the tick count wraps.
TEST(ServiceWait, PollsByTheHintUntilTheStateOrTheLimit)
{
    constexpr std::int64_t k2To31 = 0x80000000ll, k2To32 = 0x100000000ll, kNever = INT64_MAX;
    const std::int64_t rows[][7] = {
        // start, limit, hint, reachedAfter, reached, polls, took
        {1000, 100, 0, kNever, false, 5, 100},
        {1000, 5000, 300, 700, true, 4, 900},
        {1000, 5000, 3000, kNever, false, 2, 6000},
        {1000, 0, 0, 0, false, 0, 0},
        {k2To31 - 50, 5000, 0, 200, true, 11, 200},
        {k2To32 - 50, 5000, 100, kNever, false, 50, 5000},
        {k2To32 - 10, INT32_MAX, 0x40000000, kNever, false, 2, k2To31},
    };
    for (const auto& [start, limit, hint, reachedAfter, reached, polls, took] : rows) {
        testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
        clock.Advance(static_cast<std::uint64_t>(start) - clock.MonotonicMilliseconds());
        const platform::ScopedClock installed(clock);
        std::int64_t polled = 0;
        const auto poll = [&, start = start, reachedAfter = reachedAfter, hint = hint] {
            const auto now = static_cast<std::int64_t>(clock.MonotonicMilliseconds());
            return ++polled, brenlix::service::Poll{now - start >= reachedAfter, static_cast<std::int32_t>(hint)};
        };
        EXPECT_EQ(brenlix::service::WaitForState(static_cast<std::int32_t>(limit), poll), reached != 0);
        EXPECT_EQ(polled, polls) << start << " " << limit;
        EXPECT_EQ(static_cast<std::int64_t>(clock.MonotonicMilliseconds()) - start, took) << start << " " << limit;
    }
}

} // namespace
