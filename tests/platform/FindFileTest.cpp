// Files by pattern, as Windows finds them. Runs against the Linux
// substitutes and, in the Windows build, the system's own.
#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using testing_support::RunningUnderWine;
using testing_support::TempDir;

class FindFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"a.ini", "b.ini", "name", "name.txt", "name.tar.gz", ".hidden", "ab", "abc", "x.in"}) {
            testing_support::WriteFile(dir.File(name), "x");
        }
        std::filesystem::create_directory(std::filesystem::u8path(dir.File("sub")));
    }

    // Every entry the pattern finds, by name; the last error when none.
    std::map<std::string, WIN32_FIND_DATAA> Find(const std::string& pattern, DWORD& error)
    {
        std::map<std::string, WIN32_FIND_DATAA> found;
        WIN32_FIND_DATAA data;
        std::memset(&data, 0xbd, sizeof data);
        SetLastError(0xdeadbeef);
        const HANDLE search = FindFirstFileA(dir.File(pattern).c_str(), &data);
        error = GetLastError();
        if (search == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(static_cast<unsigned char>(data.cFileName[0]), 0xbdu) << "written on failure";
            return found;
        }
        do {
            found[data.cFileName] = data;
        } while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_FALSE(FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(search));
        return found;
    }

    TempDir dir;
};

TEST_F(FindFile, PatternsFollowTheMsDosRules)
{
    const std::vector<std::string> all = {".",   "..",   ".hidden",     "a.ini",    "ab",  "abc",
                                          "b.ini", "name", "name.tar.gz", "name.txt", "sub", "x.in"};
    const struct {
        const char* pattern;
        std::vector<std::string> expected;
        const char* wineDiffers; // why, when Wine finds something else
    } rows[] = {
        {"*", all, nullptr},
        {"*.*", all, nullptr},
        {"*.ini", {"a.ini", "b.ini"}, nullptr},
        {"name.*", {"name", "name.tar.gz", "name.txt"}, nullptr},
        {"?b", {"ab"}, nullptr},
        {"*.gz", {"name.tar.gz"}, nullptr},
        {"*e.t*", {"name.tar.gz", "name.txt"}, nullptr},
        {".*", {".", "..", ".hidden"}, nullptr},
        {"sub", {"sub"}, nullptr},
        {"a.ini", {"a.ini"}, nullptr},
        {"a??", {"ab", "abc"}, "Wine's ? always takes one character"},
        {"*.in?", {"a.ini", "b.ini", "x.in"}, "Wine's ? always takes one character"},
        {"*.", {".", "..", "ab", "abc", "name", "sub"}, "Wine drops the final dot and finds everything"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        if (row.wineDiffers != nullptr && RunningUnderWine()) {
            continue; // known to differ under Wine
        }
        DWORD error = 0;
        std::vector<std::string> names;
        for (const auto& [name, data] : Find(row.pattern, error)) {
            names.push_back(name);
        }
        EXPECT_EQ(names, row.expected);
    }
}

TEST_F(FindFile, AttributesAndSizes)
{
    testing_support::WriteFile(dir.File("locked"), "four");
    testing_support::MakeReadOnly(dir.File("locked"));
    DWORD error = 0;
    auto found = Find("*", error);
    EXPECT_EQ(found["sub"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(found["a.ini"].dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(found["locked"].dwFileAttributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(found["locked"].nFileSizeLow, 4u);
    EXPECT_EQ(found["locked"].nFileSizeHigh, 0u);
    // Dot-files count as hidden on Unix and under Wine; Windows goes by the attribute alone.
    if (RunningUnderWine() || platform::PathSeparator() == '/') {
        EXPECT_EQ(found[".hidden"].dwFileAttributes, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    }
}

TEST_F(FindFile, FailuresLeaveTheDataAlone)
{
    const std::string sep(1, platform::PathSeparator());
    const struct {
        std::string pattern;
        DWORD expected;
    } rows[] = {
        {"nothing*", ERROR_FILE_NOT_FOUND},
        {"none.ini", ERROR_FILE_NOT_FOUND},
        {"sub" + sep, ERROR_FILE_NOT_FOUND},
        {"missing" + sep + "*", ERROR_PATH_NOT_FOUND},
        {"missing" + sep + "x.ini", ERROR_PATH_NOT_FOUND},
        // Wildcards only in the last part: elsewhere the name is malformed.
        {"s*b" + sep + "x.ini", ERROR_INVALID_NAME},
        {"s?b" + sep + "*", ERROR_INVALID_NAME},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        DWORD error = 0;
        EXPECT_TRUE(Find(row.pattern, error).empty());
        EXPECT_EQ(error, row.expected);
    }
}

TEST_F(FindFile, BadHandles)
{
    WIN32_FIND_DATAA data{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FindNextFileA(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// DeleteFileA beside the search that finds what to delete: the file goes, and
// each refusal gives Windows' code with nothing removed.
TEST_F(FindFile, DeleteFileRemovesOnlyAFile)
{
    testing_support::WriteFile(dir.File("locked"), "four");
    testing_support::MakeReadOnly(dir.File("locked"));
    const std::string sep(1, platform::PathSeparator());
    const struct {
        std::string name;
        BOOL result;
        DWORD error; // 0xdeadbeef: left as it was
    } rows[] = {
        {"a.ini", TRUE, 0xdeadbeef},
        {"a.ini", FALSE, ERROR_FILE_NOT_FOUND}, // gone with the row before
        {"missing" + sep + "a.ini", FALSE, ERROR_PATH_NOT_FOUND},
        {"sub", FALSE, ERROR_ACCESS_DENIED},
        {"locked", FALSE, ERROR_ACCESS_DENIED},
        {"b.*", FALSE, ERROR_INVALID_NAME}, // a name, not a pattern: b.ini stays
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(DeleteFileA(dir.File(row.name).c_str()), row.result);
        EXPECT_EQ(GetLastError(), row.error);
    }
    DWORD error = 0;
    const auto left = Find("*", error);
    EXPECT_EQ(left.count("a.ini"), 0u);
    EXPECT_EQ(left.count("b.ini") + left.count("sub") + left.count("locked"), 3u);
}

} // namespace
