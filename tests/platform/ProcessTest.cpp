#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace {

using platform::UniqueKernelHandle;
using testing_support::kHangGuardMs;
using testing_support::TestChildCommand;

struct Started {
    UniqueKernelHandle process, thread;
    DWORD id = 0;
};

// Starts a command line as the command runner does; false with CreateProcessA's last error.
bool Start(std::string line, Started& started)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.id = info.dwProcessId;
    return true;
}

DWORD ExitCode(HANDLE process)
{
    DWORD code = 0xdeadbeef;
    EXPECT_EQ(WaitForSingleObject(process, kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    return code;
}

TEST(Process, ExitCodes)
{
    Started running;
    ASSERT_TRUE(Start(TestChildCommand("sleep 300"), running));
    DWORD code = 0xdeadbeef;
    ASSERT_TRUE(GetExitCodeProcess(running.process.get(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(running.process.get(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(ExitCode(running.process.get()), 0u);
    // Opened by id, it answers after the end with the starter's handles closed.
    Started child;
    ASSERT_TRUE(Start(TestChildCommand("exit 255"), child));
    const UniqueKernelHandle opened(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, child.id));
    ASSERT_TRUE(opened);
    child.process.reset();
    child.thread.reset();
    EXPECT_EQ(ExitCode(opened.get()), 255u);
}

TEST(Process, FailuresSetTheLastError)
{
    const testing_support::TempDir dir;
    const char sep = dir.File("").back();
    // wine: Wine searches for the program and reports a missing folder as a missing file
    const struct { std::string commandLine; DWORD expected, wine; } rows[] = {
        {"dunmarrow-no-such-program-4711 /x", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"\"" + dir.File("absent.exe") + "\"", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        {"\"" + dir.File("absent") + sep + "x.exe\"", ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& row : rows) {
        Started child;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Start(row.commandLine, child));
        EXPECT_EQ(GetLastError(), testing_support::RunningUnderWine() ? row.wine : row.expected) << row.commandLine;
    }
    const auto bad = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0));
    DWORD code = 0xdeadbeef;
    const auto failsWith = [](const std::function<bool()>& fails) { // the last error of a failure, else 0
        SetLastError(0xdeadbeef);
        return fails() ? GetLastError() : 0;
    };
    EXPECT_EQ(failsWith([&] { return !GetExitCodeProcess(bad, &code); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(failsWith([&] { return !CloseHandle(bad); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(failsWith([] { return !OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0); }), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(code, 0xdeadbeefu);
}

// The arguments the started program sees by the Microsoft C runtime's rules: 2n backslashes before a quote
// give n and open or close a quote, 2n+1 give n and a literal quote; elsewhere backslashes are literal.
TEST(Process, CommandLineSplitting)
{
    const testing_support::TempDir dir;
    const std::string out = dir.File("args.txt");
    const struct { const char *tail, *expected; } rows[] = { // expected: one argument a line
        {"a\\\\b c\\d", "a\\\\b\nc\\d\n"}, {"\\\"quoted\\\"", "\"quoted\"\n"}, {"x\\\\\"y z\"", "x\\y z\n"},
        {"\"\" empty", "\nempty\n"}, {"mid\"dle quo\"ted", "middle quoted\n"}, {"Lønkørsel", "Lønkørsel\n"},
    };
    for (const auto& row : rows) {
        Started child;
        ASSERT_TRUE(Start(TestChildCommand("args \"" + out + "\" " + row.tail), child));
        ExitCode(child.process.get());
        EXPECT_EQ(testing_support::ReadFile(out), row.expected) << row.tail;
    }
}

} // namespace
