// What the Linux profile substitutes decide for themselves.
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    return std::string(folder, GetWindowsDirectoryA(folder, MAX_PATH));
}

// "" names no file: a write to it makes nothing, not even the Windows folder it makes for WIN.INI.
TEST(ProfileFile, WinIniAndTheWindowsFolderAreUnderTheRoot)
{
    const TempDir root;
    {
        const ScopedEnvironment unset("BRENLIX_ROOT", nullptr);
        EXPECT_EQ(WindowsFolder(), "/var/lib/brenlix/windows");
    }
    const ScopedEnvironment environment("BRENLIX_ROOT", (root.Path() + "/").c_str());
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "") || WritePrivateProfileSectionA("s", "a=1\0", ""));
    EXPECT_TRUE(std::filesystem::is_empty(root.Path()));
    EXPECT_EQ(WindowsFolder(), root.Path() + "/windows");
    ASSERT_TRUE(WriteProfileStringA("Mail", "MAPI", "1"));
    EXPECT_EQ(ReadFile(root.Path() + "/windows/WIN.INI"), "[Mail]\r\nMAPI=1\r\n");
    char value[8]; // a bare file name is looked for in the Windows folder
    EXPECT_EQ(std::string(value, GetPrivateProfileStringA("mail", "mapi", "", value, sizeof value, "WIN.INI")), "1");
}

// Edits keep each line's ending and layout; new lines take the file's ending.
TEST(ProfileFile, EditsKeepTheFilesLayout)
{
    const struct { std::string before; const char *section, *key, *value; std::string after; } rows[] = {
        {"[s]\nk=v\n", "s", "j", "w", "[s]\nk=v\nj=w\n"},
        {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", nullptr, nullptr, "\xEF\xBB\xBF"}, // byte order mark kept
        {"[\xC3\x86gir]\r\n\xC3\x98l=1\r\n", "\xC3\xA6GIR", "\xC3\xB8L", "2", "[\xC3\x86gir]\r\n\xC3\x98l=2\r\n"},
    };
    const TempDir dir;
    const std::string path = dir.File("layout.ini");
    for (const auto& row : rows) {
        WriteFile(path, row.before);
        EXPECT_TRUE(WritePrivateProfileStringA(row.section, row.key, row.value, path.c_str())) << row.before;
        EXPECT_EQ(ReadFile(path), row.after) << row.before;
    }
    WriteFile(path, "[s]\r\nk=v\r\n; inside\r\nplain\r\n\r\n; about t\r\n[t]\r\n");
    ASSERT_TRUE(WritePrivateProfileSectionA("s", "a=1\0", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[s]\r\na=1\r\n\r\n; about t\r\n[t]\r\n");
}

} // namespace
