#include <brenlix/FileLog.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using brenlix::FileLog;
using testing_support::At;
using testing_support::ExpectedStamp;
using testing_support::ManualClock;
using testing_support::ReadFile;
using testing_support::TempDir;

class FileLogTest : public ::testing::Test {
protected:
    FileLogTest() : clock_(At(2026, 12, 6, 19, 5, 9)), scoped_(clock_) { log_.LogFile(path_); }

    std::string Stamp() const { return ExpectedStamp(clock_.Now()); }

    TempDir dir_;
    std::string path_ = dir_.File("Dunmarrow.log");
    ManualClock clock_;
    platform::ScopedClock scoped_;
    FileLog log_;
};

TEST_F(FileLogTest, StartsEmpty)
{
    const FileLog fresh;
    EXPECT_EQ(fresh.LogFile(), "");
    EXPECT_EQ(fresh.LogLevel(), 0);
}

TEST_F(FileLogTest, LineLayoutForEveryType)
{
    const std::string stamp = Stamp();
    log_.WriteToLog("Starter Dunmarrow");
    log_.WriteToLog("Kan ikke forbinde", 0, brenlix::LogFileTypeWarning);
    log_.WriteToLog("Fejl i Main", 0, brenlix::LogFileTypeError);
    log_.WriteToLog("ukendt", 0, 7);
    log_.LogInfoFile("info");
    log_.LogWarningFile("warning");
    log_.LogErrorFile("error");
    EXPECT_EQ(ReadFile(path_), stamp + "\t\tINFORMATION\t\tStarter Dunmarrow\r\n" +
                                   stamp + "\t\tWARNING\t\tKan ikke forbinde\r\n" +
                                   stamp + "\t\tERROR\t\tFejl i Main\r\n" +
                                   stamp + "\t\t\t\tukendt\r\n" +
                                   stamp + "\t\tINFORMATION\t\tinfo\r\n" +
                                   stamp + "\t\tWARNING\t\twarning\r\n" +
                                   stamp + "\t\tERROR\t\terror\r\n");
}

TEST_F(FileLogTest, AppendsAfterWhatTheFileHeld)
{
    testing_support::WriteFile(path_, "earlier line without end");
    log_.WriteToLog("one");
    log_.WriteToLog("two\r\nspans lines");
    EXPECT_EQ(ReadFile(path_), "earlier line without end" + Stamp() + "\t\tINFORMATION\t\tone\r\n" + Stamp() +
                                   "\t\tINFORMATION\t\ttwo\r\nspans lines\r\n");
}

TEST_F(FileLogTest, MidnightStampHasNoTime)
{
    clock_.Advance(((4 * 60 + 54) * 60 + 51) * 1000); // to 00:00:00 the next day
    ASSERT_EQ(clock_.Now().hour, 0);
    log_.WriteToLog("midnat");
    clock_.Advance(1000);
    log_.WriteToLog("et sekund over");
    const std::string midnight = ExpectedStamp(At(2026, 12, 7, 0, 0, 0));
    const std::string after = ExpectedStamp(At(2026, 12, 7, 0, 0, 1));
    EXPECT_EQ(ReadFile(path_),
              midnight + "\t\tINFORMATION\t\tmidnat\r\n" + after + "\t\tINFORMATION\t\tet sekund over\r\n");
}

TEST_F(FileLogTest, DanishLettersInTheSystemCodePage)
{
    const testing_support::WesternCodePage western;
    log_.WriteToLog("Backup Færdig på Åbenrå");
    const std::string expected = platform::ToAnsi(Stamp() + "\t\tINFORMATION\t\tBackup Færdig på Åbenrå\r\n");
    EXPECT_EQ(ReadFile(path_), expected);
    if (western.Active()) {
        EXPECT_NE(expected.find("F\xE6rdig p\xE5 \xC5" "benr\xE5"), std::string::npos);
    }
}

