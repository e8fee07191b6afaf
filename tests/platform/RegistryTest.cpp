// The registry functions as Windows has them: against the Linux substitutes (in a machine root of their
// own) and, in the Windows build, in a key of each test's own under HKEY_CURRENT_USER\Software\Korvane\Test.
#include <platform/Win32.h>

#include "RegistryCalls.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace registry_calls;
using namespace std::string_literals;
using testing_support::RunningUnderWine;
using Strings = std::vector<std::string>;
using Statuses = std::vector<LSTATUS>;

constexpr char kTestRoot[] = "Software\\Korvane\\Test";

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        keyName = std::string(kTestRoot) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                  "-" + std::to_string(GetCurrentProcessId());
        key = Create(HKEY_CURRENT_USER, keyName.c_str());
        ASSERT_NE(key, nullptr);
    }
    void TearDown() override
    {
        RegCloseKey(key);
        DeleteTree(HKEY_CURRENT_USER, keyName);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestRoot); // if empty
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Korvane");
    }

    testing_support::TempDir root;
    testing_support::ScopedEnvironment machineRoot{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::ScopedEnvironment userConfig{"XDG_CONFIG_HOME", root.File("config").c_str()};
    std::string keyName;
    HKEY key = nullptr;
};

TEST_F(Registry, CreatesAndOpensKeys)
{
    const struct { const char* path; LSTATUS expected; DWORD disposition; } rows[] = {
        {"One\\Two\\Three", ERROR_SUCCESS, REG_CREATED_NEW_KEY},
        {"one\\TWO\\three", ERROR_SUCCESS, REG_OPENED_EXISTING_KEY},
        {"One\\Two\\", ERROR_SUCCESS, REG_OPENED_EXISTING_KEY},
        {"\\One", ERROR_BAD_PATHNAME, 0xdead},
    };
    for (const auto& row : rows) {
        DWORD disposition = 0xdead;
        EXPECT_EQ(CreateAndClose(key, row.path, true, KEY_ALL_ACCESS, &disposition), row.expected);
        EXPECT_EQ(disposition, row.disposition) << row.path;
    }
    EXPECT_EQ(OpenAndClose(key, "One\\Missing"), ERROR_FILE_NOT_FOUND);
    HKEY opened = nullptr; // no place for the handle, and a reserved value other than 0, are refused as on Windows
    if (!RunningUnderWine()) { // Wine 8.0 writes through the null pointer (later Wines test 1010)
        EXPECT_EQ(RegCreateKeyExA(key, "One", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr), ERROR_BADKEY);
    }
    EXPECT_EQ(RegCreateKeyExA(key, "One", 1, nullptr, 0, KEY_READ, nullptr, &opened, nullptr), ERROR_INVALID_PARAMETER);
    opened = Create(key, "ONE", KEY_READ);
    EXPECT_EQ(Subkeys(opened), Strings{"Two"}); // as first written
    RegCloseKey(opened);
    // No subkey: the same key again, through a handle of its own.
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_ALL_ACCESS, &opened), ERROR_SUCCESS);
    EXPECT_NE(opened, key);
    ASSERT_EQ(Set(opened, "v", REG_BINARY, "ab"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "v").second, "ab"); // a root's own null or empty path: Registry.ClassesRoot
}

// Names without case; a DWORD of any size kept as set. The unnamed value is both nullptr and ""; "@" is a
// name like any other. (Every type's bytes as set are pinned through the hive files in posix/RegistryFileTest.)
TEST_F(Registry, ValuesAndTheirNames)
{
    ASSERT_EQ(Set(key, "long dword", REG_DWORD, "12345"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "long dword"), std::make_pair(DWORD{REG_DWORD}, std::string("12345")));
    ASSERT_EQ(Set(key, "LONG DWORD", 0x12345678, "changed"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "long dword"), std::make_pair(DWORD{0x12345678}, std::string("changed")));
    EXPECT_EQ(ValueNames(key).size(), 1u);
    ASSERT_EQ(Set(key, nullptr, REG_SZ, "default\0"s), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "@", REG_SZ, "at\0"s), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "").second, "default\0"s);
    EXPECT_EQ((Statuses{RegDeleteValueA(key, nullptr), RegDeleteValueA(key, "")}), (Statuses{0, ERROR_FILE_NOT_FOUND}));
    EXPECT_EQ(Get(key, "@").second, "at\0"s);
}

