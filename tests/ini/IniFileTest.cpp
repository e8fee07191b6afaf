#include <brenlix/Error.h>
#include <brenlix/IniFile.h>
#include <platform/Files.h>
#include <platform/Notice.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using brenlix::IniEntry;
using brenlix::IniFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kSep = platform::PathSeparator();

// Counts the guard's notices instead of showing them.
class NoticeCounter {
public:
    NoticeCounter()
        : scoped_([this](const std::string& title, const std::string& text) {
              ++count;
              lastTitle = title;
              lastText = text;
          })
    {
    }
    int count = 0;
    std::string lastTitle;
    std::string lastText;

private:
    platform::ScopedNotifier scoped_;
};

class IniFileTest : public ::testing::Test {
protected:
    IniFileTest()
    {
        WriteFile(path_, "; job file\r\n"
                         "[General]\r\n"
                         "Name=Dunmarrow\r\n"
                         "Empty=\r\n"
                         "Count=12\r\n"
                         "Big=70000\r\n"
                         "[Two]\r\n"
                         "a=1\r\n"
                         "b=2\r\n");
        ini_.FullPath(path_);
    }

    TempDir dir_;
    std::string path_ = dir_.File("job.ini");
    IniFile ini_;
    NoticeCounter notices_;
};

TEST(IniFilePaths, SplittingTable)
{
    const std::string cwd = platform::CurrentDirectory();
    const std::string s(1, kSep);
    struct Row {
        std::string fullPath;
        std::string filePath;
        std::string fileName;
        std::string fileExt;
    };
    std::vector<Row> rows = {
        {s + "Jobs" + s + "Dunmarrow.ini", s + "Jobs", "Dunmarrow", "ini"},
        {s + "Jobs" + s + "job.list.ini", s + "Jobs", "job", "list.ini"},
        {s + "Jobs" + s + "README", s + "Jobs", "README", "README"},
        {s + "Jobs" + s, s + "Jobs", "", ""},
        {s + "x.ini", "", "x", "ini"},
        {"x.ini", cwd, "x", "ini"},
        {".hidden", cwd, "", "hidden"}, // a name that starts with its dot is all extension
        {s + "Jobs" + s + ".ini", s + "Jobs", "", "ini"},
        {"..x", cwd, "", ".x"},
        {"", cwd, "", ""},
    };
    if (platform::HasDrives()) {
        rows.push_back({"C:\\x.ini", "C:", "x", "ini"});
        rows.push_back({"C:\\Jobs\\a.b.ini", "C:\\Jobs", "a", "b.ini"});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fullPath);
        IniFile ini;
        ini.FullPath(row.fullPath);
        EXPECT_EQ(ini.FullPath(), row.fullPath);
        EXPECT_EQ(ini.PrivPath(), row.fullPath);
        EXPECT_EQ(ini.FilePath(), row.filePath);
        EXPECT_EQ(ini.FileName(), row.fileName);
        EXPECT_EQ(ini.FileExt(), row.fileExt);
    }
}

TEST(IniFilePaths, ExtractTakesFullPathWhenGivenNothing)
{
    IniFile ini;
    const std::string path = std::string(1, kSep) + "a" + kSep + "b.c.d";
    ini.FullPath(path);
    EXPECT_EQ(ini.ExtractName("", brenlix::exnFullName), "b");
    EXPECT_EQ(ini.ExtractName("", brenlix::exnOnlyExtn), "c.d");
    EXPECT_EQ(ini.ExtractName("", 3), "b.c.d");
    EXPECT_EQ(ini.ExtractName("other.txt", 0), "other.txt");
    EXPECT_EQ(ini.ExtractPath(""), std::string(1, kSep) + "a");
}

