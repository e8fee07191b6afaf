// The stand-in SQL Server (tds_endpoint.py, the ctest fixture tds_endpoint): its listeners, the events it records,
// and the replies a test scripts for its own databases.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

class TdsEndpoint {
public:
    // Reads the folder named by DUNMARROW_TDS_ENDPOINT, or throws why it cannot; events are counted from here on.
    TdsEndpoint();

    // "127.0.0.1,<port>" of a listener: "accept" (Kerberos login), "refuse" (error 18456), "drop" (closes after
    // the pre-login), "silent" (never answers), "mute" (answers the pre-login only), "hang" (logs in, then never
    // answers, not even an attention).
    std::string Server(const std::string& listener) const { return "127.0.0.1," + std::to_string(Port(listener)); }
    const std::string& User() const { return user_; } // the principal whose ticket the run holds

    // The reply to a BACKUP of the database, one step a line (see tds_endpoint.py); it stays in the endpoint's
    // folder, which goes with the fixture, so each test scripts databases of its own.
    void Reply(const std::string& database, const std::vector<std::string>& steps);

    // The server's databases until this object goes, one a line: "<name>\t<words>" or "collation <name>" (see
    // tds_endpoint.py).
    void Catalogue(const std::vector<std::string>& lines);
    ~TdsEndpoint();
    TdsEndpoint(const TdsEndpoint&) = delete;
    TdsEndpoint& operator=(const TdsEndpoint&) = delete;

    // Since this object was made: "login <user>", "login-refused <user>", "login-failed <reason>", "batch <text>",
    // "attention".
    std::vector<std::string> Events(const std::string& listener) const;

private:
    int Port(const std::string& listener) const { return ports_.at(listener); }

    std::string folder_, user_;
    std::map<std::string, int> ports_;
    std::size_t journalStart_ = 0;
    bool catalogue_ = false;
};

} // namespace testing_support
