#include <brenlix/modCommon.h>
#include <platform/Win32.h>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// The system's text without its last line break; "" where the system has none or it does not fit
// 256 bytes. On Linux the texts are Windows' English ones (Wine words its own).
TEST(SystemErrorText, TheSystemsTextWithoutTheLastLineBreak)
{
    for (const std::int32_t code : {0, 2, 5, 34, 87, 1015, 1290, 1722, 99999, 35, -1}) {
        char buffer[256];
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            DWORD(code), 0, buffer, sizeof buffer, nullptr);
        const std::string raw(buffer, length);
        ASSERT_TRUE(raw.empty() || raw.ends_with("\r\n")) << code;
        EXPECT_EQ(brenlix::SystemErrorText(code), raw.substr(0, raw.empty() ? 0 : raw.size() - 2)) << code;
    }
    for (const auto& [code, size, error] : {std::tuple{99999u, 256u, ERROR_MR_MID_NOT_FOUND},
                                            {35u, 256u, ERROR_MR_MID_NOT_FOUND}, {5u, 5u, ERROR_INSUFFICIENT_BUFFER}}) {
        char buffer[256];
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                 size, nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), DWORD(error)) << code;
    }
    if (brenlix::SystemErrorText(5) != "Access is denied.") {
        GTEST_SKIP() << "this system words its texts differently: " << brenlix::SystemErrorText(5);
    }
    const std::pair<std::int32_t, const char*> rows[] = {
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1."},
        {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
               "or the system's memory image of the file is corrupted, or the file could not be recovered because "
               "the alternate copy or log was absent or corrupted."}, // 250 bytes with CR LF and NUL: still fits
        {1290, ""},                                                     // 380 bytes: does not fit
        {1722, "The RPC server is unavailable."},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(brenlix::SystemErrorText(code), text) << code;
    }
}

} // namespace
