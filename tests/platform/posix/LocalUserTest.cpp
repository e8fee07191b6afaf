// What a local user who is not root can do to root's calls: hold no lock that makes them wait, plant no link or file
// that they write through, and no special file that they wait on. The attacks run as "nobody" where the suite runs
// as root; the checks that need no other account run everywhere.
#include "../RegistryCalls.h"
#include "MachineRoot.h"
#include "StateFile.h"
#include "OwnMachine.h"

#include <platform/Files.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace registry_calls;
using testing_support::ReadFile;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;

// A value read from the file (WIN.INI for none) and the last error: a file that cannot be read is reported as not
// found (2), as Windows documents.
std::string Profile(const char* file, const char* key)
{
    char text[64] = {};
    SetLastError(0);
    if (file == nullptr)
        GetProfileStringA("Jobs", key, "default", text, sizeof text);
    else
        GetPrivateProfileStringA("Jobs", key, "default", text, sizeof text, file);
    return std::string(text) + " " + std::to_string(GetLastError());
}

class LocalUser : public OwnMachine {
protected:
    LocalUser()
    {
        ::chmod(root.Path().c_str(), 0755); // nobody may look in, as in /var/lib
        ::chmod(elsewhere.Path().c_str(), 0755);
        testing_support::WriteFile(victim, "[Jobs]\nRoot=secret\n");
        ::chmod(victim.c_str(), 0600);
        before = Snapshot(victim);
        platform::posix::SetLockWaitForTesting(200);
    }
    ~LocalUser() override { platform::posix::SetLockWaitForTesting(0); }

    // root's calls on each kind of state, each a change: "ok", or what failed.
    std::string RootsCalls(const std::string& ini)
    {
        const std::string count = std::to_string(++calls_);
        std::string failed;
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Probe", 0, nullptr, 0, KEY_ALL_ACCESS,
                                         nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            status = Set(key, "Calls", REG_SZ, count + '\0');
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS)
            failed += "registry " + std::to_string(status) + " ";
        if (!WriteProfileStringA("Jobs", "Root", count.c_str()))
            failed += "WIN.INI " + std::to_string(GetLastError()) + " ";
        if (!WritePrivateProfileStringA("Jobs", "Root", count.c_str(), ini.c_str()))
            failed += "INI file " + std::to_string(GetLastError()) + " ";
        if (!platform::MachineLock("EventSources").Held())
            failed += "machine lock ";
        return failed.empty() ? "ok" : failed;
    }

    int calls_ = 0;
    const TempDir elsewhere; // outside the machine's folder: root's own file there, which no call may write through
    const std::string victim = elsewhere.File("victim");
    std::string before;
};

// Every lock nobody can take (the folders, the hive, WIN.INI, an INI file nobody may only read) leaves root's calls
// free: the locks that count are files beside what they guard that only their writers can open.
TEST_F(LocalUser, HoldsNoLockThatMakesRootWait)
{
    if (!other)
        GTEST_SKIP() << whyNot;
    const std::string r = root.Path();
    const std::string ini = r + "/jobs/Dunmarrow.ini";
    ASSERT_TRUE(std::filesystem::create_directory(r + "/jobs"));
    ::chmod((r + "/jobs").c_str(), 0755);
    ASSERT_EQ(RootsCalls(ini), "ok"); // everything made once, so every file is there to be locked
    const testing_support::LocksHeldAs held(
        *other, {r, r + "/registry", r + "/registry/HKLM.reg", r + "/registry/.HKLM.reg.lock", r + "/windows",
                  r + "/windows/WIN.INI", r + "/windows/.WIN.INI.lock", r + "/locks", r + "/locks/EventSources.lock",
                  r + "/jobs", ini, r + "/jobs/.Dunmarrow.ini.lock"});
    EXPECT_EQ(held.Held(), (std::vector<std::string>{r, r + "/registry", r + "/registry/HKLM.reg", r + "/windows",
                                                     r + "/windows/WIN.INI", r + "/locks", r + "/jobs", ini}));
    EXPECT_EQ(RootsCalls(ini), "ok");
}

