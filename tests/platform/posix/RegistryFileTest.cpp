// What the Linux registry decides for itself: the hive files and their REGEDIT4 text, and read-only hives.
#include "../RegistryCalls.h"
#include "OwnMachine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace registry_calls;
using namespace std::string_literals;
using testing_support::ReadFile;
using Strings = std::vector<std::string>;

class RegistryFile : public OwnMachine {
protected:
    std::string Hive(const char* file) const { return root.Path() + "/registry/" + file; }
};

// Writes a machine hive as root's tools leave it, whatever the umask: folder 0755, file 0644 (a
// group-writable one would be refused).
void WriteMachineHive(const std::string& path, const std::string& text)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, static_cast<std::filesystem::perms>(0755));
    testing_support::WriteFile(path, text);
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0644));
}

TEST_F(RegistryFile, EachHiveIsOneRegedit4File)
{
    RegCloseKey(Create(HKEY_USERS, "Test\\Sub"));
    HKEY key = Create(HKEY_USERS, "Test");
    std::string longBinary;
    for (int b = 0; b < 30; ++b) longBinary += static_cast<char>(b * 7);
    const struct { const char* name; DWORD type; std::string bytes; } values[] = {
        {nullptr, REG_SZ, "default\0"s},
        {"text", REG_SZ, "a \"q\" \\ b\0"s},
        {"dword", REG_DWORD, "\x2a\0\0\0"s},
        {"empty", REG_BINARY, ""},
        {"long", REG_BINARY, longBinary},
        {"bare", REG_SZ, "ab"},
        {"inner NUL", REG_SZ, "a\0b\0"s},
        {"break", REG_SZ, "a\n\0"s},
        {"short", REG_DWORD, "\x01\x02"s},
        {"od\"d\\name\r\n", 0x1234abcd, "x"},
    };
    for (const auto& value : values) ASSERT_EQ(Set(key, value.name, value.type, value.bytes), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(ReadFile(Hive("HKU.reg")),
              "REGEDIT4\r\n\r\n[HKEY_USERS]\r\n\r\n[HKEY_USERS\\.DEFAULT]\r\n\r\n[HKEY_USERS\\Test]\r\n"
              "@=\"default\"\r\n\"text\"=\"a \\\"q\\\" \\\\ b\"\r\n\"dword\"=dword:0000002a\r\n\"empty\"=hex:\r\n"
              "\"long\"=hex:00,07,0e,15,1c,23,2a,31,38,3f,46,4d,54,5b,62,69,70,77,7e,85,8c,93,\\\r\n"
              "  9a,a1,a8,af,b6,bd,c4,cb\r\n"
              "\"bare\"=hex(1):61,62\r\n\"inner NUL\"=hex(1):61,00,62,00\r\n\"break\"=hex(1):61,0a,00\r\n"
              "\"short\"=hex(4):01,02\r\n"
              "\"od\\\"d\\\\name\\r\\n\"=hex(1234abcd):78\r\n\r\n[HKEY_USERS\\Test\\Sub]\r\n\r\n");
    // Read back by a fresh parse (the file rewritten), with what other tools write added: bare line ends, spaces,
    // wrapped lines, comments, removals, a section named again, lines that mean nothing.
    const std::string added = "; by hand\n[hkey_users\\TEST]\n  \"Spaced\" = dword:0000ABCD  \n"
                              "\"Wrapped\"=hex:01,02,\\\n    03,04\n\"Dropped\"=\"x\"\n\"Dropped\"=-\n"
                              "\"Broken\"=dword:xyz\nnonsense\n[HKEY_USERS\\Gone]\n[-HKEY_USERS\\Gone]\n"
                              "[HKEY_LOCAL_MACHINE\\Elsewhere]\n\"v\"=\"not this hive\"\n";
    WriteMachineHive(Hive("HKU.reg"), ReadFile(Hive("HKU.reg")) + added);
    key = Create(HKEY_USERS, "TEST", KEY_READ);
    for (const auto& value : values)
        EXPECT_EQ(Get(key, value.name), std::make_pair(value.type, value.bytes)) << (value.name ? value.name : "@");
    EXPECT_EQ(Get(key, "Spaced"), std::make_pair(DWORD{REG_DWORD}, "\xcd\xab\0\0"s));
    EXPECT_EQ(Get(key, "Wrapped"), std::make_pair(DWORD{REG_BINARY}, "\1\2\3\4"s));
    EXPECT_EQ(ValueNames(key).size(), std::size(values) + 2);
    EXPECT_EQ(Subkeys(key), Strings{"Sub"});
    RegCloseKey(key);
    EXPECT_EQ(OpenAndClose(HKEY_USERS, "Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenAndClose(HKEY_USERS, "Elsewhere"), ERROR_FILE_NOT_FOUND);
    // The root's name without regard to case in the machine's hive too, whose name has an "a" in it.
    WriteMachineHive(Hive("HKLM.reg"), "REGEDIT4\n[hkey_local_machine\\Software\\ByHand]\n");
    EXPECT_EQ(OpenAndClose(HKEY_LOCAL_MACHINE, "Software\\ByHand"), ERROR_SUCCESS);
}

// A file without any write permission is read-only for everyone, root too; the refused changes leave
// nothing behind in this process either.
TEST_F(RegistryFile, ReadOnlyHiveRefusesEveryChange)
{
    HKEY writable = Create(HKEY_LOCAL_MACHINE, "Software\\Korvane");
    ASSERT_EQ(Set(writable, "v", REG_SZ, "before\0"s), ERROR_SUCCESS);
    ASSERT_EQ(::chmod(Hive("HKLM.reg").c_str(), 0444), 0);
    const std::string before = ReadFile(Hive("HKLM.reg"));
    const auto denied = ERROR_ACCESS_DENIED;
    EXPECT_EQ((std::vector<LSTATUS>{CreateAndClose(HKEY_LOCAL_MACHINE, "Software\\Korvane\\New"),
                                    CreateAndClose(HKEY_CLASSES_ROOT, ".new", true, KEY_READ),
                                    Set(writable, "v", REG_SZ, "after\0"s), RegDeleteValueA(writable, "missing"),
                                    OpenAndClose(HKEY_LOCAL_MACHINE, "Software\\Korvane", KEY_SET_VALUE),
                                    OpenAndClose(HKEY_LOCAL_MACHINE, "Software\\Korvane", MAXIMUM_ALLOWED)}),
              (std::vector<LSTATUS>{denied, denied, denied, ERROR_FILE_NOT_FOUND, denied, ERROR_SUCCESS}));
    EXPECT_EQ(ReadFile(Hive("HKLM.reg")), before);
    ASSERT_EQ(::chmod(Hive("HKLM.reg").c_str(), 0644), 0);
    EXPECT_EQ(Get(writable, "v").second, "before\0"s);
    RegCloseKey(writable);
}

// No key lies deeper than Windows keeps one (510 levels below HKEY_USERS), however deep the path asked for
// (a deep path used to crash the writer); a hive file holding a deeper one was written by no registry, and
// every call on its hive fails with ERROR_BADDB.
TEST_F(RegistryFile, KeysDeeperThanWindowsKeepsAreRefused)
{
    EXPECT_EQ(CreateAndClose(HKEY_USERS, Levels("Top", 100000)), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(Hive("HKU.reg")));
    for (const auto& [levels, expected] :
         {std::pair<int, LSTATUS>{509, ERROR_SUCCESS}, {510, ERROR_BADDB}, {100000, ERROR_BADDB}}) {
        SCOPED_TRACE(levels); // below Top, itself one level below the root
        const std::string hive = "REGEDIT4\r\n\r\n[HKEY_USERS\\Top]\r\n\"v\"=\"top\"\r\n\r\n[HKEY_USERS\\" +
                                 Levels("Top", levels + 1) + "]\r\n\r\n";
        WriteMachineHive(Hive("HKU.reg"), hive);
        EXPECT_EQ(OpenAndClose(HKEY_USERS, "Top"), expected);
        EXPECT_EQ(CreateAndClose(HKEY_USERS, "Other"), expected);
        if (expected != ERROR_SUCCESS) {
            EXPECT_EQ(ReadFile(Hive("HKU.reg")), hive);
            continue;
        }
        std::string written = "REGEDIT4\r\n\r\n[HKEY_USERS]\r\n\r\n[HKEY_USERS\\Other]\r\n\r\n"
                              "[HKEY_USERS\\Top]\r\n\"v\"=\"top\"\r\n\r\n"; // whole, each key before its subkeys
        for (int level = 1; level <= levels; ++level)
            written += "[HKEY_USERS\\" + Levels("Top", level + 1) + "]\r\n\r\n";
        EXPECT_EQ(ReadFile(Hive("HKU.reg")), written);
        EXPECT_EQ(OpenAndClose(HKEY_USERS, Levels("Top", levels + 1)), ERROR_SUCCESS);
        EXPECT_EQ(CreateAndClose(HKEY_USERS, Levels("Top", levels + 2)), ERROR_INVALID_PARAMETER);
    }
}

} // namespace
