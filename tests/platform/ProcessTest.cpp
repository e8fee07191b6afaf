#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using platform::UniqueKernelHandle;
using testing_support::TestChildCommand;

bool Start(std::string line, PROCESS_INFORMATION& info)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    info = {};
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info) &&
           CloseHandle(info.hThread);
}

DWORD ExitCode(HANDLE process)
{
    DWORD code = 0xdeadbeef;
    EXPECT_EQ(WaitForSingleObject(process, testing_support::kHangGuardMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    return code;
}

TEST(Process, ExitCodes)
{
    PROCESS_INFORMATION info;
    ASSERT_TRUE(Start(TestChildCommand("sleep 120000"), info));
    const UniqueKernelHandle running(info.hProcess);
    DWORD code = 0xdeadbeef;
    ASSERT_TRUE(GetExitCodeProcess(running.get(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(running.get(), 0), WAIT_TIMEOUT);
    ASSERT_TRUE(TerminateProcess(running.get(), 7));
    EXPECT_EQ(ExitCode(running.get()), 7u);
    // Opened by id, it answers after the end with the starter's handles closed.
    ASSERT_TRUE(Start(TestChildCommand("exit 255"), info));
    const UniqueKernelHandle opened(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, info.dwProcessId));
    CloseHandle(info.hProcess);
    ASSERT_TRUE(opened);
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
    PROCESS_INFORMATION info;
    for (const auto& row : rows) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Start(row.commandLine, info));
        EXPECT_EQ(GetLastError(), testing_support::RunningUnderWine() ? row.wine : row.expected) << row.commandLine;
    }
    const auto bad = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0));
    DWORD code = 0xdeadbeef;
    const auto failure = [](auto call) { return SetLastError(0xdeadbeef), call() ? 0 : GetLastError(); }; // else 0
    EXPECT_EQ(failure([&] { return GetExitCodeProcess(bad, &code); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(failure([&] { return CloseHandle(bad); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(failure([] { return OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0) != nullptr; }),
              DWORD{ERROR_INVALID_PARAMETER});
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
        EXPECT_EQ(testing_support::ChildProcess(TestChildCommand("args \"" + out + "\" " + row.tail)).Wait(), 0u);
        EXPECT_EQ(testing_support::ReadFile(out), row.expected) << row.tail;
    }
}

} // namespace
