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
    for (const DWORD code : {0u, 2u, 3u, 5u, 32u, 87u, 123u}) {
        SCOPED_TRACE(code);
        const std::string raw = RawText(code);
        ASSERT_GE(raw.size(), 2u);
        ASSERT_EQ(raw.substr(raw.size() - 2), "\r\n");
        const std::string text = brenlix::SystemErrorText(static_cast<std::int32_t>(code));
        EXPECT_EQ(text, raw.substr(0, raw.size() - 2));
        EXPECT_EQ(text.find('\0'), std::string::npos);
        EXPECT_LT(text.size(), 256u);
    }
}

TEST(SystemErrorText, UnknownCodeGivesEmptyText)
{
    for (const std::int32_t code : {0x20001234, -1, 99999}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(brenlix::SystemErrorText(code), "");
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
        {32, "The process cannot access the file because it is being used by another process."},
        {193, "%1 is not a valid Win32 application."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(brenlix::SystemErrorText(row.code), row.text);
    }
}

} // namespace