// A writer that holds a lock for good (a process that hangs) is waited for up to the bound, then the call fails
// with ERROR_SHARING_VIOLATION.
TEST_F(LocalUser, AHangingWriterIsWaitedForWithinABound)
{
    const std::string ini = root.File("jobs.ini");
    ASSERT_EQ(RootsCalls(ini), "ok");
    const std::string r = root.Path();
    const struct { std::string locked, failed; } rows[] = {
        {r + "/registry/.HKLM.reg.lock", "registry 32 "},
        {r + "/windows/.WIN.INI.lock", "WIN.INI 32 "},
        {root.File(".jobs.ini.lock"), "INI file 32 "},
        {r + "/locks/EventSources.lock", "machine lock "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.locked);
        const int fd = ::open(row.locked.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        EXPECT_EQ(RootsCalls(ini), row.failed);
        ::close(fd);
    }
    EXPECT_EQ(RootsCalls(ini), "ok");
}

// A link in the machine's folders is not followed, whoever made it: the call fails, the file it leads to stays as
// it was (bytes and mode), and none is made where a link leads nowhere; a link in a lock file's place is taken away
// and the lock file made anew. A FIFO named as an INI file is refused at once, not waited on: a write with
// ERROR_ACCESS_DENIED.
TEST_F(LocalUser, LinksAndSpecialFilesAreRefused)
{
    for (const char* folder : {"windows", "locks", "registry"})
        ASSERT_TRUE(std::filesystem::create_directories(root.File(folder)));
    std::filesystem::create_symlink(victim, root.File("windows/WIN.INI"));
    std::filesystem::create_symlink(victim, root.File("registry/HKLM.reg"));
    std::filesystem::create_symlink(elsewhere.File("made"), root.File("locks/EventSources.lock"));
    EXPECT_EQ(RootsCalls(elsewhere.File("own.ini")), "registry 5 WIN.INI 5 ");
    EXPECT_EQ(Profile(nullptr, "Root"), "default 2");
    EXPECT_EQ(Snapshot(victim), before);
    EXPECT_FALSE(testing_support::FileExists(elsewhere.File("made")));
    EXPECT_EQ(Snapshot(root.File("locks/EventSources.lock")), std::to_string(::geteuid()) + " 100600 ");

    const std::string fifo = elsewhere.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::thread guard([fifo] { // a read that waits for a writer is let go after the hang guard, and then fails
        std::this_thread::sleep_for(std::chrono::milliseconds(testing_support::kHangGuardMs));
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    });
    guard.detach();
    EXPECT_EQ(Profile(fifo.c_str(), "Root"), "default 2");
    EXPECT_FALSE(WritePrivateProfileStringA("Jobs", "Root", "no", fifo.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// A machine folder that nobody may write (sticky or not, however its path is spelled), or that is reached through
// nobody's link, is not used, for reading or events either: what nobody planted there is not written through, nor
// nobody's link to an INI file in a shared folder, and root's own file outside stays as it was.
TEST_F(LocalUser, MachineFolderOthersMayWriteIsRefused)
{
    if (!other)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(::chmod(root.Path().c_str(), 01777), 0);
    const std::string ini = elsewhere.File("own.ini");
    {
        const ScopedEnvironment spelled("BRENLIX_ROOT", (root.Path() + "/.//").c_str());
        EXPECT_EQ(RootsCalls(ini), "registry 5 WIN.INI 5 machine lock ");
    }
    const std::string shared = elsewhere.File("shared"); // as /tmp
    ASSERT_TRUE(std::filesystem::create_directory(shared));
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string planted = testing_support::RunAs(*other, 022, [&] {
        std::string made;
        for (const char* folder : {"windows", "locks", "registry"})
            made += std::to_string(::mkdir(root.File(folder).c_str(), 0755));
        testing_support::WriteFile(root.File("windows/WIN.INI"), "[Jobs]\nRoot=nobody's\n");
        for (const char* link : {"locks/EventSources.lock", "registry/HKLM.reg"})
            made += std::to_string(::symlink(victim.c_str(), root.File(link).c_str()));
        return made + std::to_string(::symlink(victim.c_str(), (shared + "/job.ini").c_str()));
    });
    ASSERT_EQ(planted, "000000");
    EXPECT_EQ(RootsCalls(ini), "registry 5 WIN.INI 5 machine lock ");
    EXPECT_EQ(Profile(nullptr, "Root"), "default 2"); // nor read
    // An INI file in a shared folder: nobody's link there leads nowhere for root, and nobody's lock file beside
    // another, held, is not root's lock.
    EXPECT_FALSE(WritePrivateProfileStringA("Jobs", "Root", "no", (shared + "/job.ini").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    const std::string lockFile = shared + "/.own.ini.lock";
    ASSERT_EQ(testing_support::RunAs(*other, 0, [&] { return std::to_string(::close(::creat(lockFile.c_str(), 0644))); }),
              "0");
    {
        const testing_support::LocksHeldAs held(*other, {lockFile});
        ASSERT_EQ(held.Held(), std::vector<std::string>{lockFile});
        EXPECT_TRUE(WritePrivateProfileStringA("Jobs", "Root", "yes", (shared + "/own.ini").c_str()));
    }
    EXPECT_EQ(Snapshot(victim), before);
    const ScopedEnvironment sink("BRENLIX_EVENTLOG", "file");
    EXPECT_EQ(Report("Probe", EVENTLOG_INFORMATION_TYPE, 0, 1, {"root's"}), "0 " + std::to_string(ERROR_ACCESS_DENIED));

    // The same machine folder, mode 0755 again, reached through a link that nobody owns.
    ASSERT_EQ(::chmod(root.Path().c_str(), 0755), 0);
    for (const char* folder : {"windows", "locks", "registry"})
        std::filesystem::remove_all(root.File(folder));
    const std::string link = elsewhere.File("machine");
    std::filesystem::create_directory_symlink(root.Path(), link);
    ASSERT_EQ(::lchown(link.c_str(), other->uid, other->gid), 0);
    const ScopedEnvironment throughLink("BRENLIX_ROOT", link.c_str());
    EXPECT_EQ(RootsCalls(ini), "registry 5 WIN.INI 5 machine lock ");
    EXPECT_EQ(platform::posix::MachinePathOpenToOthers(link + "/registry/HKLM.reg"), link);
}

} // namespace
