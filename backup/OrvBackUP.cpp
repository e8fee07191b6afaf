#include "OrvBackUP.h"

#include "FileSystem.h"
#include "Program.h"
#include "Retention.h"
#include "modShell.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Clock.h>
#include <platform/Files.h>

#include <vector>


namespace dunmarrow {

using brenlix::LogFileTypeError;
using brenlix::LogFileTypeInformation;
using brenlix::LogFileTypeWarning;

namespace {

constexpr std::uint32_t kSettleMilliseconds = 1000;
constexpr std::int32_t kErrorInvalidName = 123;
constexpr std::int32_t kErrorFileExists = 80; // ERROR_FILE_EXISTS

} // namespace

std::string BackupFilePath(const std::string& backupfile)
{
    std::string path = backupfile;
    if (!path.empty() && path.back() == '"') {
        path.pop_back();
        if (!path.empty() && path.front() == '"') {
            path.erase(0, 1);
        }
    }
    if (path.empty()) {
        throw brenlix::Error(kErrorInvalidName, "Dunmarrow", brenlix::SystemErrorText(kErrorInvalidName));
    }
    return path;
}

std::string FileListOf(const std::string& path)
{
    std::string list = "[";
    for (const char c : path) {
        list += c;
        if (c == ']') {
            list += ']';
        }
    }
    return list + "]";
}

OrvBackUP::OrvBackUP() : OrvBackUP(sql::OdbcProvider()) {}

OrvBackUP::OrvBackUP(sql::Provider& provider) : provider_(provider) {}

// Every step is tried even when an earlier one failed; the connection alone
// decides. The log keeps the fixed warning; the reason goes to the
// administrator's diagnostics.
bool OrvBackUP::Connect()
{
    bool failed = false;
    std::exception_ptr firstError;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            failed = true;
            if (!firstError) {
                firstError = std::current_exception();
            }
        }
    };
    attempt([&] { server_ = provider_.CreateSQLServer(); });
    attempt([&] {
        if (!server_) {
            throw brenlix::Error(91, "Dunmarrow", "Object variable or With block variable not set");
        }
        server_->LoginSecure(true);
    });
    attempt([&] {
        if (server_) {
            server_->Connect(serverName_);
        }
    });
    if (!failed) {
        return true;
    }
    const brenlix::Error error = AsError(firstError);
    Diagnose(brenlix::EVENTLOG_WARNING_TYPE, EventNoConnection,
             "no connection to server \"" + serverName_ + "\": " + std::to_string(error.Number()) + " " +
                 error.Description());
    ReportFailure(error);
    return false;
}

void OrvBackUP::ReportFailure(const brenlix::Error& error) const
{
    if (EventLogWanted(keys_.eventLog)) {
        Diagnose(brenlix::EVENTLOG_ERROR_TYPE, EventJobFailed,
                 "the job \"" + jobName_ + "\" failed: " + std::to_string(error.Number()) + " " +
                     error.Description());
    }
}

bool OrvBackUP::StartBackUP()
{
    const platform::LocalDateTime started = platform::CurrentClock().Now();
    Log("Starter backup af " + databaseName_ + " på " + serverName_, LogFileTypeInformation);
    JobOptions options;
    try {
        // A job key with a value it cannot have stops the job before anything
        // is asked of the server (a job without the keys reads defaults).
        options = ReadJobOptions(keys_);
    } catch (...) {
        return Failed(std::current_exception());
    }
    if (!Connect()) {
        Log("Kan ikke få forbindelse til server " + serverName_, LogFileTypeWarning);
        return false;
    }
    try {
        const std::string stamp = StampOf(started);
        const std::string copy2 = WithStamp(copy2_, stamp);
        backup_ = provider_.CreateBackup();
        backup_->Database(databaseName_);
        // The copy reads the file from the same path the server wrote it to.
        const std::string rawPath = BackupFilePath(backupfile_);
        const std::string path = WithStamp(rawPath, stamp);
        std::vector<std::pair<StampedFiles, std::string>> expiring; // the files, and this run's name among them
        if (options.keepDays != 0) {
            const StampedFiles written = StampedFilesOf("Backupfile", rawPath);
            expiring.emplace_back(written, WithStamp(written.namePattern, stamp));
            if (!copy2_.empty()) {
                const bool intoFolder = platform::IsPathSeparator(copy2_.back());
                const StampedFiles copies =
                    StampedFilesOf("MakeCopy2", intoFolder ? copy2_ + written.namePattern : copy2_);
                expiring.emplace_back(copies, WithStamp(copies.namePattern, stamp));
            }
        }
        if (path != rawPath && platform::PathExists(path)) {
            // Two runs in one second (or in the hour a clock change repeats):
            // the earlier run's file is not overwritten.
            throw brenlix::Error(kErrorFileExists, "Dunmarrow",
                                 "The file " + path + " of this run's stamp exists already; it is left as it is.");
        }
        backup_->Files(FileListOf(path));
        backup_->Initialize(true);
        if (options.action != sql::BackupAction::Database) {
            backup_->Action(options.action);
        }
        if (options.checksum) {
            backup_->Checksum(true);
        }
        if (options.compress) {
            backup_->Compression(true);
        }
        if (options.copyOnly) {
            backup_->CopyOnly(true);
        }
        backup_->SQLBackup(*server_);
        if (!options.verify) {
            backup_.reset();
            server_.reset();
        }
        Pause(kSettleMilliseconds);
        Log("Backup Færdig. ", LogFileTypeInformation);

        if (options.verify) {
            // On the same connection, before anything is copied.
            Log("Starter verificering af backup fil.", LogFileTypeInformation);
            backup_->SQLVerify(*server_);
            backup_.reset();
            server_.reset();
            Log("Verificering Færdig. ", LogFileTypeInformation);
        }
        if (!copy2.empty()) {
            Log("Starter kopiering af backup fil til " + copy2 + ".", LogFileTypeInformation);
            CopyFile(path, copy2);
            Log("Slut kopiering af backup fil. ", LogFileTypeInformation);
        }
        // The backup stands whatever the clean-up meets: a file that cannot go
        // is a warning, and the commands still run.
        try {
            for (const auto& [files, thisRun] : expiring) {
                DeleteExpired(
                    files, started, options.keepDays,
                    [](const std::string& file) { Log("Sletter gammel backup fil " + file, LogFileTypeInformation); },
                    thisRun);
            }
        } catch (...) {
            const brenlix::Error error = AsError(std::current_exception());
            Log("Kunne ikke slette gamle backup filer : " + std::to_string(error.Number()) + " " + error.Description(),
                LogFileTypeWarning);
        }
        RunCommand(runShell_);
        RunCommand(runShell2_);
        return true;
    } catch (...) {
        return Failed(std::current_exception());
    }
}

bool OrvBackUP::Failed(std::exception_ptr raised)
{
    const brenlix::Error error = AsError(raised);
    Log("Fejl opstod i StartBackup", LogFileTypeError);
    Log(ErrorReport(error), LogFileTypeError);
    ReportFailure(error);
    return false;
}

void OrvBackUP::RunCommand(const std::string& commandLine)
{
    if (commandLine.empty()) {
        return;
    }
    Pause(kSettleMilliseconds);
    Log("Starter kommando :" + commandLine, LogFileTypeInformation);
    if (RunAndWait(commandLine, waitShell_)) {
        Log("Slut komando ", LogFileTypeInformation);
    } else {
        Log("Kommando kunne ikke eksekveres", LogFileTypeError);
    }
}

} // namespace dunmarrow
