// A machine root and a user's configuration folder of the test's own, and the account "nobody" where the suite may
// run part of a test as another user; events reported and read back from the caller's own event file there.
#pragma once

#include <platform/Win32.h>

#include "EventLogFormat.h"
#include "TestSupport.h"
#include "posix/OtherUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class OwnMachine : public ::testing::Test {
protected:
    // The caller's own event file: root's is Application.log.
    std::string OwnEventFile() const
    {
        const passwd* account = ::getpwuid(::geteuid());
        return root.Path() + "/eventlog/" +
               platform::posix::EventFileName(::geteuid(), account ? account->pw_name : nullptr);
    }

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::ScopedEnvironment config{"XDG_CONFIG_HOME", root.File("config").c_str()};
    std::string whyNot;
    std::optional<testing_support::Account> other = testing_support::UnprivilegedAccount(whyNot);
};

// ReportEventA's result and last error: "1 0" or "0 <code>".
inline std::string Report(const char* source, WORD type, WORD category, DWORD id, std::vector<LPCSTR> strings,
                          std::string data = "")
{
    const HANDLE log = RegisterEventSourceA(nullptr, source); // a source that fails makes an invalid handle's report
    const BOOL done = ReportEventA(log, type, category, id, nullptr, WORD(strings.size()), DWORD(data.size()),
                                   strings.data(), data.data());
    const std::string result = std::to_string(done) + " " + std::to_string(done ? 0 : GetLastError());
    DeregisterEventSource(log);
    return result;
}

// An event file's lines, one an event.
inline std::vector<std::string> EventLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(testing_support::ReadFile(path));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

// "<owner's uid> <mode in octal, the file's type with it>", or "missing"; a link is not followed.
inline std::string OwnerAndMode(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    std::ostringstream text;
    text << st.st_uid << " " << std::oct << st.st_mode;
    return text.str();
}

// Owner and mode, then what is in it: a file's bytes, a folder's names, what a FIFO's reader can read.
inline std::string Snapshot(const std::string& path, int fifoReader = -1)
{
    std::string what = OwnerAndMode(path) + " ";
    const std::filesystem::file_type type = std::filesystem::symlink_status(path).type();
    if (type == std::filesystem::file_type::directory) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            what += name + "|";
    } else if (type == std::filesystem::file_type::fifo && fifoReader >= 0) {
        char bytes[256];
        const ssize_t n = ::read(fifoReader, bytes, sizeof bytes);
        what.append(bytes, n > 0 ? std::size_t(n) : 0);
    } else if (type == std::filesystem::file_type::regular) {
        what += testing_support::ReadFile(path);
    }
    return what;
}
