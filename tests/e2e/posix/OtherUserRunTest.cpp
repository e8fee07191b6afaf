// A run by a user who is not root, from a folder of their own: the log is theirs, the machine's registry is only read,
// and the reasons reach the system log.
#include <platform/Files.h>
#include <platform/Text.h>

#include "sql/Kerberos.h"

#include "TestSupport.h"
#include "posix/OtherUser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace {

using namespace testing_support;

// A user who is not root, and root's ticket cache in a folder they may enter, which they may not read.
class OtherUserRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string whyNot;
        other = UnprivilegedAccount(whyNot);
        if (!other) {
            GTEST_SKIP() << whyNot;
        }
        ASSERT_EQ(::chmod(machine.Path().c_str(), 0755), 0);
        WriteFile(cache, "root's tickets");
        ASSERT_EQ(::chmod(cache.c_str(), 0600), 0);
    }

    std::optional<Account> other;
    TempDir machine;
    const std::string cache = machine.File("ccache");
    const std::string unreadable =
        "the Kerberos ticket cache " + cache + " cannot be read by this user: Permission denied";
};

// The log is theirs (its lines are the no-ticket run's of EndpointRunTest); root's ticket cache is reported, not
// handed to the GSSAPI (which may crash on it), also when KRB5CCNAME names it as a bare path.
TEST_F(OtherUserRun, RunsFromItsOwnFolderAndReportsToTheSystemLog)
{
    SyslogSocket log(machine.File("log"));
    const std::string folder = machine.File("run");
    std::filesystem::create_directory(folder);
    for (const char* name : {DUNMARROW_PROGRAM_NAME, DUNMARROW_LIBRARY_NAME}) {
        std::filesystem::copy_file(platform::ProgramFolder() + "/" + name, folder + "/" + name);
    }
    WriteFile(folder + "/Dunmarrow.ini",
              platform::ToAnsi("[Backups]\r\nLøn\r\n[Løn]\r\nServer=127.0.0.1,1\r\nDatabase=Løn\r\nEventLog=1\r\n"));
    GiveTo(*other, folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    const ScopedEnvironment root("BRENLIX_ROOT", machine.Path().c_str());
    const ScopedEnvironment config("XDG_CONFIG_HOME", (folder + "/config").c_str());
    const ScopedEnvironment sink("BRENLIX_EVENTLOG", ("syslog:" + log.Path()).c_str());
    const ScopedEnvironment tickets("KRB5CCNAME", ("FILE:" + cache).c_str());

    EXPECT_EQ(
        RunAs(*other, 022,
              [&] { return std::to_string(ChildProcess("\"" + folder + "/" + DUNMARROW_PROGRAM_NAME + "\"").Wait()); }),
        "1");
    struct stat st {};
    ASSERT_EQ(::stat((folder + "/Dunmarrow.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other->uid);

    // The syslog priority (user facility: 12 a warning, 11 an error), then the event's text with the reason.
    const struct { std::string priority, text; } events[] = {
        {"<12>", "]: event=1 category=0 \"no connection to server \\\"127.0.0.1,1\\\": "},
        {"<11>", platform::ToAnsi("]: event=3 category=0 \"the job \\\"Løn\\\" failed: ")},
    };
    for (const auto& event : events) {
        const std::string message = log.Receive();
        EXPECT_EQ(message.rfind(event.priority, 0), 0u) << message;
        EXPECT_NE(message.find(event.text), std::string::npos) << message;
        EXPECT_NE(message.find(unreadable), std::string::npos) << message;
    }
    EXPECT_FALSE(log.Pending());
    EXPECT_FALSE(std::filesystem::exists(machine.Path() + "/registry")); // the source could not be registered
    const ScopedEnvironment barePath("KRB5CCNAME", cache.c_str());
    EXPECT_EQ(RunAs(*other, 022, [] { return dunmarrow::sql::MissingKerberosTicket(); }), unreadable);
}

} // namespace