TEST(IniFilePaths, DriveRelativePath)
{
    if (!platform::HasDrives()) {
        GTEST_SKIP() << "paths have no drives here";
    }
    IniFile ini;
    ini.FullPath("C:job.ini");
    EXPECT_EQ(ini.FileName(), "job");
    EXPECT_EQ(ini.FileExt(), "ini");
    std::string expected = platform::DriveCurrentDirectory('C');
    if (!expected.empty() && expected.back() == '\\') {
        expected.pop_back();
    }
    EXPECT_EQ(ini.FilePath(), expected);
}

TEST_F(IniFileTest, NewObjectNeedsAFileBeforeTheFirstRead)
{
    IniFile fresh;
    EXPECT_EQ(fresh.SectionName(), "General");
    EXPECT_EQ(fresh.GetString("Name", "dflt"), "");
    EXPECT_EQ(notices_.count, 1);
    EXPECT_EQ(notices_.lastTitle, "IniFile Logic Error");
    EXPECT_EQ(notices_.lastText, "[Section] and FileName Not Registered in Private.Ini!");
    fresh.FullPath(path_);
    EXPECT_EQ(fresh.GetString("Name", "dflt"), "Dunmarrow");
    EXPECT_EQ(notices_.count, 1);
}

// Every guarded member, with a blank section: one notice, the empty result,
// and the file untouched.
TEST_F(IniFileTest, GuardRefusesEveryEntryOperation)
{
    const std::string before = ReadFile(path_);
    ini_.SectionName("   ");
    ini_.FullPath(path_); // does not help: the name is still blank
    std::vector<IniEntry> entries = {{"kept", "as passed"}};
    std::vector<std::string> names = {"kept"};
    const std::vector<std::pair<const char*, std::function<bool()>>> rows = {
        {"GetString", [&] { return ini_.GetString("Name", "d") == ""; }},
        {"GetInt", [&] { return ini_.GetInt("Count", 5) == 0; }},
        {"GetTF", [&] { return ini_.GetTF("Name", 1) == false; }},
        {"GetSectEntries", [&] { return ini_.GetSectEntries() == ""; }},
        {"GetSectEntriesEx", [&] { return ini_.GetSectEntriesEx(entries) == 0 && entries.size() == 1; }},
        {"GetSections", [&] { return ini_.GetSections() == ""; }},
        {"GetSectionsEx", [&] { return ini_.GetSectionsEx(names) == 0 && names.size() == 1; }},
        {"SectExist", [&] { return ini_.SectExist("Two") == false; }},
        {"PutString", [&] { return ini_.PutString("Name", "x") == 0; }},
        {"PutInt", [&] { return ini_.PutInt("Count", 1) == 0; }},
        {"PutTF", [&] { return ini_.PutTF("Flag", 1) == false; }},
        {"DeleteStrEntry", [&] { return ini_.DeleteStrEntry("Name"), true; }},
        {"DeleteNumEntry", [&] { return ini_.DeleteNumEntry("Name"), true; }},
        {"DeleteSection", [&] { return ini_.DeleteSection(), ini_.SectionName() == "   "; }},
        {"FlushCache", [&] { return ini_.FlushCache(), true; }},
    };
    for (const auto& [name, call] : rows) {
        SCOPED_TRACE(name);
        const int before_count = notices_.count;
        EXPECT_TRUE(call());
        EXPECT_EQ(notices_.count, before_count + 1);
    }
    EXPECT_EQ(ReadFile(path_), before);
}

TEST_F(IniFileTest, GetString)
{
    WriteFile(path_, "[General]\r\nEmpty=\r\nLong=" + std::string(300, 'x') + "\r\nQuoted=\"a b\"\r\n");
    EXPECT_EQ(ini_.GetString("Missing", "fallback"), "fallback");
    EXPECT_EQ(ini_.GetString("Empty", "fallback"), "");
    EXPECT_EQ(ini_.GetString("Long", ""), std::string(254, 'x'));
    EXPECT_EQ(ini_.GetString("quoted", ""), "a b");
    EXPECT_EQ(notices_.count, 0);
}

