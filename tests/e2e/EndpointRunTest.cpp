// Runs the built program against the test run's stand-in SQL Server: the real
// driver manager, FreeTDS and a Kerberos ticket, on the Linux build and on the
// Windows build under Wine (whose ODBC hands the calls to the host's driver
// manager). The whole log is compared, with the files the run leaves.
#include <platform/Files.h>
#include <platform/Text.h>

#include "ProgramMachine.h"
#include "TdsEndpoint.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunningUnderWine;
using testing_support::TdsEndpoint;
using testing_support::TempDir;

namespace fs = std::filesystem;

fs::path FromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

class EndpointRun : public ::testing::Test {
protected:
    EndpointRun()
    {
        const fs::path built = FromUtf8(platform::ProgramFolder());
        for (const char* name : {DUNMARROW_PROGRAM_NAME, DUNMARROW_LIBRARY_NAME}) {
            fs::copy_file(built / name, FromUtf8(dir_.Path()) / name);
        }
        program_ = dir_.File(DUNMARROW_PROGRAM_NAME);
    }

    void SetUp() override
    {
        if (!endpoint_.Ready()) {
            GTEST_FAIL() << endpoint_.Problem();
        }
    }

    // The program's exit code; with stderrFile (Linux only) its standard error
    // stream goes there.
    std::uint32_t Run(const std::string& stderrFile = {})
    {
        std::string command = "\"" + program_ + "\"";
        if (!stderrFile.empty()) {
            command = "/bin/sh -c \"\\\"" + program_ + "\\\" 2>\\\"" + stderrFile + "\\\"\"";
        }
        testing_support::ChildProcess run(command);
        return run.Wait();
    }

    void JobFile(const std::string& text)
    {
        testing_support::WriteFile(dir_.File("Dunmarrow.ini"), platform::ToAnsi(text));
    }

    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    std::string Folder(const std::string& name) const { return dir_.File(name) + (RunningUnderWine() ? "\\" : "/"); }

    testing_support::ProgramMachine machine_;
    TdsEndpoint endpoint_;
    TempDir dir_;
    std::string program_;
    // The Windows build would ask for the "SQL Server" driver of Windows.
    testing_support::ScopedEnvironment driver_{"DUNMARROW_ODBC_DRIVER", "FreeTDS"};
};

// Four jobs: a backup with a copy and a command, a backup the server fails, a
// server nobody answers for, and a quoted path holding a blank and quotes.
TEST_F(EndpointRun, SeveralJobsGiveTheirLogFilesAndExitStatus)
{
    const std::string server = endpoint_.Server("accept");
    const std::string copies = Folder("kopi");
    fs::create_directory(FromUtf8(dir_.File("kopi")));
    const std::string command = testing_support::TestChildCommand("args \"" + dir_.File("kommando.txt") + "\" Salg");
    const std::string quoted = dir_.File("Kundens 'data'.bak");
    const std::string cannotOpen = "Cannot open backup device 'X:\\Fejl.bak'. Operating system error 3(The system "
                                   "cannot find the path specified.).";
    endpoint_.Reply("Fejl", {"info 3211 10 percent processed.", "done", "error 3201 16 " + cannotOpen,
                             "error 3013 16 BACKUP DATABASE is terminating abnormally."});
    JobFile("[Backups]\r\nSalg\r\nFejl\r\nBorte\r\nCiteret\r\n"
            "[Salg]\r\nServer=" +
            server + "\r\nDatabase=Salg\r\nBackupfile=" + dir_.File("Salg.bak") + "\r\nMakeCopy2=" + copies +
            "\r\nRunShell=" + command +
            "\r\nMaxWaitShell=30\r\n"
            "[Fejl]\r\nServer=" +
            server + "\r\nDatabase=Fejl\r\nBackupfile=" + dir_.File("Fejl.bak") + "\r\nMakeCopy2=" + copies +
            "\r\n"
            "[Borte]\r\nServer=127.0.0.1,1\r\nDatabase=Borte\r\nBackupfile=" +
            dir_.File("Borte.bak") +
            "\r\n"
            "[Citeret]\r\nServer=" +
            server + "\r\nDatabase=Citeret\r\nBackupfile=\"" + quoted + "\"\r\nMakeCopy2=" + copies +
            "Kundens kopi.bak\r\n");

    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter Dunmarrow",
                         "INFORMATION|Indlæser og starter Backup",
                         "INFORMATION|Starter backup af Salg på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter kopiering af backup fil til " + copies + ".",
                         "INFORMATION|Slut kopiering af backup fil. ",
                         "INFORMATION|Starter kommando :" + command,
                         "INFORMATION|Slut komando ",
                         "INFORMATION|Starter backup af Fejl på " + server,
                         "ERROR|Fejl opstod i StartBackup",
                         "ERROR|Fejl repporteret : 3201 [FreeTDS][SQL Server]" + cannotOpen +
                             " [FreeTDS][SQL Server]BACKUP DATABASE is terminating abnormally. (0)",
                         "INFORMATION|Starter backup af Borte på 127.0.0.1,1",
                         "WARNING|Kan ikke få forbindelse til server 127.0.0.1,1",
                         "INFORMATION|Starter backup af Citeret på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter kopiering af backup fil til " + copies + "Kundens kopi.bak.",
                         "INFORMATION|Slut kopiering af backup fil. ",
                         "INFORMATION|Indlæser og starter Backup Slut",
                     }));
    EXPECT_EQ(endpoint_.Batches("accept"),
              (std::vector<std::string>{
                  "BACKUP DATABASE [Salg] TO DISK = N'" + dir_.File("Salg.bak") + "' WITH INIT",
                  "BACKUP DATABASE [Fejl] TO DISK = N'" + dir_.File("Fejl.bak") + "' WITH INIT",
                  "BACKUP DATABASE [Citeret] TO DISK = N'" + dir_.File("Kundens ''data''.bak") + "' WITH INIT",
              }));
    EXPECT_EQ(ReadFile(dir_.File("Salg.bak")), "TAPE Salg\r\n");
    EXPECT_EQ(ReadFile(copies + "Salg.bak"), "TAPE Salg\r\n");
    EXPECT_NE(ReadFile(dir_.File("kommando.txt")).find("Salg"), std::string::npos);
    EXPECT_FALSE(FileExists(dir_.File("Fejl.bak")));
    EXPECT_FALSE(FileExists(copies + "Fejl.bak"));
    EXPECT_FALSE(FileExists(dir_.File("Borte.bak")));
    EXPECT_EQ(ReadFile(quoted), "TAPE Citeret\r\n");
    EXPECT_EQ(ReadFile(copies + "Kundens kopi.bak"), "TAPE Citeret\r\n");
}

