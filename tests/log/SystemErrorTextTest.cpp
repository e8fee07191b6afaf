#include <brenlix/modCommon.h>
#include <platform/Win32.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The system's own text, asked for directly.
std::string RawText(DWORD code)
{
    char buffer[256];
    std::memset(buffer, 0xbd, sizeof buffer);
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0, buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
}

TEST(SystemErrorText, TheSystemsTextWithoutTheLastLineBreak)
{
    for (const DWORD code : {0u, 2u, 3u, 5u, 32u, 34u, 87u, 123u, 1060u, 1722u}) {
        SCOPED_TRACE(code);
        const std::string raw = RawText(code);
        ASSERT_GE(raw.size(), 2u);
        ASSERT_EQ(raw.substr(raw.size() - 2), "\r\n");
        const std::string text = brenlix::SystemErrorText(static_cast<std::int32_t>(code));
        EXPECT_EQ(text, raw.substr(0, raw.size() - 2));
    }
}

TEST(SystemErrorText, UnknownCodeGivesEmptyText)
{
    for (const std::int32_t code : {0x20001234, -1, 99999, 35}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(brenlix::SystemErrorText(code), "");
    }
}

// Whatever the system's wording, the result fits the 256-byte buffer, holds no
// NUL and has lost its final line break.
TEST(SystemErrorText, FitsTheBufferWithoutNulOrFinalLineBreak)
{
    for (std::int32_t code = 0; code <= 2000; ++code) {
        const std::string text = brenlix::SystemErrorText(code);
        SCOPED_TRACE(code);
        ASSERT_LT(text.size(), 256u);
        ASSERT_EQ(text.find('\0'), std::string::npos);
        if (text.size() >= 2) {
            ASSERT_NE(text.substr(text.size() - 2), "\r\n");
        }
    }
}

TEST(SystemErrorText, FormatMessageFailsAsWindowsDoes)
{
    const struct {
        DWORD code;
        DWORD size;
        DWORD error;
    } rows[] = {
        {99999, 256, ERROR_MR_MID_NOT_FOUND},
        {35, 256, ERROR_MR_MID_NOT_FOUND},
        {5, 5, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        char buffer[256];
        std::memset(buffer, 0xbd, sizeof buffer);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, row.code, 0,
                                 buffer, row.size, nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

// Windows' English texts; Wine words its texts differently, so this runs
// against the Linux substitute only.
TEST(SystemErrorText, EnglishWindowsTexts)
{
    if (brenlix::SystemErrorText(5) != "Access is denied." && brenlix::SystemErrorText(5) != "") {
        GTEST_SKIP() << "this system words its texts differently: " << brenlix::SystemErrorText(5);
    }
    const struct {
        std::int32_t code;
        const char* text;
    } rows[] = {
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {13, "The data is invalid."},
        {32, "The process cannot access the file because it is being used by another process."},
        {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1."},
        {53, "The network path was not found."},
        {87, "The parameter is incorrect."},
        {122, "The data area passed to a system call is too small."},
        {161, "The specified path is invalid."},
        {183, "Cannot create a file when that file already exists."},
        {193, "%1 is not a valid Win32 application."},
        {234, "More data is available."},
        {259, "No more data is available."},
        {1009, "The configuration registry database is corrupt."},
        {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
               "or the system's memory image of the file is corrupted, or the file could not be recovered because "
               "the alternate copy or log was absent or corrupted."}, // 250 bytes with CR LF and NUL: still fits
        {1051, "A stop control has been sent to a service that other running services are dependent on."},
        {1052, "The requested control is not valid for this service."},
        {1056, "An instance of the service is already running."},
        {1058, "The service cannot be started, either because it is disabled or because it has no enabled devices "
               "associated with it."},
        {1060, "The specified service does not exist as an installed service."},
        {1061, "The service cannot accept control messages at this time."},
        {1062, "The service has not been started."},
        {1072, "The specified service has been marked for deletion."},
        {1073, "The specified service already exists."},
        {1075, "The dependency service does not exist or has been marked for deletion."},
        {1084, "This service cannot be started in Safe Mode"},
        {1290, ""}, // 380 bytes: does not fit the buffer
        {1500, "The event log file is corrupted."},
        {1502, "The event log file is full."},
        {1722, "The RPC server is unavailable."},
        {1753, "There are no more endpoints available from the endpoint mapper."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(brenlix::SystemErrorText(row.code), row.text);
    }
}

} // namespace
