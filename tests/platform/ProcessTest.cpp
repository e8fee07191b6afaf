#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::UniqueKernelHandle;
using testing_support::TempDir;
using testing_support::TestChildCommand;

struct Started {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
    DWORD id = 0;
};

// Starts a command line as the system does for the command runner; returns
// false with the last error left as CreateProcessA set it.
bool Start(const std::string& commandLine, Started& started)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    started.process.reset(info.hProcess);
    started.thread.reset(info.hThread);
    started.id = info.dwProcessId;
    return true;
}

TEST(Process, ExitCodeIsStillActiveUntilTheEnd)
{
    Started child;
    ASSERT_TRUE(Start(TestChildCommand("sleep 300"), child));
    DWORD code = 0xdeadbeef;
    ASSERT_TRUE(GetExitCodeProcess(child.process.get(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(child.process.get(), 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(child.process.get(), testing_support::kHangGuardMs), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(child.process.get(), &code));
    EXPECT_EQ(code, 0u);
}

TEST(Process, ExitCodesArriveUnchanged)
{
    for (const DWORD expected : {0u, 1u, 42u, 255u}) {
        SCOPED_TRACE(expected);
        Started child;
        ASSERT_TRUE(Start(TestChildCommand("exit " + std::to_string(expected)), child));
        ASSERT_EQ(WaitForSingleObject(child.process.get(), testing_support::kHangGuardMs), WAIT_OBJECT_0);
        DWORD code = 0xdeadbeef;
        ASSERT_TRUE(GetExitCodeProcess(child.process.get(), &code));
        EXPECT_EQ(code, expected);
    }
}

TEST(Process, OpenedByIdAndAnsweredAfterTheEnd)
{
    Started child;
    ASSERT_TRUE(Start(TestChildCommand("exit 7"), child));
    const UniqueKernelHandle opened(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, child.id));
    ASSERT_TRUE(opened);
    child.process.reset();
    child.thread.reset();
    ASSERT_EQ(WaitForSingleObject(opened.get(), testing_support::kHangGuardMs), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(opened.get(), &code));
    EXPECT_EQ(code, 7u);
}

TEST(Process, StartFailuresSetTheLastError)
{
    const TempDir dir;
    const std::string sep = dir.File("");
    const struct {
        const char* what;
        std::string commandLine;
        DWORD expected;
    } rows[] = {
        {"no such program", "dunmarrow-no-such-program-4711 /x", ERROR_FILE_NOT_FOUND},
        {"no such file", "\"" + dir.File("absent.exe") + "\"", ERROR_FILE_NOT_FOUND},
        {"no such folder", "\"" + dir.File("absent") + sep.back() + "x.exe\"", ERROR_PATH_NOT_FOUND},
    };
    // Wine searches for the program and reports ERROR_FILE_NOT_FOUND for a
    // missing folder too; Windows opens the path and reports the folder.
    const bool wine = testing_support::RunningUnderWine();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Started child;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Start(row.commandLine, child));
        const DWORD error = GetLastError();
        if (wine && row.expected == ERROR_PATH_NOT_FOUND) {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "known to differ under Wine";
        } else {
            EXPECT_EQ(error, row.expected);
        }
    }
}

TEST(Process, BadHandlesAndIds)
{
    DWORD code = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetExitCodeProcess(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0)), &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(code, 0xdeadbeefu);

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The arguments the started program sees, by the rules of the Microsoft C runtime.
TEST(Process, CommandLineSplitting)
{
    const TempDir dir;
    const std::string out = dir.File("args.txt");
    const struct {
        const char* tail;
        std::vector<std::string> expected;
    } rows[] = {
        {"a b\tc", {"a", "b", "c"}},
        {"  spaced   out  ", {"spaced", "out"}},
        {"\"one arg\" two", {"one arg", "two"}},
        {"a\\\\b c\\d", {"a\\\\b", "c\\d"}},
        {"\\\"quoted\\\"", {"\"quoted\""}},
        {"x\\\\\"y z\"", {"x\\y z"}},
        {"\"\" empty", {"", "empty"}},
        {"mid\"dle quo\"ted", {"middle quoted"}},
        {"Lønkørsel", {"Lønkørsel"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tail);
        Started child;
        ASSERT_TRUE(Start(TestChildCommand("args \"" + out + "\" " + row.tail), child));
        ASSERT_EQ(WaitForSingleObject(child.process.get(), testing_support::kHangGuardMs), WAIT_OBJECT_0);
        std::string expected;
        for (const std::string& arg : row.expected) {
            expected += arg + "\n";
        }
        EXPECT_EQ(testing_support::ReadFile(out), expected);
    }
}

} // namespace
