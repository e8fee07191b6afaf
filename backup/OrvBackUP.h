// One backup job: connect to a SQL Server with the integrated login, back a
// database up to a file, optionally verify and copy the file, delete stamped
// files of earlier runs, and run up to two commands, logging every step to
// the program log.
#pragma once

#include "JobOptions.h"
#include "Retention.h"
#include "sql/SqlDmo.h"

#include <brenlix/Error.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dunmarrow {

class OrvBackUP {
public:
    OrvBackUP();
    explicit OrvBackUP(sql::Provider& provider);

    std::int32_t WaitShell() const { return waitShell_; }
    void WaitShell(std::int32_t value) { waitShell_ = value; }
    const std::string& RunShell() const { return runShell_; }
    void RunShell(const std::string& value) { runShell_ = value; }
    const std::string& RunShell2() const { return runShell2_; }
    void RunShell2(const std::string& value) { runShell2_ = value; }
    const std::string& ServerName() const { return serverName_; }
    void ServerName(const std::string& value) { serverName_ = value; }
    const std::string& DatabaseName() const { return databaseName_; }
    void DatabaseName(const std::string& value) { databaseName_ = value; }
    // The job key Databases as the job file gives it (see DatabaseSelection.h);
    // a job has it or DatabaseName, never both.
    const std::string& Databases() const { return databases_; }
    void Databases(const std::string& value) { databases_ = value; }
    const std::string& Backupfile() const { return backupfile_; }
    void Backupfile(const std::string& value) { backupfile_ = value; }
    const std::string& Copy2() const { return copy2_; }
    void Copy2(const std::string& value) { copy2_ = value; }

    // The job's section name, which a failure event names.
    const std::string& JobName() const { return jobName_; }
    void JobName(const std::string& value) { jobName_ = value; }
    // The optional keys as the job file gives them (see JobOptions.h); they
    // are read when the job runs, and a value that is not accepted takes the
    // error path before the server is connected to.
    const JobKeys& Options() const { return keys_; }
    void Options(const JobKeys& value) { keys_ = value; }

    // True when the job ran to its end (a command that could not be started
    // does not change that); false, after logging why, when the connection
    // failed or an error stopped the job.
    bool StartBackUP();

    // The folders whose stamped files KeepDays deletes, each with this run's
    // file name there.
    using Expiring = std::vector<std::pair<StampedFiles, std::string>>;

private:
    struct Run {
        JobOptions options;
        std::string stamp;
        platform::LocalDateTime started;
    };
    // The steps of one database, from the backup to the clean-up; false after
    // logging why when one failed. lastOnConnection: the server object goes
    // with the backup object once they are done.
    bool BackUpDatabase(const Run& run, const std::string& database, const std::string& backupfile,
                        const std::string& copy2, const Expiring& expiring, bool lastOnConnection);
    // Each database the selection chooses, in name order; false when any failed.
    bool BackUpSelection(const Run& run);
    void Release(bool connectionToo);
    // loginTimeout: seconds, 0 for the provider's bound.
    bool Connect(int loginTimeout);
    // The error path: the two error lines, the event when asked for; false.
    bool Failed(std::exception_ptr raised);
    std::int32_t lastFailure_ = 0; // the number of the last failure Failed reported
    void RunCommand(const std::string& commandLine);
    // Deletes the expired files of one folder; what cannot go is a warning.
    void CleanUp(const StampedFiles& files, const platform::LocalDateTime& started, int keepDays,
                 const std::string& thisRun);
    void ReportFailure(const brenlix::Error& error) const;

    sql::Provider& provider_;
    std::unique_ptr<sql::Backup> backup_;
    std::unique_ptr<sql::SQLServer> server_;
    std::string serverName_;
    std::string databaseName_;
    std::string databases_;
    std::string backupfile_;
    std::string copy2_;
    std::string runShell_;
    std::string runShell2_;
    std::int32_t waitShell_ = 0;
    std::string jobName_;
    JobKeys keys_;
};

// The path the server writes to: Backupfile without its enclosing double
// quotes. Throws brenlix::Error when no path is left.
std::string BackupFilePath(const std::string& backupfile);

// The backup object's file list that names exactly path: the path in brackets,
// each "]" in it doubled.
std::string FileListOf(const std::string& path);

} // namespace dunmarrow
