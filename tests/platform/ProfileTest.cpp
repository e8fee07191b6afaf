// The profile (INI) functions as Windows has them: the Linux substitutes, and the system's own in the
// Windows build.
#include <platform/Files.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using testing_support::ReadFile;
using testing_support::RunningUnderWine;
using testing_support::WriteFile;

constexpr char kSentinel = '\xbd';

struct Buffer {
    explicit Buffer(std::size_t size) : bytes(size + 8, kSentinel) {}
    char* data() { return bytes.data(); }
    std::string Text(std::size_t count) const { return bytes.substr(0, count); }
    std::string bytes;
};

// A value as the buffer holds it: its NUL, then the untouched byte after it.
std::string S(const std::string& value) { return value + '\0' + kSentinel; }
std::string B(const char* bytes, std::size_t size) { return std::string(bytes, size); }

class Profile : public ::testing::Test {
protected:
    void Use(const std::string& text) { WriteFile(path, text); }

    testing_support::TempDir dir;
    std::string path = dir.File("test.ini");
};

// Values, lists of keys or section names (two NULs at the end; a cut list too, with size - 2) and sections.
TEST_F(Profile, ReadsAsWindowsDoes)
{
    const std::string job = "[Job]\r\n  Server  =  alpha one  \r\nQuoted=\"  spaced  \"\r\nSingle='x'\r\n"
                            "Half=\"open\r\nInner=\"a\"b\"\r\nEmpty=\r\nNoEquals\r\nTrail=x ; not a comment\r\n"
                            "Twice=first\r\nTWICE=second\r\n[ Spaced Section ]\r\nk=in spaced\r\n";
    const std::string longValue = "[s]\r\nk=" + std::string(300, 'v') + "\r\n";
    const std::string lists = "[Sec]\r\nab=1\r\n;c=2\r\nplain\r\ncd=\r\n[Other]\r\nx=1\r\n[Third]\r\n";
    const std::string names = B("Sec\0Other\0Third\0\0", 17);
    const std::string sections = "[Job]\r\n  Server = alpha \r\nQuoted=\"q\"\r\n; note\r\n\r\nplain line \r\nEmpty=\r\n"
                                 "[Next]\r\nx=1\r\n[Small]\r\nab=1\r\ncd=2\r\n";
    // A section without a name ("[]", or "[ ]" trimmed) is left out: a caller stops at the first empty name.
    const std::string nameless = "top=1\r\n[]\r\na=1\r\n[Sec]\r\n[ ]\r\nb=2\r\n[Last]\r\n";
    // section: GetPrivateProfileSectionA, else GetPrivateProfileStringA; bytes: the buffer's first bytes as Windows
    // leaves them; cut: a cut list, which Wine ends with one NUL
    const struct { const std::string& text; bool section; const char *name, *key, *fallback; DWORD size, result; std::string bytes; bool cut = false; } rows[] = {
        {job, false, "JOB", "sErVeR", "dflt", 64, 9, S("alpha one")},
        {job, false, "Job", "Quoted", "dflt", 64, 10, S("  spaced  ")},
        {job, false, "Job", "Single", "dflt", 64, 1, S("x")},
        {job, false, "Job", "Half", "dflt", 64, 5, S("\"open")},
        {job, false, "Job", "Inner", "dflt", 64, 3, S("a\"b")},
        {job, false, "Job", "Empty", "dflt", 64, 0, S("")},
        {job, false, "Job", "NoEquals", "dflt", 64, 4, S("dflt")},
        {job, false, "Job", "Trail", "dflt", 64, 17, S("x ; not a comment")},
        {job, false, "Job", "Twice", "dflt", 64, 5, S("first")},
        {job, false, "spaced section", "K", "dflt", 64, 9, S("in spaced")},
        {job, false, "Nowhere", "Server", "dflt", 64, 4, S("dflt")},
        // Values and defaults are cut to fit; defaults lose their trailing blanks.
        {longValue, false, "s", "k", "", 256, 255, S(std::string(255, 'v'))},
        {longValue, false, "s", "k", "d", 0, 0, {kSentinel}},
        {longValue, false, "s", "missing", "abcdefgh", 5, 4, S("abcd")},
        {longValue, false, "s", "missing", "dflt  ", 32, 4, S("dflt")},
        {longValue, false, "s", "missing", nullptr, 32, 0, S("")},
        {lists, false, nullptr, nullptr, "dflt", 18, 16, names + kSentinel},
        {lists, false, nullptr, nullptr, "dflt", 17, 15, names + kSentinel, true}, // filled to the last byte is cut
        {lists, false, "sec", nullptr, "dflt", 64, 6, B("ab\0cd\0\0", 7) + kSentinel},
        {lists, false, "sec", nullptr, "dflt", 5, 3, S(B("ab\0\0", 4)), true},
        {nameless, false, nullptr, nullptr, "d", 64, 9, B("Sec\0Last\0\0", 10) + kSentinel},
        {sections, true, "JOB", nullptr, nullptr, 128, 42,
         B("Server=alpha\0Quoted=\"q\"\0plain line\0Empty=\0\0", 43) + kSentinel},
        {sections, true, "Nowhere", nullptr, nullptr, 128, 0, B("\0", 1)},
        {sections, true, "Small", nullptr, nullptr, 11, 9, B("ab=1\0cd=2\0\0", 11) + kSentinel}, // filled: cut
    };
    for (const auto& row : rows) {
        const std::string what = std::string(row.name ? row.name : "-") + "/" + (row.key ? row.key : "-") + "/" +
                                 (row.fallback ? row.fallback : "-") + "/" + std::to_string(row.size);
        Use(row.text);
        const std::string expected = row.cut && RunningUnderWine() ? row.bytes.substr(0, row.size - 1) : row.bytes;
        Buffer buffer(row.size);
        EXPECT_EQ(row.section ? GetPrivateProfileSectionA(row.name, buffer.data(), row.size, path.c_str())
                              : GetPrivateProfileStringA(row.name, row.key, row.fallback, buffer.data(), row.size,
                                                         path.c_str()),
                  row.result) << what;
        EXPECT_EQ(buffer.Text(expected.size()), expected) << what;
        if (!row.section && row.name == nullptr) {
            Buffer listed(row.size);
            EXPECT_EQ(GetPrivateProfileSectionNamesA(listed.data(), row.size, path.c_str()), row.result) << what;
            const std::string listedBytes = row.cut ? row.bytes.substr(0, row.size - 1) : row.bytes;
            EXPECT_EQ(listed.Text(listedBytes.size()), listedBytes) << what;
        }
    }
}

