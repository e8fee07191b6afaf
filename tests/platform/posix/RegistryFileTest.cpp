// What the Linux registry decides for itself: the hive files and their
// REGEDIT4 text, read-only hives, several processes on one hive, and the
// parsed-hive cache.
#include <platform/Win32.h>

#include "../RegistryCalls.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace registry_calls;
using testing_support::ChildProcess;
using testing_support::ReadFile;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;
using testing_support::TestChildCommand;
using testing_support::WriteFile;

class RegistryFile : public ::testing::Test {
protected:
    std::string Hive(const char* file) const { return root.Path() + "/registry/" + file; }

    TempDir root;
    ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    ScopedEnvironment config{"XDG_CONFIG_HOME", root.File("config").c_str()};
};

// Writes a machine hive file as root's tools leave it, whatever the umask:
// folder 0755, file 0644 (a group-writable one would be refused).
void WriteMachineHive(const std::string& path, const std::string& text)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, static_cast<std::filesystem::perms>(0755));
    WriteFile(path, text);
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0644));
}

// Bytes read by this process so far (rchar of /proc/self/io); -1 when unknown.
long long BytesReadByProcess()
{
    std::ifstream io("/proc/self/io");
    std::string field;
    long long value = -1;
    while (io >> field >> value) {
        if (field == "rchar:") {
            return value;
        }
    }
    return -1;
}

// The path of levels keys below first, all named "d".
std::string Levels(std::string first, int levels)
{
    for (int i = 0; i < levels; ++i) {
        first += "\\d";
    }
    return first;
}

