#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using testing_support::ScopedEnvironment;

TEST(EnvironmentExpansion, Table)
{
    const ScopedEnvironment set("KvX", "xx");
    const ScopedEnvironment empty("KvEmpty", "");
    const ScopedEnvironment missing("KvNope", nullptr);
    const struct {
        const char* text;
        const char* expanded;
    } rows[] = {
        {"%KvX%", "xx"},
        {"%kvx%|%KVX%", "xx|xx"},         // names match without regard to case
        {"%KvNope%", "%KvNope%"},         // unknown names stay
        {"%KvNope%KvX%", "%KvNope%KvX%"}, // ... and so do both their percent signs
        {"%KvNope%%KvX%", "%KvNope%xx"},
        {"%%KvX%", "%%KvX%"},
        {"%%%", "%%%"},
        {"100%", "100%"},
        {"%KvX", "%KvX"},
        {"%KvEmpty%|", "|"},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto needed = static_cast<DWORD>(std::strlen(row.expanded) + 1);
        EXPECT_EQ(ExpandEnvironmentStringsA(row.text, nullptr, 0), needed);
        char buffer[64];
        std::memset(buffer, 0xbd, sizeof buffer);
        EXPECT_EQ(ExpandEnvironmentStringsA(row.text, buffer, sizeof buffer), needed);
        EXPECT_STREQ(buffer, row.expanded);
        EXPECT_EQ(buffer[needed], '\xbd');
    }
}

} // namespace
