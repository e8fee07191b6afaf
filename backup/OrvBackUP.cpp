#include "OrvBackUP.h"

#include "DatabaseSelection.h"
#include "FileSystem.h"
#include "Program.h"
#include "Retention.h"
#include "modShell.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Clock.h>
#include <platform/Files.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>


namespace dunmarrow {

using brenlix::LogFileTypeError;
using brenlix::LogFileTypeInformation;
using brenlix::LogFileTypeWarning;

namespace {

constexpr std::uint32_t kSettleMilliseconds = 1000;
constexpr std::int32_t kErrorInvalidName = 123;
constexpr std::int32_t kErrorFileExists = 80; // ERROR_FILE_EXISTS

// The folders whose stamped files KeepDays deletes (the backup's, and the
// copy's when there is one), each with this run's file name there. Throws
// brenlix::Error when a path does not allow it.
OrvBackUP::Expiring ExpiringFiles(const std::string& backupfile, const std::string& copy2, const std::string& stamp)
{
    OrvBackUP::Expiring expiring;
    const StampedFiles written = StampedFilesOf("Backupfile", BackupFilePath(backupfile));
    expiring.emplace_back(written, WithStamp(written.namePattern, stamp));
    if (!copy2.empty()) {
        const bool intoFolder = platform::IsPathSeparator(copy2.back());
        const StampedFiles copies = StampedFilesOf("MakeCopy2", intoFolder ? copy2 + written.namePattern : copy2);
        expiring.emplace_back(copies, WithStamp(copies.namePattern, stamp));
    }
    return expiring;
}

// The seconds of a StallMinutes minute: 60. The end-to-end tests, which
// cannot wait minutes for a stall, shorten it with
// DUNMARROW_TEST_STALL_MINUTE_SECONDS (1 to 60); nothing else reads it.
unsigned SecondsPerStallMinute()
{
    const char* text = std::getenv("DUNMARROW_TEST_STALL_MINUTE_SECONDS");
    if (text != nullptr) {
        // Digits only, so that a stray value in an inherited environment does
        // not shorten a real night's limit.
        char* end = nullptr;
        const long seconds = std::strtol(text, &end, 10);
        if (*text >= '0' && *text <= '9' && *end == '\0' && seconds >= 1 && seconds <= 60) {
            return static_cast<unsigned>(seconds);
        }
    }
    return 60;
}

// The job's StallMinutes in seconds: one limit for the catalogue, the backup and the verify.
unsigned StallSeconds(const JobOptions& options)
{
    return static_cast<unsigned>(options.stallMinutes) * SecondsPerStallMinute();
}

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
bool OrvBackUP::Connect(int loginTimeout)
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
        if (server_ && loginTimeout != 0) {
            server_->LoginTimeout(static_cast<unsigned>(loginTimeout));
        }
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
    const bool selection = databaseName_.empty() && !Trimmed(databases_).empty();
    Log("Starter backup af " + (selection ? databases_ : databaseName_) + " på " + serverName_,
        LogFileTypeInformation);
    const std::string stamp = StampOf(started);
    JobOptions options;
    Expiring expiring;
    try {
        // A job key with a value it cannot have, KeepDays' paths included,
        // stops the job before anything is asked of the server (a job without
        // the keys reads defaults).
        CheckDatabaseKeys(databaseName_, databases_, backupfile_, copy2_);
        options = ReadJobOptions(keys_);
        if (options.keepDays != 0) {
            expiring = ExpiringFiles(backupfile_, copy2_, stamp);
        }
    } catch (...) {
        return Failed(std::current_exception());
    }
    if (!Connect(options.loginTimeout)) {
        Log("Kan ikke få forbindelse til server " + serverName_, LogFileTypeWarning);
        return false;
    }
    const Run run{options, stamp, started};
    if (!selection) {
        if (!BackUpDatabase(run, databaseName_, backupfile_, copy2_, expiring, true)) {
            return false;
        }
    } else if (!BackUpSelection(run)) {
        return false;
    }
    RunCommand(runShell_);
    RunCommand(runShell2_);
    return true;
}

// The catalogue is read on the job's connection, which serves every database
// in turn; one that fails leaves the others to run.
bool OrvBackUP::BackUpSelection(const Run& run)
{
    std::vector<DatabaseStep> steps;
    try {
        if (run.options.stallMinutes != 0) {
            server_->QueryStallSeconds(StallSeconds(run.options));
        }
        // The server matches the names, under its own rules for letter case.
        const std::vector<std::string> patterns = NamePatterns(ReadSelection(databases_));
        const std::vector<CatalogueDatabase> catalogue =
            CatalogueOf(server_->ExecuteWithResults(sql::CatalogueStatement(patterns)), patterns.size());
        steps = SelectDatabases(databases_, catalogue, run.options.action);
    } catch (...) {
        server_.reset();
        return Failed(std::current_exception());
    }
    std::size_t last = steps.size();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].skip == DatabaseSkip::None) {
            last = i;
        }
    }
    bool failed = false;
    std::map<std::u32string, std::string> filesOf; // each database's file name as Windows compares it
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const DatabaseStep& step = steps[i];
        if (step.skip != DatabaseSkip::None) {
            Log(SkipLine(step), SkipLineType(step.skip));
            if (SkipFails(step.skip)) {
                // The number the server would have refused the backup with.
                ReportFailure(brenlix::Error(step.skip == DatabaseSkip::NoLogChain ? 4214 : 3035, "Dunmarrow",
                                             SkipLine(step)));
                failed = true;
            }
            continue;
        }
        Log("Starter backup af " + ShownName(step.name) + " på " + serverName_, LogFileTypeInformation);
        // Windows' file names ignore letter case, so on a case-sensitive
        // server "Sales" and "SALES" would write one file: the second is left
        // out with the reason rather than overwrite the first's backup.
        if (const auto [earlier, isNew] = filesOf.emplace(FileNameKey(DatabaseFileName(step.name)), step.name);
            !isNew) {
            failed = !Failed(std::make_exception_ptr(brenlix::Error(
                         kErrorFileExists, "Dunmarrow",
                         "The database " + ShownName(step.name) + " would write the files of the database " +
                             ShownName(earlier->second) + ": their names differ only in letter case, which Windows' "
                                                          "file names do not tell apart.")));
            continue;
        }
        const std::string backupfile = WithDatabase(backupfile_, step.name);
        const std::string copy2 = WithDatabase(copy2_, step.name);
        Expiring expiring;
        try {
            if (run.options.keepDays != 0) {
                expiring = ExpiringFiles(backupfile, copy2, run.stamp);
            }
        } catch (...) {
            failed = !Failed(std::current_exception()) || failed;
            continue;
        }
        if (!BackUpDatabase(run, step.name, backupfile, copy2, expiring, i == last)) {
            failed = true;
            // A server that stopped answering had its connection closed (or
            // given up): the databases after it get a connection of their own.
            if (lastFailure_ == sql::kErrorNoAnswer && i < last && !Connect(run.options.loginTimeout)) {
                Log("Kan ikke få forbindelse til server " + serverName_, LogFileTypeWarning);
                break;
            }
        }
    }
    server_.reset();
    if (last == steps.size() && !failed) {
        // Every database chosen was passed over: a night that backed nothing
        // up is no success.
        return Failed(std::make_exception_ptr(
            brenlix::Error(kErrorInvalidJobValue, "Dunmarrow",
                           "The job key Databases has the value \"" + databases_ +
                               "\"; every database it chooses was passed over, so nothing was backed up.")));
    }
    return !failed;
}

