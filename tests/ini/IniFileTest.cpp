#include <brenlix/IniFile.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Notice.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using namespace std::string_literals;
using brenlix::IniEntry;
using brenlix::IniFile;
using testing_support::Raised;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kSep = platform::PathSeparator();

class IniFileTest : public ::testing::Test {
protected:
    IniFileTest()
    {
        WriteFile(path_, "[General]\r\nName=Dunmarrow\r\nCount=12\r\nBig=70000\r\n[Two]\r\na=1\r\nb=2\r\n");
        ini_.FullPath(path_);
    }

    TempDir dir_;
    std::string path_ = dir_.File("job.ini");
    IniFile ini_;
    int notices_ = 0;
    std::string notice_;
    platform::ScopedNotifier notifier_{[this](const std::string& title, const std::string& text) {
        ++notices_;
        notice_ = title + ": " + text;
    }};
};

TEST(IniFilePaths, Splitting)
{
    const std::string cwd = platform::CurrentDirectory();
    const std::string s(1, kSep);
    std::vector<std::array<std::string, 4>> rows = { // full path, FilePath, FileName, FileExt
        {s + "J" + s + "Dunmarrow.ini", s + "J", "Dunmarrow", "ini"}, {s + "J" + s + "a.b.ini", s + "J", "a", "b.ini"},
        {s + "J" + s + "README", s + "J", "README", "README"}, {s + "J" + s, s + "J", "", ""},
        {s + "x.ini", "", "x", "ini"}, {"x.ini", cwd, "x", "ini"}, {".hidden", cwd, "", "hidden"}, {"", cwd, "", ""},
    };
    if (platform::HasDrives()) rows.push_back({"C:\\x.ini", "C:", "x", "ini"});
    IniFile ini;
    for (const auto& [full, folder, name, ext] : rows) {
        ini.FullPath(full);
        EXPECT_EQ(ini.PrivPath() + "|" + ini.FilePath() + "|" + ini.FileName() + "|" + ini.FileExt(),
                  full + "|" + folder + "|" + name + "|" + ext);
    }
    ini.FullPath(s + "a" + s + "b.c.d");
    EXPECT_EQ(ini.ExtractName("", brenlix::exnOnlyExtn) + "|" + ini.ExtractPath(""), "c.d|" + s + "a");
}

// Without a section name or a file, every entry operation shows one notice, gives the empty result
// and leaves the file alone.
TEST_F(IniFileTest, GuardRefusesEveryEntryOperation)
{
    IniFile fresh;
    EXPECT_EQ(fresh.GetString("Name", "dflt"), "");
    EXPECT_EQ(notice_, "IniFile Logic Error: [Section] and FileName Not Registered in Private.Ini!");
    const std::string before = ReadFile(path_);
    ini_.SectionName("   ");
    std::vector<IniEntry> entries = {{"kept", "as passed"}};
    IniFile& i = ini_;
    const std::function<bool()> rows[] = {
        [&] { return i.GetString("Name", "d") == ""; }, [&] { return i.GetInt("Count", 5) == 0; },
        [&] { return i.GetSectEntries() == ""; }, [&] { return i.GetSections() == ""; },
        [&] { return i.GetSectEntriesEx(entries) == 0 && entries.size() == 1; },
        [&] { return i.PutString("Name", "x") == 0; }, [&] { return i.PutInt("Count", 1) == 0; },
        [&] { return i.DeleteStrEntry("Name"), true; }, [&] { return i.DeleteNumEntry("Name"), true; },
        [&] { return i.DeleteSection(), i.SectionName() == "   "; }, [&] { return i.FlushCache(), true; },
    };
    for (std::size_t n = 0; n < std::size(rows); ++n) {
        EXPECT_TRUE(rows[n]()) << n;
        EXPECT_EQ(notices_, int(n) + 2) << n;
    }
    EXPECT_EQ(ReadFile(path_), before);
}

