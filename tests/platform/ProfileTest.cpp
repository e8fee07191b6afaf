// The profile (INI) functions as Windows has them. Runs against the Linux
// substitutes and, in the Windows build, against the system's own.
#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using testing_support::ReadFile;
using testing_support::RunningUnderWine;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr char kSentinel = '\xbd';

struct Buffer {
    explicit Buffer(std::size_t size) : bytes(size + 8, kSentinel) {}
    char* data() { return bytes.data(); }
    std::string Text(std::size_t count) const { return bytes.substr(0, count); }
    std::string bytes;
};

class Profile : public ::testing::Test {
protected:
    void Use(const std::string& text) { WriteFile(path, text); }

    TempDir dir;
    std::string path = dir.File("test.ini");
};

TEST_F(Profile, ReadsValuesTheWindowsWay)
{
    Use("[Job]\r\n  Server  =  alpha one  \r\nQuoted=\"  spaced  \"\r\nSingle='x'\r\nHalf=\"open\r\n"
        "Inner=\"a\"b\"\r\nEmpty=\r\nNoEquals\r\nTrail=x ; not a comment\r\nTabbed\t=\tv\t\r\n"
        "Twice=first\r\nTWICE=second\r\n[ Spaced Section ]\r\nk=in spaced\r\n");
    const struct {
        const char* section;
        const char* key;
        std::string expected;
    } rows[] = {
        {"Job", "Server", "alpha one"},
        {"JOB", "sErVeR", "alpha one"},
        {"Job", " Server ", "alpha one"},
        {"Job", "Quoted", "  spaced  "},
        {"Job", "Single", "x"},
        {"Job", "Half", "\"open"},
        {"Job", "Inner", "a\"b"},
        {"Job", "Empty", ""},
        {"Job", "NoEquals", "dflt"},
        {"Job", "Missing", "dflt"},
        {"Job", "Trail", "x ; not a comment"},
        {"Job", "Tabbed", "v"},
        {"Job", "Twice", "first"},
        {"spaced section", "K", "in spaced"},
        {"Nowhere", "Server", "dflt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.section) + " / " + row.key);
        Buffer buffer(64);
        const DWORD n = GetPrivateProfileStringA(row.section, row.key, "dflt", buffer.data(), 64, path.c_str());
        EXPECT_EQ(n, row.expected.size());
        EXPECT_EQ(buffer.Text(n + 2), row.expected + '\0' + kSentinel);
    }
}

// Defaults lose their trailing spaces; values and defaults are cut to fit.
TEST_F(Profile, CutsValuesAndDefaultsToTheBuffer)
{
    Use("[s]\r\nk=" + std::string(300, 'v') + "\r\n");
    const struct {
        const char* key;
        const char* fallback;
        DWORD size;
        std::string expected;
    } rows[] = {
        {"k", "", 255, std::string(254, 'v')},
        {"k", "", 256, std::string(255, 'v')},
        {"k", "", 400, std::string(300, 'v')},
        {"k", "", 1, ""},
        {"missing", "abcdefgh", 5, "abcd"},
        {"missing", "dflt  ", 32, "dflt"},
        {"missing", " lead", 32, " lead"},
        {"missing", "a b", 32, "a b"},
        {"missing", nullptr, 32, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " / " + (row.fallback != nullptr ? row.fallback : "(null)") + " / " +
                     std::to_string(row.size));
        Buffer buffer(row.size);
        const DWORD n = GetPrivateProfileStringA("s", row.key, row.fallback, buffer.data(), row.size, path.c_str());
        EXPECT_EQ(n, row.expected.size());
        EXPECT_EQ(buffer.Text(n + 2), row.expected + '\0' + kSentinel);
    }
    Buffer untouched(4);
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "d", untouched.data(), 0, path.c_str()), 0u);
    EXPECT_EQ(untouched.bytes[0], kSentinel);
}

TEST_F(Profile, MissingFileGivesDefaultsAndFileNotFound)
{
    Buffer buffer(32);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "dflt", buffer.data(), 32, path.c_str()), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(buffer.Text(5), std::string("dflt", 5));
    EXPECT_EQ(GetPrivateProfileIntA("s", "k", 9, path.c_str()), 9u);
    EXPECT_EQ(GetPrivateProfileSectionA("s", buffer.data(), 32, path.c_str()), 0u);
    EXPECT_EQ(buffer.bytes[0], '\0');
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer.data(), 32, path.c_str()), 0u);
    EXPECT_EQ(buffer.bytes[0], '\0');
    EXPECT_FALSE(testing_support::FileExists(path));
}

