#include <platform/DateTimeText.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using testing_support::At;

TEST(Text, Utf8AndUtf16)
{
    const struct { std::string utf8; std::u16string utf16; bool roundTrips; } rows[] = {
        {"", u"", true}, {"Lønkørsel på", u"Lønkørsel på", true}, {"日本", u"日本", true},
        {"\xF0\x9F\x98\x80", u"\U0001F600", true}, // a surrogate pair
        {"a\xFF" "b", u"a\uFFFDb", false}, {"\xC3", u"\uFFFD", false}, {"\xC0\xAF", u"\uFFFD\uFFFD", false},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false}, // a surrogate written as UTF-8
    };
    for (const auto& row : rows) {
        EXPECT_EQ(platform::Utf8ToUtf16(row.utf8), row.utf16) << row.utf8;
        EXPECT_EQ(platform::Utf16ToUtf8(row.utf16) == row.utf8, row.roundTrips) << row.utf8;
    }
    EXPECT_EQ(platform::Utf16ToUtf8(u"x\xD800"), "x\xEF\xBF\xBD"); // lone surrogate
}

// The Danish letters of the program's messages take one byte each in the Western European code page.
TEST(Text, AnsiCodePage)
{
    const testing_support::WesternCodePage western;
    if (!western.Active())
        GTEST_SKIP() << "no Western European code page (Linux: localedef -i da_DK -f ISO-8859-1 da_DK.ISO-8859-1)";
    EXPECT_EQ(platform::ToAnsi("æøåÆØÅ 日本"), "\xE6\xF8\xE5\xC6\xD8\xC5 ??"); // "?" for what the code page lacks
    EXPECT_EQ(platform::FromAnsi("F\xE6rdig p\xE5"), "Færdig på");
}

// Short date and long time; midnight shows the date alone; milliseconds play no part. Linux's C locale writes
// ISO dates; Windows writes the user's formats, as its own date and time calls give them.
TEST(GeneralDateTimeText, ShortDateAndLongTime)
{
    for (const platform::LocalDateTime& when :
         {At(2026, 12, 6, 19, 5, 9), At(2026, 1, 31, 0, 0, 1), At(1999, 12, 31, 23, 59, 59), At(2026, 7, 4, 0, 1, 0),
          At(2026, 12, 7, 0, 0, 0, 999)})
        EXPECT_EQ(platform::GeneralDateTimeText(when), testing_support::ExpectedStamp(when));
}

// A code without a text, and a text that does not fit whole, give nothing.
TEST(FormatMessageFailures, AsWindowsGivesThem)
{
    const struct { DWORD code, size, error; } rows[] = {
        {99999, 256, ERROR_MR_MID_NOT_FOUND}, {35, 256, ERROR_MR_MID_NOT_FOUND}, {5, 5, ERROR_INSUFFICIENT_BUFFER}};
    for (const auto& row : rows) {
        char buffer[256];
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, row.code, 0,
                                 buffer, row.size, nullptr) ? 0 : GetLastError(), row.error) << row.code;
    }
}

TEST(EnvironmentExpansion, Table)
{
    const testing_support::ScopedEnvironment set("KvX", "xx"), empty("KvEmpty", ""), missing("KvNope", nullptr);
    const struct { const char* text; const char* expanded; } rows[] = {
        {"%KvX%", "xx"}, {"%kvx%|%KVX%", "xx|xx"}, {"%KvNope%", "%KvNope%"}, {"%KvNope%KvX%", "%KvNope%KvX%"},
        {"%KvNope%%KvX%", "%KvNope%xx"}, {"%%KvX%", "%%KvX%"}, {"%%%", "%%%"}, {"100%", "100%"}, {"%KvX", "%KvX"},
        {"%KvEmpty%|", "|"}, {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto needed = static_cast<DWORD>(std::strlen(row.expanded) + 1); // the NUL counted
        EXPECT_EQ(ExpandEnvironmentStringsA(row.text, nullptr, 0), needed);
        char buffer[64];
        std::memset(buffer, 0xbd, sizeof buffer);
        EXPECT_EQ(ExpandEnvironmentStringsA(row.text, buffer, needed - 1), needed); // too small: nothing past it
        EXPECT_EQ(buffer[needed - 1], '\xbd');
        EXPECT_EQ(ExpandEnvironmentStringsA(row.text, buffer, sizeof buffer), needed);
        EXPECT_STREQ(buffer, row.expanded);
        EXPECT_EQ(buffer[needed], '\xbd');
    }
}

} // namespace