// Paths holding "[" and "]" (an ordinary folder name on Windows): the server
// is told each path exactly as typed, writes one file there, and the copy
// reads that same file.
TEST_F(EndpointRun, BracketsInAPathReachTheServerAsTyped)
{
    const std::string server = endpoint_.Server("accept");
    fs::create_directory(FromUtf8(dir_.File("Backup [old]")));
    fs::create_directory(FromUtf8(dir_.File("kopi")));
    const std::string copies = Folder("kopi");
    const struct {
        std::string database;
        std::string path;
        std::string copy;
    } jobs[] = {
        {"Gammel", dir_.File("Backup [old]") + (RunningUnderWine() ? "\\" : "/") + "db.bak", copies + "db.bak"},
        {"Dobbelt", dir_.File("a]]b.bak"), copies + "a]]b.bak"},
        {"Liste", dir_.File("x],[y.bak"), copies + "x],[y.bak"},
    };
    std::string text = "[Backups]\r\n";
    for (const auto& job : jobs) {
        text += job.database + "\r\n";
    }
    for (const auto& job : jobs) {
        text += "[" + job.database + "]\r\nServer=" + server + "\r\nDatabase=" + job.database +
                "\r\nBackupfile=" + job.path + "\r\nMakeCopy2=" + job.copy + "\r\n";
    }
    JobFile(text);

    EXPECT_EQ(Run(), 0u);
    std::vector<std::string> statements;
    for (const auto& job : jobs) {
        SCOPED_TRACE(job.path);
        statements.push_back("BACKUP DATABASE [" + job.database + "] TO DISK = N'" + job.path + "' WITH INIT");
        EXPECT_EQ(ReadFile(job.path), "TAPE " + job.database + "\r\n");
        EXPECT_EQ(ReadFile(job.copy), "TAPE " + job.database + "\r\n");
    }
    EXPECT_EQ(endpoint_.Batches("accept"), statements);
    std::size_t made = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(FromUtf8(dir_.Path()))) {
        ++made;
    }
    // The program, its library, job file and log, two folders and two backups:
    // nothing written under a name the job did not give.
    EXPECT_EQ(made, 8u);
}

