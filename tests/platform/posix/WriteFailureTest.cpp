// What the substitutes report when a write is stopped (a full disk, a file size limit, a failing device), and the log
// line that a stopped write leaves: none.
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Win32.h>

#include "ErrnoToWin32.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

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

// A file size limit stands in for a full disk: the line that does not fit leaves nothing behind, and the next one
// that fits follows the last whole line.
TEST(WriteFailure, ALogLineIsWrittenWholeOrNotAtAll)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n"));
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{12, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool tooLong = platform::AppendToFile(path, "a line too long\r\n");
    const bool fits = platform::AppendToFile(path, "two\r\n");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(tooLong);
    EXPECT_TRUE(fits);
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
}

} // namespace