// Lists of names end in two NULs; a cut list too, and gives size - 2.
TEST_F(Profile, ListsKeysAndSectionNames)
{
    Use("[Sec]\r\nab=1\r\n;c=2\r\nplain\r\ncd=\r\n[Other]\r\nx=1\r\n[Third]\r\n");
    const std::string sections("Sec\0Other\0Third\0\0", 17);
    const std::string keys("ab\0cd\0\0", 7);
    const struct {
        const char* section; // nullptr: the section names
        DWORD size;
        DWORD expected;
        bool cut;
        std::string bytes; // the first size - 1 bytes when cut, else the whole list
    } rows[] = {
        {nullptr, 18, 16, false, sections},
        {nullptr, 17, 15, true, sections.substr(0, 16)}, // filled to the last byte counts as cut
        {nullptr, 8, 6, true, std::string("Sec\0Ot\0", 7)},
        {nullptr, 6, 4, true, std::string("Sec\0\0", 5)},
        {nullptr, 3, 1, true, std::string("S\0", 2)},
        {"sec", 64, 6, false, keys},
        {"sec", 5, 3, true, std::string("ab\0\0", 4)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.section != nullptr ? row.section : "(names)") + " size " +
                     std::to_string(row.size));
        Buffer buffer(row.size);
        EXPECT_EQ(GetPrivateProfileStringA(row.section, nullptr, "dflt", buffer.data(), row.size, path.c_str()),
                  row.expected);
        EXPECT_EQ(buffer.Text(row.bytes.size()), row.bytes);
        if (!row.cut) {
            EXPECT_EQ(buffer.bytes[row.bytes.size()], kSentinel);
        } else if (!RunningUnderWine()) { // Wine ends a cut list with one NUL
            EXPECT_EQ(buffer.bytes[row.size - 1], '\0');
        }
        EXPECT_EQ(buffer.bytes[row.size], kSentinel);
        if (row.section == nullptr) {
            Buffer names(row.size);
            EXPECT_EQ(GetPrivateProfileSectionNamesA(names.data(), row.size, path.c_str()), row.expected);
            EXPECT_EQ(names.Text(row.bytes.size()), row.bytes);
        }
    }
}

TEST_F(Profile, SectionReadLayoutAndCount)
{
    Use("[Job]\r\n  Server = alpha \r\nQuoted=\"q\"\r\n; note\r\n\r\nplain line \r\nEmpty=\r\n[Next]\r\n"
        "x=1\r\n[Small]\r\nab=1\r\ncd=2\r\n");
    Buffer whole(128);
    const std::string job("Server=alpha\0Quoted=\"q\"\0plain line\0Empty=\0\0", 43);
    EXPECT_EQ(GetPrivateProfileSectionA("JOB", whole.data(), 128, path.c_str()), job.size() - 1);
    EXPECT_EQ(whole.Text(job.size() + 1), job + kSentinel);
    EXPECT_EQ(GetPrivateProfileSectionA("Nowhere", whole.data(), 128, path.c_str()), 0u);
    EXPECT_EQ(whole.bytes[0], '\0');

    const struct {
        DWORD size;
        DWORD expected;
        std::string bytes;
    } rows[] = {
        {12, 10, std::string("ab=1\0cd=2\0\0", 11)},
        {11, 9, std::string("ab=1\0cd=2\0\0", 11)}, // filled to the last byte counts as cut
        {5, 3, std::string("ab=\0\0", 5)},
        {2, 0, std::string("\0\0", 2)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        Buffer buffer(row.size);
        EXPECT_EQ(GetPrivateProfileSectionA("Small", buffer.data(), row.size, path.c_str()), row.expected);
        EXPECT_EQ(buffer.Text(row.bytes.size() + 1), row.bytes + kSentinel);
    }
}

TEST_F(Profile, SectionLargerThanTheBufferIsCutAt4094)
{
    std::string text = "[Big]\r\n";
    std::string list;
    for (int i = 0; i < 500; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "key%03d=value%03d", i, i);
        text += std::string(line) + "\r\n";
        list += std::string(line) + '\0';
    }
    Use(text);
    Buffer buffer(4096);
    EXPECT_EQ(GetPrivateProfileSectionA("Big", buffer.data(), 4096, path.c_str()), 4094u);
    EXPECT_EQ(buffer.Text(4097), list.substr(0, 4094) + '\0' + '\0' + kSentinel);
    Buffer all(9000);
    EXPECT_EQ(GetPrivateProfileSectionA("Big", all.data(), 9000, path.c_str()), 8000u);
}