bool OrvBackUP::BackUpDatabase(const Run& run, const std::string& database, const std::string& backupfile,
                               const std::string& copy2Typed, const Expiring& expiring, bool lastOnConnection)
{
    const JobOptions& options = run.options;
    try {
        const std::string copy2 = WithStamp(copy2Typed, run.stamp);
        backup_ = provider_.CreateBackup();
        backup_->Database(database);
        // The copy reads the file from the same path the server wrote it to.
        const std::string rawPath = BackupFilePath(backupfile);
        const std::string path = WithStamp(rawPath, run.stamp);
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
        if (options.stallMinutes != 0) {
            backup_->StallSeconds(StallSeconds(options));
        }
        backup_->SQLBackup(*server_);
        if (!options.verify) {
            Release(lastOnConnection);
        }
        Pause(kSettleMilliseconds);
        Log("Backup Færdig. ", LogFileTypeInformation);

        if (options.verify) {
            // On the same connection, before anything is copied.
            Log("Starter verificering af backup fil.", LogFileTypeInformation);
            backup_->SQLVerify(*server_);
            Release(lastOnConnection);
            Log("Verificering Færdig. ", LogFileTypeInformation);
        }
        if (!copy2.empty()) {
            Log("Starter kopiering af backup fil til " + copy2 + ".", LogFileTypeInformation);
            CopyFile(path, copy2);
            Log("Slut kopiering af backup fil. ", LogFileTypeInformation);
        }
        // The backup stands whatever the clean-up meets: a file that cannot go
        // is a warning, the other files and the other folder are still seen
        // to, and the commands run.
        for (const auto& [files, thisRun] : expiring) {
            CleanUp(files, run.started, options.keepDays, thisRun);
        }
        return true;
    } catch (...) {
        return Failed(std::current_exception());
    }
}

void OrvBackUP::Release(bool connectionToo)
{
    backup_.reset();
    if (connectionToo) {
        server_.reset();
    }
}

void OrvBackUP::CleanUp(const StampedFiles& files, const platform::LocalDateTime& started, int keepDays,
                        const std::string& thisRun)
{
    const auto warn = [](const std::string& what, const brenlix::Error& error) {
        Log(what + " : " + std::to_string(error.Number()) + " " + error.Description(), LogFileTypeWarning);
    };
    try {
        DeleteExpired(
            files, started, keepDays,
            [](const std::string& path) { Log("Sletter gammel backup fil " + path, LogFileTypeInformation); },
            [&](const std::string& path, const brenlix::Error& error) {
                warn("Kunne ikke slette gammel backup fil " + path, error);
            },
            thisRun);
    } catch (...) {
        warn("Kunne ikke slette gamle backup filer i " + files.folder, AsError(std::current_exception()));
    }
}

bool OrvBackUP::Failed(std::exception_ptr raised)
{
    const brenlix::Error error = AsError(raised);
    lastFailure_ = error.Number();
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
