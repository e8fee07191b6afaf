#include "TdsEndpoint.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace testing_support {

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += digits[static_cast<unsigned char>(c) >> 4];
        text += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return text;
}

// The journal escapes \, CR and LF so that each event is one line.
std::string Unescaped(const std::string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            result += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            result += text[i];
        }
    }
    return result;
}

// The complete lines, without a line still being written.
std::vector<std::string> LinesOf(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(bytes.substr(start, end - start - (end > start && bytes[end - 1] == '\r' ? 1 : 0)));
    }
    return lines;
}

// A path of the endpoint's machine as this program names it.
std::string HostPath(const std::string& unixPath)
{
    // Wine shows the host's root folder as drive Z:.
    if (RunningUnderWine() && !unixPath.empty() && unixPath.front() == '/') {
        std::string path = "Z:" + unixPath;
        for (char& c : path) {
            c = c == '/' ? '\\' : c;
        }
        return path;
    }
    return unixPath;
}

} // namespace

TdsEndpoint::TdsEndpoint()
{
    const char* folder = std::getenv("DUNMARROW_TDS_ENDPOINT");
    if (folder == nullptr || *folder == '\0') {
        problem_ = "DUNMARROW_TDS_ENDPOINT is not set; run the test through ctest, which starts the endpoint";
        return;
    }
    folder_ = HostPath(folder);
    const std::string ready = ReadFile(folder_ + "/endpoint.ini");
    if (ready.empty()) {
        problem_ = "the endpoint in " + folder_ + " is not running (no endpoint.ini)";
        return;
    }
    for (const std::string& line : LinesOf(ready)) {
        const std::string key = line.substr(0, line.find('=')), value = line.substr(std::min(key.size() + 1, line.size()));
        if (key == "user") {
            user_ = value;
        } else if (key == "accept" || key == "refuse" || key == "drop" || key == "silent") {
            ports_[key] = std::atoi(value.c_str());
        }
    }
    if (ports_.size() != 4 || user_.empty()) {
        problem_ = "the endpoint's " + folder_ + "/endpoint.ini is incomplete";
        return;
    }
    journalStart_ = ReadFile(folder_ + "/journal.log").size();
}

TdsEndpoint::~TdsEndpoint()
{
    for (const std::string& path : replies_) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(std::u8string(path.begin(), path.end())), ignored);
    }
}

int TdsEndpoint::Port(const std::string& listener) const
{
    const auto port = ports_.find(listener);
    return port == ports_.end() ? 0 : port->second;
}

std::string TdsEndpoint::Server(const std::string& listener) const
{
    return "127.0.0.1," + std::to_string(Port(listener));
}

void TdsEndpoint::Write(const std::string& folder, const std::string& database, const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    replies_.push_back(folder_ + "/" + folder + "/" + Hex(database) + ".txt");
    WriteFile(replies_.back(), text);
}

std::vector<std::string> TdsEndpoint::Events(const std::string& listener) const
{
    const std::string journal = ReadFile(folder_ + "/journal.log");
    const std::string prefix = std::to_string(Port(listener)) + " ";
    std::vector<std::string> events;
    for (const std::string& line : LinesOf(journal.size() > journalStart_ ? journal.substr(journalStart_) : "")) {
        if (line.rfind(prefix, 0) == 0) {
            events.push_back(Unescaped(line.substr(prefix.size())));
        }
    }
    return events;
}

std::vector<std::string> TdsEndpoint::Batches(const std::string& listener) const
{
    std::vector<std::string> batches;
    for (const std::string& event : Events(listener)) {
        if (event.rfind("batch ", 0) == 0) {
            batches.push_back(event.substr(6));
        }
    }
    return batches;
}

} // namespace testing_support
