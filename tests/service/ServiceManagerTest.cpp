// ServiceManager over the real service control: what it adds to the calls
// (its texts, its waits, what it installs). The calls' own results are
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

// The system's clock, with hooks into its tick count and its pauses.
struct HookedClock final : platform::Clock {
    platform::LocalDateTime Now() const override { return system.Now(); }
    std::uint64_t MonotonicMilliseconds() const override
    {
        if (onTick) {
            onTick();
        }
        return system.MonotonicMilliseconds();
    }
    void Pause(std::uint32_t milliseconds) const override
    {
        pauses.push_back(milliseconds);
        if (onPause) {
            onPause();
        }
        system.Pause(milliseconds);
    }
    const platform::Clock& system = platform::CurrentClock();
    std::function<void()> onTick, onPause;
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
    // Installed and started, waiting, and seen running in the log.
    ServiceManager Running(const std::string& options = "")
    {
        ServiceManager manager = Manager(options);
        EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING});
        EXPECT_TRUE(WaitForLines(log, "running"));
        return manager;
    }
    std::string Value(const char* value)
    {
        DWORD type = 0;
        std::string data;
        return ReadServiceValue(name, value, type, data) ? data : "(none)";
    }
};

TEST_F(ServiceManagerTest, FailuresKeepTheReason)
{
    const std::string missing = SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST);
    const std::pair<std::function<bool(ServiceManager&)>, std::string> rows[] = {
        {[](ServiceManager& m) { return m.ServiceStatus() != brenlix::STATE_SERVICE_UNKNOWN; }, missing},
        {[](ServiceManager& m) { return m.IsServiceInstalled(); }, missing},
        {[](ServiceManager& m) { return m.ServiceStart(true); }, missing},
        {[](ServiceManager& m) { return m.ServiceStop(true); }, missing},
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
// password alone is no account) or as the account given.
TEST_F(ServiceManagerTest, Installs)
{
    const DWORD autoStart = SERVICE_AUTO_START, ownProcess = SERVICE_WIN32_OWN_PROCESS;
    for (const char* account : {"", "NT AUTHORITY\\LocalService"}) {
        ServiceManager manager = Manager();
        manager.ServiceUsername(account);
        manager.ServiceUserPassword("only with an account");
        manager.ServiceDescription(*account != '\0' ? "Backs the databases up" : "");
        ASSERT_TRUE(manager.InstallService()) << manager.ServiceLastError();
        EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_STOPPED);
        EXPECT_EQ(manager.ServiceLastError(), "");
        EXPECT_EQ(Value("Start"), std::string(reinterpret_cast<const char*>(&autoStart), 4));
        EXPECT_EQ(Value("Type"), std::string(reinterpret_cast<const char*>(&ownProcess), 4));
        EXPECT_EQ(Value("ObjectName"), std::string(*account != '\0' ? account : "LocalSystem") + '\0');
        EXPECT_EQ(Value("DisplayName"), "Brenlix test " + name + '\0');
        EXPECT_EQ(Value("ImagePath"), TestServiceCommand(log) + '\0');
        EXPECT_EQ(Value("Description"), *account != '\0' ? std::string("Backs the databases up") + '\0' : "(none)");
        EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), 0u);
    }
}

// Each request counts as done when the service is where it would take it.
TEST_F(ServiceManagerTest, StartsStopsAndRestarts)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.ServiceStart(true));
    EXPECT_EQ(CountLines(log, "start "), 1u);
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOPPED});
    EXPECT_TRUE(manager.ServiceStop(true));
    EXPECT_TRUE(manager.ServiceStart());
    EXPECT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running", 2));
    EXPECT_TRUE(manager.RestartService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING});
    ASSERT_TRUE(WaitForLines(log, "running", 3));
    EXPECT_TRUE(manager.ServiceStop());
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "stopped"), 3u);
    EXPECT_EQ(manager.ServiceLastError(), "");
}

// A stop held pending until the wait's first pause: the wait polls by the
// service's hint; a second stop, refused as the service is stopping, waits too.
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
    ASSERT_FALSE(clock.pauses.empty());
    EXPECT_EQ(clock.pauses[0], 1000u);
}

// On a clock that the pauses move on: the wait runs out at once, a restart
// starts nothing, and removing fails.
TEST_F(ServiceManagerTest, AServiceThatCannotStopInTime)
{
    ServiceManager manager = Running(HoldOption());
    testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
    const platform::ScopedClock installed(clock);
    manager.MaxWaitForService(2500);
    EXPECT_FALSE(manager.RestartService());
    EXPECT_EQ(clock.PausedMilliseconds(), 3000u);
    EXPECT_EQ(RawState(name), DWORD{SERVICE_STOP_PENDING});
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
    EXPECT_TRUE(manager.IsServiceInstalled());
    ReleaseHold();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "start "), 1u);
}

// A limit of 0 or less only sends the request: false, and no pause.
TEST_F(ServiceManagerTest, ALimitOfZeroOnlySendsTheRequest)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
    const platform::ScopedClock installed(clock);
    manager.MaxWaitForService(0);
    EXPECT_FALSE(manager.ServiceStart(true));
    EXPECT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_FALSE(manager.ServiceStop(true));
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    EXPECT_EQ(clock.Pauses(), 0u);
    EXPECT_EQ(manager.ServiceLastError(), "");
}

// A wait that fails by an exception is false; only a stop keeps its text.
TEST_F(ServiceManagerTest, AnExceptionInTheWaitIsFalse)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    HookedClock clock;
    const platform::ScopedClock installed(clock);
    clock.onTick = [] { throw std::runtime_error("no clock"); };
    EXPECT_FALSE(manager.ServiceStart(true));
    EXPECT_EQ(manager.ServiceLastError(), "");
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_FALSE(manager.ServiceStop(true));
    EXPECT_EQ(manager.ServiceLastError(), "no clock");
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    clock.onTick = [] { throw 1; };
    EXPECT_FALSE(manager.ServiceStart(true));
    EXPECT_FALSE(manager.ServiceStop(true));
    EXPECT_EQ(manager.ServiceLastError(), "no clock");
}

// Only state, start and stop ask the computer named; installing (with its
// start), the installed check and removing always work here.
TEST_F(ServiceManagerTest, AnotherComputerIsAskedForStateStartAndStop)
{
    ServiceManager manager = Manager();
    manager.ComputerName("no-such-computer.invalid");
    EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), DWORD{SERVICE_RUNNING}) << "started here";
    EXPECT_TRUE(manager.IsServiceInstalled());
    if (!testing_support::RunningUnderWine()) { // Wine's acts on this machine whatever computer is named
        const std::string unavailable = SystemErrorText(RPC_S_SERVER_UNAVAILABLE);
        EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_UNKNOWN);
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
        EXPECT_FALSE(manager.ServiceStart(true));
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
        EXPECT_FALSE(manager.ServiceStop(true));
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
    }
    ASSERT_TRUE(WaitForLines(log, "running"));
    EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), 0u) << "stopped and removed here";
}

} // namespace