TEST_F(Profile, IntegersAsWindowsReadsThem)
{
    const struct {
        const char* value; // nullptr: no such key
        UINT expected;
    } rows[] = {
        {"70000", 70000u}, {"-5", static_cast<UINT>(-5)}, {" 12 ", 12u}, {"abc", 0u}, {"", 77u},
        {nullptr, 77u},    {"12abc", 12u},               {"+7", 7u},    {"010", 10u}, {"0x10", 16u},
        {"\"42\"", 42u},   {"- 5", 0u},                  {"4294967297", 1u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value != nullptr ? row.value : "(missing)");
        Use(row.value != nullptr ? std::string("[n]\r\nk=") + row.value + "\r\n" : std::string("[n]\r\n"));
        EXPECT_EQ(GetPrivateProfileIntA("N", "K", 77, path.c_str()), row.expected);
    }
    EXPECT_EQ(GetPrivateProfileIntA("n", "missing", -1, path.c_str()), 0xFFFFFFFFu);
}

TEST_F(Profile, WriteChangesOneLineAndKeepsTheRest)
{
    Use("; settings\r\n[Job]\r\nServer=old\r\n;Server=older\r\nplain\r\n\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("JOB", "server", "new", path.c_str()));
    std::string expected = "; settings\r\n[Job]\r\nServer=new\r\n;Server=older\r\nplain\r\n\r\n[Other]\r\nx=1\r\n";
    if (RunningUnderWine()) { // Wine writes the file anew from what it parsed, without blank lines
        expected = "; settings\r\n[Job]\r\nServer=new\r\n;Server=older\r\nplain\r\n[Other]\r\nx=1\r\n";
    }
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(Profile, WritesAddReplaceAndDeleteStepByStep)
{
    const struct {
        const char* section;
        const char* key;
        const char* value;
        const char* expected;
    } steps[] = {
        {"one", "a", "1", "[one]\r\na=1\r\n"},
        {"one", "b", "2", "[one]\r\na=1\r\nb=2\r\n"},
        {"two", "c", "3", "[one]\r\na=1\r\nb=2\r\n[two]\r\nc=3\r\n"},
        {"One", "A", "x", "[one]\r\na=x\r\nb=2\r\n[two]\r\nc=3\r\n"},
        {"one", "b", nullptr, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"one", "nokey", nullptr, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"nosec", "nokey", nullptr, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"TWO", nullptr, nullptr, "[one]\r\na=x\r\n"},
        {"nosec", nullptr, nullptr, "[one]\r\na=x\r\n"},
        {"one", "e", "", "[one]\r\na=x\r\ne=\r\n"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.section) + " / " + (step.key ? step.key : "(null)") + " = " +
                     (step.value ? step.value : "(null)"));
        EXPECT_TRUE(WritePrivateProfileStringA(step.section, step.key, step.value, path.c_str()));
        EXPECT_EQ(ReadFile(path), step.expected);
    }
    Use("[Sec]\r\nkey1=a");
    ASSERT_TRUE(WritePrivateProfileStringA("sec", "key2", "b", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[Sec]\r\nkey1=a\r\nkey2=b\r\n");
}

TEST_F(Profile, FlushAndDeletesOfNothingWriteNothing)
{
    Use("[s]\r\nk=v\r\n");
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str())); // a flush reports FALSE
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=v\r\n");

    const std::string absent = dir.File("absent.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, absent.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, absent.c_str()));
    EXPECT_FALSE(testing_support::FileExists(absent));
}

// Calls without a section: nothing is read or written, and the reason is
// the one Windows gives.
TEST_F(Profile, CallsWithoutASectionFail)
{
    Use("[s]\r\nk=v\r\n");
    const char* file = path.c_str();
    const struct {
        const char* what;
        std::function<DWORD(char* buffer)> call;
        DWORD error;
    } rows[] = {
        {"value written", [&](char*) -> DWORD { return WritePrivateProfileStringA(nullptr, "k", "v", file); },
         ERROR_FILE_NOT_FOUND},
        {"section read", [&](char* buffer) { return GetPrivateProfileSectionA(nullptr, buffer, 32, file); },
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Buffer buffer(32);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.call(buffer.data()), 0u);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(buffer.bytes[0], kSentinel);
    }
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=v\r\n");
}

// Windows sets the last error only when the file cannot be read; the second
// round reads each file from the cache.
TEST_F(Profile, SuccessfulReadsKeepTheLastError)
{
    Use("[s]\r\nk=12\r\n");
    const char* file = path.c_str();
    const struct {
        const char* what;
        std::function<DWORD(char* buffer)> call;
    } rows[] = {
        {"value", [&](char* buffer) { return GetPrivateProfileStringA("s", "k", "d", buffer, 32, file); }},
        {"key names", [&](char* buffer) { return GetPrivateProfileStringA("s", nullptr, "d", buffer, 32, file); }},
        {"section names by string",
         [&](char* buffer) { return GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 32, file); }},
        {"integer", [&](char*) -> DWORD { return GetPrivateProfileIntA("s", "k", 0, file); }},
        {"section", [&](char* buffer) { return GetPrivateProfileSectionA("s", buffer, 32, file); }},
        {"section names", [&](char* buffer) { return GetPrivateProfileSectionNamesA(buffer, 32, file); }},
    };
    for (const int round : {1, 2}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.what) + " round " + std::to_string(round));
            Buffer buffer(32);
            SetLastError(0xdeadbeef);
            EXPECT_GT(row.call(buffer.data()), 0u);
            if (!RunningUnderWine()) { // Wine clears the last error on a successful read
                EXPECT_EQ(GetLastError(), 0xdeadbeefu);
            }
        }
    }
}

