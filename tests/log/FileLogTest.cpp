#include <brenlix/FileLog.h>
#include <brenlix/modCommon.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

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
    log.LogLevel(3);
    log.WriteToLog("ukendt", 2, 7);
    log.LogInfoFile("Færdig på Åbenrå", 2);
    log.LogWarningFile("two\r\nlines", 2);
    log.LogErrorFile("error", 2);
    log.WriteToLog("no", 3);
    log.LogLevel(-5);
    log.WriteToLog("zero"); // level 0 whatever the threshold
    std::string lines;
    for (const char* line : {"\t\tukendt", "INFORMATION\t\tFærdig på Åbenrå", "WARNING\t\ttwo\r\nlines",
                             "ERROR\t\terror", "INFORMATION\t\tzero"})
        lines += ExpectedStamp(At(2026, 12, 6, 19, 5, 9)) + "\t\t" + line + "\r\n";
    EXPECT_EQ(ReadFile(dir.File("Dunmarrow.log")), "earlier line without end" + platform::ToAnsi(lines));
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

// The system's text without its last line break; "" where there is none or it does not fit 256 bytes.
TEST(SystemErrorText, TheSystemsTextWithoutTheLastLineBreak)
{
    // 34 keeps its inner line break; 1015 just fits the buffer with CR LF and NUL, 1290 does not.
    for (const std::int32_t code : {0, 5, 34, 1015, 1290, 99999}) {
        char buffer[256];
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            DWORD(code), 0, buffer, sizeof buffer, nullptr);
        const std::string raw(buffer, length < 2 ? 2 : length - 2);
        EXPECT_EQ(brenlix::SystemErrorText(code), length ? raw : "") << code;
    }
}

} // namespace
