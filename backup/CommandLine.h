// The program's options. Without any, the job file and the log lie beside the
// program file (Dunmarrow.ini, Dunmarrow.log), as they always have; the
// options name either elsewhere, as an installed program on Linux needs
// (/etc/dunmarrow, /var/log/dunmarrow).
#pragma once

#include <string>
#include <vector>

namespace dunmarrow {

// The job file and the log of a run, as whole paths.
struct RunFiles {
    std::string jobFile;
    std::string logFile;
};

// What a command line asks for. A path left empty was not named.
struct CommandLine {
    std::string jobFile;
    std::string logFile;
    bool help = false;
    std::string error; // why the command line is refused; empty when it is not
};

// Reads the arguments (without the program's name): "--job-file PATH",
// "--log-file PATH" (or "--job-file=PATH", ...), each at most once, and
// "--help". Anything else, a missing or empty PATH and an option given twice
// are refused with the reason in error.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text "--help" prints, and that follows a refusal.
std::string Usage();

// The files of a run: those the command line names, made whole against
// currentFolder when relative, and for the others the ones in programFolder.
RunFiles ChooseRunFiles(const CommandLine& line, const std::string& programFolder, const std::string& currentFolder);

// Why a named file cannot serve (empty when it can): the job file must be
// there, the log's folder must be there (the log itself is made at need).
std::string CheckNamedFiles(const CommandLine& line, const RunFiles& files);

} // namespace dunmarrow