// A line is read as a C string, so a line holding only a NUL byte is blank: never an entry.
TEST_F(Profile, LineOfOnlyANulIsBlank)
{
    for (const std::string& text : {B("[s]\r\na=1\r\n\0", 12), B("[s]\r\na=1\r\n\0\r\n", 14),
                                    B("[s]\r\na=1\r\n\0\r\n[t]\r\nb=2\r\n", 24)}) {
        Use(text);
        Buffer buffer(64);
        EXPECT_EQ(GetPrivateProfileSectionA("s", buffer.data(), 64, path.c_str()), 4u);
        EXPECT_EQ(buffer.Text(5), B("a=1\0\0", 5));
    }
}

TEST_F(Profile, IntegersAsWindowsReadsThem)
{
    const struct { const char* value; UINT expected; } rows[] = { // value nullptr: no such key
        {"70000", 70000u}, {"-5", static_cast<UINT>(-5)}, {" 12 ", 12u}, {"abc", 0u}, {"", 77u}, {nullptr, 77u},
        {"12abc", 12u}, {"+7", 7u}, {"010", 10u}, {"0x10", 16u}, {"\"42\"", 42u}, {"- 5", 0u}, {"4294967297", 1u},
    };
    for (const auto& row : rows) {
        Use(row.value != nullptr ? std::string("[n]\r\nk=") + row.value + "\r\n" : std::string("[n]\r\n"));
        EXPECT_EQ(GetPrivateProfileIntA("N", "K", 77, path.c_str()), row.expected) << (row.value ? row.value : "-");
    }
    EXPECT_EQ(GetPrivateProfileIntA("n", "missing", -1, path.c_str()), 0xFFFFFFFFu);
}