// A string whose NUL the size leaves out but which follows it gets the NUL counted; one without gets a NUL
// after it on reading where the buffer has room. Then the sizes and types of queries.
TEST_F(Registry, QuerySizesAndStringsWithoutTheirNul)
{
    ASSERT_EQ(RegSetValueExA(key, "counted", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "counted").second, "abc\0"s);
    ASSERT_EQ(Set(key, "bare", REG_SZ, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "five", REG_BINARY, "12345"), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "empty", REG_SZ, ""), ERROR_SUCCESS);
    const struct {
        const char* value;
        bool buffer;
        DWORD size;
        LSTATUS expected;
        DWORD type, sizeAfter;
        std::string bytes;
    } rows[] = {
        {"bare", true, 3, ERROR_SUCCESS, REG_SZ, 3, "abc\xbd"s},
        {"bare", true, 4, ERROR_SUCCESS, REG_SZ, 3, "abc\0\xbd"s},
        {"five", true, 4, ERROR_MORE_DATA, REG_BINARY, 5, ""},
        {"empty", true, 0, ERROR_SUCCESS, REG_SZ, 0, "\xbd"},
        {"missing", true, 64, ERROR_FILE_NOT_FOUND, 0, 64, "\xbd"}, // the size left alone
        {"missing", false, 0xdead, ERROR_FILE_NOT_FOUND, 0, 0, ""},  // a size query gets 0
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.value) + " " + std::to_string(row.buffer) + " " + std::to_string(row.size));
        std::string buffer(65, static_cast<char>(kSentinel));
        DWORD type = 0xdead, size = row.size;
        EXPECT_EQ(RegQueryValueExA(key, row.value, nullptr, &type,
                                   row.buffer ? reinterpret_cast<BYTE*>(buffer.data()) : nullptr, &size), row.expected);
        EXPECT_EQ(std::make_pair(size, buffer.substr(0, row.bytes.size())), std::make_pair(row.sizeAfter, row.bytes));
        EXPECT_TRUE(row.expected == ERROR_FILE_NOT_FOUND || type == row.type); // else undocumented
    }
    BYTE data[8] = {kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel, kSentinel};
    DWORD type = 0xdead, typeAfter = 0xdead, both = 8; // both: one variable for type and size (what the buffer holds)
    EXPECT_EQ((Statuses{RegQueryValueExA(key, "five", nullptr, &type, data, nullptr),
                        RegQueryValueExA(key, "five", nullptr, &typeAfter, nullptr, nullptr),
                        RegQueryValueExA(key, "five", nullptr, &both, data, &both),
                        RegSetValueExA(key, "null data", 0, REG_BINARY, nullptr, 4),
                        RegSetValueExA(key, "null data", 0, REG_BINARY, nullptr, 0)}),
              (Statuses{ERROR_INVALID_PARAMETER, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_NOACCESS, 0}));
    EXPECT_EQ(std::make_pair(type, typeAfter), std::make_pair(kUnreadable, DWORD{REG_BINARY}));
    EXPECT_EQ(std::string(data, data + 6), "12345\xbd");
    EXPECT_EQ(Get(key, "null data"), std::make_pair(static_cast<DWORD>(REG_BINARY), std::string()));
}

