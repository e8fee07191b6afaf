// Parts of a test run by a user who is not root. Where the suite runs as root
// (as in CI), a forked child drops to the account "nobody" (its own group, no
// others), runs the code there and hands back the text it made; elsewhere the
// tests that need it skip.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace testing_support {

struct Account {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
};

// "nobody", or nothing with the reason in whyNot.
std::optional<Account> UnprivilegedAccount(std::string& whyNot);

// Runs body in a child process as the account, under the umask given, and
// returns the text body returned; "child failed: ..." when the child could not
// change its user or ended otherwise. The environment changes body makes stay
// in the child.
std::string RunAs(const Account& account, mode_t umask, const std::function<std::string()>& body);

// Makes the account owner of the path and of everything below it.
void GiveTo(const Account& account, const std::string& path);

// A datagram socket bound at path (mode 0666, so any user may send), as a
// syslog daemon listens; closed and removed when the object goes.
class SyslogSocket {
public:
    explicit SyslogSocket(std::string path);
    ~SyslogSocket();
    SyslogSocket(const SyslogSocket&) = delete;
    SyslogSocket& operator=(const SyslogSocket&) = delete;

    const std::string& Path() const { return path_; }
    // The next message, waited for no longer than the hang guard; "" when none came.
    std::string Receive();
    // True when a message is waiting now.
    bool Pending();

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace testing_support
