#include <brenlix/FileLog.h>
#include <brenlix/modCommon.h>
#include <platform/Text.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using brenlix::FileLog;
using namespace testing_support;

// Appended after what the file held, in the system code page; a message is written at level 0 or below LogLevel.
TEST(FileLog, LineLayoutAndThreshold)
{
    const TempDir dir;
    const ManualClock clock(At(2026, 12, 6, 19, 5, 9));
    const platform::ScopedClock scoped(clock);
    FileLog log;
    log.LogFile(dir.File("Dunmarrow.log"));
    WriteFile(dir.File("Dunmarrow.log"), "earlier line without end");
    log.WriteToLog("below", -1); // a fresh threshold of 0 passes levels 0 and below
    log.WriteToLog("no", 1);
    log.LogLevel(3);
    log.WriteToLog("ukendt", 2, 7);
    log.LogInfoFile("Færdig på Åbenrå", 2);
    log.LogWarningFile("two\r\nlines", 2);
    log.LogErrorFile("error", 2);
    log.WriteToLog("no", 3);
    log.LogLevel(-5);
    log.WriteToLog("zero"); // level 0 whatever the threshold
    std::string lines;
    for (const char* line : {"INFORMATION\t\tbelow", "\t\tukendt", "INFORMATION\t\tFærdig på Åbenrå", "WARNING\t\ttwo\r\nlines",
                             "ERROR\t\terror", "INFORMATION\t\tzero"})
        lines += ExpectedStamp(At(2026, 12, 6, 19, 5, 9)) + "\t\t" + line + "\r\n";
    EXPECT_EQ(ReadFile(dir.File("Dunmarrow.log")), "earlier line without end" + platform::ToAnsi(lines));
}

// Without a name the message goes nowhere, not into the current folder either; a FIFO, read or not, is no log, even
// where the log was a file a line ago.
TEST(FileLog, OnlyANamedRegularFileIsALog)
{
    const TempDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    FileLog log;
    log.LogErrorFile("nowhere");
    std::filesystem::current_path(before);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
#if !defined(_WIN32)
    // A log written once, then put aside for a FIFO with a reader: the next line does not go down the pipe.
    const std::string path = dir.File("swapped.log");
    log.LogFile(path);
    log.LogErrorFile("first");
    ASSERT_TRUE(std::filesystem::remove(path));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    log.LogErrorFile("not for a pipe");
    char byte = 0;
    EXPECT_EQ(::read(reader, &byte, 1), 0);
    ::close(reader);
#endif
}

// Two processes append 1,000 lines each to one file: every line arrives whole.
TEST(FileLogProcesses, ConcurrentWritersLoseNothing)
{
    const TempDir dir;
    const std::string log = "log \"" + dir.File("shared.log") + "\" 1000 ";
    ChildProcess first(TestChildCommand(log + "first")), second(TestChildCommand(log + "second"));
    ASSERT_EQ(first.Wait() + second.Wait(), 0u);
    std::set<std::string> seen; // each line's text after the stamp
    for (const std::string& line : SplitLines(ReadFile(dir.File("shared.log"))))
        seen.insert(line.substr(line.find("\t\tINFORMATION\t\t") + 15));
    EXPECT_EQ(seen.size(), 2000u);
    EXPECT_EQ(seen.count("first 999") + seen.count("second 0"), 2u);
}

// The system's text without its last line break; "" where there is none or it does not fit 256 bytes. Wine words
// every text differently (and fits others), so there only the unknown code is checked.
TEST(SystemErrorText, TheSystemsTextWithoutTheLastLineBreak)
{
    const std::pair<std::int32_t, std::string> rows[] = {
        {0, "The operation completed successfully."}, {5, "Access is denied."},
        {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1."},
        {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
               "the system's memory image of the file is corrupted, or the file could not be recovered because the "
               "alternate copy or log was absent or corrupted."}, // fits with CR LF and NUL
        {1290, ""}, {99999, ""},
    };
    for (const auto& [code, text] : rows) {
        if (code == 99999 || !RunningUnderWine()) {
            EXPECT_EQ(brenlix::SystemErrorText(code), text) << code;
        }
    }
}

} // namespace
