// Files as Windows finds, deletes, copies and appends them, and the folders the program runs from.
#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunningUnderWine;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string sep(1, platform::PathSeparator());

class FindFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"a.ini", "b.ini", "name", "name.txt", "name.tar.gz", ".hidden", "ab", "abc", "x.in"})
            WriteFile(dir.File(name), "x");
        WriteFile(dir.File("locked"), "four");
        testing_support::MakeReadOnly(dir.File("locked"));
        std::filesystem::create_directory(std::filesystem::u8path(dir.File("sub")));
    }

    // The names found, sorted, a space after each; their data in found, FindFirstFileA's last error in error.
    std::string Find(const std::string& pattern)
    {
        found.clear();
        WIN32_FIND_DATAA data;
        std::memset(&data, 0xbd, sizeof data);
        SetLastError(0xdeadbeef);
        const HANDLE search = FindFirstFileA(dir.File(pattern).c_str(), &data);
        error = GetLastError();
        if (search == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(static_cast<unsigned char>(data.cFileName[0]), 0xbdu) << "written on failure";
            return "";
        }
        do {
            found[data.cFileName] = data;
        } while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_FALSE(FindNextFileA(search, &data) || GetLastError() != ERROR_NO_MORE_FILES); // and after the end
        EXPECT_TRUE(FindClose(search));
        std::string names;
        for (const auto& entry : found) names += entry.first + " ";
        return names;
    }

    TempDir dir;
    std::map<std::string, WIN32_FIND_DATAA> found;
    DWORD error = 0;
};

TEST_F(FindFile, PatternsFollowTheMsDosRules)
{
    const std::string all = ". .. .hidden a.ini ab abc b.ini locked name name.tar.gz name.txt sub x.in ";
    // wineDiffers: Wine's ? always takes one character; it drops a final dot and finds everything
    const struct { std::string pattern, expected; DWORD error; bool wineDiffers; } rows[] = {
        {"*", all, 0, false}, {"*.*", all, 0, false}, {"name.*", "name name.tar.gz name.txt ", 0, false},
        {"?b", "ab ", 0, false}, {"*.gz", "name.tar.gz ", 0, false}, {"*e.t*", "name.tar.gz name.txt ", 0, false},
        {".*", ". .. .hidden ", 0, false}, {"sub", "sub ", 0, false}, {"a??", "ab abc ", 0, true},
        {"*.in?", "a.ini b.ini x.in ", 0, true}, {"*.", ". .. ab abc locked name sub ", 0, true},
        {"nothing*", "", ERROR_FILE_NOT_FOUND, false}, {"none.ini", "", ERROR_FILE_NOT_FOUND, false},
        {"sub" + sep, "", ERROR_FILE_NOT_FOUND, false}, {"missing" + sep + "*", "", ERROR_PATH_NOT_FOUND, false},
        {"s*b" + sep + "x.ini", "", ERROR_INVALID_NAME, false}, // wildcards only in the last part
    };
    for (const auto& row : rows) {
        if (row.wineDiffers && RunningUnderWine())
            continue;
        EXPECT_EQ(Find(row.pattern), row.expected) << row.pattern;
        EXPECT_TRUE(!row.expected.empty() || error == row.error) << row.pattern << " " << error;
    }
}

