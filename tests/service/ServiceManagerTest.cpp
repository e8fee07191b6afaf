// ServiceManager against the real service control: Wine's with the test
// service program, or the Linux substitutes with the test daemon. What it
// writes is read back with the raw calls.
#include <brenlix/ServiceManager.h>
#include <brenlix/modCommon.h>

#include "ServiceTestSupport.h"

#include <cstdint>
#include <vector>

namespace {

using brenlix::ServiceManager;
using brenlix::SystemErrorText;
using service_testing::CountLines;
using service_testing::RawState;
using service_testing::ReadServiceValue;
using service_testing::ServiceTest;
using service_testing::TestServiceCommand;
using service_testing::WaitForLines;
using service_testing::WaitForRawState;
using testing_support::RunningUnderWine;

constexpr std::uint64_t k2To31 = 0x80000000ull;
constexpr std::uint64_t k2To32 = 0x100000000ull;

// The machine's own clock and pauses, with the tick count moved to start at
// a chosen value; notes every pause.
class ShiftedClock final : public platform::Clock {
public:
    explicit ShiftedClock(std::uint64_t tickNow)
        : system_(platform::CurrentClock()), offset_(tickNow - system_.MonotonicMilliseconds())
    {
    }
    platform::LocalDateTime Now() const override { return system_.Now(); }
    std::uint64_t MonotonicMilliseconds() const override { return system_.MonotonicMilliseconds() + offset_; }
    void Pause(std::uint32_t milliseconds) const override
    {
        pauses.push_back(milliseconds);
        system_.Pause(milliseconds);
    }
    mutable std::vector<std::uint32_t> pauses;

private:
    const platform::Clock& system_;
    std::uint64_t offset_;
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

    // Installs the test service with the options and starts it, waiting.
    ServiceManager Running(const std::string& options = "")
    {
        ServiceManager manager = Manager(options);
        EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_TRUE(WaitForLines(log, "running"));
        return manager;
    }

    std::string Value(const char* value, DWORD& type)
    {
        std::string data;
        EXPECT_TRUE(ReadServiceValue(name, value, type, data)) << value;
        return data;
    }
};

TEST(ServiceManagerDefaults, AFreshInstance)
{
    const ServiceManager manager;
    EXPECT_EQ(manager.MaxWaitForService(), 5000);
    EXPECT_EQ(manager.ServiceLastError(), "");
    EXPECT_EQ(manager.ServiceShortName(), "");
    EXPECT_EQ(manager.ServiceLongName(), "");
    EXPECT_EQ(manager.ServicePath(), "");
    EXPECT_EQ(manager.ServiceDescription(), "");
    EXPECT_EQ(manager.ServiceUsername(), "");
    EXPECT_EQ(manager.ServiceUserPassword(), "");
    EXPECT_EQ(manager.ComputerName(), "");
}

TEST_F(ServiceManagerTest, AMissingServiceHasNoState)
{
    ServiceManager manager = Manager();
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_UNKNOWN);
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_FALSE(manager.IsServiceInstalled());
    EXPECT_FALSE(manager.ServiceStart());
    EXPECT_FALSE(manager.ServiceStop());
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceManagerTest, InstallsAsLocalSystem)
{
    ServiceManager manager = Manager();
    manager.ServiceUserPassword("ignored without an account");
    ASSERT_TRUE(manager.InstallService()) << manager.ServiceLastError();
    EXPECT_TRUE(manager.IsServiceInstalled());
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_STOPPED);
    EXPECT_EQ(manager.ServiceLastError(), "");
    DWORD type = 0;
    EXPECT_EQ(Value("ObjectName", type), std::string("LocalSystem") + '\0');
    EXPECT_EQ(Value("ImagePath", type), TestServiceCommand(log) + '\0');
    EXPECT_EQ(type, static_cast<DWORD>(RunningUnderWine() ? REG_SZ : REG_EXPAND_SZ)); // Wine writes REG_SZ
    EXPECT_EQ(Value("DisplayName", type), "Brenlix test " + name + '\0');
    const DWORD autoStart = SERVICE_AUTO_START;
    EXPECT_EQ(Value("Start", type), std::string(reinterpret_cast<const char*>(&autoStart), 4));
    const DWORD ownProcess = SERVICE_WIN32_OWN_PROCESS;
    EXPECT_EQ(Value("Type", type), std::string(reinterpret_cast<const char*>(&ownProcess), 4));
    std::string description;
    EXPECT_FALSE(ReadServiceValue(name, "Description", type, description)) << "no description given";
}

TEST_F(ServiceManagerTest, InstallsWithAnAccount)
{
    ServiceManager manager = Manager();
    manager.ServiceUsername("NT AUTHORITY\\LocalService");
    manager.ServiceUserPassword("");
    ASSERT_TRUE(manager.InstallService()) << manager.ServiceLastError();
    DWORD type = 0;
    EXPECT_EQ(Value("ObjectName", type), std::string("NT AUTHORITY\\LocalService") + '\0');
}

