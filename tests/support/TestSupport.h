// Helpers for the test programs: a temporary folder per test, whole-file
// reads, a clock that tests move by hand, and the test child program.
#pragma once

#include <platform/Clock.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// How long a test waits for something that must happen (a process ending, a
// service reaching a state): only a guard against a hang, never a verdict, so
// it is generous enough for a machine under heavy load.
constexpr std::uint32_t kHangGuardMs = 120000;

// A fresh folder, removed with everything in it when the object goes. On
// Linux it is 0700 whatever the umask.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() joined with name by the platform's separator.
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Raw bytes of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// The file's lines as split at CR LF; a final CR LF ends the last line.
std::vector<std::string> SplitLines(const std::string& bytes);

void MakeReadOnly(const std::string& path);

// A process started from a command line; Wait() gives its exit code.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& commandLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    std::uint32_t Wait();

private:
    void* process_ = nullptr;
};

// "testchild sleep": a child that sleeps so that a wait runs out on a clock
// the test moves; ended when the object goes, wherever the wait left it.
class Sleeper {
public:
    explicit Sleeper(const TempDir& dir) : pidFile_(dir.File("sleeper.pid")) {}
    ~Sleeper();
    Sleeper(const Sleeper&) = delete;
    Sleeper& operator=(const Sleeper&) = delete;

    // The command line of a child sleeping for milliseconds.
    std::string Command(int milliseconds);
    // The process id the child wrote, waited for (0 when it never came).
    std::uint32_t Id();
    bool StillRunning();

private:
    std::string pidFile_;
    bool started_ = false;
    std::uint32_t id_ = 0;
};

// A log file written by FileLog, as "TYPE|message" per line (the stamp left
// out, the text back from the system code page); "malformed|line" for a line
// without the layout.
std::vector<std::string> LogEntries(const std::string& path);

// The test child program beside the running test (testchild / testchild.exe).
std::string TestChildPath();
// TestChildPath() quoted for a command line, followed by the arguments.
std::string TestChildCommand(const std::string& arguments);

// The general date-and-time text that the system shows for the moment,
// worked out independently of the code under test.
std::string ExpectedStamp(const platform::LocalDateTime& when);
// The long time alone, likewise.
std::string ExpectedTimeText(const platform::LocalDateTime& when);

// True when the process may write files whatever their permissions (root on
// Linux, and so under Wine run by root), so read-only cases cannot be staged.
bool IgnoresFilePermissions();

// True for the Windows build running under Wine.
bool RunningUnderWine();

// Sets an environment variable (or with nullptr removes it) for its lifetime,
// then puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string previous_;
};

// Switches to the Western European code page (1252 or ISO-8859-1) for its
// lifetime where the platform allows it: on Windows it is active when it is
// the system's; on Linux a Danish ISO-8859-1 locale is selected if installed.
class WesternCodePage {
public:
    WesternCodePage();
    ~WesternCodePage();
    WesternCodePage(const WesternCodePage&) = delete;
    WesternCodePage& operator=(const WesternCodePage&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
    std::string previous_;
};

// A clock that stands still until a pause moves it on (or the test does).
class ManualClock final : public platform::Clock {
public:
    explicit ManualClock(const platform::LocalDateTime& start) : now_(start) {}

    platform::LocalDateTime Now() const override { return now_; }
    std::uint64_t MonotonicMilliseconds() const override { return monotonic_; }
    void Pause(std::uint32_t milliseconds) const override;

    void Advance(std::uint64_t milliseconds) const;
    // Each pause moves the clock on by this much instead of by the pause's
    // own length (0: by the pause's length), to cover days in a few passes.
    void PauseStep(std::uint64_t milliseconds) { step_ = milliseconds; }
    std::uint64_t Pauses() const { return pauses_; }
    std::uint64_t PausedMilliseconds() const { return paused_; }

private:
    mutable platform::LocalDateTime now_;
    mutable std::uint64_t monotonic_ = 1000;
    mutable std::uint64_t pauses_ = 0;
    mutable std::uint64_t paused_ = 0;
    std::uint64_t step_ = 0;
};

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

} // namespace testing_support