// The optional keys the whole way: a nightly full backup with checksum,
// verify, a stamped name and retention; a differential and two log backups;
// a database in the simple recovery model, a server that cannot compress, and
// a backup changed on disk before its verify.
TEST_F(EndpointRun, BackupKindsVerifyAndRetention)
{
    const std::string server = endpoint_.Server("accept");
    fs::create_directory(FromUtf8(dir_.File("kopi")));
    const std::string copies = Folder("kopi");
    for (const std::string name : {"Nat_20000101-000000.bak", "Nat.bak", "Lager_20000101-000000.bak"}) {
        testing_support::WriteFile(dir_.File(name), "old");
        testing_support::WriteFile(copies + name, "old");
    }
    endpoint_.Settings("Simpel", {"recovery simple"});
    endpoint_.Settings("Presset", {"compression refused"});
    endpoint_.Reply("Skadet", {"write", "damage", "info 3014 BACKUP DATABASE successfully processed 329 pages."});
    const auto job = [&](const std::string& name, const std::string& file, const std::string& keys) {
        return "[" + name + "]\r\nServer=" + server + "\r\nDatabase=" + name + "\r\nBackupfile=" + dir_.File(file) +
               "\r\n" + keys;
    };
    JobFile("[Backups]\r\nNat\r\nDiff\r\nLog\r\nSimpel\r\nPresset\r\nSkadet\r\n" +
            job("Nat", "Nat_{stamp}.bak",
                "MakeCopy2=" + copies + "\r\nChecksum=1\r\nVerify=1\r\nKeepDays=14\r\n") +
            job("Diff", "Diff.bak", "Type=Diff\r\n") + job("Log", "Log.trn", "Type=LOG\r\nCopyOnly=1\r\n") +
            job("Simpel", "Simpel.trn", "Type=Log\r\nEventLog=1\r\n") +
            job("Presset", "Presset.bak", "Compress=1\r\n") +
            job("Skadet", "Skadet.bak", "Verify=1\r\nMakeCopy2=" + copies + "\r\n"));

    EXPECT_EQ(Run(), 1u);
    // This run's file: the one new name of the pattern.
    std::string made;
    for (const auto& entry : fs::directory_iterator(FromUtf8(dir_.Path()))) {
        const std::u8string name = entry.path().filename().u8string();
        const std::string text(name.begin(), name.end());
        if (text.rfind("Nat_", 0) == 0 && text != "Nat_20000101-000000.bak") {
            made = text;
        }
    }
    ASSERT_EQ(made.size(), std::string("Nat_YYYYMMDD-HHMMSS.bak").size()) << made;
    const std::string path = dir_.File(made);
    const std::string tail = " [FreeTDS][SQL Server]";
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter Dunmarrow",
                         "INFORMATION|Indlæser og starter Backup",
                         "INFORMATION|Starter backup af Nat på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter verificering af backup fil.",
                         "INFORMATION|Verificering Færdig. ",
                         "INFORMATION|Starter kopiering af backup fil til " + copies + ".",
                         "INFORMATION|Slut kopiering af backup fil. ",
                         "INFORMATION|Sletter gammel backup fil " + dir_.File("Nat_20000101-000000.bak"),
                         "INFORMATION|Sletter gammel backup fil " + copies + "Nat_20000101-000000.bak",
                         "INFORMATION|Starter backup af Diff på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter backup af Log på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter backup af Simpel på " + server,
                         "ERROR|Fejl opstod i StartBackup",
                         "ERROR|Fejl repporteret : 4208 [FreeTDS][SQL Server]The statement BACKUP LOG is not allowed "
                         "while the recovery model is SIMPLE. Use BACKUP DATABASE or change the recovery model using "
                         "ALTER DATABASE." + tail + "BACKUP LOG is terminating abnormally. (0)",
                         "INFORMATION|Starter backup af Presset på " + server,
                         "ERROR|Fejl opstod i StartBackup",
                         "ERROR|Fejl repporteret : 1844 [FreeTDS][SQL Server]BACKUP DATABASE WITH COMPRESSION is not "
                         "supported on Express Edition (64-bit)." + tail + "BACKUP DATABASE is terminating abnormally. (0)",
                         "INFORMATION|Starter backup af Skadet på " + server,
                         "INFORMATION|Backup Færdig. ",
                         "INFORMATION|Starter verificering af backup fil.",
                         "ERROR|Fejl opstod i StartBackup",
                         "ERROR|Fejl repporteret : 3241 [FreeTDS][SQL Server]The media family on device '" +
                             dir_.File("Skadet.bak") + "' is incorrectly formed. SQL Server cannot process this media "
                             "family." + tail + "VERIFY DATABASE is terminating abnormally. (0)",
                         "INFORMATION|Indlæser og starter Backup Slut",
                     }));
    const std::string to = "' WITH INIT";
    EXPECT_EQ(endpoint_.Batches("accept"),
              (std::vector<std::string>{
                  "BACKUP DATABASE [Nat] TO DISK = N'" + path + "' WITH INIT, CHECKSUM",
                  "RESTORE VERIFYONLY FROM DISK = N'" + path + "' WITH CHECKSUM",
                  "BACKUP DATABASE [Diff] TO DISK = N'" + dir_.File("Diff.bak") + "' WITH DIFFERENTIAL, INIT",
                  "BACKUP LOG [Log] TO DISK = N'" + dir_.File("Log.trn") + "' WITH INIT, COPY_ONLY",
                  "BACKUP LOG [Simpel] TO DISK = N'" + dir_.File("Simpel.trn") + to,
                  "BACKUP DATABASE [Presset] TO DISK = N'" + dir_.File("Presset.bak") + "' WITH INIT, COMPRESSION",
                  "BACKUP DATABASE [Skadet] TO DISK = N'" + dir_.File("Skadet.bak") + to,
                  "RESTORE VERIFYONLY FROM DISK = N'" + dir_.File("Skadet.bak") + "'",
              }));
    EXPECT_EQ(ReadFile(path), "TAPE Nat\r\n");
    EXPECT_EQ(ReadFile(copies + made), "TAPE Nat\r\n");
    for (const std::string& folder : {dir_.File(""), copies}) {
        EXPECT_FALSE(FileExists(folder + "Nat_20000101-000000.bak"));
        EXPECT_TRUE(FileExists(folder + "Nat.bak"));
        EXPECT_TRUE(FileExists(folder + "Lager_20000101-000000.bak"));
    }
    EXPECT_EQ(ReadFile(dir_.File("Diff.bak")), "TAPE Diff DIFFERENTIAL\r\n");
    EXPECT_EQ(ReadFile(dir_.File("Log.trn")), "TAPE Log LOG\r\n");
    EXPECT_FALSE(FileExists(dir_.File("Simpel.trn")));
    EXPECT_FALSE(FileExists(dir_.File("Presset.bak")));
    EXPECT_TRUE(FileExists(dir_.File("Skadet.bak")));
    EXPECT_FALSE(FileExists(copies + "Skadet.bak"));
    if (machine_.Events()) {
        EXPECT_EQ(*machine_.Events(),
                  std::vector<std::string>{"1 3 the job \"Simpel\" failed: 4208 [FreeTDS][SQL Server]The statement "
                                           "BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP "
                                           "DATABASE or change the recovery model using ALTER DATABASE." + tail +
                                           "BACKUP LOG is terminating abnormally."});
    }
}