TEST_F(ServiceManagerTest, InstallingTwiceFails)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    EXPECT_FALSE(manager.InstallService());
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_SERVICE_EXISTS));
}

TEST_F(ServiceManagerTest, TheDescriptionLandsBesideTheService)
{
    struct Row {
        const char* description;
        DWORD type;
    };
    const Row rows[] = {
        {"Backs the databases up", REG_SZ}, {"Runs from %ProgramFiles%\\Brenlix", REG_EXPAND_SZ},
        {"100% sure, 5%", REG_EXPAND_SZ},   {"Only 100%", REG_SZ},
        {"Two %% together", REG_SZ},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description);
        ServiceManager manager = Manager();
        manager.ServiceDescription(row.description);
        ASSERT_TRUE(manager.InstallService()) << manager.ServiceLastError();
        DWORD type = 0;
        EXPECT_EQ(Value("Description", type), std::string(row.description) + '\0');
        EXPECT_EQ(type, row.type);
        ASSERT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    }
}

TEST_F(ServiceManagerTest, InstallsAndStarts)
{
    ServiceManager manager = Manager();
    EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceManagerTest, StartsWithoutWaiting)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    EXPECT_TRUE(manager.ServiceStart());
    EXPECT_TRUE(WaitForRawState(name, SERVICE_RUNNING));
    EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_RUNNING);
}

TEST_F(ServiceManagerTest, StartsWaitingUntilItRuns)
{
    ServiceManager manager = Manager("--start-ms 300 --start-hint 100");
    ASSERT_TRUE(manager.InstallService());
    EXPECT_TRUE(manager.ServiceStart(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServiceManagerTest, StartingARunningServiceSucceeds)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.ServiceStart());
    EXPECT_TRUE(manager.ServiceStart(true));
    EXPECT_EQ(manager.ServiceLastError(), "");
    EXPECT_EQ(CountLines(log, "start "), 1u);
}

TEST_F(ServiceManagerTest, ARefusedStartFailsWithTheReason)
{
    ServiceManager manager = Manager();
    manager.ServicePath("\"" + files.File("missing.exe") + "\"");
    ASSERT_TRUE(manager.InstallService());
    EXPECT_FALSE(manager.ServiceStart());
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(manager.ServiceStart(true));
}

TEST_F(ServiceManagerTest, StopsWaitingUntilItStopped)
{
    ServiceManager manager = Running("--stop-ms 300 --stop-hint 100");
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "stopped"), 1u);
}

TEST_F(ServiceManagerTest, StopsWithoutWaiting)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.ServiceStop());
    EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
}

TEST_F(ServiceManagerTest, StoppingAStoppedServiceSucceeds)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    EXPECT_TRUE(manager.ServiceStop());
    EXPECT_TRUE(manager.ServiceStop(true));
    EXPECT_EQ(manager.ServiceLastError(), "");
}

TEST_F(ServiceManagerTest, Restarts)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.RestartService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(WaitForLines(log, "start ", 2));
    EXPECT_EQ(CountLines(log, "stopped"), 1u);
}

TEST_F(ServiceManagerTest, ARestartThatCannotStopInTimeStartsNothing)
{
    ServiceManager manager = Running(HoldOption() + " --stop-hint 200");
    manager.MaxWaitForService(300);
    EXPECT_FALSE(manager.RestartService(true));
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOP_PENDING));
    ReleaseHold();
    ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
    Sleep(300);
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(CountLines(log, "start "), 1u);
}

TEST_F(ServiceManagerTest, StoppingAServiceThatIsStoppingWaitsForIt)
{
    ServiceManager manager = Running(HoldOption() + " --stop-ms 300 --stop-hint 100");
    EXPECT_TRUE(manager.ServiceStop());
    ASSERT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOP_PENDING));
    ReleaseHold();
    EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
}

TEST_F(ServiceManagerTest, RemovingAMissingServiceFails)
{
    ServiceManager manager = Manager();
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Service not installed");
    // Any other reason the service cannot be looked up keeps the system's text.
    manager.ServiceShortName("");
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), SystemErrorText(ERROR_INVALID_NAME));
}

TEST_F(ServiceManagerTest, RemovesARunningService)
{
    ServiceManager manager = Running();
    EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    EXPECT_EQ(CountLines(log, "stopped"), 1u);
    EXPECT_FALSE(manager.IsServiceInstalled());
    EXPECT_EQ(RawState(name), 0u);
}

TEST_F(ServiceManagerTest, RemovingAServiceThatCannotStopInTimeFails)
{
    ServiceManager manager = Running(HoldOption() + " --stop-hint 200");
    manager.MaxWaitForService(200);
    EXPECT_FALSE(manager.RemoveService());
    EXPECT_EQ(manager.ServiceLastError(), "Unable to stop service");
    EXPECT_TRUE(manager.IsServiceInstalled());
}

