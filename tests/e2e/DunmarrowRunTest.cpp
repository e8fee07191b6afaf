// Runs the built program as a process of its own: the program and the library
// are copied into a fresh folder with a job file, and the log it leaves there
// is read back line by line.
#include <platform/Files.h>
#include <platform/Text.h>

#include "ProgramMachine.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace fs = std::filesystem;

fs::path FromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

class DunmarrowRun : public ::testing::Test {
protected:
    DunmarrowRun()
    {
        // The build puts them beside the test programs.
        const fs::path built = FromUtf8(platform::ProgramFolder());
        for (const char* name : {DUNMARROW_PROGRAM_NAME, DUNMARROW_LIBRARY_NAME}) {
            fs::copy_file(built / name, FromUtf8(dir_.Path()) / name);
        }
        program_ = dir_.File(DUNMARROW_PROGRAM_NAME);
    }

    // Runs the program from another working folder; returns its exit code.
    std::uint32_t Run()
    {
        testing_support::ChildProcess run("\"" + program_ + "\"");
        return run.Wait();
    }

    void JobFile(const std::string& text) { WriteFile(dir_.File("Dunmarrow.ini"), platform::ToAnsi(text)); }

    std::vector<std::string> Log() const { return testing_support::LogEntries(dir_.File("Dunmarrow.log")); }

    // Events whose text starts with prefix.
    std::size_t EventsStartingWith(const std::string& prefix) const
    {
        std::size_t count = 0;
        for (const std::string& event : machine_.Events().value_or(std::vector<std::string>{})) {
            count += event.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }

    testing_support::ProgramMachine machine_;
    TempDir dir_;
    std::string program_;
};

TEST_F(DunmarrowRun, MissingJobFile)
{
    EXPECT_EQ(Run(), 2u);
    EXPECT_EQ(Log(), (std::vector<std::string>{"INFORMATION|Starter Dunmarrow", "ERROR|Kunne ikke åbne INI fil"}));
    if (machine_.Events()) {
        EXPECT_EQ(*machine_.Events(), std::vector<std::string>{"1 2 the run ended early: the job file " +
                                                               dir_.File("Dunmarrow.ini") + " was not found"});
    }
}

TEST_F(DunmarrowRun, EmptyJobList)
{
    JobFile("[Backups]\r\n\r\n[Other]\r\nServer=x\r\n");
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(Log(), (std::vector<std::string>{"INFORMATION|Starter Dunmarrow",
                                               "INFORMATION|Indlæser og starter Backup",
                                               "INFORMATION|Indlæser og starter Backup Slut"}));
}

// Nothing listens on port 1 of the loopback address: the connection fails, the
// log keeps its fixed warning, and the next job still runs.
TEST_F(DunmarrowRun, UnreachableServerAndOverflow)
{
    JobFile("[Backups]\r\nLøn\r\nStop\r\nNever\r\n"
            "[Løn]\r\nServer=127.0.0.1,1\r\nDatabase=Løn\r\nBackupfile=" + dir_.File("Løn.bak") + "\r\n"
            "[Stop]\r\nRunShell=x\r\nMaxWaitShell=9999999\r\n"
            "[Never]\r\nServer=127.0.0.1,1\r\n");
    EXPECT_EQ(Run(), 2u);
    const std::vector<std::string> log = Log();
    EXPECT_EQ(log, (std::vector<std::string>{
                       "INFORMATION|Starter Dunmarrow",
                       "INFORMATION|Indlæser og starter Backup",
                       "INFORMATION|Starter backup af Løn på 127.0.0.1,1",
                       "WARNING|Kan ikke få forbindelse til server 127.0.0.1,1",
                       "ERROR|Fejl i Main",
                       "ERROR|Fejl repporteret : 6 Overflow (0)",
                   }));
    // The reasons where an administrator looks: a warning for the connection,
    // an error for the end.
    if (machine_.Events()) {
        EXPECT_EQ(machine_.Events()->size(), 2u);
        EXPECT_EQ(EventsStartingWith("2 1 no connection to server \"127.0.0.1,1\": "), 1u);
        EXPECT_EQ(EventsStartingWith("1 2 the run ended early, no later job ran: Fejl repporteret : 6 Overflow (0)"),
                  1u);
    }
}

TEST_F(DunmarrowRun, JobWithoutSection)
{
    JobFile("[Backups]\r\nNowhere\r\n");
    EXPECT_EQ(Run(), 1u);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "INFORMATION|Starter Dunmarrow",
                         "INFORMATION|Indlæser og starter Backup",
                         "INFORMATION|Starter backup af  på ",
                         "WARNING|Kan ikke få forbindelse til server ",
                         "INFORMATION|Indlæser og starter Backup Slut",
                     }));
}

} // namespace
