// Who may write what on Linux: HKEY_CURRENT_USER is the user's own file in their config folder, the machine's
// hives are root's (and refused when someone else may change them), and events reach the system log.
#include "../RegistryCalls.h"
#include "MachineRoot.h"
#include "OwnMachine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace registry_calls;
using namespace std::string_literals;
using testing_support::ReadFile;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

// A modification time no write gives, so every process (a forked one with the hive it parsed too) reads it anew.
void MakeStale(const std::string& path)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

using UserRights = OwnMachine;

// The user's hive lies where the environment says when that is the user's own folder (else in the account's home);
// every file and folder made gets its mode whatever the umask (the machine's too, in a folder made under it).
TEST_F(UserRights, HivesTakeTheirPlacesAndModes)
{
    const std::string r = root.Path();
    const std::string accountHive = ::getpwuid(::geteuid())->pw_dir + "/.config/brenlix/HKCU.reg"s;
    const std::string me = std::to_string(::geteuid()) + " "; // the owner of everything made
    // created: the outermost folder made ("" for the account's, not written); others: given to another user (root only)
    const struct { std::optional<std::string> xdg; std::string home, hive, created, others; mode_t umask; } rows[] = {
        {r + "/x1/config", r + "/h1", r + "/x1/config/brenlix/HKCU.reg", r + "/x1", "", 0},
        {std::nullopt, r + "/h5", r + "/h5/.config/brenlix/HKCU.reg", r + "/h5", "", 077},
        {std::nullopt, r + "/h7/sub", accountHive, "", r + "/h7", 0},
        {"relative/config", "relative/home", accountHive, "", "", 0}, // neither is a path to go by
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hive + " " + row.others);
        if (!row.others.empty() && !other)
            continue;
        if (!row.others.empty() && std::filesystem::create_directory(row.others))
            testing_support::GiveTo(*other, row.others);
        const mode_t previous = ::umask(row.umask);
        const TempDir machineFolder;
        const std::string m = machineFolder.Path() + "/m";
        const std::string h = m + "/registry/";
        const ScopedEnvironment xdg("XDG_CONFIG_HOME", row.xdg ? row.xdg->c_str() : nullptr);
        const ScopedEnvironment home("HOME", row.home.c_str());
        const ScopedEnvironment here("BRENLIX_ROOT", m.c_str());
        EXPECT_EQ(platform::posix::UserConfigFolder() + "/HKCU.reg", row.hive);
        if (!row.created.empty()) {
            for (const HKEY parent : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
                EXPECT_EQ(CreateAndClose(parent, "Software\\Probe"), ERROR_SUCCESS);
            for (std::string made = row.hive; (made = made.substr(0, made.rfind('/'))).size() >= row.created.size();)
                EXPECT_EQ(OwnerAndMode(made), me + "40700") << made;
            EXPECT_EQ((std::vector<std::string>{OwnerAndMode(row.hive), OwnerAndMode(m), OwnerAndMode(h),
                                                OwnerAndMode(h + "HKLM.reg"), OwnerAndMode(h + "HKCU.reg")}),
                      (std::vector<std::string>{me + "100600", me + "40755", me + "40755", me + "100644", "missing"}));
        }
        ::umask(previous);
    }
}

