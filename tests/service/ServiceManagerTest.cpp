// ServiceManager over the real service control: what it adds to the calls,
// its texts, its waits and what it installs. The calls' own results are
// ServiceControlTest's, the wait's arithmetic ServiceWaitTest's.
#include <brenlix/ServiceManager.h>
#include <brenlix/modCommon.h>

#include "ServiceTestSupport.h"

#include <functional>
#include <stdexcept>

namespace {

using brenlix::ServiceManager;
using brenlix::SystemErrorText;
using namespace service_testing;

// The system's clock, with a hook into its tick count and one into its pauses.
struct HookedClock final : platform::Clock {
    platform::LocalDateTime Now() const override { return system.Now(); }
    std::uint64_t MonotonicMilliseconds() const override { return onTick(), system.MonotonicMilliseconds(); }
    void Pause(std::uint32_t milliseconds) const override
    {
        pauses.push_back(milliseconds);
        onPause();
        system.Pause(milliseconds);
    }
    const platform::Clock& system = platform::CurrentClock();
    std::function<void()> onTick = [] {}, onPause = [] {};
    mutable std::vector<std::uint32_t> pauses;
};

class ServiceManagerTest : public ServiceTest {
protected:
    ServiceManager Manager(const std::string& options = "")
    {
        ServiceManager manager;
        manager.ServiceShortName(name);
        manager.ServiceLongName("Brenlix test " + name);
        manager.ServicePath(TestServiceCommand(log, options));
        manager.MaxWaitForService(static_cast<std::int32_t>(testing_support::kHangGuardMs));
        return manager;
    }
    ServiceManager Running(const std::string& options = "")
    {
        ServiceManager manager = Manager(options);
        EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING});
        EXPECT_TRUE(WaitForLines(log, "running"));
        return manager;
    }
};

TEST_F(ServiceManagerTest, FailuresKeepTheReason)
{
    const std::string missing = SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST);
    const std::pair<std::function<bool(ServiceManager&)>, std::string> rows[] = {
        {[](ServiceManager& m) { return m.ServiceStatus() != brenlix::STATE_SERVICE_UNKNOWN; }, missing},
        {[](ServiceManager& m) { return m.IsServiceInstalled(); }, missing},
        {[](ServiceManager& m) { return m.ServiceStart(true); }, missing},
        {[](ServiceManager& m) { return m.RestartService(); }, missing},
        {[](ServiceManager& m) { return m.RemoveService(); }, "Service not installed"},
        // Any other reason the service cannot be looked up keeps the system's text.
        {[](ServiceManager& m) { return m.ServiceShortName(""), m.RemoveService(); }, SystemErrorText(ERROR_INVALID_NAME)},
    };
    for (const auto& [call, text] : rows) {
        ServiceManager manager = Manager();
        EXPECT_FALSE(call(manager));
        EXPECT_EQ(manager.ServiceLastError(), text);
    }
    ServiceManager manager = Manager();
    manager.ServicePath("\"" + files.File("missing.exe") + "\"");
    ASSERT_TRUE(manager.InstallService());
    EXPECT_FALSE(manager.InstallService());
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_SERVICE_EXISTS));
    EXPECT_FALSE(manager.ServiceStart(true));
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_FILE_NOT_FOUND));
}

// An own-process service that starts with the system, as LocalSystem (a
// password alone is no account) or as the account given; what CreateServiceA
// writes lands where Windows keeps it, the description beside it.
TEST_F(ServiceManagerTest, Installs)
{
    const auto dword = [](DWORD value) { return "4:" + std::string(reinterpret_cast<const char*>(&value), 4); };
    const std::string text = "1:", imageType = testing_support::RunningUnderWine() ? "1:" : "2:"; // Wine: REG_SZ
    for (const std::string account : {"", "NT AUTHORITY\\LocalService"}) {
        ServiceManager manager = Manager();
        manager.ServiceUsername(account);
        manager.ServiceUserPassword("secret");
        manager.ServiceDescription(account.empty() ? "" : "Backs up");
        ASSERT_TRUE(manager.InstallService()) << manager.ServiceLastError();
        EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_STOPPED);
        EXPECT_EQ(manager.ServiceLastError(), "");
        const std::pair<const char*, std::string> rows[] = {
            {"Type", dword(SERVICE_WIN32_OWN_PROCESS)},
            {"Start", dword(SERVICE_AUTO_START)},
            {"ErrorControl", dword(SERVICE_ERROR_NORMAL)},
            {"ImagePath", imageType + TestServiceCommand(log) + '\0'},
            {"DisplayName", text + "Brenlix test " + name + '\0'},
            {"ObjectName", text + (account.empty() ? "LocalSystem" : account) + '\0'},
            {"Description", account.empty() ? "" : text + "Backs up" + '\0'},
        };
        for (const auto& [value, data] : rows) {
            EXPECT_EQ(ServiceValue(name, value), data) << value;
        }
        EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), 0u);
    }
}

