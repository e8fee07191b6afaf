#include "OrvBackUP.h"

#include "FileSystem.h"
#include "Program.h"
#include "modShell.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>


namespace dunmarrow {

using brenlix::LogFileTypeError;
using brenlix::LogFileTypeInformation;
using brenlix::LogFileTypeWarning;

namespace {

constexpr std::uint32_t kSettleMilliseconds = 1000;
constexpr std::int32_t kErrorInvalidName = 123;

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
    return false;
}

bool OrvBackUP::StartBackUP()
{
    Log("Starter backup af " + databaseName_ + " på " + serverName_, LogFileTypeInformation);
    if (!Connect()) {
        Log("Kan ikke få forbindelse til server " + serverName_, LogFileTypeWarning);
        return false;
    }
    try {
        backup_ = provider_.CreateBackup();
        backup_->Database(databaseName_);
        // The copy reads the file from the same path the server wrote it to.
        const std::string path = BackupFilePath(backupfile_);
        backup_->Files(FileListOf(path));
        backup_->Initialize(true);
        backup_->SQLBackup(*server_);
        backup_.reset();
        server_.reset();
        Pause(kSettleMilliseconds);
        Log("Backup Færdig. ", LogFileTypeInformation);

        if (!copy2_.empty()) {
            Log("Starter kopiering af backup fil til " + copy2_ + ".", LogFileTypeInformation);
            CopyFile(path, copy2_);
            Log("Slut kopiering af backup fil. ", LogFileTypeInformation);
        }
        RunCommand(runShell_);
        RunCommand(runShell2_);
        return true;
    } catch (...) {
        const brenlix::Error error = AsError(std::current_exception());
        Log("Fejl opstod i StartBackup", LogFileTypeError);
        Log(ErrorReport(error), LogFileTypeError);
        return false;
    }
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