// Windows reads a line as a C string, so a line holding only a NUL byte is
// blank: never an entry of its section.
TEST_F(Profile, LoneNulLineIsNoEntry)
{
    const struct {
        const char* what;
        std::string bytes;
        std::string list; // without the closing NUL
    } rows[] = {
        {"last line", std::string("[s]\r\na=1\r\n\0", 12), std::string("a=1\0", 4)},
        {"last line, ended", std::string("[s]\r\na=1\r\n\0\r\n", 14), std::string("a=1\0", 4)},
        {"before the next section", std::string("[s]\r\na=1\r\n\0\r\n[t]\r\nb=2\r\n", 24), std::string("a=1\0", 4)},
        {"only line", std::string("[s]\r\n\0", 6), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Use(row.bytes);
        Buffer buffer(64);
        EXPECT_EQ(GetPrivateProfileSectionA("s", buffer.data(), 64, path.c_str()), row.list.size());
        EXPECT_EQ(buffer.Text(row.list.size() + 1), row.list + '\0');
    }
}

// A section without a name ("[]", or "[ ]" with its blanks trimmed) is left
// out: a caller walking the list stops at the first empty name.
TEST_F(Profile, NamelessSectionsAreNotListed)
{
    Use("top=1\r\n[]\r\na=1\r\n[Sec]\r\n[ ]\r\nb=2\r\n[Last]\r\n");
    const std::string names("Sec\0Last\0\0", 10);
    Buffer byString(64);
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "d", byString.data(), 64, path.c_str()), 9u);
    EXPECT_EQ(byString.Text(10), names);
    Buffer listed(64);
    EXPECT_EQ(GetPrivateProfileSectionNamesA(listed.data(), 64, path.c_str()), 9u);
    EXPECT_EQ(listed.Text(10), names);
}

TEST_F(Profile, WritesIntoAMissingFolderFail)
{
    const std::string inMissingFolder = dir.File("missing") + platform::PathSeparator() + "x.ini";
    const struct {
        const char* key;
        const char* value;
    } rows[] = {{"k", "v"}, {"k", nullptr}, {nullptr, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key ? "key" : "section") + (row.value ? " set" : " delete"));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WritePrivateProfileStringA("s", row.key, row.value, inMissingFolder.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
}

TEST_F(Profile, WriteToAReadOnlyFileFails)
{
    if (testing_support::IgnoresFilePermissions()) {
        GTEST_SKIP() << "this user writes read-only files";
    }
    Use("[s]\r\nk=v\r\n");
    testing_support::MakeReadOnly(path);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "w", path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=v\r\n");
}

TEST_F(Profile, SectionWriteReplacesOrCreates)
{
    Use("[s]\r\nk=v\r\nj=w\r\n[t]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSectionA("S", "a=1\0b=2\0", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[s]\r\na=1\r\nb=2\r\n[t]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSectionA("new", "n=1\0", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileSectionA("t", "\0", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[s]\r\na=1\r\nb=2\r\n[t]\r\n[new]\r\nn=1\r\n");
    Buffer buffer(32);
    EXPECT_EQ(GetPrivateProfileSectionA("s", buffer.data(), 32, path.c_str()), 8u);
    EXPECT_EQ(buffer.Text(9), std::string("a=1\0b=2\0\0", 9));
}

// WIN.INI, and files named without a folder, live in the Windows folder. The
// Linux substitutes find it under BRENLIX_ROOT.
class WinIni : public ::testing::Test {
protected:
    void TearDown() override { WriteProfileStringA(section.c_str(), nullptr, nullptr); }

    TempDir root;
    testing_support::ScopedEnvironment environment{"BRENLIX_ROOT", root.Path().c_str()};
    std::string section = "DunmarrowTest" + std::to_string(GetCurrentProcessId());
};

TEST_F(WinIni, WritesReadsAndDeletesASection)
{
    const char* s = section.c_str();
    ASSERT_TRUE(WriteProfileStringA(s, "Key", "value"));
    ASSERT_TRUE(WriteProfileStringA(s, "Num", "42"));
    const std::string otherCase = "dUNMARROWtEST" + std::to_string(GetCurrentProcessId());
    Buffer buffer(64);
    EXPECT_EQ(GetProfileStringA(otherCase.c_str(), "KEY", "", buffer.data(), 64), 5u);
    EXPECT_EQ(buffer.Text(6), std::string("value", 6));
    EXPECT_EQ(GetProfileIntA(s, "Num", 7), 42u);
    EXPECT_EQ(GetProfileIntA(s, "None", 7), 7u);
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 17u);
    EXPECT_EQ(buffer.Text(18), std::string("Key=value\0Num=42\0\0", 18));

    ASSERT_TRUE(WriteProfileSectionA(s, "a=1\0"));
    if (!RunningUnderWine()) { // Wine's WriteProfileSectionA leaves WIN.INI as it was
        EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 4u);
        EXPECT_EQ(buffer.Text(5), std::string("a=1\0\0", 5));
    }

    ASSERT_TRUE(WriteProfileStringA(s, nullptr, nullptr));
    EXPECT_EQ(GetProfileStringA(s, "a", "gone", buffer.data(), 64), 4u);
}

