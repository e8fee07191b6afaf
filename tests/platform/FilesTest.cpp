#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(AppendToFile, CreatesThenAppends)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n"));
    ASSERT_TRUE(platform::AppendToFile(path, "two\r\n"));
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
}

TEST(AppendToFile, FailsWithoutAFile)
{
    const TempDir dir;
    EXPECT_FALSE(platform::AppendToFile("", "x"));
    EXPECT_FALSE(platform::AppendToFile(dir.File("missing") + platform::PathSeparator() + "a.log", "x"));
    EXPECT_FALSE(platform::AppendToFile(dir.Path(), "x")); // a folder
}

TEST(CopyFileReplacing, CopiesAndReplaces)
{
    const TempDir dir;
    const std::string source = dir.File("backup.bak");
    const std::string target = dir.File("copy.bak");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 % 251);
    }
    WriteFile(source, bytes);
    WriteFile(target, "an older and longer copy that must be replaced entirely, not just overwritten in part"
                      + std::string(400000, 'x'));
    ASSERT_EQ(platform::CopyFileReplacing(source, target), 0u);
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(ReadFile(source), bytes);
}

TEST(CopyFileReplacing, EmptyFileAndNonAsciiNames)
{
    const TempDir dir;
    const std::string source = dir.File("tom.bak");
    WriteFile(source, "");
    ASSERT_EQ(platform::CopyFileReplacing(source, dir.File("Lønkørsel på.bak")), 0u);
    EXPECT_TRUE(FileExists(dir.File("Lønkørsel på.bak")));
    EXPECT_EQ(ReadFile(dir.File("Lønkørsel på.bak")), "");
}

TEST(CopyFileReplacing, FailuresGiveWindowsCodesAndKeepData)
{
    const TempDir dir;
    const std::string source = dir.File("backup.bak");
    WriteFile(source, "payload");
    const std::string sep(1, platform::PathSeparator());
    const struct {
        const char* what;
        std::string source;
        std::string destination;
        std::uint32_t expected;
    } rows[] = {
        {"missing source", dir.File("none.bak"), dir.File("copy.bak"), ERROR_FILE_NOT_FOUND},
        {"missing source folder", dir.File("no") + sep + "x.bak", dir.File("copy.bak"), ERROR_PATH_NOT_FOUND},
        {"missing destination folder", source, dir.File("no") + sep + "copy.bak", ERROR_PATH_NOT_FOUND},
        {"destination is a folder", source, dir.Path(), ERROR_ACCESS_DENIED},
        {"source is a folder", dir.Path(), dir.File("copy.bak"), ERROR_ACCESS_DENIED},
        {"onto itself", source, source, ERROR_SHARING_VIOLATION},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(platform::CopyFileReplacing(row.source, row.destination), row.expected);
    }
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_FALSE(FileExists(dir.File("copy.bak")));
}

TEST(ProgramFolder, HoldsTheRunningProgram)
{
    const std::string folder = platform::ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_FALSE(platform::IsPathSeparator(folder.back()));
    EXPECT_TRUE(FileExists(testing_support::TestChildPath()));
}

TEST(LibraryFolder, HoldsTheLibraryFile)
{
    const std::string folder = platform::LibraryFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_FALSE(platform::IsPathSeparator(folder.back()));
    EXPECT_TRUE(FileExists(folder + platform::PathSeparator() + BRENLIX_FILE_NAME)) << folder;
}

} // namespace
