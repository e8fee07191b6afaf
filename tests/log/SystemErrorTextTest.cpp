#include <brenlix/modCommon.h>
#include <platform/Win32.h>

#include <gtest/gtest.h>

namespace {

// The system's own text without its last line break; "" where the system has none or it does not
// fit 256 bytes.
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
    if (brenlix::SystemErrorText(5) == "Access is denied.") { // Windows' English texts (Wine words its own)
        EXPECT_EQ(brenlix::SystemErrorText(2), "The system cannot find the file specified.");
        EXPECT_EQ(brenlix::SystemErrorText(34),
                  "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1.");
        EXPECT_EQ(brenlix::SystemErrorText(1015).size(), 248u); // with CR LF and NUL it still fits
        EXPECT_EQ(brenlix::SystemErrorText(1290), "");
    }
}

} // namespace