TEST_F(IniFileTest, GetIntAndOverflow)
{
    EXPECT_EQ(ini_.GetInt("Count", 5), 12);
    EXPECT_EQ(ini_.GetInt("Missing", -7), -7);
    try {
        ini_.GetInt("Big", 0);
        FAIL() << "no overflow";
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), 6);
        EXPECT_EQ(error.Description(), "Overflow");
    }
}

TEST_F(IniFileTest, GetTFWords)
{
    const struct {
        const char* value;
        std::int16_t fallback;
        bool expected;
    } rows[] = {
        {"  yes  ", 0, true}, {"Y", 0, true},   {"true", 0, true}, {"t", 0, true},   {"On", 0, true},
        {"1", 0, true},       {"-1", 0, true},  {"no", 1, false},  {"N", 1, false},  {"false", 1, false},
        {"f", 1, false},      {"off", 1, false}, {"0", 1, false},  {"ja", 1, false}, {"2", 1, false},
        {"", 1, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        ASSERT_EQ(ini_.PutString("Flag", row.value), 1);
        EXPECT_EQ(ini_.GetTF("Flag", row.fallback), row.expected);
    }
    EXPECT_TRUE(ini_.GetTF("Missing", 1));
    EXPECT_FALSE(ini_.GetTF("Missing", 0));
}

TEST_F(IniFileTest, SectionEntries)
{
    ini_.SectionName("Two");
    EXPECT_EQ(ini_.GetSectEntries(), std::string("a=1\0b=2\0\0", 9));
    ini_.SectionName("Nowhere");
    EXPECT_EQ(ini_.GetSectEntries(), std::string(1, '\0'));

    WriteFile(path_, "[S]\r\na=1\r\nbare line\r\nk=b=c\r\n");
    ini_.SectionName("S");
    std::vector<IniEntry> entries = {{"old", "old"}, {"old", "old"}, {"old", "old"}, {"old", "old"}};
    EXPECT_EQ(ini_.GetSectEntriesEx(entries), 3);
    EXPECT_EQ(entries, (std::vector<IniEntry>{{"a", "1"}, {"", "bare line"}, {"k", "b=c"}}));

    ini_.SectionName("Nowhere");
    EXPECT_EQ(ini_.GetSectEntriesEx(entries), 0);
    EXPECT_EQ(entries.size(), 3u); // left as passed
}

// A section larger than the 4096-character buffer: the platform's count of
// 4094 gives 4095 characters, the last entry cut where the buffer ends.
TEST_F(IniFileTest, SectionLargerThanTheBuffer)
{
    std::string text = "[Big]\r\n";
    std::string list;
    for (int i = 0; i < 500; ++i) {
        const std::string line = "k" + std::to_string(1000 + i) + "=value" + std::to_string(1000 + i);
        text += line + "\r\n";
        list += line + '\0';
    }
    WriteFile(path_, text);
    ini_.SectionName("big");
    const std::string entries = ini_.GetSectEntries();
    EXPECT_EQ(entries, list.substr(0, 4094) + '\0');

    // 4094 characters are 255 whole entries of 15 and a NUL, and "k1255=value125".
    std::vector<IniEntry> array;
    ASSERT_EQ(ini_.GetSectEntriesEx(array), 256);
    EXPECT_EQ(array[0], (IniEntry{"k1000", "value1000"}));
    EXPECT_EQ(array[254], (IniEntry{"k1254", "value1254"}));
    EXPECT_EQ(array[255], (IniEntry{"k1255", "value125"}));
}

TEST_F(IniFileTest, Writes)
{
    EXPECT_EQ(ini_.PutString("Name", "Ny værdi"), 1);
    EXPECT_EQ(ini_.PutInt("Count", -5), 1);
    EXPECT_TRUE(ini_.PutTF("Flag", 7));
    EXPECT_EQ(ini_.GetString("Name", ""), "Ny værdi");
    EXPECT_EQ(ini_.GetString("Count", ""), "-5");
    EXPECT_EQ(ini_.GetString("Flag", ""), "True");
    EXPECT_TRUE(ini_.PutTF("Flag", 0) == true && ini_.GetString("Flag", "") == "False");

    IniFile nowhere;
    nowhere.FullPath(dir_.File("missing") + kSep + "x.ini");
    EXPECT_EQ(nowhere.PutString("a", "b"), 0);
    EXPECT_FALSE(nowhere.PutTF("a", 1));
}

TEST_F(IniFileTest, DeletingEntriesAndSections)
{
    ini_.DeleteStrEntry("Name");
    EXPECT_EQ(ini_.GetString("Name", "dflt"), ""); // kept, empty
    ini_.DeleteNumEntry("Count");
    EXPECT_EQ(ini_.GetInt("Count", 99), 99); // removed
    EXPECT_EQ(ReadFile(path_).find("Count"), std::string::npos);

    ini_.SectionName("Two");
    ini_.DeleteSection();
    EXPECT_EQ(ini_.SectionName(), "");
    EXPECT_EQ(ini_.GetString("a", "d"), "");
    EXPECT_EQ(notices_.count, 1);
    ini_.SectionName("Two");
    EXPECT_EQ(ini_.GetString("a", "d"), "d");
    ini_.SectionName("General");
    EXPECT_EQ(ini_.GetString("Big", ""), "70000"); // other sections untouched
}

// The list as the header lines give it; every listed name is found by
// SectExist and, in the same file, by the profile functions.
TEST_F(IniFileTest, SectionNames)
{
    const struct {
        const char* what;
        std::string bytes;
        std::string list;
        std::vector<std::string> names; // from GetSectionsEx; empty: none, the array left as passed
    } rows[] = {
        {"headers and others", "[A]\r\na=1\r\n[ B ] ; note\r\n[C]x\r\n;[D]\r\n  [E]  \n[b]\r",
         std::string("A\0 B \0E\0b\0\0", 11), {"A", " B ", "E", "b"}},
        {"[] names nothing", "[]\r\nk=v\r\n[Later]\r\n[]\r\n[ ]\r\n", std::string("Later\0 \0\0", 9), {"Later", " "}},
        {"byte order mark", "\xEF\xBB\xBF[First]\r\nk=v\r\n[Second]\r\n", std::string("First\0Second\0\0", 14),
         {"First", "Second"}},
        {"no sections", "no sections\r\n", std::string(2, '\0'), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WriteFile(path_, row.bytes);
        EXPECT_EQ(ini_.GetSections(), row.list);
        std::vector<std::string> names = {"as passed"};
        EXPECT_EQ(ini_.GetSectionsEx(names), static_cast<std::int16_t>(row.names.size()));
        EXPECT_EQ(names, row.names.empty() ? std::vector<std::string>{"as passed"} : row.names);
        for (const std::string& name : row.names) {
            EXPECT_TRUE(ini_.SectExist(name)) << name;
        }
        EXPECT_FALSE(ini_.SectExist("x"));
    }
    EXPECT_TRUE(ini_.SectExist("")) << "the list always ends in two NULs";

    WriteFile(path_, "\xEF\xBB\xBF[First]\r\nk=v\r\n");
    ini_.SectionName("first");
    EXPECT_EQ(ini_.GetString("k", "d"), "v") << "the profile functions skip the mark too";

    WriteFile(path_, "[A]\r\n[ B ] ; note\r\n[C]x\r\n;[D]\r\n");
    const struct {
        const char* name;
        bool expected;
    } lookups[] = {{"a", true}, {" b ", true}, {"B", false}, {"C", false}, {"D", false}};
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.name);
        EXPECT_EQ(ini_.SectExist(lookup.name), lookup.expected);
    }
}