// Only a null file name means WIN.INI. "" is the Windows folder itself,
// which is no file: writes fail, reads give the defaults, WIN.INI stays.
TEST_F(WinIni, EmptyFileNameIsNotWinIni)
{
    const char* s = section.c_str();
    ASSERT_TRUE(WriteProfileStringA(s, "Kept", "1"));
    const struct {
        const char* what;
        std::function<BOOL()> write;
        bool wineDiffers;
    } rows[] = {
        {"value written", [&] { return WritePrivateProfileStringA(s, "k", "v", ""); }, false},
        {"key deleted", [&] { return WritePrivateProfileStringA(s, "Kept", nullptr, ""); }, false},
        {"section deleted", [&] { return WritePrivateProfileStringA(s, nullptr, nullptr, ""); }, false},
        {"section written", [&] { return WritePrivateProfileSectionA(s, "a=1\0", ""); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.wineDiffers && RunningUnderWine()) { // Wine's WritePrivateProfileSectionA reports success for ""
            continue;
        }
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(row.write());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    Buffer buffer(64);
    EXPECT_EQ(GetPrivateProfileStringA(s, "Kept", "dflt", buffer.data(), 64, ""), 4u);
    EXPECT_EQ(buffer.Text(5), std::string("dflt", 5));
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 7u);
    EXPECT_EQ(buffer.Text(8), std::string("Kept=1\0\0", 8));
}

TEST_F(WinIni, FileNameWithoutFolderIsInTheWindowsFolder)
{
    const std::string name = section + ".ini";
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", name.c_str()));
    char folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string file = std::string(folder, length) + platform::PathSeparator() + name;
    EXPECT_EQ(ReadFile(file), "[s]\r\nk=v\r\n");
    Buffer buffer(8);
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buffer.data(), 8, name.c_str()), 1u);
    std::remove(file.c_str());
}

// Both give the size needed, NUL counted, and write nothing when the buffer is
// too small.
TEST(Folders, TooSmallBufferGivesTheSizeNeeded)
{
    const struct {
        const char* what;
        DWORD (*get)(char* buffer, DWORD size);
    } rows[] = {
        {"GetWindowsDirectoryA", [](char* buffer, DWORD size) -> DWORD { return GetWindowsDirectoryA(buffer, size); }},
        {"GetCurrentDirectoryA", [](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const DWORD needed = row.get(nullptr, 0);
        ASSERT_GT(needed, 1u);
        for (const DWORD size : {DWORD{0}, DWORD{1}, needed - 1}) {
            Buffer buffer(needed);
            EXPECT_EQ(row.get(buffer.data(), size), needed) << "size " << size;
            EXPECT_EQ(buffer.bytes[0], kSentinel);
        }
        Buffer buffer(needed);
        EXPECT_EQ(row.get(buffer.data(), needed), needed - 1);
        EXPECT_EQ(std::strlen(buffer.data()), needed - 1);
        EXPECT_EQ(buffer.bytes[needed], kSentinel);
    }
}

} // namespace
