#include "TestSupport.h"

#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

namespace {

std::string ToUtf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

// Days since 1970-01-01 for a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

} // namespace

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        std::ostringstream name;
        name << "dunmarrow-test-" << random() << "-" << counter++;
        std::error_code error;
        if (fs::create_directory(base / name.str(), error)) {
            path_ = ToUtf8(base / name.str());
#ifndef _WIN32
            // The test's alone whatever the umask: under 002 the folder would
            // be group-writable, and the machine's hives below it refused. A
            // test that lets another user in opens the folder itself.
            fs::permissions(base / name.str(), fs::perms::owner_all, fs::perm_options::replace, error);
#endif
            return;
        }
    }
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

std::string TempDir::File(const std::string& name) const
{
    return path_ + platform::PathSeparator() + name;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(FromUtf8(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return fs::exists(FromUtf8(path), error);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(FromUtf8(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

void MakeReadOnly(const std::string& path)
{
    fs::permissions(FromUtf8(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool IgnoresFilePermissions()
{
    const TempDir dir;
    const std::string path = dir.File("probe");
    WriteFile(path, "x");
    MakeReadOnly(path);
    std::ofstream out(FromUtf8(path), std::ios::binary | std::ios::app);
    return out.is_open();
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
    if (process_ != nullptr) {
        CloseHandle(process_);
    }
}

Sleeper::~Sleeper()
{
    if (!started_ || Id() == 0) {
        return;
    }
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id_);
    if (process != nullptr) {
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
    while (id_ == 0 && std::chrono::steady_clock::now() < limit) {
        const std::string text = ReadFile(pidFile_);
        if (!text.empty() && text.back() == '\n') {
            id_ = static_cast<std::uint32_t>(std::stoul(text));
            break;
        }
        Sleep(10);
    }
    return id_;
}

bool Sleeper::StillRunning()
{
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, Id());
    if (process == nullptr) {
        return false;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

std::uint32_t ChildProcess::Wait()
{
    DWORD code = 0xdeadbeef;
    if (process_ != nullptr && WaitForSingleObject(process_, kHangGuardMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process_, &code);
    }
    return code;
}

std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> LogEntries(const std::string& path)
{
    std::vector<std::string> entries;
    for (const std::string& line : SplitLines(platform::FromAnsi(ReadFile(path)))) {
        const std::size_t type = line.find("\t\t");
        const std::size_t message = type == std::string::npos ? type : line.find("\t\t", type + 2);
        if (message == std::string::npos) {
            entries.push_back("malformed|" + line);
        } else {
            entries.push_back(line.substr(type + 2, message - type - 2) + "|" + line.substr(message + 2));
        }
    }
    return entries;
}

std::string TestChildPath()
{
    return platform::ProgramFolder() + platform::PathSeparator() + DUNMARROW_TEST_CHILD_NAME;
}

std::string TestChildCommand(const std::string& arguments)
{
    return "\"" + TestChildPath() + "\" " + arguments;
}

void ManualClock::Pause(std::uint32_t milliseconds) const
{
    ++pauses_;
    paused_ += milliseconds;
    Advance(step_ != 0 ? step_ : milliseconds);
}

void ManualClock::Advance(std::uint64_t milliseconds) const
{
    monotonic_ += milliseconds;
    std::int64_t days = DaysFromCivil(now_.year, static_cast<unsigned>(now_.month), static_cast<unsigned>(now_.day));
    std::int64_t ms = ((now_.hour * 60 + now_.minute) * 60 + now_.second) * 1000LL + now_.millisecond +
                      static_cast<std::int64_t>(milliseconds);
    days += ms / 86400000;
    ms %= 86400000;
    CivilFromDays(days, now_.year, now_.month, now_.day);
    now_.hour = static_cast<int>(ms / 3600000);
    now_.minute = static_cast<int>(ms / 60000 % 60);
    now_.second = static_cast<int>(ms / 1000 % 60);
    now_.millisecond = static_cast<int>(ms % 1000);
}

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    platform::LocalDateTime when;
    when.year = year;
    when.month = month;
    when.day = day;
    when.hour = hour;
    when.minute = minute;
    when.second = second;
    when.millisecond = millisecond;
    return when;
}

} // namespace testing_support