// SectExist folds letters as the profile functions do, in the code page the
// file is written in: whatever name the profile reads from, SectExist finds.
void ExpectSectExistAgreesWithTheProfile(IniFile& ini, const std::string& path)
{
    WriteFile(path, platform::ToAnsi("[ÆBLE]\r\nk=v\r\n[Øl×Å]\r\nk=v\r\n[Mø]\r\nk=v\r\n"));
    const struct {
        const char* name;
        bool found;
        bool latinFold; // found only by folding a Latin-1 letter
    } rows[] = {
        {"æble", true, true},   {"ÆBLE", true, false},  {"æBlE", true, true}, {"øL×å", true, true},
        {"ØL×Å", true, false},  {"MØ", true, true},      {"aeble", false, false}, {"øl÷å", false, false},
        {"Mo", false, false},   {"ble", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ini.SectExist(row.name), row.found);
        ini.SectionName(row.name);
        if (row.latinFold && testing_support::RunningUnderWine()) { // Wine's profile functions fold ASCII only
            continue;
        }
        EXPECT_EQ(ini.GetString("k", "missing"), row.found ? "v" : "missing");
    }
}

TEST_F(IniFileTest, SectExistFoldsLettersAsTheProfileDoes)
{
    ExpectSectExistAgreesWithTheProfile(ini_, path_);
}