// Windows sets the last error only when the file cannot be read;
// a call without a section fails with the reason Windows gives and touches nothing.
TEST_F(Profile, ResultsAndLastError)
{
    Use("[s]\r\nk=12\r\n");
    const std::string missing = dir.File("missing.ini");
    const char *file = path.c_str(), *none = missing.c_str();
    constexpr DWORD kKept = 0xdeadbeef;
    const struct { const char* what; std::function<DWORD(char* buffer)> call; DWORD result, error; std::string bytes; } rows[] = {
        {"value", [&](char* b) { return GetPrivateProfileStringA("s", "k", "d", b, 32, file); }, 2, kKept, S("12")},
        {"keys", [&](char* b) { return GetPrivateProfileStringA("s", 0, "d", b, 32, file); }, 2, kKept, S("k\0"s)},
        {"names", [&](char* b) { return GetPrivateProfileStringA(0, 0, "d", b, 32, file); }, 2, kKept, S("s\0"s)},
        {"integer", [&](char*) -> DWORD { return GetPrivateProfileIntA("s", "k", 0, file); }, 12, kKept, ""},
        {"section", [&](char* b) { return GetPrivateProfileSectionA("s", b, 32, file); }, 5, kKept, S(B("k=12\0", 5))},
        {"missing value", [&](char* b) { return GetPrivateProfileStringA("s", "k", "dflt", b, 32, none); }, 4,
         ERROR_FILE_NOT_FOUND, S("dflt")},
        {"missing integer", [&](char*) -> DWORD { return GetPrivateProfileIntA("s", "k", 9, none); }, 9, 0, ""},
        {"missing section", [&](char* b) { return GetPrivateProfileSectionA("s", b, 32, none); }, 0, 0, B("\0", 1)},
        {"missing names", [&](char* b) { return GetPrivateProfileSectionNamesA(b, 32, none); }, 0, 0, B("\0", 1)},
        {"write without section", [&](char*) -> DWORD { return WritePrivateProfileStringA(nullptr, "k", "v", file); },
         0, ERROR_FILE_NOT_FOUND, {kSentinel}},
        {"section read without section", [&](char* b) { return GetPrivateProfileSectionA(nullptr, b, 32, file); }, 0,
         ERROR_INVALID_PARAMETER, {kSentinel}},
    };
    for (const auto& row : rows) {
        Buffer buffer(32);
        SetLastError(kKept);
        EXPECT_EQ(row.call(buffer.data()), row.result) << row.what;
        EXPECT_EQ(buffer.Text(row.bytes.size()), row.bytes) << row.what;
        const bool kept = row.error != 0 && !(row.error == kKept && RunningUnderWine()); // Wine clears it
        EXPECT_EQ(kept ? GetLastError() : row.error, row.error) << row.what;
    }
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=12\r\n");
    EXPECT_FALSE(testing_support::FileExists(missing));
}

