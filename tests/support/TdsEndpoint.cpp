#include "TdsEndpoint.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

// The complete lines, without a line still being written.
std::vector<std::string> LinesOf(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(bytes.substr(start, end - start - (end > start && bytes[end - 1] == '\r' ? 1 : 0)));
    }
    return lines;
}

} // namespace

TdsEndpoint::TdsEndpoint()
{
    const char* folder = std::getenv("DUNMARROW_TDS_ENDPOINT");
    if (folder == nullptr || *folder == '\0') {
        throw std::runtime_error("DUNMARROW_TDS_ENDPOINT is not set; run the test through ctest, which starts it");
    }
    folder_ = folder;
    if (RunningUnderWine() && folder_.front() == '/') { // Wine shows the host's root folder as drive Z:
        folder_ = "Z:" + folder_;
        std::replace(folder_.begin(), folder_.end(), '/', '\\');
    }
    for (const std::string& line : LinesOf(ReadFile(folder_ + "/endpoint.ini"))) {
        const std::size_t equals = line.find('=');
        if (line.rfind("user=", 0) == 0) {
            user_ = line.substr(equals + 1);
        } else if (equals != std::string::npos) {
            ports_[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
        }
    }
    if (user_.empty()) { // written in one go once every listener is up
        throw std::runtime_error("the endpoint in " + folder_ + " is not running");
    }
    journalStart_ = ReadFile(folder_ + "/journal.log").size();
}

void TdsEndpoint::Reply(const std::string& database, const std::vector<std::string>& steps)
{
    std::string name; // the database's name in hex digits
    for (const char c : database) {
        name += "0123456789abcdef"[static_cast<unsigned char>(c) >> 4];
        name += "0123456789abcdef"[static_cast<unsigned char>(c) & 0xF];
    }
    std::string text;
    for (const std::string& step : steps) {
        text += step + "\n";
    }
    WriteFile(folder_ + "/replies/" + name + ".txt", text);
}

void TdsEndpoint::Catalogue(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    WriteFile(folder_ + "/catalogue.txt", text);
    catalogue_ = true;
}

TdsEndpoint::~TdsEndpoint()
{
    if (catalogue_) {
        std::remove((folder_ + "/catalogue.txt").c_str());
    }
}

std::vector<std::string> TdsEndpoint::Events(const std::string& listener) const
{
    const std::string journal = ReadFile(folder_ + "/journal.log");
    const std::string prefix = std::to_string(Port(listener)) + " ";
    std::vector<std::string> events;
    for (const std::string& line : LinesOf(journal.size() > journalStart_ ? journal.substr(journalStart_) : "")) {
        if (line.rfind(prefix, 0) == 0) { // the journal escapes \, CR and LF so that each event is one line
            std::string event;
            for (std::size_t i = prefix.size(); i < line.size(); ++i) {
                const char c = line[i] == '\\' && i + 1 < line.size() ? line[++i] : '\0';
                event += c == '\0' ? line[i] : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
            }
            events.push_back(event);
        }
    }
    return events;
}

} // namespace testing_support
