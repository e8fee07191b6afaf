#include "CommandLine.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>

namespace dunmarrow {

namespace {

constexpr std::uint32_t kFileNotFound = 2; // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kPathNotFound = 3; // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kInvalidName = 123; // ERROR_INVALID_NAME: "*" or "?" in a name, on Windows

struct Option {
    const char* name;
    std::string CommandLine::*path;
};
constexpr Option kOptions[] = {
    {"--job-file", &CommandLine::jobFile},
    {"--log-file", &CommandLine::logFile},
};

// A path from the root ("/x"; on Windows "D:\x", "\\server\x" or "\x").
bool IsWhole(const std::string& path)
{
    if (!path.empty() && platform::IsPathSeparator(path[0])) {
        return true;
    }
    return platform::HasDrives() && path.size() >= 3 && path[1] == ':' && platform::IsPathSeparator(path[2]);
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder + platform::PathSeparator() + name;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help") {
            line.help = true;
            continue;
        }
        const Option* option = nullptr;
        std::string value;
        bool hasValue = false;
        for (const Option& candidate : kOptions) {
            const std::string name = candidate.name;
            if (argument == name) {
                option = &candidate;
                if (i + 1 < arguments.size()) {
                    value = arguments[++i];
                    hasValue = true;
                }
            } else if (argument.rfind(name + "=", 0) == 0) {
                option = &candidate;
                value = argument.substr(name.size() + 1);
                hasValue = true;
            }
        }
        if (option == nullptr) {
            line.error = (argument.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") + argument + "'";
        } else if (!hasValue || value.empty()) {
            line.error = std::string("the option ") + option->name + " needs a path";
        } else if (!(line.*option->path).empty()) {
            line.error = std::string("the option ") + option->name + " is given twice";
        } else {
            line.*option->path = value;
        }
    }
    return line;
}

std::string Usage()
{
    return "Usage: Dunmarrow [--job-file PATH] [--log-file PATH]\n"
           "Runs the backup jobs of the job file and logs each step.\n"
           "Without options the job file is Dunmarrow.ini and the log Dunmarrow.log,\n"
           "both in the program's folder; each option names its file elsewhere.\n"
           "Exit status: 0 every job got through, 1 a job did not or none ran,\n"
           "2 the run ended early or the command line was refused.\n";
}

RunFiles ChooseRunFiles(const CommandLine& line, const std::string& programFolder, const std::string& currentFolder)
{
    const auto choose = [&](const std::string& named, const char* besideTheProgram) {
        if (named.empty()) {
            return Join(programFolder, besideTheProgram);
        }
        return IsWhole(named) ? named : Join(currentFolder, named);
    };
    return {choose(line.jobFile, "Dunmarrow.ini"), choose(line.logFile, "Dunmarrow.log")};
}

std::string CheckNamedFiles(const CommandLine& line, const RunFiles& files)
{
    if (!line.jobFile.empty()) {
        // The very file, read as the run will read it: no pattern, no folder.
        std::string bytes;
        const std::uint32_t error = platform::ReadWholeFile(files.jobFile, bytes);
        if (error == kFileNotFound || error == kPathNotFound || error == kInvalidName) {
            return "the job file " + files.jobFile + " was not found";
        }
        if (error != 0) {
            return "the job file " + files.jobFile + " cannot be read: " +
                   brenlix::SystemErrorText(static_cast<std::int32_t>(error));
        }
    }
    if (!line.logFile.empty()) {
        std::size_t cut = files.logFile.size();
        while (cut > 0 && !platform::IsPathSeparator(files.logFile[cut - 1])) {
            --cut;
        }
        const std::string folder = files.logFile.substr(0, cut);
        if (cut == files.logFile.size()) {
            return "the log file " + files.logFile + " names a folder";
        }
        if (!folder.empty() && !platform::PathExists(folder)) {
            return "the folder of the log file " + files.logFile + " was not found";
        }
        // Opened for appending as every line of the run will be (a folder, a
        // special file or one this account may not write is refused); the
        // run's first line follows at once.
        if (!platform::AppendToFile(files.logFile, {})) {
            return "the log file " + files.logFile + " cannot be written";
        }
    }
    return {};
}

} // namespace dunmarrow