// The file goes; each refusal gives Windows' code with nothing removed. What is left is found with its attributes.
TEST_F(FindFile, DeleteFileRemovesOnlyAFile)
{
    const struct { std::string name; BOOL result; DWORD error; } rows[] = { // error 0xdeadbeef: left as it was
        {"a.ini", TRUE, 0xdeadbeef}, {"a.ini", FALSE, ERROR_FILE_NOT_FOUND}, // gone with the row before
        {"missing" + sep + "a.ini", FALSE, ERROR_PATH_NOT_FOUND}, {"sub", FALSE, ERROR_ACCESS_DENIED},
        {"locked", FALSE, ERROR_ACCESS_DENIED}, {"b.*", FALSE, ERROR_INVALID_NAME}, // a name, not a pattern
    };
    for (const auto& row : rows) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(DeleteFileA(dir.File(row.name).c_str()), row.result) << row.name;
        EXPECT_EQ(GetLastError(), row.error) << row.name;
    }
    EXPECT_EQ(Find("*"), ". .. .hidden ab abc b.ini locked name name.tar.gz name.txt sub x.in ");
    EXPECT_EQ(found["sub"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(found["b.ini"].dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(found["locked"].dwFileAttributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(std::make_pair(found["locked"].nFileSizeLow, found["locked"].nFileSizeHigh),
              std::make_pair(DWORD{4}, DWORD{0}));
    if (RunningUnderWine() || platform::PathSeparator() == '/') { // Windows goes by the attribute alone
        EXPECT_EQ(found[".hidden"].dwFileAttributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    }
    WIN32_FIND_DATAA data{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE) || GetLastError() != ERROR_INVALID_HANDLE);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data) || GetLastError() != ERROR_INVALID_HANDLE);
}

TEST(Files, AppendAndCopyReplacing)
{
    const TempDir dir;
    const std::string path = dir.File("a.log");
    ASSERT_TRUE(platform::AppendToFile(path, "one\r\n") && platform::AppendToFile(path, "two\r\n"));
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
    std::vector<std::string> bad = {std::string(), dir.File("missing") + sep + "a.log", dir.Path()};
#ifndef _WIN32
    bad.push_back(dir.File("fifo.log")); // not a regular file: no waiting for a reader that never comes
    ASSERT_EQ(::mkfifo(bad.back().c_str(), 0666), 0);
#endif
    for (const std::string& refused : bad)
        EXPECT_FALSE(platform::AppendToFile(refused, "x")) << refused;
    // A copy replaces the whole destination and gives Windows' codes.
    const std::string source = dir.File("backup.bak"), target = dir.File("Lønkørsel på.bak");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    WriteFile(source, bytes);
    ASSERT_EQ(platform::CopyFileReplacing(source, target), 0u);
    EXPECT_EQ(ReadFile(target), bytes);
    WriteFile(source, "payload");
    WriteFile(dir.File("empty"), "");
    // Read-only is refused even for an administrator (root), and the file stays as it was.
    WriteFile(dir.File("kept.bak"), "kept");
    testing_support::MakeReadOnly(dir.File("kept.bak"));
    ASSERT_EQ(platform::CopyFileReplacing(dir.File("empty"), target), 0u);
    EXPECT_EQ(ReadFile(target), "");
    const struct { std::string source, destination; std::uint32_t expected; } rows[] = {
        {dir.File("no") + sep + "x.bak", dir.File("copy.bak"), ERROR_PATH_NOT_FOUND},
        {source, dir.File("no") + sep + "copy.bak", ERROR_PATH_NOT_FOUND}, {source, source, ERROR_SHARING_VIOLATION},
        {source, dir.Path(), ERROR_ACCESS_DENIED}, {dir.Path(), dir.File("copy.bak"), ERROR_ACCESS_DENIED},
        {dir.File("none.bak"), target, ERROR_FILE_NOT_FOUND}, {source, dir.File("kept.bak"), ERROR_ACCESS_DENIED},
    };
    for (const auto& row : rows)
        EXPECT_EQ(platform::CopyFileReplacing(row.source, row.destination), row.expected)
            << row.source << " -> " << row.destination;
    EXPECT_EQ(ReadFile(target), "");
    EXPECT_EQ(ReadFile(source), "payload");
    EXPECT_EQ(ReadFile(dir.File("kept.bak")), "kept");
    EXPECT_FALSE(FileExists(dir.File("copy.bak")));
}

// Run by its own ctest entry under a file size limit of at most 1 MiB (see CMakeLists.txt): the copy's writes stop
// partway, as on a disk that fills up, and the destination must be the old copy still, with no file left over. The
// source is this test program, which nothing here has to write.
TEST(CopyUnderFileLimit, AFailedCopyLeavesTheOldCopyWhole)
{
    if (std::getenv("DUNMARROW_FILE_LIMIT") == nullptr)
        GTEST_SKIP() << "runs only under the file size limit its own ctest entry sets";
    const std::string program = platform::ProgramFolder() + sep + TEST_PROGRAM_FILE_NAME;
    ASSERT_GT(std::filesystem::file_size(std::filesystem::u8path(program)), 2u << 20);
    const TempDir dir;
    const std::string small = dir.File("Salg.bak"), target = dir.File("Salg copy.bak");
    const std::string bytes(64 << 10, 'k');
    WriteFile(small, bytes);
    ASSERT_EQ(platform::CopyFileReplacing(small, target), 0u) << "a copy within the limit";
    ASSERT_TRUE(ReadFile(target) == bytes);
    WriteFile(target, "last night's copy");
    EXPECT_NE(platform::CopyFileReplacing(program, target), 0u);
    EXPECT_EQ(ReadFile(target), "last night's copy");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(dir.Path())))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Salg copy.bak", "Salg.bak"}));
}

TEST(Folders, ProgramAndLibrary)
{
    for (const std::string& folder : {platform::ProgramFolder(), platform::LibraryFolder()})
        EXPECT_TRUE(!folder.empty() && !platform::IsPathSeparator(folder.back())) << folder;
    EXPECT_TRUE(FileExists(platform::LibraryFolder() + platform::PathSeparator() + BRENLIX_FILE_NAME));
}

} // namespace