// Only state, start and stop ask the computer named; installing (with its
// start), the installed check and removing always work here.
TEST_F(ServiceManagerTest, AnotherComputerIsAskedForStateStartAndStop)
{
    ServiceManager manager = Manager();
    manager.ComputerName("no-such-computer.invalid");
    EXPECT_TRUE(manager.InstallService(true)) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING)) << "started here";
    EXPECT_TRUE(manager.IsServiceInstalled());
    if (!RunningUnderWine()) { // Wine's service control acts on this machine whatever computer is named
        const std::string unavailable = SystemErrorText(RPC_S_SERVER_UNAVAILABLE);
        EXPECT_EQ(manager.ServiceStatus(), brenlix::STATE_SERVICE_UNKNOWN);
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
        EXPECT_FALSE(manager.ServiceStart(true));
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
        EXPECT_FALSE(manager.ServiceStop(true));
        EXPECT_EQ(manager.ServiceLastError(), unavailable);
        EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
    }
    EXPECT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    EXPECT_EQ(RawState(name), 0u) << "stopped and removed here";
}

// With a limit of 0 or less the request goes out and the answer is false at
// once: no state query, so no pause.
TEST_F(ServiceManagerTest, ALimitOfZeroOrLessOnlySendsTheRequest)
{
    ServiceManager manager = Manager();
    ASSERT_TRUE(manager.InstallService());
    std::size_t starts = 0;
    for (const std::int32_t limit : {0, -1}) {
        SCOPED_TRACE(limit);
        testing_support::ManualClock clock(testing_support::At(2024, 1, 1, 12, 0, 0));
        const platform::ScopedClock installed(clock);
        manager.MaxWaitForService(limit);
        EXPECT_FALSE(manager.ServiceStart(true));
        EXPECT_TRUE(WaitForRawState(name, SERVICE_RUNNING)) << "the start was asked for";
        ASSERT_TRUE(WaitForLines(log, "running", ++starts));
        EXPECT_FALSE(manager.ServiceStop(true));
        EXPECT_TRUE(WaitForRawState(name, SERVICE_STOPPED)) << "the stop was asked for";
        EXPECT_EQ(clock.Pauses(), 0u);
        EXPECT_EQ(manager.ServiceLastError(), "");
    }
}

// The tick count just below 2^31 (where a signed deadline overflows) and just
// below 2^32 (where the count wraps to 0) while the service takes its time.
TEST_F(ServiceManagerTest, WaitsAcrossTheTickCountsLimits)
{
    ServiceManager manager = Manager("--start-ms 300 --start-hint 200 --stop-ms 300 --stop-hint 200");
    ASSERT_TRUE(manager.InstallService());
    std::size_t starts = 0;
    for (const std::uint64_t tick : {k2To31 - 100, k2To32 - 100}) {
        SCOPED_TRACE(tick);
        ShiftedClock clock(tick);
        const platform::ScopedClock installed(clock);
        EXPECT_TRUE(manager.ServiceStart(true)) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_RUNNING));
        ASSERT_TRUE(WaitForLines(log, "running", ++starts));
        clock.pauses.clear();
        EXPECT_TRUE(manager.ServiceStop(true)) << manager.ServiceLastError();
        EXPECT_EQ(RawState(name), static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_FALSE(clock.pauses.empty()) << "the stop took a wait";
    }
}

// Between polls the wait sleeps for the hint the service gave, 20 ms for a
// hint of 0, and one hint longer than the limit makes the wait overshoot it.
TEST_F(ServiceManagerTest, PausesForTheServicesWaitHint)
{
    std::size_t runs = 0;
    for (const DWORD hint : {0u, 1200u}) {
        SCOPED_TRACE(hint);
        ServiceManager manager = Running(HoldOption() + " --stop-hint " + std::to_string(hint));
        ASSERT_TRUE(WaitForLines(log, "running", ++runs));
        manager.MaxWaitForService(200);
        ShiftedClock clock(1000);
        const platform::ScopedClock installed(clock);
        const std::uint64_t start = clock.MonotonicMilliseconds();
        EXPECT_FALSE(manager.ServiceStop(true));
        const std::uint64_t waited = clock.MonotonicMilliseconds() - start;
        SERVICE_STATUS status{};
        ASSERT_EQ(RawState(name, &status), static_cast<DWORD>(SERVICE_STOP_PENDING));
        const std::uint32_t pause = status.dwWaitHint != 0 ? status.dwWaitHint : 20;
        ASSERT_FALSE(clock.pauses.empty());
        for (const std::uint32_t paused : clock.pauses) {
            EXPECT_EQ(paused, pause);
        }
        EXPECT_GE(waited, std::max<std::uint64_t>(200, pause));
        ReleaseHold();
        ASSERT_TRUE(WaitForRawState(name, SERVICE_STOPPED));
        ASSERT_TRUE(manager.RemoveService()) << manager.ServiceLastError();
    }
}

} // namespace