TEST_F(IniFileTest, ReadsAndWrites)
{
    std::string letters; // 254 characters whatever their bytes in the code page (two each in UTF-8)
    for (int i = 0; i < 150; ++i) letters += "ø";
    WriteFile(path_, "[General]\r\nCount=12\r\nBig=70000\r\nEmpty=\r\nLong=" + std::string(300, 'x') + "\r\nWide=" +
                         platform::ToAnsi(letters + letters) + "\r\n");
    EXPECT_EQ(ini_.GetString("Missing", "fallback") + "|" + ini_.GetString("Empty", "d") + "|" + ini_.GetString("Long", ""),
              "fallback||" + std::string(254, 'x'));
    EXPECT_TRUE(ini_.GetString("Wide", "") == (letters + letters).substr(0, 254 * 2));
    EXPECT_EQ(ini_.GetInt("Count", 5) + ini_.GetInt("Missing", -7), 12 - 7);
    EXPECT_EQ(Raised([&] { ini_.GetInt("Big", 0); }), "6 Brenlix: Overflow");
    EXPECT_EQ(ini_.PutInt("Count", -5) + ini_.PutTF("T", 7) + ini_.PutTF("F", 0), 3);
    EXPECT_EQ(ini_.GetString("Count", "") + ini_.GetString("T", "") + ini_.GetString("F", ""), "-5TrueFalse");
    for (const auto& [value, expected] : {std::pair{"  yes  ", true}, {"-1", true}, {"ja", false}}) {
        ASSERT_EQ(ini_.PutString("Flag", value), 1);
        EXPECT_EQ(ini_.GetTF("Flag", !expected), expected) << value;
    }
    EXPECT_TRUE(ini_.GetTF("Missing", 1));
    IniFile nowhere;
    nowhere.FullPath(dir_.File("missing") + kSep + "x.ini");
    EXPECT_EQ(nowhere.PutString("a", "b") + nowhere.PutTF("a", 1), 0);
    nowhere.SectionName(""); // reads and writes by arguments need no section
    nowhere.IniWrite("Sect", "Key", "Værdi", path_);
    EXPECT_EQ(nowhere.IniRead("sect", "key", 0, "d", "", false, path_) + "|" +
                  nowhere.IniRead("General", "Count", 42, "", "", true, path_), "Værdi|-5");
}

TEST_F(IniFileTest, SectionEntries)
{
    WriteFile(path_, "[S]\r\na=1\r\nbare line\r\nk=b=c\r\n");
    ini_.SectionName("S");
    std::vector<IniEntry> entries(4, {"old", "old"});
    EXPECT_EQ(ini_.GetSectEntriesEx(entries), 3);
    EXPECT_EQ(entries, (std::vector<IniEntry>{{"a", "1"}, {"", "bare line"}, {"k", "b=c"}}));
    ini_.SectionName("Nowhere");
    EXPECT_EQ((std::pair<int, std::size_t>{ini_.GetSectEntriesEx(entries), entries.size()}), // the array kept
              std::pair(0, std::size_t{3}));
    std::string text = "[Big]\r\n", list; // over the 4096-character buffer: the last entry is cut short
    for (int i = 1000; i < 1500; ++i) {
        text += "k" + std::to_string(i) + "=value" + std::to_string(i) + "\r\n";
        list += "k" + std::to_string(i) + "=value" + std::to_string(i) + '\0';
    }
    WriteFile(path_, text);
    ini_.SectionName("big");
    EXPECT_EQ(ini_.GetSectEntries(), list.substr(0, 4094) + '\0');
    WriteFile(path_, "[A]\r\nk=1\r\nn=2\r\n[B]\r\nb=3\r\n");
    ini_.SectionName("A");
    ini_.DeleteStrEntry("k"); // kept, empty
    ini_.DeleteNumEntry("n");
    EXPECT_EQ(ReadFile(path_), "[A]\r\nk=\r\n[B]\r\nb=3\r\n");
    ini_.DeleteSection();
    EXPECT_EQ(ini_.SectionName() + ReadFile(path_), "[A]\r\n[B]\r\nb=3\r\n");
    EXPECT_EQ(ini_.GetString("b", "d"), ""); // no section any more
    EXPECT_EQ(notices_, 1);
}

// The list as the header lines give it; each listed name is found by SectExist.
TEST_F(IniFileTest, SectionNames)
{
    const struct { std::string bytes, list; std::vector<std::string> names; } rows[] = { // no names: the array kept
        {"[A]\r\na=1\r\n[ B ] ; note\r\n[C]x\r\n;[D]\r\n  [E]  \n[b]\r", "A\0 B \0E\0b\0\0"s, {"A", " B ", "E", "b"}},
        {"[]\r\nk=v\r\n[Later]\r\n[]\r\n[ ]\r\n", "Later\0 \0\0"s, {"Later", " "}}, // "[]" would end the list
        {"\xEF\xBB\xBF[First]\r\nk=v\r\n[Second]\r\n", "First\0Second\0\0"s, {"First", "Second"}},
        {"no sections\r\n", "\0\0"s, {}},
    };
    for (const auto& row : rows) {
        WriteFile(path_, row.bytes);
        EXPECT_EQ(ini_.GetSections(), row.list);
        std::vector<std::string> names = {"as passed"};
        EXPECT_EQ(ini_.GetSectionsEx(names), std::int16_t(row.names.size()));
        EXPECT_EQ(names, row.names.empty() ? std::vector<std::string>{"as passed"} : row.names);
        for (const std::string& name : row.names) EXPECT_TRUE(ini_.SectExist(name)) << name;
        EXPECT_FALSE(ini_.SectExist("Firs")) << row.list; // whole names only
    }
    EXPECT_TRUE(ini_.SectExist("")) << "the list always ends in two NULs";
    ini_.FullPath(dir_.File("none.ini"));
    EXPECT_EQ(Raised([&] { ini_.SectExist("x"); }), "2 Brenlix: " + brenlix::SystemErrorText(2));
}

