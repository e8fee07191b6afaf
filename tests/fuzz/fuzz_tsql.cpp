// The BACKUP and RESTORE statements, read back by T-SQL's quoting rules ([name] with "]]" for "]", N'text' with "''"
// for "'"), give exactly the database name and the paths of the file list; what cannot be used is refused with
// E_INVALIDARG and nothing else.
#include "FuzzCheck.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace dunmarrow::sql;

// Reads a quoted T-SQL token from at (after its opening quote) up to its single closing quote; at ends after it.
static std::string Unquote(const std::string& text, std::size_t& at, char close)
{
    std::string out;
    for (; at < text.size() && (text[at] != close || text[at + 1] == close); at += 1 + (text[at] == close)) {
        out += text[at];
    }
    Require(at++ < text.size(), "a quoted name or path is not closed");
    return out;
}

static bool Eat(const std::string& text, std::size_t& at, const std::string& word)
{
    return text.compare(at, word.size(), word) == 0 && (at += word.size(), true);
}

static std::vector<std::string> Disks(const std::string& text, std::size_t& at)
{
    std::vector<std::string> paths;
    do {
        Require(Eat(text, at, "DISK = N'"), "no DISK = N'");
        paths.push_back(Unquote(text, at, '\''));
    } while (Eat(text, at, ", "));
    return paths;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    BackupOptions options;
    options.action = in.PickValueInArray({BackupAction::Database, BackupAction::Differential, BackupAction::Log});
    options.initialize = in.ConsumeBool();
    options.stats = in.ConsumeBool();
    const std::string database = in.ConsumeRandomLengthString(24);
    static const char* const gaps[] = {",", " ", ";", ", ", "\t", ""};
    std::vector<std::string> paths;
    std::string files = in.ConsumeRandomLengthString(8);
    const bool built = files.empty();
    while (built && in.remaining_bytes() > 0) {
        paths.push_back(in.ConsumeRandomLengthString(24));
        std::string item = "[";
        for (const char c : paths.back()) {
            item += c == ']' ? "]]" : std::string(1, c);
        }
        files += (files.empty() ? "" : gaps[in.ConsumeIntegralInRange(0, 5)]) + item + "]";
    }
    const bool usable = !database.empty() && database.find('\0') == std::string::npos;
    const bool listed = !paths.empty() && files.find('\0') == std::string::npos &&
                        std::all_of(paths.begin(), paths.end(), [](const std::string& p) { return !p.empty(); });
    std::string statement;
    try {
        statement = BackupStatement(database, files, options);
    } catch (const brenlix::Error& error) {
        Require(error.Number() == kErrorInvalidArgument, "refused with another error");
        Require(!usable || !built || !listed, "a usable name and list refused");
        return 0;
    }
    Require(usable && (!built || listed), "an unusable name or list taken");
    std::size_t at = 0;
    const bool log = options.action == BackupAction::Log;
    Require(Eat(statement, at, log ? "BACKUP LOG [" : "BACKUP DATABASE ["), "no BACKUP DATABASE|LOG [");
    Require(Unquote(statement, at, ']') == database, "the database name reads back differently");
    Require(Eat(statement, at, " TO "), "no TO");
    const std::vector<std::string> disks = Disks(statement, at);
    Require(!built || disks == paths, "the paths read back differently");
    const std::string with = std::string(options.action == BackupAction::Differential ? ", DIFFERENTIAL" : "") +
                             (options.initialize ? ", INIT" : "") + (options.stats ? ", STATS = 1" : "");
    Require(statement.substr(at) == (with.empty() ? "" : " WITH" + with.substr(1)), "the WITH list differs");

    const std::string verify = VerifyStatement(files, true, options.stats);
    at = 0;
    Require(Eat(verify, at, "RESTORE VERIFYONLY FROM ") && Disks(verify, at) == disks, "RESTORE names other paths");
    Require(verify.substr(at) == (options.stats ? " WITH CHECKSUM, STATS = 1" : " WITH CHECKSUM"),
            "RESTORE with another WITH list");
    return 0;
}