// Each request also counts as done when the service is where it would take it.
TEST_F(ServiceManagerTest, StartsStopsAndRestarts)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.ServiceStart(true));
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
    EXPECT_TRUE(manager.ServiceStop(true));
    EXPECT_TRUE(manager.ServiceStart());
    ASSERT_TRUE(WaitForLines(log, "running", 2));
    EXPECT_TRUE(manager.RestartService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING});
    ASSERT_TRUE(WaitForLines(log, "running", 3));
    EXPECT_TRUE(manager.ServiceStop());
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "start ") * 10 + CountLines(log, "stopped"), 33u);
    EXPECT_EQ(manager.ServiceLastError(), "");
}

// A stop held until the wait's first pause, which lasts the service's hint;
// a second stop, refused as the service is stopping, waits for it too.
TEST_F(ServiceManagerTest, StopsWaitingByTheHint)
{
    ServiceManager manager = Running(HoldOption());
    HookedClock clock;
    clock.onPause = [this] { ReleaseHold(); };
    const platform::ScopedClock installed(clock);
    EXPECT_TRUE(manager.ServiceStop());
    ASSERT_EQ(RawState(name), DWORD{SERVICE_STOP_PENDING});
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(clock.pauses.at(0), 1000u);
}

// On a clock that its pauses move on, the wait for a stop runs out at once: a
// restart starts nothing and the service cannot be removed.
TEST_F(ServiceManagerTest, AServiceThatCannotStopInTime)
{
    ServiceManager manager = Running(HoldOption());
    testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
    const platform::ScopedClock installed(clock);
    manager.MaxWaitForService(2500);
    EXPECT_FALSE(manager.RestartService());
    EXPECT_EQ(clock.PausedMilliseconds(), 3000u);
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOP_PENDING});
    ReleaseHold();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "start "), 1u);
}

// A wait that fails by an exception is false; only a stop keeps its text.
TEST_F(ServiceManagerTest, AnExceptionInTheWaitIsFalse)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    HookedClock clock;
    clock.onTick = [] { throw std::runtime_error("no clock"); };
    const platform::ScopedClock installed(clock);
    EXPECT_FALSE(manager.ServiceStart(true));
    EXPECT_EQ(manager.ServiceLastError(), "");
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_FALSE(manager.ServiceStop(true));
    EXPECT_EQ(manager.ServiceLastError(), "no clock");
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    clock.onTick = [] { throw 1; };
    EXPECT_FALSE(manager.ServiceStart(true));
    ASSERT_TRUE(WaitForLines(log, "running", 2));
    EXPECT_FALSE(manager.ServiceStop(true));
}

// Only state, start and stop ask the computer named; installing with its
// start, the installed check and removing work here.
TEST_F(ServiceManagerTest, AnotherComputerIsAskedForStateStartAndStop)
{
    ServiceManager manager = Manager();
    manager.ComputerName("no-such-computer.invalid");
    EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING}) << "started here";
    EXPECT_TRUE(manager.IsServiceInstalled());
    if (!testing_support::RunningUnderWine()) { // Wine's acts on this machine whatever computer is named
        EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_UNKNOWN);
        EXPECT_FALSE(manager.ServiceStart(true) || manager.ServiceStop(true));
        EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(RPC_S_SERVER_UNAVAILABLE));
    }
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), 0u) << "stopped and removed here";
}

} // namespace
