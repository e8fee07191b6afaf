#include "modMain.h"

#include "JobFile.h"
#include "OrvBackUP.h"
#include "Program.h"

#include <brenlix/Error.h>
#include <brenlix/IniFile.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>

namespace dunmarrow {

using brenlix::LogFileTypeError;
using brenlix::LogFileTypeInformation;

namespace {

constexpr std::int32_t kErrorOverflow = 6;
constexpr std::int32_t kDefaultWaitMilliseconds = 30000;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether a number in from_chars' form ("-12.5e-3") is below 1 in size: its
// first significant digit lies after the decimal point.
bool BelowOne(const std::string& plain)
{
    const std::size_t e = plain.find('e');
    const std::size_t first = plain[0] == '-' ? 1 : 0;
    const std::string mantissa = plain.substr(first, e == std::string::npos ? std::string::npos : e - first);
    long long exponent = 0;
    if (e != std::string::npos) {
        std::size_t i = e + 1;
        const bool negative = plain[i] == '-';
        if (plain[i] == '-' || plain[i] == '+') {
            ++i;
        }
        for (; i < plain.size(); ++i) {
            exponent = std::min<long long>(exponent * 10 + (plain[i] - '0'), 1000000000LL);
        }
        exponent = negative ? -exponent : exponent;
    }
    // The power of ten just above the number: the significant digits before
    // the point, or minus the zeros after it, moved by the exponent.
    const std::size_t point = mantissa.find('.');
    const std::string whole = mantissa.substr(0, point);
    const std::size_t firstWhole = whole.find_first_not_of('0');
    long long magnitude = 0;
    if (firstWhole != std::string::npos) {
        magnitude = static_cast<long long>(whole.size() - firstWhole);
    } else if (point != std::string::npos) {
        const std::size_t firstFraction = mantissa.find_first_not_of('0', point + 1);
        magnitude = firstFraction == std::string::npos ? -1000000000LL
                                                       : -static_cast<long long>(firstFraction - point - 1);
    }
    return magnitude + exponent <= 0;
}

// A number as the user writes it: blanks around it, a sign, digits with the
// region's decimal separator, and an exponent (E or D, as in "1E3").
std::optional<double> ParseNumber(const std::string& text)
{
    const std::string separator = platform::DecimalSeparator();
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string_view t(text.data() + first, last - first + 1);

    std::string plain; // the same number in the form from_chars reads
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') {
        if (t[i] == '-') {
            plain += '-';
        }
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) {
        plain += t[i++];
        ++digits;
    }
    if (t.compare(i, separator.size(), separator) == 0) {
        i += separator.size();
        plain += '.';
        while (i < t.size() && IsDigit(t[i])) {
            plain += t[i++];
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        plain += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
            plain += t[i++];
        }
        std::size_t exponentDigits = 0;
        while (i < t.size() && IsDigit(t[i])) {
            plain += t[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != t.size()) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too far from 1 for a double: below 1 it rounds to 0 like any small
        // number; above it no limit holds it, and the conversion overflows.
        return BelowOne(plain) ? 0.0 : HUGE_VAL;
    }
    if (error != std::errc() || end != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return value;
}

[[noreturn]] void Overflow()
{
    throw brenlix::Error(kErrorOverflow, "Dunmarrow", "Overflow");
}

} // namespace

std::int32_t WaitShellMilliseconds(const std::string& seconds)
{
    const std::optional<double> number = ParseNumber(seconds);
    if (!number) {
        return kDefaultWaitMilliseconds;
    }
    const double rounded = std::nearbyint(*number); // half to even in the default rounding mode
    if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) {
        Overflow();
    }
    const std::int64_t milliseconds = static_cast<std::int64_t>(rounded) * 1000;
    if (milliseconds < INT32_MIN || milliseconds > INT32_MAX) {
        Overflow();
    }
    return static_cast<std::int32_t>(milliseconds);
}

int Main()
{
    return Main(sql::OdbcProvider(), platform::FindProgramFolder);
}

int Main(sql::Provider& provider, FolderFinder findFolder)
{
    std::string folder;
    std::uint32_t error = 0;
    if (!findFolder(folder, error)) {
        // Without it the log and the job file would be looked for at the root
        // of the drive: end the run instead, with no log to write to.
        Diagnose(brenlix::EVENTLOG_ERROR_TYPE, EventRunEndedEarly,
                 "the run ended early: the folder of the program file could not be found: " +
                     std::to_string(error) + " " + brenlix::SystemErrorText(static_cast<std::int32_t>(error)));
        return RunEndedEarly;
    }
    return Main(provider, folder);
}

int Main(const std::vector<std::string>& arguments)
{
    if (arguments.empty()) {
        return Main();
    }
    const CommandLine line = ParseCommandLine(arguments);
    if (!line.error.empty()) {
        std::cerr << "Dunmarrow: " << line.error << "\n" << Usage() << std::flush;
        return RunEndedEarly;
    }
    if (line.help) {
        std::cout << Usage() << std::flush;
        return RunAllJobsDone;
    }
    std::string folder;
    std::uint32_t error = 0;
    if ((line.jobFile.empty() || line.logFile.empty()) && !platform::FindProgramFolder(folder, error)) {
        std::cerr << "Dunmarrow: the folder of the program file could not be found: " << error << " "
                  << brenlix::SystemErrorText(static_cast<std::int32_t>(error)) << std::endl;
        return RunEndedEarly;
    }
    const RunFiles files = ChooseRunFiles(line, folder, platform::CurrentDirectory());
    const std::string refused = CheckNamedFiles(line, files);
    if (!refused.empty()) {
        std::cerr << "Dunmarrow: " << refused << std::endl;
        return RunEndedEarly;
    }
    return Main(sql::OdbcProvider(), files);
}

int Main(sql::Provider& provider, const std::string& folder)
{
    return Main(provider, ChooseRunFiles(CommandLine(), folder, folder));
}

int Main(sql::Provider& provider, const RunFiles& files)
{
    try {
        ProgramLog().LogFile(files.logFile);
        Log("Starter Dunmarrow", LogFileTypeInformation);

        brenlix::IniFile reader;
        const std::string& jobFile = files.jobFile;
        if (reader.Exists(jobFile) != -1) {
            Log("Kunne ikke åbne INI fil", LogFileTypeError);
            Diagnose(brenlix::EVENTLOG_ERROR_TYPE, EventRunEndedEarly,
                     "the run ended early: the job file " + jobFile + " was not found");
            return RunEndedEarly;
        }
        reader.FullPath(jobFile);
        reader.SectionName("Backups");
        const std::string list = reader.GetSectEntries();
        Log("Indlæser og starter Backup", LogFileTypeInformation);

        int status = RunAllJobsDone;
        int jobs = 0;
        std::unique_ptr<OrvBackUP> job;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find('\0', start);
            if (end == std::string::npos) {
                end = list.size();
            }
            const std::string name = list.substr(start, end - start);
            start = end + 1;
            if (name.empty()) {
                continue;
            }
            ++jobs;
            job.reset();
            job = std::make_unique<OrvBackUP>(provider);
            if (!SectionHasKeys(jobFile, name)) {
                // It runs all the same, with every key empty, and cannot back
                // anything up: the run does not count as done.
                Diagnose(brenlix::EVENTLOG_WARNING_TYPE, EventNothingBackedUp,
                         "the job list in " + jobFile + " names the section [" + name +
                             "], which is not there or holds no keys");
                status = RunSomeJobFailed;
            }
            reader.SectionName(name);
            job->ServerName(reader.GetString("Server", ""));
            job->DatabaseName(reader.GetString("Database", ""));
            job->Databases(reader.GetString("Databases", ""));
            job->Backupfile(reader.GetString("Backupfile", ""));
            job->Copy2(reader.GetString("MakeCopy2", ""));
            job->RunShell(reader.GetString("RunShell", ""));
            if (!job->RunShell().empty()) {
                job->WaitShell(WaitShellMilliseconds(reader.GetString("MaxWaitShell", "30")));
            }
            job->JobName(name);
            JobKeys keys;
            keys.type = reader.GetString("Type", "");
            keys.checksum = reader.GetString("Checksum", "");
            keys.compress = reader.GetString("Compress", "");
            keys.copyOnly = reader.GetString("CopyOnly", "");
            keys.verify = reader.GetString("Verify", "");
            keys.keepDays = reader.GetString("KeepDays", "");
            keys.eventLog = reader.GetString("EventLog", "");
            keys.stallMinutes = reader.GetString("StallMinutes", "");
            keys.loginTimeout = reader.GetString("LoginTimeout", "");
            job->Options(keys);
            if (!job->StartBackUP()) {
                status = RunSomeJobFailed;
            }
        }
        Log("Indlæser og starter Backup Slut", LogFileTypeInformation);
        if (jobs == 0) {
            // A scheduler would show this run as done while nothing was backed up.
            reader.SectionName("Backups");
            Diagnose(brenlix::EVENTLOG_WARNING_TYPE, EventNothingBackedUp,
                     "nothing was backed up: the job file " + jobFile +
                         (reader.SectExist("Backups") ? " lists no job in its section [Backups]"
                                                      : " has no section [Backups]"));
            return RunSomeJobFailed;
        }
        return status;
    } catch (...) {
        const brenlix::Error error = AsError(std::current_exception());
        Log("Fejl i Main", LogFileTypeError);
        const std::string report = ErrorReport(error);
        Log(report, LogFileTypeError);
        Diagnose(brenlix::EVENTLOG_ERROR_TYPE, EventRunEndedEarly,
                 "the run ended early, no later job ran: " + report);
        return RunEndedEarly;
    }
}

} // namespace dunmarrow