// The server refuses the login: the job ends with the fixed warning.
TEST_F(EndpointRun, RefusedLoginGivesTheWarning)
{
    const std::string server = endpoint_.Server("refuse");
    JobFile("[Backups]\r\nSalg\r\n[Salg]\r\nServer=" + server +
            "\r\nDatabase=Salg\r\nBackupfile=" + dir_.File("Salg.bak") + "\r\n");
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter Dunmarrow",
                         "INFORMATION|Indlæser og starter Backup",
                         "INFORMATION|Starter backup af Salg på " + server,
                         "WARNING|Kan ikke få forbindelse til server " + server,
                         "INFORMATION|Indlæser og starter Backup Slut",
                     }));
    EXPECT_EQ(endpoint_.Events("refuse"), std::vector<std::string>{"login-refused " + endpoint_.User()});
    EXPECT_FALSE(FileExists(dir_.File("Salg.bak")));
}

// Run by ctest alone (e2e_without_ticket), with a ticket cache that does not
// exist: the log keeps its fixed warning, no login reaches the server, and the
// standard error stream says that a Kerberos ticket is needed.
class DISABLED_EndpointRunWithoutTicket : public EndpointRun {};

TEST_F(DISABLED_EndpointRunWithoutTicket, WarningInTheLogAndTheReasonOnStandardError)
{
    const std::string server = endpoint_.Server("accept");
    JobFile("[Backups]\r\nSalg\r\n[Salg]\r\nServer=" + server +
            "\r\nDatabase=Salg\r\nBackupfile=" + dir_.File("Salg.bak") + "\r\n");
    const std::string errors = dir_.File("stderr.txt");
    EXPECT_EQ(Run(RunningUnderWine() ? std::string() : errors), 1u);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter Dunmarrow",
                         "INFORMATION|Indlæser og starter Backup",
                         "INFORMATION|Starter backup af Salg på " + server,
                         "WARNING|Kan ikke få forbindelse til server " + server,
                         "INFORMATION|Indlæser og starter Backup Slut",
                     }));
    EXPECT_EQ(endpoint_.Events("accept"), std::vector<std::string>{});
    if (RunningUnderWine()) {
        GTEST_SKIP() << "the Windows build looks for no ticket of its own (its driver uses the logon session)";
    }
    const std::string text = ReadFile(errors);
    EXPECT_NE(text.find("Dunmarrow: no connection to server \"" + server + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("The integrated login needs a Kerberos ticket (kinit): "), std::string::npos) << text;
}

} // namespace
