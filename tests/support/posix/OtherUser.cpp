#include "OtherUser.h"

#include "../TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

std::optional<Account> UnprivilegedAccount(std::string& whyNot)
{
    const passwd* nobody = ::getpwnam("nobody");
    whyNot = ::geteuid() != 0 ? "only root may run part of a test as another user; this suite does not run as root"
             : nobody == nullptr || nobody->pw_uid == 0 ? "this machine has no account \"nobody\""
                                                        : "";
    return whyNot.empty() ? std::optional(Account{nobody->pw_name, nobody->pw_uid, nobody->pw_gid}) : std::nullopt;
}

std::string RunAs(const Account& account, mode_t umask, const std::function<std::string()>& body)
{
    int pipe[2] = {-1, -1};
    const pid_t child = ::pipe2(pipe, O_CLOEXEC) == 0 ? ::fork() : -1;
    if (child == 0) {
        std::string text;
        if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0) {
            text = "child failed: cannot become " + account.name + ": " + std::strerror(errno);
        } else {
            ::umask(umask);
            try {
                text = body();
            } catch (const std::exception& error) {
                text = std::string("child failed: ") + error.what();
            }
        }
        (void)!::write(pipe[1], text.data(), text.size()); // a blocking pipe takes it all
        ::_exit(0); // no exit handlers or sanitizer reports of the copied test process
    }
    ::close(pipe[1]);
    std::string text;
    char buffer[4096];
    ssize_t n = 1;
    for (pollfd wait{pipe[0], POLLIN, 0}; child > 0 && ::poll(&wait, 1, static_cast<int>(kHangGuardMs)) > 0 &&
                                          (n = ::read(pipe[0], buffer, 4096)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (child > 0 && n > 0) { // hung
        ::kill(child, SIGKILL);
    }
    ::close(pipe[0]);
    int status = -1;
    return child > 0 && ::waitpid(child, &status, 0) == child && status == 0
               ? text
               : "child failed: status " + std::to_string(status) + "\n" + text;
}

void GiveTo(const Account& account, const std::string& path)
{
    std::error_code ignore; // a file has nothing below it
    std::vector<std::filesystem::path> paths{path};
    paths.insert(paths.end(), std::filesystem::recursive_directory_iterator(path, ignore), {});
    for (const auto& each : paths) {
        if (::lchown(each.c_str(), account.uid, account.gid) != 0) {
            throw std::runtime_error("cannot give " + each.string() + " to " + account.name);
        }
    }
}

LocksHeldAs::LocksHeldAs(const Account& account, const std::vector<std::string>& paths)
{
    int report[2] = {-1, -1};
    int release[2] = {-1, -1};
    if (::pipe2(report, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipes for the lock holder");
    }
    child_ = ::fork();
    if (child_ == 0) {
        ::close(report[0]);
        ::close(release[1]); // else its own copy keeps the parent's end from ever closing
        std::string text;
        if (::setgroups(0, nullptr) == 0 && ::setgid(account.gid) == 0 && ::setuid(account.uid) == 0) {
            for (const std::string& path : paths) {
                const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                    text += path + '\n'; // the descriptor stays open, and the lock with it
                }
            }
        }
        (void)!::write(report[1], text.data(), text.size());
        ::close(report[1]);
        pollfd wait{release[0], POLLIN, 0};
        ::poll(&wait, 1, static_cast<int>(kHangGuardMs)); // until the parent closes its end
        ::_exit(0);
    }
    ::close(report[1]);
    ::close(release[0]);
    release_ = release[1];
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    for (pollfd wait{report[0], POLLIN, 0}; child_ > 0 && ::poll(&wait, 1, static_cast<int>(kHangGuardMs)) > 0 &&
                                            (n = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        held_.push_back(text.substr(start, end - start));
    }
}

LocksHeldAs::~LocksHeldAs()
{
    ::close(release_);
    if (child_ > 0) {
        int status = 0;
        ::waitpid(child_, &status, 0);
    }
}

SyslogSocket::SyslogSocket(std::string path) : path_(std::move(path))
{
    sockaddr_un address{AF_UNIX, {}};
    path_.copy(address.sun_path, sizeof address.sun_path - 1); // a longer one is refused by chmod
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path_.c_str(), 0666) != 0) {
        throw std::runtime_error("cannot listen on " + path_ + ": " + std::strerror(errno));
    }
}

SyslogSocket::~SyslogSocket()
{
    ::close(fd_);
    ::unlink(path_.c_str());
}

std::string SyslogSocket::Receive()
{
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(kHangGuardMs)) <= 0) {
        return std::string();
    }
    const ssize_t size = ::recv(fd_, nullptr, 0, MSG_PEEK | MSG_TRUNC); // the whole datagram's length
    std::string message(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    const ssize_t n = ::recv(fd_, message.data(), message.size(), 0);
    message.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return message;
}

bool SyslogSocket::Pending()
{
    pollfd wait{fd_, POLLIN, 0};
    return ::poll(&wait, 1, 0) > 0;
}

} // namespace testing_support