TEST_F(RegistryFile, EachHiveIsOneRegedit4File)
{
    HKEY key = Create(HKEY_USERS, "Test\\Sub");
    RegCloseKey(key);
    key = Create(HKEY_USERS, "Test");
    std::string longBinary;
    for (int b = 0; b < 30; ++b) {
        longBinary += static_cast<char>(b * 7);
    }
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {nullptr, REG_SZ, Bytes("default\0", 8)},
        {"text", REG_SZ, Bytes("a \"q\" \\ b\0", 10)},
        {"dword", REG_DWORD, Bytes("\x2a\0\0\0", 4)},
        {"binary", REG_BINARY, Bytes("\x01\xab\0", 3)},
        {"empty", REG_BINARY, ""},
        {"long", REG_BINARY, longBinary},
        {"multi", REG_MULTI_SZ, Bytes("a\0b\0\0", 5)},
        {"expand", REG_EXPAND_SZ, Bytes("%P%\0", 4)},
        {"bare", REG_SZ, "ab"},
        {"inner NUL", REG_SZ, Bytes("a\0b\0", 4)},
        {"break", REG_SZ, Bytes("a\n\0", 3)},
        {"short", REG_DWORD, Bytes("\x01\x02", 2)},
        {"big", REG_DWORD_BIG_ENDIAN, Bytes("\0\0\0\x2a", 4)},
        {"qword", REG_QWORD, Bytes("\x01\0\0\0\0\0\0\x80", 8)},
        {"none", REG_NONE, ""},
        {"od\"d\\name\r\n", 0x1234abcd, "x"},
    };
    for (const auto& value : values) {
        ASSERT_EQ(Set(key, value.name, value.type, value.bytes), ERROR_SUCCESS);
    }
    RegCloseKey(key);
    EXPECT_EQ(ReadFile(Hive("HKU.reg")),
              "REGEDIT4\r\n\r\n"
              "[HKEY_USERS]\r\n\r\n"
              "[HKEY_USERS\\.DEFAULT]\r\n\r\n"
              "[HKEY_USERS\\Test]\r\n"
              "@=\"default\"\r\n"
              "\"text\"=\"a \\\"q\\\" \\\\ b\"\r\n"
              "\"dword\"=dword:0000002a\r\n"
              "\"binary\"=hex:01,ab,00\r\n"
              "\"empty\"=hex:\r\n"
              "\"long\"=hex:00,07,0e,15,1c,23,2a,31,38,3f,46,4d,54,5b,62,69,70,77,7e,85,8c,93,\\\r\n"
              "  9a,a1,a8,af,b6,bd,c4,cb\r\n"
              "\"multi\"=hex(7):61,00,62,00,00\r\n"
              "\"expand\"=hex(2):25,50,25,00\r\n"
              "\"bare\"=hex(1):61,62\r\n"
              "\"inner NUL\"=hex(1):61,00,62,00\r\n"
              "\"break\"=hex(1):61,0a,00\r\n"
              "\"short\"=hex(4):01,02\r\n"
              "\"big\"=hex(5):00,00,00,2a\r\n"
              "\"qword\"=hex(b):01,00,00,00,00,00,00,80\r\n"
              "\"none\"=hex(0):\r\n"
              "\"od\\\"d\\\\name\\r\\n\"=hex(1234abcd):78\r\n"
              "\r\n"
              "[HKEY_USERS\\Test\\Sub]\r\n\r\n");

    // Read back by a fresh parse: the file copied to another machine root.
    const TempDir copy;
    WriteMachineHive(copy.Path() + "/registry/HKU.reg", ReadFile(Hive("HKU.reg")));
    {
        const ScopedEnvironment elsewhere("BRENLIX_ROOT", copy.Path().c_str());
        ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "TEST", 0, KEY_READ, &key), ERROR_SUCCESS);
        for (const auto& value : values) {
            SCOPED_TRACE(value.name != nullptr ? value.name : "(default)");
            EXPECT_EQ(Get(key, value.name), std::make_pair(value.type, value.bytes));
        }
        EXPECT_EQ(Subkeys(key), std::vector<std::string>{"Sub"});
        RegCloseKey(key);
    }

    // The other hives: the machine's (HKEY_CLASSES_ROOT is in it) and the user's.
    RegCloseKey(Create(HKEY_CLASSES_ROOT, ".x"));
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Korvane"));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(root.Path() + "/registry")) {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"HKLM.reg", "HKU.reg"}));
    EXPECT_NE(ReadFile(root.Path() + "/config/brenlix/HKCU.reg").find("\r\n[HKEY_CURRENT_USER\\Software\\Korvane]\r\n"),
              std::string::npos);
    EXPECT_NE(ReadFile(Hive("HKLM.reg")).find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\.x]\r\n"),
              std::string::npos);
}

