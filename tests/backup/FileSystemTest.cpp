#include "FileSystem.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <chrono>
#include <filesystem>

#ifdef _WIN32
#include <platform/Win32.h>
#undef CopyFile // <windows.h>'s other name for CopyFileA, not the job's copy
#else
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

using namespace testing_support;

// The error number raised, with the system's text for it; 0 when none.
std::int32_t CopyError(const std::string& source, const std::string& destination)
{
    try {
        dunmarrow::CopyFile(source, destination);
        return 0;
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Description(), brenlix::SystemErrorText(error.Number()));
        return error.Number();
    }
}

// A copy replaces the file and keeps its time; a destination ending in a separator is a folder; a failure raises the
// system's code and text, and one half way leaves the last good copy and no file of its own.
TEST(CopyFile, ReplacesKeepsTheTimeAndFailsWithoutHarm)
{
    const TempDir dir, target;
    WriteFile(dir.File("a.bak"), "data");
    WriteFile(dir.File("b.bak"), "older and longer");
    const auto when = std::filesystem::last_write_time(dir.File("a.bak")) - std::chrono::hours(49);
    std::filesystem::last_write_time(dir.File("a.bak"), when);
    EXPECT_EQ(CopyError(dir.File("a.bak"), dir.File("b.bak")), 0);
    EXPECT_EQ(ReadFile(dir.File("b.bak")), "data");
    EXPECT_EQ(std::filesystem::last_write_time(dir.File("b.bak")), when);
    EXPECT_EQ(CopyError(dir.File("a.bak"), target.File("")), 0);
    EXPECT_EQ(ReadFile(target.File("a.bak")), "data");
    EXPECT_EQ(CopyError(dir.File("none.bak"), target.File("")), 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target.Path()), {}), 1);

    WriteFile(dir.File("new.bak"), std::string(256 * 1024, 'n'));
#ifdef _WIN32
    // The source held by another process with no sharing: the copy fails after it has begun.
    const HANDLE held = CreateFileA(dir.File("new.bak").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CopyError(dir.File("new.bak"), dir.File("b.bak")), ERROR_SHARING_VIOLATION);
    CloseHandle(held);
#else
    // A file size limit below the source's size: the write fails half way, as on a full disk.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::int32_t error = CopyError(dir.File("new.bak"), dir.File("b.bak"));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(error, 0);
#endif
    EXPECT_EQ(ReadFile(dir.File("b.bak")), "data");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3); // a.bak, b.bak, new.bak
}

} // namespace
