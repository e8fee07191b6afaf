// The stand-in SQL Server of the test run (tds_endpoint.py, started by ctest
// as the fixture tds_endpoint): its listeners on 127.0.0.1, the events it
// records, and the replies a test scripts for its own databases.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

class TdsEndpoint {
public:
    // Reads the endpoint's folder named by DUNMARROW_TDS_ENDPOINT; Ready()
    // says whether it is running, Problem() why not. Events are counted from
    // here on.
    TdsEndpoint();
    // Removes the replies and settings this object scripted.
    ~TdsEndpoint();
    TdsEndpoint(const TdsEndpoint&) = delete;
    TdsEndpoint& operator=(const TdsEndpoint&) = delete;

    bool Ready() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }

    // The listener's port: "accept" (Kerberos login), "refuse" (error 18456),
    // "drop" (closes after the pre-login), "silent" (never answers).
    int Port(const std::string& listener) const;
    // "127.0.0.1,<port>", the server name a job gives for the listener.
    std::string Server(const std::string& listener) const;
    // The principal whose ticket the run holds ("backup@DUNMARROW.TEST").
    const std::string& User() const { return user_; }

    // The reply to a BACKUP of the database, one step a line (see
    // tds_endpoint.py): "info 3211 10 percent processed.", "error 3201 16
    // Cannot open...", "done", "write", "wait 500", "drop", "silent".
    void Reply(const std::string& database, const std::vector<std::string>& steps);
    // What the database is like, one setting a line (see tds_endpoint.py):
    // "recovery simple", "compression refused".
    void Settings(const std::string& database, const std::vector<std::string>& lines);

    // What the listener recorded since this object was made: "login <user>",
    // "login-refused <user>", "login-failed <reason>", "batch <text>",
    // "attention".
    std::vector<std::string> Events(const std::string& listener) const;
    // The texts of the batches among Events(listener).
    std::vector<std::string> Batches(const std::string& listener) const;

    // A path of the endpoint's machine as this program names it.
    static std::string HostPath(const std::string& unixPath);

private:
    std::string folder_;
    std::string problem_;
    std::string user_;
    std::vector<std::pair<std::string, int>> ports_;
    std::size_t journalStart_ = 0;
    std::vector<std::string> replies_;
};

} // namespace testing_support
