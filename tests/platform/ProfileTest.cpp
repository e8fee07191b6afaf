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

// A buffer for size bytes, and more, all marked as untouched.
std::string Buffer(std::size_t size) { return std::string(size + 8, kSentinel); }

// A value as the buffer holds it: its NUL, then the untouched byte after it.
std::string S(const std::string& value) { return value + '\0' + kSentinel; }
// The last error a failing call leaves over a marker; ERROR_SUCCESS when the call succeeds.
template <typename Call> DWORD Failure(Call call) { return SetLastError(0xdeadbeef), call() ? 0 : GetLastError(); }

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
                            "Half=\"open\r\nEmpty=\r\nNoEquals\r\nTrail=x ; not a comment\r\n"
                            "Twice=first\r\nTWICE=second\r\n[ Spaced Section ]\r\nk=in spaced\r\n";
    const std::string longValue = "[s]\r\nk=" + std::string(300, 'v') + "\r\n";
    const std::string lists = "[Sec]\r\nab=1\r\n;c=2\r\nplain\r\ncd=\r\n[Other]\r\nx=1\r\n[Third]\r\n";
    const std::string names = "Sec\0Other\0Third\0\0"s;
    const std::string sections = "[Job]\r\n  Server = alpha \r\nQuoted=\"q\"\r\n; note\r\n\r\nplain line \r\nEmpty=\r\n"
                                 "[Next]\r\nx=1\r\n[Small]\r\nab=1\r\ncd=2\r\n";
    // A section without a name ("[]", or "[ ]" trimmed) is left out: a caller stops at the first empty name.
    const std::string nameless = "top=1\r\n[]\r\na=1\r\n[Sec]\r\n[ ]\r\nb=2\r\n[Last]\r\n";
    // section: GetPrivateProfileSectionA, else GetPrivateProfileStringA; bytes: the buffer's first bytes as Windows
    // leaves them; cut: a cut list, which Wine ends with one NUL
    const struct { std::string text; bool section; const char *name, *key, *fallback; DWORD size, result;
                   std::string bytes; bool cut = false; } rows[] = {
        {job, false, "JOB", "sErVeR", "dflt", 64, 9, S("alpha one")},
        {job, false, "Job", "Single", "dflt", 64, 1, S("x")},
        {job, false, "Job", "Quoted", "dflt", 64, 10, S("  spaced  ")},
        {job, false, "Job", "Empty", "dflt", 64, 0, S("")},
        {job, false, "Job", "Half", "dflt", 64, 5, S("\"open")},
        {job, false, "Job", "NoEquals", "dflt", 64, 4, S("dflt")},
        {job, false, "Job", "Twice", "dflt", 64, 5, S("first")},
        {job, false, "Job", "Trail", "dflt", 64, 17, S("x ; not a comment")},
        {job, false, "spaced section", "K", "dflt", 64, 9, S("in spaced")},
        {job, false, "Nowhere", "Server", "dflt", 64, 4, S("dflt")},
        // Values and defaults are cut to fit; defaults lose their trailing blanks.
        {longValue, false, "s", "k", "", 256, 255, S(std::string(255, 'v'))},
        {longValue, false, "s", "k", "d", 0, 0, {kSentinel}}, {longValue, false, "s", "missing", nullptr, 32, 0, S("")},
        {longValue, false, "s", "missing", "dflt  ", 32, 4, S("dflt")},
        {lists, false, nullptr, nullptr, "dflt", 18, 16, names + kSentinel},
        {lists, false, nullptr, nullptr, "dflt", 17, 15, names + kSentinel, true}, // filled to the last byte is cut
        {lists, false, "sec", nullptr, "dflt", 64, 6, "ab\0cd\0\0"s + kSentinel},
        {nameless, false, nullptr, nullptr, "d", 64, 9, "Sec\0Last\0\0"s + kSentinel},
        {"\xEF\xBB\xBF[s]\r\nk=v\r\n", false, nullptr, nullptr, "d", 64, 2, "s\0\0"s + kSentinel}, // byte order mark
        {sections, true, "JOB", nullptr, nullptr, 128, 42,
         "Server=alpha\0Quoted=\"q\"\0plain line\0Empty=\0\0"s + kSentinel},
        {sections, true, "Nowhere", nullptr, nullptr, 128, 0, "\0"s},
        {sections, true, "Small", nullptr, nullptr, 11, 9, "ab=1\0cd=2\0\0"s + kSentinel}, // filled: cut
        // A line is read as a C string, so a line holding only a NUL byte is blank: never an entry.
        {"[s]\r\na=1\r\n\0\r\n[t]\r\nb=2\r\n"s, true, "s", nullptr, nullptr, 64, 4, "a=1\0\0"s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        Use(row.text);
        const std::string expected = row.cut && RunningUnderWine() ? row.bytes.substr(0, row.size - 1) : row.bytes;
        std::string buffer = Buffer(row.size);
        EXPECT_EQ(row.section ? GetPrivateProfileSectionA(row.name, buffer.data(), row.size, path.c_str())
                              : GetPrivateProfileStringA(row.name, row.key, row.fallback, buffer.data(), row.size,
                                                         path.c_str()),
                  row.result);
        EXPECT_EQ(buffer.substr(0, expected.size()), expected);
        if (!row.section && row.name == nullptr) { // the section names' own call gives the list too
            std::string listed = Buffer(row.size);
            EXPECT_EQ(GetPrivateProfileSectionNamesA(listed.data(), row.size, path.c_str()), row.result);
            const std::string listedBytes = row.cut ? row.bytes.substr(0, row.size - 1) : row.bytes;
            EXPECT_EQ(listed.substr(0, listedBytes.size()), listedBytes);
        }
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
}

// Windows sets the last error when the file cannot be read, and clears it after reading a section (Wine's own
// tests); a call without a section fails with the reason Windows gives and touches nothing.
TEST_F(Profile, ResultsAndLastError)
{
    Use("[s]\r\nk=12\r\n");
    const std::string missing = dir.File("missing.ini");
    const std::string noFolder = dir.File("none") + platform::PathSeparator() + "x.ini";
    const char *file = path.c_str(), *none = missing.c_str(), *inNoFolder = noFolder.c_str();
    constexpr DWORD kKept = 0xdeadbeef, kAny = 0xffffffff;
    const struct { const char* what; std::function<DWORD(char* buffer)> call; DWORD result, error;
                   std::string bytes; } rows[] = {
        {"value", [&](char* b) { return GetPrivateProfileStringA("s", "k", "d", b, 32, file); }, 2, kKept, S("12")},
        {"missing value", [&](char* b) { return GetPrivateProfileStringA("s", "k", "dflt", b, 32, none); }, 4,
         ERROR_FILE_NOT_FOUND, S("dflt")},
        {"missing folder", [&](char* b) { return GetPrivateProfileStringA("s", "k", "dflt", b, 32, inNoFolder); }, 4,
         RunningUnderWine() ? DWORD{ERROR_PATH_NOT_FOUND} : DWORD{ERROR_FILE_NOT_FOUND}, S("dflt")}, // documented: 2
        {"blank default", [&](char* b) { return GetPrivateProfileStringA("s", "x", "   ", b, 32, file); },
         RunningUnderWine() ? 1u : 0u, kKept, RunningUnderWine() ? S(" ") : S("")}, // documented: trailing blanks go
        {"missing integer", [&](char*) -> DWORD { return GetPrivateProfileIntA("s", "k", 9, none); }, 9, kAny, ""},
        {"section", [&](char* b) { return GetPrivateProfileSectionA("S", b, 32, file); }, 5, ERROR_SUCCESS, "k=12\0\0"s},
        {"missing section", [&](char* b) { return GetPrivateProfileSectionA("s", b, 32, none); }, 0, kAny, "\0"s},
        {"missing names", [&](char* b) { return GetPrivateProfileSectionNamesA(b, 32, none); }, 0, kAny, "\0"s},
        {"write without section", [&](char*) -> DWORD { return WritePrivateProfileStringA(nullptr, "k", "v", file); },
         0, ERROR_FILE_NOT_FOUND, {kSentinel}},
        {"section read without section", [&](char* b) { return GetPrivateProfileSectionA(nullptr, b, 32, file); }, 0,
         ERROR_INVALID_PARAMETER, {kSentinel}},
    };
    for (const auto& row : rows) {
        std::string buffer = Buffer(32);
        SetLastError(kKept);
        EXPECT_EQ(row.call(buffer.data()), row.result) << row.what;
        EXPECT_EQ(buffer.substr(0, row.bytes.size()), row.bytes) << row.what;
        const bool kept = row.error != kAny && !(row.error == kKept && RunningUnderWine()); // Wine clears it
        EXPECT_EQ(kept ? GetLastError() : row.error, row.error) << row.what;
    }
    EXPECT_EQ(ReadFile(path), "[s]\r\nk=12\r\n");
    EXPECT_FALSE(testing_support::FileExists(missing));
}

TEST_F(Profile, Writes)
{
    const struct { const char *section, *key, *value; BOOL result; const char* expected; } steps[] = {
        {"one", "b", "2", TRUE, "[one]\r\nb=2\r\n"}, {"one", "a", "1", TRUE, "[one]\r\nb=2\r\na=1\r\n"},
        {"two", "c", "3", TRUE, "[one]\r\nb=2\r\na=1\r\n[two]\r\nc=3\r\n"},
        {"One", "A", "x", TRUE, "[one]\r\nb=2\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"one", "b", nullptr, TRUE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {"one", "nokey", nullptr, TRUE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"},
        {nullptr, nullptr, nullptr, FALSE, "[one]\r\na=x\r\n[two]\r\nc=3\r\n"}, // a flush reports FALSE
        {"TWO", nullptr, nullptr, TRUE, "[one]\r\na=x\r\n"}, {"nosec", nullptr, nullptr, TRUE, "[one]\r\na=x\r\n"},
        {"one", "e", "", TRUE, "[one]\r\na=x\r\ne=\r\n"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(WritePrivateProfileStringA(step.section, step.key, step.value, path.c_str()), step.result);
        EXPECT_EQ(ReadFile(path), step.expected);
    }
    Use("; settings\r\n[Job]\r\nServer=old\r\n;Server=older\r\nplain\r\n\r\n[Other]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("JOB", "server", "new", path.c_str()));
    // Wine writes the file anew from what it parsed, without blank lines.
    const std::string head = "; settings\r\n[Job]\r\nServer=new\r\n;Server=older\r\nplain\r\n";
    EXPECT_EQ(ReadFile(path), head + (RunningUnderWine() ? "" : "\r\n") + "[Other]\r\nx=1\r\n");
    Use("[s]\r\nk=v\r\nj=w\r\n[t]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSectionA("S", "a=1\0b=2\0", path.c_str()) &&
                WritePrivateProfileSectionA("new", "n=1\0", path.c_str()) &&
                WritePrivateProfileSectionA("t", "\0", path.c_str()));
    EXPECT_EQ(ReadFile(path), "[s]\r\na=1\r\nb=2\r\n[t]\r\n[new]\r\nn=1\r\n");
    // A UTF-16 file (it starts with that byte order mark) is read as text and stays UTF-16 when written.
    const auto utf16 = [](const std::string& ascii) {
        std::string wide = "\xFF\xFE";
        for (const char c : ascii) wide += {c, '\0'};
        return wide;
    };
    Use(utf16("[s]\r\nk=v\r\n"));
    std::string read = Buffer(8);
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "d", read.data(), 8, path.c_str()), 1u);
    EXPECT_EQ(read.substr(0, 2), "v\0"s);
    ASSERT_TRUE(WritePrivateProfileStringA("s", "n", "w", path.c_str()));
    EXPECT_EQ(ReadFile(path), utf16("[s]\r\nk=v\r\nn=w\r\n"));
    const std::string absent = dir.File("absent.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, absent.c_str()) &&
                WritePrivateProfileStringA("s", nullptr, nullptr, absent.c_str()));
    EXPECT_FALSE(testing_support::FileExists(absent));
    // Writes that fail give Windows' reason and leave the file as it was.
    const std::string inMissingFolder = dir.File("missing") + platform::PathSeparator() + "x.ini";
    using Pair = std::pair<const char*, const char*>;
    for (const auto& [key, value] : {Pair{"k", "v"}, Pair{"k", nullptr}, Pair{nullptr, nullptr}}) {
        EXPECT_EQ(Failure([&] { return WritePrivateProfileStringA("s", key, value, inMissingFolder.c_str()); }),
                  DWORD{ERROR_PATH_NOT_FOUND}) << (key ? key : "-") << !value;
    }
    Use("[s]\r\nk=v\r\n");
    if (!testing_support::IgnoresFilePermissions()) { // root writes read-only files
        testing_support::MakeReadOnly(path);
        EXPECT_EQ(Failure([&] { return WritePrivateProfileStringA("s", "k", "w", path.c_str()); }),
                  DWORD{ERROR_ACCESS_DENIED});
        EXPECT_EQ(ReadFile(path), "[s]\r\nk=v\r\n");
    }
}

// WIN.INI lives in the Windows folder (under BRENLIX_ROOT on Linux); only a null file name means it, "" is the
// Windows folder itself, which is no file.
TEST(WinIni, WritesReadsAndDeletesASection)
{
    const testing_support::TempDir root;
    const testing_support::ScopedEnvironment environment{"BRENLIX_ROOT", root.Path().c_str()};
    const std::string name = "DunmarrowTest" + std::to_string(GetCurrentProcessId());
    const char* s = name.c_str();
    ASSERT_TRUE(WriteProfileStringA(s, "Key", "value") && WriteProfileStringA(s, "Num", "42"));
    std::string buffer = Buffer(64);
    EXPECT_EQ(GetProfileStringA(s, "KEY", "", buffer.data(), 64) + GetProfileIntA(s, "Num", 7), 5u + 42u);
    EXPECT_EQ(buffer.substr(0, 7), S("value"));
    EXPECT_EQ(Failure([&] { return WritePrivateProfileStringA(s, "Key", nullptr, ""); }), DWORD{ERROR_ACCESS_DENIED});
    if (!RunningUnderWine()) { // Wine's Section call takes ""
        EXPECT_EQ(Failure([&] { return WritePrivateProfileSectionA(s, "a=1\0", ""); }), DWORD{ERROR_ACCESS_DENIED});
    }
    EXPECT_EQ(GetPrivateProfileStringA(s, "Key", "dflt", buffer.data(), 64, ""), 4u);
    EXPECT_EQ(buffer.substr(0, 5), "dflt\0"s);
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 17u); // as it was
    EXPECT_EQ(buffer.substr(0, 18), "Key=value\0Num=42\0\0"s);
    ASSERT_TRUE(WriteProfileSectionA(s, "a=1\0"));
    if (!RunningUnderWine()) { // Wine's WriteProfileSectionA leaves WIN.INI as it was
        EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 4u);
        EXPECT_EQ(buffer.substr(0, 5), "a=1\0\0"s);
    }
    EXPECT_TRUE(WriteProfileStringA(s, nullptr, nullptr));
    EXPECT_EQ(GetProfileSectionA(s, buffer.data(), 64), 0u);
}

// Both give the size needed, NUL counted, and write nothing when the buffer is too small.
TEST(Folders, TooSmallBufferGivesTheSizeNeeded)
{
    for (const auto get : {+[](char* buffer, DWORD size) -> DWORD { return GetWindowsDirectoryA(buffer, size); },
                           +[](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); }}) {
        const DWORD needed = get(nullptr, 0);
        std::string small = Buffer(needed), fits = Buffer(needed);
        EXPECT_EQ((std::vector<DWORD>{get(small.data(), needed - 1), get(fits.data(), needed)}),
                  (std::vector<DWORD>{needed, needed - 1}));
        EXPECT_EQ(std::make_pair(small[0], fits[needed]), std::make_pair(kSentinel, kSentinel));
        EXPECT_EQ(std::strlen(fits.data()), needed - 1);
    }
}

} // namespace