TEST_F(RegistryFile, ReadsWhatOtherToolsWrite)
{
    WriteMachineHive(Hive("HKU.reg"), "REGEDIT4\n"
                                      "; written by hand\n"
                                      "[HKEY_USERS\\App]\n"
                                      "\"Name\"=\"Value\"\n"
                                      "  \"Spaced\" = dword:0000ABCD  \n"
                                      "\"Wrapped\"=hex:01,02,\\\n"
                                      "    03,04\n"
                                      "\"Typed\"=hex(2):41,00\n"
                                      "\"Dropped\"=\"x\"\n"
                                      "\"Dropped\"=-\n"
                                      "\"Broken\"=dword:xyz\n"
                                      "nonsense line\n"
                                      "[hkey_users\\APP]\n"
                                      "\"Later\"=\"merged\"\n"
                                      "[HKEY_USERS\\Gone]\n"
                                      "[-HKEY_USERS\\Gone]\n"
                                      "[HKEY_LOCAL_MACHINE\\Elsewhere]\n"
                                      "\"Name\"=\"not this hive\"\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, "App", 0, KEY_READ, &key), ERROR_SUCCESS);
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } rows[] = {
        {"Name", REG_SZ, Bytes("Value\0", 6)},         {"Spaced", REG_DWORD, Bytes("\xcd\xab\0\0", 4)},
        {"Wrapped", REG_BINARY, Bytes("\1\2\3\4", 4)}, {"Typed", REG_EXPAND_SZ, Bytes("A\0", 2)},
        {"Later", REG_SZ, Bytes("merged\0", 7)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Get(key, row.name), std::make_pair(row.type, row.bytes));
    }
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Name", "Spaced", "Wrapped", "Typed", "Later"}));
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Gone", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Elsewhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// A file without any write permission is read-only for everyone, root too.
TEST_F(RegistryFile, ReadOnlyHiveRefusesEveryChange)
{
    HKEY writable = Create(HKEY_LOCAL_MACHINE, "Software\\Korvane");
    ASSERT_EQ(Set(writable, "v", REG_SZ, Bytes("before\0", 7)), ERROR_SUCCESS);
    RegCloseKey(Create(writable, "Sub"));
    ASSERT_EQ(::chmod(Hive("HKLM.reg").c_str(), 0444), 0);
    const std::string before = ReadFile(Hive("HKLM.reg"));

    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".new", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane", 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(writable, "v", REG_SZ, Bytes("after\0", 6)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Set(writable, "w", REG_SZ, Bytes("new\0", 4)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(writable, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(writable, "Sub"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(writable, "missing"), ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Korvane", 0, MAXIMUM_ALLOWED, &key), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "v").second, Bytes("before\0", 7));
    EXPECT_EQ(Set(key, "v", REG_SZ, Bytes("after\0", 6)), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(ReadFile(Hive("HKLM.reg")), before);
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Korvane")); // the user's hive is not affected

    // Nothing of the refused changes stayed behind in this process either.
    ASSERT_EQ(::chmod(Hive("HKLM.reg").c_str(), 0644), 0);
    EXPECT_EQ(Get(writable, "v").second, Bytes("before\0", 7));
    EXPECT_EQ(ValueNames(writable), std::vector<std::string>{"v"});
    EXPECT_EQ(Set(writable, "v", REG_SZ, Bytes("after\0", 6)), ERROR_SUCCESS);
    RegCloseKey(writable);
}

