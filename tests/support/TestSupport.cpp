#include "TestSupport.h"

#include <brenlix/Error.h>
#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

static fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::error_code error;
    const std::string prefix = "dunmarrow-test-" + std::to_string(GetCurrentProcessId()) + "-";
    fs::path dir;
    while (!fs::create_directory(dir = fs::temp_directory_path() / (prefix + std::to_string(counter++)), error)) {
    }
    const std::u8string text = dir.u8string();
    path_.assign(text.begin(), text.end());
    // Under umask 002 the folder would be group-writable and the hives below it refused.
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, error);
}

TempDir::~TempDir()
{
    std::error_code error;
    fs::permissions(FromUtf8(path_), fs::perms::owner_all, fs::perm_options::add, error);
    for (const auto& entry : fs::recursive_directory_iterator(FromUtf8(path_), error)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(FromUtf8(path_), error);
}

std::string TempDir::File(const std::string& name) const { return path_ + platform::PathSeparator() + name; }

std::string ReadFile(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(FromUtf8(path), std::ios::binary).rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return fs::exists(FromUtf8(path), error);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(FromUtf8(path), std::ios::binary | std::ios::trunc) << bytes;
}

void MakeReadOnly(const std::string& path)
{
    fs::permissions(FromUtf8(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool IgnoresFilePermissions()
{
    const TempDir dir;
    WriteFile(dir.File("probe"), "x");
    MakeReadOnly(dir.File("probe"));
    return std::ofstream(FromUtf8(dir.File("probe")), std::ios::binary | std::ios::app).is_open();
}

ChildProcess::ChildProcess(const std::string& commandLine)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    } else {
        ADD_FAILURE() << "cannot start " << commandLine << ": error " << GetLastError();
    }
}

ChildProcess::~ChildProcess()
{
    if (process_ != nullptr)
        CloseHandle(process_);
}

std::uint32_t ChildProcess::Wait()
{
    DWORD code = 0xdeadbeef;
    if (process_ != nullptr && WaitForSingleObject(process_, kHangGuardMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_, &code);
    return code;
}

Sleeper::~Sleeper()
{
    if (const HANDLE process = started_ && Id() != 0 ? OpenProcess(PROCESS_TERMINATE, FALSE, id_) : nullptr) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

std::string Sleeper::Command(int milliseconds)
{
    started_ = true;
    return TestChildCommand("sleep " + std::to_string(milliseconds) + " \"" + pidFile_ + "\"");
}

std::uint32_t Sleeper::Id()
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    for (std::string text; id_ == 0 && std::chrono::steady_clock::now() < limit; Sleep(10)) {
        if (!(text = ReadFile(pidFile_)).empty() && text.back() == '\n') { // complete once the line ends
            id_ = static_cast<std::uint32_t>(std::stoul(text));
        }
    }
    return id_;
}

bool Sleeper::StillRunning()
{
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, Id());
    const bool running = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process); // none when it is gone
    return running;
}

std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end = 0; start < bytes.size(); start = end + 2) {
        end = std::min(bytes.find("\r\n", start), bytes.size());
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

std::string Raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const brenlix::Error& error) {
        return std::to_string(error.Number()) + " " + error.Source() + ": " + error.Description();
    }
    return "nothing";
}

std::vector<std::string> LogEntries(const std::string& path)
{
    std::vector<std::string> entries;
    for (const std::string& line : SplitLines(platform::FromAnsi(ReadFile(path)))) {
        const std::size_t type = line.find("\t\t");
        const std::size_t message = type == std::string::npos ? type : line.find("\t\t", type + 2);
        entries.push_back(message == std::string::npos
                              ? "malformed|" + line
                              : line.substr(type + 2, message - type - 2) + "|" + line.substr(message + 2));
    }
    return entries;
}

std::string TestChildCommand(const std::string& arguments)
{
    return "\"" + platform::ProgramFolder() + platform::PathSeparator() + DUNMARROW_TEST_CHILD_NAME + "\" " + arguments;
}

void ManualClock::Pause(std::uint32_t milliseconds) const
{
    paused_ += milliseconds;
    ++pauses_[milliseconds];
    Advance(step_ != 0 ? step_ : milliseconds);
}

void ManualClock::Advance(std::uint64_t milliseconds) const
{
    using namespace std::chrono;
    monotonic_ += milliseconds;
    const auto t = sys_days{year{now_.year} / now_.month / now_.day} + hours{now_.hour} + minutes{now_.minute} +
                   seconds{now_.second} + std::chrono::milliseconds{now_.millisecond + std::int64_t(milliseconds)};
    const auto day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss time{t - day};
    now_ = At(int(date.year()), int(unsigned(date.month())), int(unsigned(date.day())), int(time.hours().count()),
              int(time.minutes().count()), int(time.seconds().count()), int(time.subseconds().count()));
}

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    return {year, month, day, hour, minute, second, millisecond};
}

} // namespace testing_support