TEST_F(FileLogTest, Threshold)
{
    const struct {
        std::int32_t logLevel;
        std::int32_t messageLevel;
        bool written;
    } rows[] = {
        {0, 0, true},   {0, 1, false},  {0, -1, true},  {3, 0, true},           {3, 1, true},
        {3, 2, true},   {3, 3, false},  {3, 4, false},  {-5, 0, true},          {-5, -6, true},
        {-5, -5, false}, {-5, 1, false}, {INT32_MAX, INT32_MAX - 1, true}, {INT32_MIN, INT32_MIN, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "LogLevel " << row.logLevel << ", level " << row.messageLevel);
        const TempDir dir;
        FileLog log;
        log.LogFile(dir.File("t.log"));
        log.LogLevel(row.logLevel);
        EXPECT_EQ(log.LogLevel(), row.logLevel);
        log.WriteToLog("w", row.messageLevel, 1);
        log.LogInfoFile("i", row.messageLevel);
        log.LogWarningFile("v", row.messageLevel);
        log.LogErrorFile("e", row.messageLevel);
        EXPECT_EQ(testing_support::SplitLines(ReadFile(dir.File("t.log"))).size(), row.written ? 4u : 0u);
    }
}

TEST_F(FileLogTest, FailuresAreSilentAndTheObjectStaysUsable)
{
    const std::string sep(1, dir_.File("").back());
    for (const std::string& bad : {std::string(), dir_.File("missing") + sep + "x.log", dir_.Path()}) {
        SCOPED_TRACE(bad);
        FileLog log;
        log.LogFile(bad);
        log.WriteToLog("lost");
        log.LogErrorFile("lost");
        log.LogFile(path_);
        log.WriteToLog("kept");
    }
    EXPECT_EQ(testing_support::SplitLines(ReadFile(path_)).size(), 3u);
    EXPECT_FALSE(testing_support::FileExists(dir_.File("missing")));
}

TEST_F(FileLogTest, ReadOnlyFileLosesTheMessage)
{
    if (testing_support::IgnoresFilePermissions()) {
        GTEST_SKIP() << "running as root: a read-only file is still writable";
    }
    testing_support::WriteFile(path_, "old\r\n");
    testing_support::MakeReadOnly(path_);
    log_.WriteToLog("lost");
    EXPECT_EQ(ReadFile(path_), "old\r\n");
}

#ifndef _WIN32
// Linux only (a FIFO named as a file): a log path that is not a regular file
// loses the message at once instead of holding the run (no reader ever comes).
TEST_F(FileLogTest, AFifoIsNoLog)
{
    const std::string fifo = dir_.File("fifo.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    log_.LogFile(fifo);
    log_.WriteToLog("lost");
    log_.LogFile(path_);
    log_.WriteToLog("kept");
    EXPECT_EQ(testing_support::SplitLines(ReadFile(path_)).size(), 1u);
}
#endif

// Two processes append 1,000 lines each to one file: every line arrives whole.
TEST(FileLogProcesses, ConcurrentWritersLoseNothing)
{
    const TempDir dir;
    const std::string path = dir.File("shared.log");
    testing_support::ChildProcess first(testing_support::TestChildCommand("log \"" + path + "\" 1000 first"));
    testing_support::ChildProcess second(testing_support::TestChildCommand("log \"" + path + "\" 1000 second"));
    ASSERT_EQ(first.Wait(), 0u);
    ASSERT_EQ(second.Wait(), 0u);

    const std::vector<std::string> lines = testing_support::SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 2000u);
    std::map<std::string, std::set<int>> seen;
    for (const std::string& line : lines) {
        const std::size_t tag = line.find("\t\tINFORMATION\t\t");
        ASSERT_NE(tag, std::string::npos) << line;
        const std::string message = line.substr(tag + 15);
        const std::size_t blank = message.find(' ');
        ASSERT_NE(blank, std::string::npos) << line;
        seen[message.substr(0, blank)].insert(std::stoi(message.substr(blank + 1)));
    }
    EXPECT_EQ(seen["first"].size(), 1000u);
    EXPECT_EQ(seen["second"].size(), 1000u);
}

} // namespace
