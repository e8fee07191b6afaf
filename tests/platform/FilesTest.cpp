#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(Files, AppendAndCopyReplacing)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n") && platform::AppendToFile(path, "two\r\n"));
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
    const std::string sep(1, platform::PathSeparator());
    for (const std::string& bad : {std::string(), dir.File("missing") + sep + "a.log", dir.Path()})
        EXPECT_FALSE(platform::AppendToFile(bad, "x")) << bad;
    // A copy replaces the whole destination and gives Windows' codes.
    const std::string source = dir.File("backup.bak"), target = dir.File("Lønkørsel på.bak");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    WriteFile(source, bytes);
    WriteFile(target, std::string(400000, 'x')); // longer: replaced entirely, not overwritten in part
    ASSERT_EQ(platform::CopyFileReplacing(source, target), 0u);
    EXPECT_EQ(ReadFile(target), bytes);
    WriteFile(source, "payload");
    WriteFile(dir.File("empty"), "");
    ASSERT_EQ(platform::CopyFileReplacing(dir.File("empty"), target), 0u);
    EXPECT_EQ(ReadFile(target), "");
    const struct { std::string source, destination; std::uint32_t expected; } rows[] = {
        {dir.File("no") + sep + "x.bak", dir.File("copy.bak"), ERROR_PATH_NOT_FOUND},
        {source, dir.File("no") + sep + "copy.bak", ERROR_PATH_NOT_FOUND}, {source, source, ERROR_SHARING_VIOLATION},
        {source, dir.Path(), ERROR_ACCESS_DENIED}, {dir.Path(), dir.File("copy.bak"), ERROR_ACCESS_DENIED},
        {dir.File("none.bak"), target, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::CopyFileReplacing(row.source, row.destination), row.expected)
            << row.source << " -> " << row.destination;
    EXPECT_EQ(ReadFile(target), "");
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_FALSE(FileExists(dir.File("copy.bak")));
}

TEST(Folders, ProgramAndLibrary)
{
    for (const std::string& folder : {platform::ProgramFolder(), platform::LibraryFolder()})
        EXPECT_TRUE(!folder.empty() && !platform::IsPathSeparator(folder.back())) << folder;
    EXPECT_TRUE(FileExists(testing_support::TestChildPath()));
    EXPECT_TRUE(FileExists(platform::LibraryFolder() + platform::PathSeparator() + BRENLIX_FILE_NAME));
}

} // namespace
