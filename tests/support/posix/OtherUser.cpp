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
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

std::optional<Account> UnprivilegedAccount(std::string& whyNot)
{
    if (::geteuid() != 0) {
        whyNot = "only root may run part of a test as another user; this suite does not run as root";
        return std::nullopt;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr || nobody->pw_uid == 0) {
        whyNot = "this machine has no account \"nobody\"";
        return std::nullopt;
    }
    return Account{nobody->pw_name, nobody->pw_uid, nobody->pw_gid};
}

std::string RunAs(const Account& account, mode_t umask, const std::function<std::string()>& body)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return "child failed: no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string text;
        if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 || ::setuid(account.uid) != 0 ||
            ::geteuid() != account.uid) {
            text = "child failed: cannot become " + account.name + ": " + std::strerror(errno);
        } else {
            ::umask(umask);
            try {
                text = body();
            } catch (const std::exception& error) {
                text = std::string("child failed: ") + error.what();
            }
        }
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(pipe[1], text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0); // no exit handlers or sanitizer reports of the copied test process
    }
    ::close(pipe[1]);
    if (child < 0) {
        ::close(pipe[0]);
        return "child failed: no fork";
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd wait{pipe[0], POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(kHangGuardMs)) <= 0) {
            ::kill(child, SIGKILL);
            text = "child failed: hung";
            break;
        }
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child failed: status " + std::to_string(status) + "\n" + text;
    }
    return text;
}

void GiveTo(const Account& account, const std::string& path)
{
    if (::lchown(path.c_str(), account.uid, account.gid) != 0) {
        throw std::runtime_error("cannot give " + path + " to " + account.name);
    }
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
            if (::lchown(entry.path().c_str(), account.uid, account.gid) != 0) {
                throw std::runtime_error("cannot give " + entry.path().string() + " to " + account.name);
            }
        }
    }
}

SyslogSocket::SyslogSocket(std::string path) : path_(std::move(path))
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) {
        throw std::runtime_error("socket path too long: " + path_);
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
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
    std::string message(65536, '\0');
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
