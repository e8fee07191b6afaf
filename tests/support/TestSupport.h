// Helpers for the test programs: temporary folders, files, a clock moved by hand, the test child program.
#pragma once

#include <platform/Clock.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// How long a test waits for what must happen: a hang guard, never a verdict.
constexpr std::uint32_t kHangGuardMs = 120000;

struct NoCopy {
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// A fresh folder (0700 on Linux whatever the umask), removed with its contents.
class TempDir : NoCopy {
public:
    TempDir();
    ~TempDir();

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const; // Path() + separator + name

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
std::vector<std::string> SplitLines(const std::string& bytes); // at CR LF; a final one ends the last line
void MakeReadOnly(const std::string& path);

class ChildProcess : NoCopy {
public:
    explicit ChildProcess(const std::string& commandLine);
    ~ChildProcess();
    std::uint32_t Wait();

private:
    void* process_ = nullptr;
};

// "testchild sleep", for a wait that runs out on a clock the test moves; ended when the object goes.
class Sleeper : NoCopy {
public:
    explicit Sleeper(const TempDir& dir) : pidFile_(dir.File("sleeper.pid")) {}
    ~Sleeper();

    std::string Command(int milliseconds);
    std::uint32_t Id(); // the id the child wrote, waited for; 0 when it never came
    bool StillRunning();

private:
    std::string pidFile_;
    bool started_ = false;
    std::uint32_t id_ = 0;
};

// The brenlix::Error the call raises, as "number source: description"; "nothing" when it raises none.
std::string Raised(const std::function<void()>& call);

// A FileLog file as "TYPE|message" per line (no stamp, text from the code page); "malformed|line" otherwise.
std::vector<std::string> LogEntries(const std::string& path);

// testchild[.exe] beside the running test, quoted, then the arguments.
std::string TestChildCommand(const std::string& arguments);

// The system's date-and-time text, and long time alone, worked out independently of the code under test.
std::string ExpectedStamp(const platform::LocalDateTime& when);
std::string ExpectedTimeText(const platform::LocalDateTime& when);

bool IgnoresFilePermissions(); // the process writes files whatever their permissions (root)
bool RunningUnderWine();

// Sets an environment variable (nullptr: removes it) for its lifetime.
class ScopedEnvironment : NoCopy {
public:
    ScopedEnvironment(std::string name, const char* value);
    ~ScopedEnvironment();

private:
    std::string name_;
    bool had_ = false;
    std::string previous_;
};

// The Western European code page for its lifetime: on Windows if the system's, on Linux an ISO-8859-1 locale.
class WesternCodePage : NoCopy {
public:
    WesternCodePage();
    ~WesternCodePage();
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
    void PauseStep(std::uint64_t milliseconds) { step_ = milliseconds; } // each pause's move (0: its length)
    std::uint64_t PausedMilliseconds() const { return paused_; }
    std::uint64_t PausesOf(std::uint32_t milliseconds) const { return pauses_[milliseconds]; } // how many that long

private:
    mutable platform::LocalDateTime now_;
    mutable std::uint64_t monotonic_ = 1000;
    mutable std::uint64_t paused_ = 0;
    mutable std::map<std::uint32_t, std::uint64_t> pauses_;
    std::uint64_t step_ = 0;
};

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond = 0);

} // namespace testing_support