TEST_F(IniFileTest, SectExistFoldsLettersAsTheProfileDoesInWesternCodePage)
{
    const testing_support::WesternCodePage western;
    if (!western.Active()) {
        GTEST_SKIP() << "no Western European code page here";
    }
    ExpectSectExistAgreesWithTheProfile(ini_, path_);
}

TEST_F(IniFileTest, MissingFile)
{
    ini_.FullPath(dir_.File("none.ini"));
    EXPECT_THROW(ini_.GetSections(), brenlix::Error);
    std::vector<std::string> names;
    EXPECT_THROW(ini_.GetSectionsEx(names), brenlix::Error);
    EXPECT_THROW(ini_.SectExist("x"), brenlix::Error);
    std::vector<IniEntry> entries;
    EXPECT_EQ(ini_.GetSectEntriesEx(entries), 0);
    EXPECT_EQ(ini_.GetString("a", "d"), "d");
}

// An object given a section but no file names the file "", which is not
// WIN.INI: writes fail and touch no file, reads give the defaults.
TEST_F(IniFileTest, NoFileNameIsNotWinIni)
{
    const TempDir root;
    const testing_support::ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str());
    const std::string section = "DunmarrowNoFile" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(WriteProfileStringA(section.c_str(), "Kept", "1"));
    struct Cleanup {
        const std::string& section;
        ~Cleanup() { WriteProfileStringA(section.c_str(), nullptr, nullptr); }
    } cleanup{section};

    IniFile ini;
    ini.SectionName(section);
    EXPECT_EQ(ini.FullPath(), "");
    EXPECT_EQ(ini.GetString("Kept", "dflt"), "dflt");
    EXPECT_EQ(ini.GetInt("Kept", 7), 7);
    EXPECT_EQ(ini.GetSectEntries(), std::string(1, '\0'));
    EXPECT_EQ(ini.PutString("Key", "v"), 0);
    EXPECT_EQ(ini.PutInt("Num", 1), 0);
    EXPECT_FALSE(ini.PutTF("Flag", 1));
    ini.DeleteStrEntry("Kept");
    ini.DeleteNumEntry("Kept");
    EXPECT_THROW(ini.GetSections(), brenlix::Error);
    ini.DeleteSection();
    EXPECT_EQ(notices_.count, 0);

    char buffer[64];
    EXPECT_EQ(GetProfileSectionA(section.c_str(), buffer, sizeof buffer), 7u);
    EXPECT_EQ(std::string(buffer, 8), std::string("Kept=1\0\0", 8));
}