// Windows lists subkeys by upper-cased name and values in the order they were first set (the documentation
// promises no order for either); Wine orders both by lower-cased name.
TEST_F(Registry, Enumeration)
{
    const bool wine = RunningUnderWine();
    for (const char* subkey : {"b", "A", "_x", "C", "a1", "Ab"}) RegCloseKey(Create(key, subkey, KEY_READ));
    for (const char* value : {"zeta", "Alpha", "_u", "beta", "", "Gamma"}) Set(key, value, REG_SZ, "x\0"s);
    ASSERT_EQ(RegDeleteValueA(key, "alpha"), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "ALPHA", REG_SZ, "x\0"s), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "zeta", REG_SZ, "yyy\0"s), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(key),
              (wine ? Strings{"_x", "A", "a1", "Ab", "b", "C"} : Strings{"A", "a1", "Ab", "b", "C", "_x"}));
    EXPECT_EQ(ValueNames(key), (wine ? Strings{"", "_u", "ALPHA", "beta", "Gamma", "zeta"}
                                     : Strings{"zeta", "_u", "beta", "", "Gamma", "ALPHA"}));
    char name[8];
    DWORD size = 2, valueSize = sizeof name; // a two-letter name needs three
    EXPECT_EQ((Statuses{RegEnumKeyA(key, 6, name, sizeof name),
                        RegEnumKeyExA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr),
                        RegEnumValueA(key, 6, name, &valueSize, nullptr, nullptr, nullptr, nullptr),
                        RegEnumKeyA(key, 1, name, sizeof name)}),
              (Statuses{ERROR_NO_MORE_ITEMS, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS, 0}));
    EXPECT_STREQ(name, wine ? "A" : "a1");
    DWORD subkeys = 0xdead, maxSubkey = 0xdead, values = 0xdead, maxName = 0xdead, maxData = 0xdead;
    char className[4] = {'x', 'x', 'x', 'x'};
    DWORD classSize = sizeof className;
    ASSERT_EQ(RegQueryInfoKeyA(key, className, &classSize, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::make_pair(className[0], classSize), std::make_pair('\0', DWORD{0}));
    EXPECT_EQ((std::vector<DWORD>{subkeys, maxSubkey, values, maxName, maxData}), // lengths without the NUL;
              (std::vector<DWORD>{6, 2, 6, 5, 8}));                               // "yyy" in UTF-16 with its NUL
    // A name or data that does not fit: ERROR_MORE_DATA with the type and data size; data that fits is filled in
    // though the name does not fit (Windows' own behaviour, Wine's advapi32 tests).
    HKEY one = Create(key, "A");
    ASSERT_EQ(Set(one, "abcd", REG_BINARY, "12345"), ERROR_SUCCESS);
    for (const auto& [nameSize, dataSize, expected] :
         {std::tuple<DWORD, DWORD, LSTATUS>{4, 64, ERROR_MORE_DATA}, {5, 4, ERROR_MORE_DATA}, {5, 5, ERROR_SUCCESS}}) {
        std::string data(65, static_cast<char>(kSentinel));
        DWORD nameLength = nameSize, type = 0xdead, dataLength = dataSize;
        EXPECT_EQ(RegEnumValueA(one, 0, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                &dataLength), expected) << nameSize << " " << dataSize;
        EXPECT_EQ(std::make_pair(type, dataLength), std::make_pair(DWORD{REG_BINARY}, DWORD{5}));
        if (expected == ERROR_SUCCESS) {
            EXPECT_EQ(std::string(name, nameLength + 1) + data.substr(0, 6), "abcd\0" "12345\xbd"s);
        } else {
            EXPECT_EQ(data.substr(0, 5), dataSize >= 5 ? "12345" : std::string(5, static_cast<char>(kSentinel)));
        }
    }
    RegCloseKey(one);
}

// Windows creates at most 32 levels in one call and refuses more with ERROR_INVALID_PARAMETER (its 512-level
// depth limit is pinned in posix/RegistryFileTest). Wine makes any number at once.
TEST_F(Registry, DepthLimits)
{
    const bool wine = RunningUnderWine();
    const LSTATUS refused = wine ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    const LSTATUS notMade = wine ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    RegCloseKey(Create(key, "Made"));
    const struct { std::string path; bool create; LSTATUS expected; } rows[] = {
        {Levels("Fresh", 32), true, ERROR_SUCCESS},
        {Levels("Fresher", 33), true, refused},
        {Levels("Made", 33), true, ERROR_SUCCESS},
        {"Fresher", false, notMade}, // not even its first level
    };
    for (const auto& row : rows)
        EXPECT_EQ(CreateAndClose(key, row.path, row.create), row.expected) << row.path.size() << " " << row.create;
}

