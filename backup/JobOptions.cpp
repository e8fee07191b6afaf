#include "JobOptions.h"

#include <brenlix/Error.h>

#include <initializer_list>
#include <optional>
#include <string_view>

namespace dunmarrow {

std::string_view Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

namespace {

bool SameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool OneOf(std::string_view text, std::initializer_list<std::string_view> words)
{
    for (const std::string_view word : words) {
        if (SameWord(text, word)) {
            return true;
        }
    }
    return false;
}

[[noreturn]] void Refuse(const char* key, const std::string& value, const char* accepted)
{
    throw brenlix::Error(kErrorInvalidJobValue, "Dunmarrow",
                         std::string("The job key ") + key + " has the value \"" + value + "\"; " + accepted + ".");
}

std::optional<bool> Switch(std::string_view text)
{
    const std::string_view value = Trimmed(text);
    if (value.empty() || OneOf(value, {"0", "no", "false", "nej"})) {
        return false;
    }
    if (OneOf(value, {"1", "yes", "true", "ja"})) {
        return true;
    }
    return std::nullopt;
}

bool ReadSwitch(const char* key, const std::string& text)
{
    const std::optional<bool> value = Switch(text);
    if (!value) {
        Refuse(key, text, "use 1 (or Yes, True, Ja) for on and 0 (or No, False, Nej) for off");
    }
    return *value;
}

sql::BackupAction ReadType(const std::string& text)
{
    const std::string_view value = Trimmed(text);
    if (value.empty() || SameWord(value, "Full")) {
        return sql::BackupAction::Database;
    }
    if (SameWord(value, "Diff")) {
        return sql::BackupAction::Differential;
    }
    if (SameWord(value, "Log")) {
        return sql::BackupAction::Log;
    }
    Refuse("Type", text, "the accepted values are Full, Diff and Log");
}

int ReadWholeNumber(const char* key, const std::string& text, int most, const char* unit)
{
    const std::string_view value = Trimmed(text);
    if (value.empty()) {
        return 0;
    }
    long long number = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            number = 0;
            break;
        }
        number = number * 10 + (c - '0');
        if (number > most) {
            break;
        }
    }
    if (number < 1 || number > most) {
        const std::string accepted =
            "use a whole number of " + std::string(unit) + " from 1 to " + std::to_string(most);
        Refuse(key, text, accepted.c_str());
    }
    return static_cast<int>(number);
}

} // namespace

JobOptions ReadJobOptions(const JobKeys& keys)
{
    JobOptions options;
    options.action = ReadType(keys.type);
    options.checksum = ReadSwitch("Checksum", keys.checksum);
    options.compress = ReadSwitch("Compress", keys.compress);
    options.copyOnly = ReadSwitch("CopyOnly", keys.copyOnly);
    if (options.copyOnly && options.action == sql::BackupAction::Differential) {
        // The server would take it and make an ordinary differential backup.
        Refuse("CopyOnly", keys.copyOnly, "a differential backup cannot be copy-only; use CopyOnly with Full or Log");
    }
    options.verify = ReadSwitch("Verify", keys.verify);
    options.keepDays = ReadWholeNumber("KeepDays", keys.keepDays, kMaxKeepDays, "days");
    options.eventLog = ReadSwitch("EventLog", keys.eventLog);
    options.stallMinutes = ReadWholeNumber("StallMinutes", keys.stallMinutes, kMaxStallMinutes, "minutes");
    options.loginTimeout = ReadWholeNumber("LoginTimeout", keys.loginTimeout, kMaxLoginTimeout, "seconds");
    return options;
}

bool EventLogWanted(const std::string& text)
{
    return Switch(text).value_or(false);
}

} // namespace dunmarrow
