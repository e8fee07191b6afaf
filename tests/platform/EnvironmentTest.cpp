#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using testing_support::ScopedEnvironment;

TEST(EnvironmentExpansion, Table)
{
    const ScopedEnvironment set("KvX", "xx"), empty("KvEmpty", ""), missing("KvNope", nullptr);
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
