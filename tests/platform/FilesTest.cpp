#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(AppendToFile, CreatesThenAppendsAndFailsWithoutAFile)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n"));
    ASSERT_TRUE(platform::AppendToFile(path, "two\r\n"));
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
    for (const std::string& bad :
         {std::string(), dir.File("missing") + platform::PathSeparator() + "a.log", dir.Path()}) {
        EXPECT_FALSE(platform::AppendToFile(bad, "x")) << bad;
    }
}

TEST(CopyFileReplacing, ReplacesWholeAndGivesWindowsCodes)
{
    const TempDir dir;
    const std::string source = dir.File("backup.bak"), target = dir.File("Lønkørsel på.bak");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    WriteFile(source, bytes);
    WriteFile(target, std::string(400000, 'x')); // longer: replaced entirely, not overwritten in part
    ASSERT_EQ(platform::CopyFileReplacing(source, target), 0u);
    EXPECT_EQ(ReadFile(target), bytes);
    WriteFile(source, "payload");
    ASSERT_EQ(platform::CopyFileReplacing(dir.File("none.bak"), target),
              static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    WriteFile(dir.File("empty"), "");
    ASSERT_EQ(platform::CopyFileReplacing(dir.File("empty"), target), 0u);
    EXPECT_EQ(ReadFile(target), "");

    const std::string sep(1, platform::PathSeparator());
    const struct { std::string source, destination; std::uint32_t expected; } rows[] = {
        {dir.File("no") + sep + "x.bak", dir.File("copy.bak"), ERROR_PATH_NOT_FOUND},
        {source, dir.File("no") + sep + "copy.bak", ERROR_PATH_NOT_FOUND},
        {source, dir.Path(), ERROR_ACCESS_DENIED},
        {dir.Path(), dir.File("copy.bak"), ERROR_ACCESS_DENIED},
        {source, source, ERROR_SHARING_VIOLATION},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source + " -> " + row.destination);
        EXPECT_EQ(platform::CopyFileReplacing(row.source, row.destination), row.expected);
    }
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_FALSE(FileExists(dir.File("copy.bak")));
}

TEST(Folders, ProgramAndLibrary)
{
    for (const std::string& folder : {platform::ProgramFolder(), platform::LibraryFolder()}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_FALSE(platform::IsPathSeparator(folder.back())) << folder;
    }
    EXPECT_TRUE(FileExists(testing_support::TestChildPath()));
    EXPECT_TRUE(FileExists(platform::LibraryFolder() + platform::PathSeparator() + BRENLIX_FILE_NAME));
}

} // namespace
