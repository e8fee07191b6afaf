// A ticket cache the user may not read is reported before the GSSAPI is asked (it may crash on one), whether
// KRB5CCNAME names it as "FILE:path" or as a bare path; a cache of another type is the GSSAPI's to judge.
#include "sql/Kerberos.h"

#include "TestSupport.h"
#include "posix/OtherUser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace testing_support;

TEST(KerberosTicket, UnreadableCacheIsReportedInEveryFileSpelling)
{
    std::string whyNot;
    const auto other = UnprivilegedAccount(whyNot);
    if (!other) {
        GTEST_SKIP() << whyNot;
    }
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string cache = dir.File("ccache");
    WriteFile(cache, "root's tickets");
    ASSERT_EQ(::chmod(cache.c_str(), 0600), 0);
    const std::string unreadable =
        "the Kerberos ticket cache " + cache + " cannot be read by this user: Permission denied";
    const struct { std::string name; bool reported; } rows[] = {
        {"FILE:" + cache, true},
        {cache, true},
        {"MEMORY:" + cache, false},
    };
    for (const auto& row : rows) {
        const ScopedEnvironment tickets("KRB5CCNAME", row.name.c_str());
        const std::string why = RunAs(*other, 022, [] { return dunmarrow::sql::MissingKerberosTicket(); });
        EXPECT_EQ(why == unreadable, row.reported) << row.name << ": " << why;
        EXPECT_EQ(why.rfind("child failed", 0), std::string::npos) << row.name << ": " << why;
    }
}

} // namespace