// SectExist folds letters as the profile functions do, in the file's code page.
TEST_F(IniFileTest, SectExistFoldsLettersAsTheProfileDoes)
{
    const auto check = [&] {
        WriteFile(path_, platform::ToAnsi("[ÆBLE]\r\nk=v\r\n[Øl×Å]\r\nk=v\r\n[Mø]\r\nk=v\r\n"));
        const std::pair<const char*, bool> rows[] = {{"æBlE", true}, {"øL×å", true}, {"MØ", true}, {"øl÷å", false}};
        for (const auto& [name, found] : rows) {
            EXPECT_EQ(ini_.SectExist(name), found) << name;
            ini_.SectionName(name);
            if (!testing_support::RunningUnderWine()) { // Wine's profile functions fold ASCII only
                EXPECT_EQ(ini_.GetString("k", "missing"), found ? "v" : "missing") << name;
            }
        }
    };
    check();
    const testing_support::WesternCodePage western; // and again where the system's code page is 1252/8859-1
    if (western.Active())
        check();
}

TEST_F(IniFileTest, Exists)
{
    WriteFile(dir_.File(".skjult.ini"), "x");
#ifdef _WIN32
    SetFileAttributesA(dir_.File(".skjult.ini").c_str(), FILE_ATTRIBUTE_HIDDEN); // Wine and Linux take the dot
#endif
    std::filesystem::create_directory(dir_.File("sub.d"));
    WriteFile(dir_.File("sub.d") + kSep + "job.ini", "x");
    // From inside the folder, so that a "." in the folder's own path does not change the rule.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    const std::pair<std::string, std::int16_t> rows[] = {
        {"job", -1},
        {"missing"s + kSep + "job.ini", 0},
        {"sub.d"s + kSep + "job", 0}, // a "." anywhere: looked up as it stands
        {".skjult.ini", 0}, // hidden files and folders do not count
        {"sub.d", 0},
    };
    for (const auto& [name, expected] : rows) EXPECT_EQ(ini_.Exists(name), expected) << name;
    EXPECT_EQ(Raised([&] { ini_.Exists("s*b"s + kSep + "job"); }), "123 Brenlix: " + brenlix::SystemErrorText(123));
    std::filesystem::current_path(before);
}

// With UseWinINI the entries go to WIN.INI (under BRENLIX_ROOT on Linux, the prefix's own under Wine).
TEST_F(IniFileTest, WinIniMode)
{
    const TempDir root;
    const testing_support::ScopedEnvironment machine("BRENLIX_ROOT", root.Path().c_str());
    const std::string section = "DunmarrowTest" + std::to_string(GetCurrentProcessId());
    ini_.SectionName(section);
    ini_.UseWinINI(true);
    EXPECT_EQ(ini_.FileName() + "|" + ini_.FullPath() + "|" + ini_.PrivPath(),
              "WIN|" + ini_.FilePath() + kSep + "WIN.INI|" + path_);
    EXPECT_EQ(ini_.PutInt("Key", 42), 1);
    EXPECT_EQ(GetProfileIntA(section.c_str(), "key", 0), 42u);
    IniFile none; // a section but no file: the file "", which is not WIN.INI, so writes fail and reads give defaults
    none.SectionName(section);
    EXPECT_EQ(none.GetString("Key", "d") + std::to_string(none.GetInt("Key", 7) + none.PutString("Key", "v")), "d7");
    EXPECT_EQ(GetProfileIntA(section.c_str(), "key", 0) + std::uint32_t(notices_), 42u);
    WriteProfileStringA(section.c_str(), nullptr, nullptr);
    ini_.UseWinINI(false);
    EXPECT_EQ(ini_.FileName() + "|" + ini_.FullPath(), "job|" + path_);
}

} // namespace