TEST_F(IniFileTest, ReadAndWriteByArguments)
{
    IniFile other; // no section known: these two need none
    other.SectionName("");
    const std::string file = dir_.File("other.ini");
    other.IniWrite("Sect", "Key", "Værdi", file);
    other.IniWrite("Sect", "Num", "-12", file);
    EXPECT_EQ(other.IniRead("sect", "key", 0, "d", "", false, file), "Værdi");
    EXPECT_EQ(other.IniRead("Sect", "Missing", 0, "d", "", false, file), "d");
    EXPECT_EQ(other.IniRead("Sect", "Num", 0, "", "", true, file), "-12");
    EXPECT_EQ(other.IniRead("Sect", "Missing", 42, "", "", true, file), "42");
    EXPECT_EQ(notices_.count, 0);
    EXPECT_EQ(other.SectionName(), "");
    EXPECT_EQ(other.FullPath(), "");
}

TEST_F(IniFileTest, Exists)
{
    WriteFile(dir_.File("job.ini"), "x");
    WriteFile(dir_.File(".skjult.ini"), "x");
#ifdef _WIN32
    // Hidden by its attribute on Windows (Wine and Linux take the dot).
    SetFileAttributesA(dir_.File(".skjult.ini").c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    std::filesystem::create_directory(dir_.File("sub.d"));
    WriteFile(dir_.File("sub.d") + kSep + "job.ini", "x");
    // Relative names from inside the folder, so that a "." in the folder's
    // own path (a temporary folder may have one) does not change the rule.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    const struct {
        std::string name;
        std::int16_t expected;
    } rows[] = {
        {"job", -1}, // looked up as job.*
        {"job.ini", -1},
        {"j?b.*", -1},
        {"none.ini", 0},
        {std::string("missing") + kSep + "job.ini", 0},
        {std::string("sub.d") + kSep + "job", 0}, // a "." anywhere: looked up as it stands
        {std::string("sub.d") + kSep + "job.ini", -1},
        {".skjult.ini", 0}, // hidden files do not count
        {"sub.d", 0},       // nor do folders
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ini_.Exists(row.name), row.expected);
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(ini_.Exists(dir_.File("job.ini")), -1) << "and by its full path";
}

TEST_F(IniFileTest, WinIniModeRoundTrip)
{
    // The Linux substitutes keep WIN.INI under BRENLIX_ROOT; under Wine the
    // prefix's own WIN.INI is used, so the section's name is one of our own.
    const TempDir root;
    const testing_support::ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str());
    const std::string section = "DunmarrowTest" + std::to_string(GetCurrentProcessId());
    ini_.SectionName(section);
    ini_.UseWinINI(true);
    EXPECT_TRUE(ini_.UseWinINI());
    EXPECT_EQ(ini_.FileName(), "WIN");
    EXPECT_EQ(ini_.FullPath(), ini_.FilePath() + kSep + "WIN.INI");
    EXPECT_EQ(ini_.PrivPath(), path_);
    EXPECT_EQ(ini_.FileExt(), "ini"); // left from the private file

    EXPECT_EQ(ini_.PutString("Key", "value"), 1);
    EXPECT_EQ(ini_.GetString("key", ""), "value");
    EXPECT_EQ(ini_.PutInt("Num", 300), 1);
    EXPECT_EQ(ini_.GetInt("Num", 0), 300);
    ini_.DeleteNumEntry("Num");
    EXPECT_EQ(ini_.GetInt("Num", -1), -1);
    EXPECT_EQ(ini_.GetSectEntries(), std::string("Key=value\0\0", 11));
    ini_.UseWinINI(true); // no change
    ini_.DeleteSection();
    ini_.SectionName(section);
    if (!testing_support::RunningUnderWine()) { // Wine's WriteProfileSectionA keeps the keys of WIN.INI
        EXPECT_EQ(ini_.GetSectEntries(), std::string(1, '\0'));
    }

    EXPECT_TRUE(WriteProfileStringA(section.c_str(), nullptr, nullptr)); // leave WIN.INI as it was

    ini_.UseWinINI(false);
    EXPECT_EQ(ini_.FullPath(), path_);
    EXPECT_EQ(ini_.FileName(), "job");
    EXPECT_EQ(ReadFile(path_).find("Key"), std::string::npos); // the private file saw none of it
}

} // namespace
