// What the substitutes report when a write is stopped (a full disk, a file size limit, a failing device), the log
// line that a stopped write leaves (none), and a copy that is stopped.
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Windows' code for each reason, with Windows' text for it.
TEST(WriteFailure, WindowsCodesAndTexts)
{
    const struct { int error; std::uint32_t code; std::string text; } rows[] = {
        {ENOSPC, 112, "There is not enough space on the disk."},
        {EDQUOT, 112, "There is not enough space on the disk."}, // a user's exhausted quota, as Windows reports it
        {EFBIG, 223, "The file size exceeds the limit allowed and cannot be saved."},
        {EIO, 1117, "The request could not be performed because of an I/O device error."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::ErrnoToWin32(row.error, "/tmp/a.bak"), row.code) << row.error;
        EXPECT_EQ(brenlix::SystemErrorText(static_cast<std::int32_t>(row.code)), row.text) << row.code;
    }
}

// Runs write under a file size limit of bytes, which stands in for a full disk.
void UnderFileLimit(rlim_t bytes, const std::function<void()>& write)
{
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{bytes, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    write();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
}

// The line that does not fit leaves nothing behind, and the next one that fits follows the last whole line.
TEST(WriteFailure, ALogLineIsWrittenWholeOrNotAtAll)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n"));
    bool tooLong = true, fits = false;
    UnderFileLimit(12, [&] {
        tooLong = platform::AppendToFile(path, "a line too long\r\n");
        fits = platform::AppendToFile(path, "two\r\n");
    });
    EXPECT_FALSE(tooLong);
    EXPECT_TRUE(fits);
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
}

// From another file system (a tmpfs) the kernel's own copy refuses and the data goes by sendfile: the copy is whole,
// and one that the limit stops reports 223 and leaves the old copy as it was.
TEST(WriteFailure, ACopyFromAnotherFileSystem)
{
    const TempDir dir;
    const std::string source = "/dev/shm/dunmarrow-copy-" + std::to_string(::getpid()) + ".bak";
    struct stat shm {}, here {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.Path().c_str(), &here) != 0 || shm.st_dev == here.st_dev ||
        !(std::ofstream(source, std::ios::binary) << std::string(256 << 10, 'k')))
        GTEST_SKIP() << "no other file system to copy from";
    const std::string target = dir.File("Salg copy.bak");
    EXPECT_EQ(platform::CopyFileReplacing(source, target), 0u);
    EXPECT_TRUE(ReadFile(target) == std::string(256 << 10, 'k'));
    WriteFile(target, "last night's copy");
    std::uint32_t stopped = 0;
    UnderFileLimit(64 << 10, [&] { stopped = platform::CopyFileReplacing(source, target); });
    std::remove(source.c_str());
    EXPECT_EQ(stopped, 223u);
    EXPECT_EQ(ReadFile(target), "last night's copy");
}

} // namespace