// The machine's hive is not used once anyone but root (or the caller) could have changed it: ERROR_ACCESS_DENIED.
TEST_F(UserRights, MachineHiveOthersMayChangeIsRefused)
{
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    ASSERT_EQ(CreateAndClose(HKEY_LOCAL_MACHINE, "Software\\Probe"), ERROR_SUCCESS);
    const std::string folder = root.Path() + "/registry";
    const std::string hive = folder + "/HKLM.reg";
    const std::string text = ReadFile(hive);
    // otherOwner: the hive given to another user (root only); missing: no hive, whose read is refused too, for only
    // where no one else could put one is it new
    const struct {
        std::string path;
        mode_t mode;
        bool otherOwner, missing;
    } rows[] = {
        {hive, 0664, false, false},        {hive, 0644, true, false},
        {folder, 0777, false, true},       {folder, 01777, false, false}, // sticky is no excuse in the machine's folder
        {root.Path(), 0757, false, false}, {root.Path(), 01777, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path + " " + std::to_string(row.mode) + " " + std::to_string(row.otherOwner));
        if (row.otherOwner && !other)
            continue;
        std::filesystem::remove(hive); // written anew as someone else could have, so no process holds it parsed
        if (!row.missing) {
            testing_support::WriteFile(hive, text);
            ASSERT_EQ(::chmod(hive.c_str(), 0644), 0);
            if (row.otherOwner)
                testing_support::GiveTo(*other, hive);
        }
        ASSERT_EQ(::chmod(row.path.c_str(), row.mode), 0);
        EXPECT_EQ(OpenAndClose(HKEY_LOCAL_MACHINE, "Software\\Probe"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(CreateAndClose(HKEY_LOCAL_MACHINE, "Software\\Other"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(CreateAndClose(HKEY_CURRENT_USER, "Software\\Other"), ERROR_SUCCESS); // the user's own
        ASSERT_EQ(::chmod(row.path.c_str(), row.path == hive ? 0644 : 0755), 0);
    }
}

class SystemLog : public UserRights {
protected:
    testing_support::SyslogSocket log{root.File("log")};
    ScopedEnvironment sink{"BRENLIX_EVENTLOG", ("syslog:" + log.Path()).c_str()};
    testing_support::ManualClock clock{testing_support::At(2024, 3, 5, 7, 8, 9)};
    platform::ScopedClock useClock{clock};
};

// Each event is one message: its priority, the clock's time, the source as a program name, the process id.
TEST_F(SystemLog, EachEventIsOneMessage)
{
    const std::string pid = "[" + std::to_string(::getpid()) + "]: ";
    const struct {
        const char* source;
        WORD type, category;
        DWORD id;
        std::vector<const char*> strings;
        int priority;
        std::string data, name, message;
    } rows[] = {
        {"Probe", EVENTLOG_ERROR_TYPE, 3, 1001, {"disk \"D:\" is\\full\r\n\tnow"}, 11, "", "Probe",
         "event=1001 category=3 \"disk \\\"D:\\\" is\\\\full\\x0D\\x0A\\x09now\""},
        {"Probe", EVENTLOG_INFORMATION_TYPE, 1, 2, {"a", ""}, 14, "AB\x01\xff", "Probe",
         "event=2 category=1 \"a\" \"\" data=414201FF"},
        {"", EVENTLOG_AUDIT_FAILURE, 65535, 0xffffffff, {}, 13, "", program_invocation_short_name,
         "event=4294967295 category=65535"},
        {"Nightly export[2]:x", EVENTLOG_WARNING_TYPE, 2, 7, {"nobody"}, 12, "", "Nightly_export_2__x",
         "event=7 category=2 \"nobody\""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Report(row.source, row.type, row.category, row.id, row.strings, row.data), "1 0");
        const std::string head = "<" + std::to_string(row.priority) + ">Mar  5 07:08:09 " + row.name + pid;
        EXPECT_EQ(log.Receive(), head + row.message);
    }
    EXPECT_FALSE(log.Pending());
}

// A daemon that has stopped reading: once its queue is full an event is given up with RPC_S_SERVER_TOO_BUSY after
// the send limit, where a blocking send would hold the caller for ever.
TEST_F(SystemLog, AFullQueueFailsTheEventInsteadOfHanging)
{
    const HANDLE source = RegisterEventSourceA(nullptr, "Probe");
    ASSERT_NE(source, nullptr);
    LPCSTR strings[] = {"queued"};
    const auto report = [&] {
        SetLastError(0xdeadbeef);
        const BOOL done = ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        return done ? DWORD{0} : GetLastError();
    };
    std::size_t queued = 0;
    DWORD error = 0;
    while (queued < 100000 && (error = report()) == 0) {
        ++queued;
    }
    EXPECT_EQ(error, DWORD{RPC_S_SERVER_TOO_BUSY}) << "after " << queued << " events";
    EXPECT_GT(queued, 0u);
    // What was queued arrives whole, and once the daemon reads again the next event goes through.
    EXPECT_NE(log.Receive().find("]: event=1 category=0 \"queued\""), std::string::npos);
    EXPECT_EQ(report(), DWORD{0});
    EXPECT_TRUE(DeregisterEventSource(source));
}

// BRENLIX_EVENTLOG names the sink; a value it does not know loses no event silently.
TEST_F(SystemLog, SinkIsChosenByTheSetting)
{
    const struct { std::string setting, expected; } rows[] = {
        {"file", "1 0"},
        {"syslog:" + root.File("nobody-listens"), "0 " + std::to_string(RPC_S_SERVER_UNAVAILABLE)},
        {"syslog:", "0 " + std::to_string(ERROR_BAD_ENVIRONMENT)},
        {"File", "0 " + std::to_string(ERROR_BAD_ENVIRONMENT)},
    };
    for (const auto& row : rows) {
        const ScopedEnvironment setting("BRENLIX_EVENTLOG", row.setting.c_str());
        EXPECT_EQ(Report("Probe", EVENTLOG_INFORMATION_TYPE, 0, 1, {"x"}), row.expected) << row.setting;
    }
    EXPECT_EQ(EventLines(OwnEventFile()).size(), 1u);
    EXPECT_FALSE(log.Pending());
}

// Windows' bounds for an event hold in every sink, checked before one is chosen (an unknown one would fail with
// ERROR_BAD_ENVIRONMENT): each insertion string at most 31,839 characters (UTF-16 units of UTF-8, bytes of a
// single-byte code page), the data at most 0xF000 bytes, the whole event as the log keeps it at most 65,024 bytes;
// beyond that RPC_S_INVALID_BOUND. What is in bounds arrives whole.
TEST_F(SystemLog, SizeLimitsHoldInEverySink)
{
    const auto times = [](std::size_t count, const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out += text;
        return out;
    };
    const std::string bound = "0 " + std::to_string(RPC_S_INVALID_BOUND);
    const struct { std::vector<std::string> strings; std::size_t data; bool western; std::string expected; } rows[] = {
        {{times(31839, "x")}, 0, false, "1 0"},
        {{times(31840, "x")}, 0, false, bound},
        {{"", times(31840, "x")}, 0, false, bound},
        {{times(31839, "\xC3\xA9")}, 0, false, "1 0"}, // é, two bytes each
        {{times(31840, "\xC3\xA9")}, 0, false, bound},
        {{times(31840, "\x80")}, 0, false, bound}, // bytes that start no character count one each
        {{times(31839, "\xE9")}, 0, true, "1 0"},
        {{times(16000, "\xC3\xA9")}, 0, true, bound}, // two characters each in that code page
        {{times(15919, "\xF0\x9F\x98\x80")}, 0, false, "1 0"}, // beyond U+FFFF, two UTF-16 units each
        {{times(15920, "\xF0\x9F\x98\x80")}, 0, false, bound},
        {{}, 0xF000, false, "1 0"},
        {{}, 0xF001, false, bound},
        {{times(31839, "x")}, 1332, false, "1 0"}, // the whole event, "Probe" with it, fills its 65,024 bytes
        {{times(31839, "x")}, 1333, false, bound},
        {{times(20000, "x"), times(20000, "x")}, 0, false, bound},
    };
    const std::string sinks[] = {"file", "syslog:" + log.Path(), "bogus"};
    for (const std::string& each : sinks) {
        const ScopedEnvironment setting("BRENLIX_EVENTLOG", each.c_str());
        for (const auto& row : rows) {
            const std::string data(row.data, '\xA5');
            SCOPED_TRACE("sink \"" + each + "\", row " + std::to_string(&row - rows + 1));
            if (row.expected == "1 0" && each == "bogus")
                continue; // a sink it does not know takes nothing
            std::optional<testing_support::WesternCodePage> codePage;
            if (row.western && !codePage.emplace().Active())
                continue; // no ISO-8859-1 locale on this machine
            std::vector<const char*> strings;
            for (const std::string& text : row.strings)
                strings.push_back(text.c_str());
            const std::string got = Report("Probe", EVENTLOG_INFORMATION_TYPE, 0, 1, strings, data);
            EXPECT_EQ(got, row.expected);
            if (got == "1 0" && each == "file") {
                const std::vector<std::string> lines = EventLines(OwnEventFile());
                const auto event = platform::posix::ParseEventLine(lines.empty() ? "" : lines.back());
                ASSERT_TRUE(event.has_value());
                EXPECT_TRUE(event->strings == row.strings && event->data == data);
            } else if (got == "1 0") {
                const std::string message = log.Receive();
                const std::string tail =
                    data.empty() ? " \"" + row.strings.back() + "\"" : " data=" + times(data.size(), "A5");
                EXPECT_EQ(message.substr(message.size() - std::min(message.size(), tail.size())), tail);
            }
        }
    }
    EXPECT_FALSE(log.Pending());
    char text[64] = {}; // what the library reports for it
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, RPC_S_INVALID_BOUND, 0, text,
                   sizeof text, nullptr);
    EXPECT_STREQ(text, "The array bounds are invalid.\r\n");
}

// An event in bounds that makes a larger message than the system log's socket takes (the sender's buffer,
// net.core.wmem_default) fails as Windows fails an event over its bounds.
TEST_F(SystemLog, AMessageTooLargeForTheLogIsOutOfBounds)
{
    const std::size_t buffer = std::stoul(ReadFile("/proc/sys/net/core/wmem_default"));
    const std::vector<std::string> texts(buffer / 31839 + 1, std::string(31839, 'x'));
    const std::vector<const char*> strings(texts.size(), texts[0].c_str());
    EXPECT_EQ(Report("Probe", EVENTLOG_INFORMATION_TYPE, 0, 1, strings), "0 " + std::to_string(RPC_S_INVALID_BOUND));
    EXPECT_FALSE(log.Pending());
}

// A user who is not root writes their own HKEY_CURRENT_USER, reads the machine's hive but may not change it (their
// events go to a file of their own: EventLogFile.EachAccountWritesItsOwnFile). Both hives are read from their files,
// not as the forked child inherited them.
TEST_F(UserRights, UserWhoIsNotRoot)
{
    if (!other)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Probe");
    ASSERT_EQ(Set(key, "Machine", REG_SZ, "root's\0"s), ERROR_SUCCESS);
    RegCloseKey(key);
    MakeStale(root.Path() + "/registry/HKLM.reg");
    const std::string home = root.File("home");
    const std::string hive = home + "/config/brenlix/HKCU.reg";
    ASSERT_TRUE(std::filesystem::create_directory(home));
    testing_support::GiveTo(*other, home);
    const ScopedEnvironment userConfig("XDG_CONFIG_HOME", (home + "/config").c_str());

    const std::string got = testing_support::RunAs(*other, 0, [&hive] {
        HKEY user = Create(HKEY_CURRENT_USER, "Software\\Probe");
        HKEY machineKey = nullptr;
        const LSTATUS statuses[] = {
            Set(user, "Name", REG_SZ, "mine\0"s),
            RegCloseKey(user),
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", 0, KEY_READ, &machineKey),
            CreateAndClose(HKEY_LOCAL_MACHINE, "Software\\Mine"),
        };
        std::string out;
        for (const LSTATUS status : statuses)
            out += std::to_string(status) + " ";
        out += Get(machineKey, "Machine").second;
        MakeStale(hive);
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Probe", 0, KEY_READ, &user);
        out += " " + Get(user, "Name").second;
        RegCloseKey(user);
        RegCloseKey(machineKey);
        return out;
    });
    const std::string denied = std::to_string(ERROR_ACCESS_DENIED) + " ";
    EXPECT_EQ(got, "0 0 0 " + denied + "root's\0"s + " " + "mine\0"s);
    EXPECT_EQ(OwnerAndMode(hive), std::to_string(other->uid) + " 100600");
}

} // namespace