TEST_F(Registry, DeletesKeysWithoutSubkeysOnly)
{
    HKEY leaf = Create(key, "Parent\\Child");
    const struct { const char* subkey; LSTATUS expected; } rows[] = {
        {"Parent", ERROR_ACCESS_DENIED},
        {"Parent\\Missing", ERROR_FILE_NOT_FOUND},
        {"PARENT\\child", ERROR_SUCCESS},
        {"Parent", ERROR_SUCCESS},
    };
    for (const auto& row : rows) EXPECT_EQ(RegDeleteKeyA(key, row.subkey), row.expected) << row.subkey;
    EXPECT_EQ(Subkeys(key), Strings{});
    EXPECT_EQ(RegDeleteKeyA(key, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    DWORD count = 0; // the handle still open on the deleted key
    const auto d = ERROR_KEY_DELETED;
    EXPECT_EQ((Statuses{Set(leaf, "v", REG_BINARY, "x"), RegQueryValueExA(leaf, "v", nullptr, nullptr, nullptr, &count),
                        OpenAndClose(leaf, ""), CreateAndClose(leaf, "x"), RegFlushKey(leaf), RegCloseKey(leaf)}),
              (Statuses{d, d, d, d, d, ERROR_SUCCESS}));

    leaf = Create(key, "Self"); // an empty subkey deletes the key itself
    EXPECT_EQ(RegDeleteKeyA(leaf, ""), ERROR_SUCCESS);
    EXPECT_EQ(OpenAndClose(key, "Self"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(leaf);
}

// HKEY_CLASSES_ROOT writes land under HKEY_LOCAL_MACHINE\Software\Classes; it takes a path that starts with
// "\" ("\clsid" opens CLSID), which under the other roots is a bad path.
TEST_F(Registry, ClassesRoot)
{
    const std::string type = ".korvane-" + std::to_string(GetCurrentProcessId());
    HKEY classes = Create(HKEY_CLASSES_ROOT, type.c_str());
    EXPECT_EQ(Set(classes, nullptr, REG_SZ, "Korvane.Backup\0"s), ERROR_SUCCESS);
    RegCloseKey(classes);
    HKEY machine = Create(HKEY_LOCAL_MACHINE, ("Software\\Classes\\" + type).c_str(), KEY_READ);
    EXPECT_EQ(Get(machine, nullptr).second, "Korvane.Backup\0"s);
    RegCloseKey(machine);
    EXPECT_EQ(OpenAndClose(HKEY_CLASSES_ROOT, "\\" + type), ERROR_SUCCESS);
    // A null or empty path hands back the root itself, "\\" a key of its own.
    for (const char* path : {static_cast<const char*>(nullptr), "", "\\"}) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &opened), ERROR_SUCCESS);
        EXPECT_EQ(opened == HKEY_CLASSES_ROOT, path == nullptr || *path == '\0') << (path ? path : "null");
        EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    }
    EXPECT_EQ(OpenAndClose(HKEY_LOCAL_MACHINE, "\\Software\\Classes\\" + type), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("Software\\Classes\\" + type).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(OpenAndClose(HKEY_CLASSES_ROOT, type), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesAndTheirAccess)
{
    HKEY closed = nullptr, reader = nullptr, writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &closed), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "v", REG_BINARY, "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &reader), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_WRITE, &writer), ERROR_SUCCESS);
    char name[8];
    DWORD size = sizeof name;
    const auto denied = ERROR_ACCESS_DENIED, invalid = ERROR_INVALID_HANDLE;
    EXPECT_EQ((Statuses{RegCloseKey(HKEY_CURRENT_USER), RegCloseKey(nullptr), RegCloseKey(closed), RegCloseKey(closed),
                        Set(closed, "v", REG_BINARY, "x"), Set(reader, "v", REG_BINARY, "y"),
                        RegQueryValueExA(writer, "v", nullptr, nullptr, nullptr, &size),
                        RegEnumKeyA(writer, 0, name, sizeof name), Set(writer, "v", REG_BINARY, "z")}),
              (Statuses{0, invalid, 0, invalid, invalid, denied, denied, denied, 0}));
    EXPECT_EQ(Get(reader, "v").second, "z");
    RegCloseKey(reader);
    RegCloseKey(writer);
}

} // namespace