TEST_F(Profile, WritesStepByStep)
{
    const struct { const char *section, *key, *value; BOOL result; const char* expected; } steps[] = {
        {"one", "b", "2", TRUE, "[one]\r\nb=2\r\n"}, {"one", "a", "1", TRUE, "[one]\r\nb=2\r\na=1\r\n"},
        {"two", "c", "3", TRUE, "[one]\r\nb=2\r\na=1\r\n[two]\r\nc=3\r\n"},
        {"One", "A", "x", TRUE, "[one]\r\nb=2\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"one", "b", nullptr, TRUE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"one", "nokey", nullptr, TRUE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {nullptr, nullptr, nullptr, FALSE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"}, // a flush reports FALSE
        {"TWO", nullptr, nullptr, TRUE, "[one]\r\na=x\r\n"},
        {"nosec", nullptr, nullptr, TRUE, "[one]\r\na=x\r\n"},
        {"one", "e", "", TRUE, "[one]\r\na=x\r\ne=\r\n"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(WritePrivateProfileStringA(step.section, step.key, step.value, path.c_str()), step.result)
            << step.expected;
        EXPECT_EQ(ReadFile(path), step.expected);
    }
    Use("; settings\r\n[Job]\r\nServer=old\r\n;Server=older\r\nplain\r\n\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("JOB", "server", "new", path.c_str()));
    // Wine writes the file anew from what it parsed, without blank lines.
    const std::string head = "; settings\r\n[Job]\r\nServer=new\r\n;Server=older\r\nplain\r\n";
    EXPECT_EQ(ReadFile(path), head + (RunningUnderWine() ? "" : "\r\n") + "[Other]\r\nx=1\r\n");
    Use("[s]\r\nk=v\r\nj=w\r\n[t]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSectionA("S", "a=1\0b=2\0", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileSectionA("new", "n=1\0", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileSectionA("t", "\0", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[s]\r\na=1\r\nb=2\r\n[t]\r\n[new]\r\nn=1\r\n");
    const std::string absent = dir.File("absent.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, absent.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, absent.c_str()));
    EXPECT_FALSE(testing_support::FileExists(absent));
}

TEST_F(Profile, WritesThatFail)
{
    const std::string inMissingFolder = dir.File("missing") + platform::PathSeparator() + "x.ini";
    using Pair = std::pair<const char*, const char*>;
    for (const auto& [key, value] : {Pair{"k", "v"}, Pair{"k", nullptr}, Pair{nullptr, nullptr}}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WritePrivateProfileStringA("s", key, value, inMissingFolder.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << (key ? key : "-") << !value;
    }
    if (testing_support::IgnoresFilePermissions())
        GTEST_SKIP() << "this user writes read-only files";
    Use("[s]\r\nk=v\r\n");
    testing_support::MakeReadOnly(path);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "w", path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=v\r\n");
}

// WIN.INI lives in the Windows folder (under BRENLIX_ROOT on Linux).
class WinIni : public ::testing::Test {
protected:
    void TearDown() override { WriteProfileStringA(section.c_str(), nullptr, nullptr); }

    testing_support::TempDir root;
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
    EXPECT_EQ(buffer.Text(7), S("value"));
    EXPECT_EQ(GetProfileIntA(s, "Num", 7), 42u);
    EXPECT_EQ(GetProfileIntA(s, "None", 7), 7u);
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 17u);
    EXPECT_EQ(buffer.Text(18), B("Key=value\0Num=42\0\0", 18));
    ASSERT_TRUE(WriteProfileSectionA(s, "a=1\0"));
    if (!RunningUnderWine()) { // Wine's WriteProfileSectionA leaves WIN.INI as it was
        EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 4u);
        EXPECT_EQ(buffer.Text(5), B("a=1\0\0", 5));
    }
    ASSERT_TRUE(WriteProfileStringA(s, nullptr, nullptr));
    EXPECT_EQ(GetProfileStringA(s, "a", "gone", buffer.data(), 64), 4u);
    // Only a null file name means WIN.INI; "" is the Windows folder itself, which is no file.
    ASSERT_TRUE(WriteProfileStringA(s, "Kept", "1"));
    const struct { std::function<BOOL()> write; bool wineDiffers; } rows[] = { // Wine's Section call takes ""
        {[&] { return WritePrivateProfileStringA(s, "Kept", nullptr, ""); }, false},
        {[&] { return WritePrivateProfileSectionA(s, "a=1\0", ""); }, true},
    };
    for (const auto& row : rows) {
        SetLastError(0xdeadbeef);
        if (!row.wineDiffers || !RunningUnderWine()) {
            EXPECT_EQ((std::vector<DWORD>{DWORD(row.write()), GetLastError()}), (std::vector<DWORD>{0, ERROR_ACCESS_DENIED}));
        }
    }
    EXPECT_EQ(GetPrivateProfileStringA(s, "Kept", "dflt", buffer.data(), 64, ""), 4u);
    EXPECT_EQ(buffer.Text(5), B("dflt", 5));
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 7u);
    EXPECT_EQ(buffer.Text(8), B("Kept=1\0\0", 8));
}

// Both give the size needed, NUL counted, and write nothing when the buffer is too small.
TEST(Folders, TooSmallBufferGivesTheSizeNeeded)
{
    for (const auto get : {+[](char* buffer, DWORD size) -> DWORD { return GetWindowsDirectoryA(buffer, size); },
                           +[](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); }}) {
        const DWORD needed = get(nullptr, 0);
        Buffer small(needed), fits(needed);
        EXPECT_EQ((std::vector<DWORD>{get(small.data(), needed - 1), get(fits.data(), needed)}),
                  (std::vector<DWORD>{needed, needed - 1}));
        EXPECT_EQ(std::make_pair(small.bytes[0], fits.bytes[needed]), std::make_pair(kSentinel, kSentinel));
        EXPECT_EQ(std::strlen(fits.data()), needed - 1);
    }
}

} // namespace