// No key lies deeper than Windows keeps one (510 levels below HKEY_USERS),
// however deep the path asked for; a hive file holding a deeper one was
// written by no registry, and every call on its hive fails with ERROR_BADDB.
TEST_F(RegistryFile, KeysDeeperThanWindowsKeepsAreRefused)
{
    HKEY key = HKEY_USERS;
    EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, Levels("Top", 99999).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(std::filesystem::exists(Hive("HKU.reg")));

    const struct {
        int levels; // below Top, itself one level below the root
        LSTATUS expected;
    } rows[] = {
        {509, ERROR_SUCCESS},
        {510, ERROR_BADDB},
        {100000, ERROR_BADDB},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.levels);
        const std::string hive = "REGEDIT4\r\n\r\n[HKEY_USERS\\Top]\r\n\"v\"=\"top\"\r\n\r\n[HKEY_USERS\\" +
                                 Levels("Top", row.levels) + "]\r\n\r\n";
        WriteMachineHive(Hive("HKU.reg"), hive);
        key = HKEY_USERS;
        EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Top", 0, KEY_READ, &key), row.expected);
        RegCloseKey(key);
        EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  row.expected);
        RegCloseKey(key);
        if (row.expected != ERROR_SUCCESS) {
            EXPECT_EQ(ReadFile(Hive("HKU.reg")), hive);
            continue;
        }
        // Written out again whole, each key before its subkeys.
        std::string expected = "REGEDIT4\r\n\r\n[HKEY_USERS]\r\n\r\n[HKEY_USERS\\Other]\r\n\r\n"
                               "[HKEY_USERS\\Top]\r\n\"v\"=\"top\"\r\n\r\n";
        for (int level = 1; level <= row.levels; ++level) {
            expected += "[HKEY_USERS\\" + Levels("Top", level) + "]\r\n\r\n";
        }
        EXPECT_EQ(ReadFile(Hive("HKU.reg")), expected);
        ASSERT_EQ(RegOpenKeyExA(HKEY_USERS, Levels("Top", row.levels).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
        HKEY deeper = HKEY_USERS;
        EXPECT_EQ(RegCreateKeyExA(key, "d", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
                  ERROR_INVALID_PARAMETER);
        RegCloseKey(key);
    }
}

TEST_F(RegistryFile, TwoProcessesWritingOneHiveLoseNothing)
{
    const char* shared = "Software\\Korvane\\Test\\Shared";
    ChildProcess first(TestChildCommand(std::string("regwrite ") + shared + " 1000 first"));
    ChildProcess second(TestChildCommand(std::string("regwrite ") + shared + " 1000 second"));
    ASSERT_EQ(first.Wait(), 0u);
    ASSERT_EQ(second.Wait(), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, shared, 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<std::string> names = ValueNames(key);
    EXPECT_EQ(names.size(), 2000u);
    for (const char* prefix : {"first", "second"}) {
        for (int i = 0; i < 1000; ++i) {
            const std::string name = prefix + std::to_string(i);
            if (Get(key, name.c_str()) != std::make_pair(static_cast<DWORD>(REG_SZ), name + '\0')) {
                ADD_FAILURE() << name << " is missing or wrong";
                break;
            }
        }
    }
    RegCloseKey(key);
}

// Each write of another process is seen by the next read, even one in the
// same clock tick as the read before it.
TEST_F(RegistryFile, ReaderSeesAnotherProcesssWrite)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Korvane\\Seen");
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const std::string prefix = "round" + std::to_string(round) + "_";
        const std::string name = prefix + "0";
        EXPECT_EQ(Get(key, name.c_str()).first, kUnreadable);
        ChildProcess writer(TestChildCommand("regwrite Software\\Korvane\\Seen 1 " + prefix));
        ASSERT_EQ(writer.Wait(), 0u);
        EXPECT_EQ(Get(key, name.c_str()).second, name + '\0');
    }
    RegCloseKey(key);
}

TEST_F(RegistryFile, UnchangedHiveIsNotReadAgain)
{
    if (BytesReadByProcess() < 0) {
        GTEST_SKIP() << "/proc/self/io cannot be read";
    }
    ChildProcess writer(TestChildCommand("regwrite Software\\Korvane\\Big 2000 value"));
    ASSERT_EQ(writer.Wait(), 0u);
    const std::string hive = root.Path() + "/config/brenlix/HKCU.reg";
    const auto size = static_cast<long long>(std::filesystem::file_size(hive));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvane\\Big", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // a clock tick after the last change
    EXPECT_EQ(Get(key, "value7").second, Bytes("value7\0", 7));

    const long long start = BytesReadByProcess();
    for (int i = 0; i < 100; ++i) {
        const std::string name = "value" + std::to_string(i * 19);
        EXPECT_EQ(Get(key, name.c_str()).first, static_cast<DWORD>(REG_SZ));
    }
    EXPECT_LT(BytesReadByProcess() - start, size);

    ChildProcess another(TestChildCommand("regwrite Software\\Korvane\\Big 1 more"));
    ASSERT_EQ(another.Wait(), 0u);
    const long long beforeChange = BytesReadByProcess();
    EXPECT_EQ(Get(key, "more0").second, Bytes("more0\0", 6));
    EXPECT_GE(BytesReadByProcess() - beforeChange, size);
    RegCloseKey(key);
}

TEST_F(RegistryFile, WriteIsInTheFileWhenTheCallReturns)
{
    ChildProcess writer(TestChildCommand("regwrite Software\\Korvane\\Abandoned 3 v abandon"));
    ASSERT_EQ(writer.Wait(), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Korvane\\Abandoned", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"v0", "v1", "v2"}));
    RegCloseKey(key);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(root.Path() + "/config/brenlix")) {
        ++files;
    }
    EXPECT_EQ(files, 1u); // no temporary file left
}

} // namespace
