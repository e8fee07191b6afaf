// Where the suite runs as root, a forked child drops to "nobody" (its own group only) to run part of a test.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

struct Account { std::string name; uid_t uid = 0; gid_t gid = 0; };

// "nobody", or nothing with the reason in whyNot.
std::optional<Account> UnprivilegedAccount(std::string& whyNot);

// The text body returns as the account under umask; "child failed: ..." when the child failed otherwise.
std::string RunAs(const Account& account, mode_t umask, const std::function<std::string()>& body);

void GiveTo(const Account& account, const std::string& path); // the path and all below it

// A child process as the account that opens each path it can, read-only as any user may, and holds an exclusive
// flock on it until the object goes.
class LocksHeldAs {
public:
    LocksHeldAs(const Account& account, const std::vector<std::string>& paths);
    ~LocksHeldAs();
    LocksHeldAs(const LocksHeldAs&) = delete;
    LocksHeldAs& operator=(const LocksHeldAs&) = delete;

    const std::vector<std::string>& Held() const { return held_; } // the paths it locked

private:
    pid_t child_ = -1;
    int release_ = -1;
    std::vector<std::string> held_;
};

// A datagram socket bound at path (mode 0666), as a syslog daemon listens.
class SyslogSocket {
public:
    explicit SyslogSocket(std::string path);
    ~SyslogSocket();
    SyslogSocket(const SyslogSocket&) = delete;
    SyslogSocket& operator=(const SyslogSocket&) = delete;

    const std::string& Path() const { return path_; }
    std::string Receive(); // the next message, waited for up to the hang guard; "" when none came
    bool Pending();        // a message is waiting now

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace testing_support
