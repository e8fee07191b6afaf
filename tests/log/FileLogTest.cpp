#include <brenlix/FileLog.h>
#include <brenlix/modCommon.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using brenlix::FileLog;
using testing_support::At;
using testing_support::ExpectedStamp;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;

class FileLogTest : public ::testing::Test {
protected:
    FileLogTest() : clock_(At(2026, 12, 6, 19, 5, 9)), scoped_(clock_) { log_.LogFile(path_); }

    TempDir dir_;
    std::string path_ = dir_.File("Dunmarrow.log");
    testing_support::ManualClock clock_;
    platform::ScopedClock scoped_;
    FileLog log_;
};

// Appended after what the file held, in the system code page; a midnight stamp has no time.
TEST_F(FileLogTest, LineLayout)
{
    const testing_support::WesternCodePage western;
    testing_support::WriteFile(path_, "earlier line without end");
    const std::string stamp = ExpectedStamp(clock_.Now());
    log_.WriteToLog("Starter Dunmarrow");
    log_.WriteToLog("Kan ikke forbinde", 0, brenlix::LogFileTypeWarning);
    log_.WriteToLog("Fejl i Main", 0, brenlix::LogFileTypeError);
    log_.WriteToLog("ukendt", 0, 7);
    log_.LogInfoFile("Færdig på Åbenrå");
    log_.LogWarningFile("two\r\nlines");
    log_.LogErrorFile("error");
    clock_.Advance(((4 * 60 + 54) * 60 + 51) * 1000);
    log_.WriteToLog("midnat");
    clock_.Advance(1000);
    log_.WriteToLog("et sekund over");
    std::string lines;
    for (const char* line : {"INFORMATION\t\tStarter Dunmarrow", "WARNING\t\tKan ikke forbinde",
                             "ERROR\t\tFejl i Main", "\t\tukendt", "INFORMATION\t\tFærdig på Åbenrå",
                             "WARNING\t\ttwo\r\nlines", "ERROR\t\terror"}) {
        lines += stamp + "\t\t" + line + "\r\n";
    }
    lines += ExpectedStamp(At(2026, 12, 7, 0, 0, 0)) + "\t\tINFORMATION\t\tmidnat\r\n" +
             ExpectedStamp(At(2026, 12, 7, 0, 0, 1)) + "\t\tINFORMATION\t\tet sekund over\r\n";
    EXPECT_EQ(ReadFile(path_), "earlier line without end" + platform::ToAnsi(lines));
    if (western.Active()) {
        EXPECT_NE(ReadFile(path_).find("F\xE6rdig p\xE5 \xC5" "benr\xE5"), std::string::npos);
    }
}

TEST_F(FileLogTest, Threshold)
{
    const std::tuple<std::int32_t, std::int32_t, bool> rows[] = { // LogLevel, message level, written
        {0, 0, true}, {0, 1, false}, {0, -1, true}, {3, 0, true}, {3, 2, true}, {3, 3, false}, {-5, -6, true},
        {-5, -5, false}, {-5, 0, true}, {-5, 1, false}, {INT32_MAX, INT32_MAX - 1, true},
        {INT32_MIN, INT32_MIN, false}};
    EXPECT_EQ(FileLog().LogLevel(), 0);
    for (const auto& [logLevel, level, written] : rows) {
        const TempDir dir;
        FileLog log;
        log.LogFile(dir.File("t.log"));
        log.LogLevel(logLevel);
        log.WriteToLog("w", level, 1);
        log.LogInfoFile("i", level);
        log.LogWarningFile("v", level);
        log.LogErrorFile("e", level);
        EXPECT_EQ(SplitLines(ReadFile(dir.File("t.log"))).size(), written ? 4u : 0u) << logLevel << " " << level;
    }
}

// A log that cannot be written loses the message silently and the object stays usable.
TEST_F(FileLogTest, FailuresAreSilent)
{
    std::vector<std::string> bad = {std::string(), dir_.File("missing") + dir_.File("").back() + "x.log", dir_.Path()};
#ifndef _WIN32
    bad.push_back(dir_.File("fifo.log")); // not a regular file: no waiting for a reader that never comes
    ASSERT_EQ(::mkfifo(bad.back().c_str(), 0666), 0);
#endif
    if (!testing_support::IgnoresFilePermissions()) {
        bad.push_back(dir_.File("readonly.log"));
        testing_support::WriteFile(bad.back(), "old\r\n");
        testing_support::MakeReadOnly(bad.back());
    }
    for (const std::string& path : bad) {
        FileLog log;
        log.LogFile(path);
        log.WriteToLog("lost");
        log.LogErrorFile("lost");
        log.LogFile(path_);
        log.WriteToLog("kept");
    }
    EXPECT_EQ(SplitLines(ReadFile(path_)).size(), bad.size());
    EXPECT_FALSE(testing_support::FileExists(dir_.File("missing")));
    if (!testing_support::IgnoresFilePermissions()) {
        EXPECT_EQ(ReadFile(bad.back()), "old\r\n");
    }
}

// Two processes append 1,000 lines each to one file: every line arrives whole.
TEST(FileLogProcesses, ConcurrentWritersLoseNothing)
{
    const TempDir dir;
    const std::string path = dir.File("shared.log");
    testing_support::ChildProcess first(testing_support::TestChildCommand("log \"" + path + "\" 1000 first"));
    testing_support::ChildProcess second(testing_support::TestChildCommand("log \"" + path + "\" 1000 second"));
    ASSERT_EQ(first.Wait() + second.Wait(), 0u);
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 2000u);
    std::map<std::string, std::set<std::string>> seen;
    for (const std::string& line : lines) {
        const std::size_t tag = line.find("\t\tINFORMATION\t\t");
        const std::size_t blank = line.find(' ', tag);
        ASSERT_NE(blank, std::string::npos) << line;
        seen[line.substr(tag + 15, blank - tag - 15)].insert(line.substr(blank + 1));
    }
    EXPECT_EQ(seen["first"].size(), 1000u);
    EXPECT_EQ(seen["second"].size(), 1000u);
}

// The system's own text without its last line break; "" where the system has none or it does not
// fit 256 bytes.
TEST(SystemErrorText, TheSystemsTextWithoutTheLastLineBreak)
{
    for (const std::int32_t code : {0, 2, 5, 34, 87, 1015, 1290, 1722, 99999, 35, -1}) {
        char buffer[256];
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            DWORD(code), 0, buffer, sizeof buffer, nullptr);
        const std::string raw(buffer, length);
        ASSERT_TRUE(raw.empty() || raw.ends_with("\r\n")) << code;
        EXPECT_EQ(brenlix::SystemErrorText(code), raw.substr(0, raw.empty() ? 0 : raw.size() - 2)) << code;
    }
    if (brenlix::SystemErrorText(5) == "Access is denied.") { // Windows' English texts (Wine words its own)
        EXPECT_EQ(brenlix::SystemErrorText(34),
                  "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive %1.");
        EXPECT_EQ(brenlix::SystemErrorText(1015).size(), 248u); // with CR LF and NUL it still fits
        EXPECT_EQ(brenlix::SystemErrorText(1290), "");
    }
}

} // namespace
