#include <brenlix/KvRegistry.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <tuple>

namespace {

using namespace std::string_literals;
using brenlix::KvRegistry;
using brenlix::Variant;
using Bytes = Variant::ByteArray;
using Strings = std::vector<std::string>;
using testing_support::At;
using testing_support::ExpectedStamp;
using testing_support::ExpectedTimeText;
using testing_support::Raised;

constexpr std::int32_t kUser = brenlix::HKEY_CURRENT_USER;
const std::string kSource = "Brenlix.cRegistry";
const std::string kUserText = "-2147483647";
constexpr std::int32_t kBadType = -2147194455;

std::string Reg(std::int32_t number, const std::string& text)
{
    return std::to_string(number) + " " + kSource + ": " + text;
}

std::string Z(const std::string& text) { return platform::ToAnsi(text) + '\0'; }

class KvRegistryTest : public ::testing::Test {
protected:
    KvRegistryTest()
    {
        reg_.ClassKey(brenlix::HKEY_CURRENT_USER);
        reg_.SectionKey(key_);
    }
    ~KvRegistryTest() override { raw::RemoveTree(kUser, key_); }

    std::string SetFailure(std::int32_t number, const std::string& root, const std::string& name,
                           const std::string& value) const
    {
        return Reg(number, "Failed to set registry value Key: '" + root + "',Section: '" + key_ + "',Key: '" + name +
                               "' to value: '" + value + "'");
    }

    testing_support::TempDir machine_;
    testing_support::ScopedEnvironment root_{"BRENLIX_ROOT", machine_.Path().c_str()};
    testing_support::ScopedEnvironment config_{"XDG_CONFIG_HOME", machine_.File("config").c_str()};
    const std::string key_ =
        "Software\\Korvane\\Test\\KvRegistry\\"s + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    KvRegistry reg_;
};

TEST_F(KvRegistryTest, KeysAndValuesAreCreatedAndDeleted)
{
    reg_.SectionKey(key_ + "\\a");
    reg_.ValueKey("v");
    reg_.ValueType(brenlix::REG_SZ);
    EXPECT_TRUE(reg_.CreateKey() && reg_.KeyExists());
    reg_.Value("x");
    EXPECT_TRUE(reg_.DeleteValue());
    EXPECT_FALSE(raw::Read(kUser, key_ + "\\a", "v"));
    EXPECT_TRUE(reg_.DeleteKey());
    EXPECT_FALSE(reg_.KeyExists());
}

// Each raises before it writes the value.
TEST_F(KvRegistryTest, EveryRaisingPath)
{
    ASSERT_EQ(raw::Write(kUser, key_ + "\\Sub", "", {brenlix::REG_SZ, Z("x")}), 0);
    const std::string missing = key_ + "\\Missing";
    const std::string at = kUserText + "',Section: '";
    const std::string tooMany =
        "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command";
    const brenlix::ERegistryClassConstants none{};
    const auto user = brenlix::HKEY_CURRENT_USER;
    const auto noType = brenlix::ERegistryValueTypes{};
    using R = KvRegistry&;
    const struct {
        brenlix::ERegistryClassConstants root;
        std::string section;
        brenlix::ERegistryValueTypes type;
        std::function<void(KvRegistry&)> call;
        std::string raised;
    } rows[] = {
        {none, key_, noType, [](R r) { r.CreateKey(); }, Reg(26001, "Failed to create registry Key: '" + key_)},
        {user, missing, noType, [](R r) { r.DeleteKey(); },
         Reg(26001, "Failed to delete registry Key: '" + at + missing)},
        {user, missing, noType, [](R r) { r.DeleteValue(); },
         Reg(26001, "Failed to open key '" + at + missing + "' for delete access")},
        {user, key_, noType, [](R r) { r.DeleteValue(); },
         Reg(26001, "Failed to delete registry Key: '" + at + key_ + "',Key: 'v")},
        {none, key_, brenlix::REG_SZ, [](R r) { r.Value(5.5); }, SetFailure(26001, "0", "v", "5.5")},
        {user, key_, brenlix::REG_BINARY, [](R r) { r.Value("abc"); }, "26001 : "},
        {user, key_, brenlix::REG_MULTI_SZ, [](R r) { r.Value("a"); }, SetFailure(kBadType, kUserText, "v", "a")},
        {user, key_, noType, [](R r) { r.CreateAdditionalEXEAssociations("Sub", {"a", "b", "c", "d"}); },
         Reg(-2147194452, tooMany)},
        {user, key_, noType, [&](R r) { r.CreateAdditionalEXEAssociations(missing, {"a", "b", "c"}); },
         Reg(-2147194451, "Error - attempt to create additional associations before class defined.")},
    };
    for (const auto& row : rows) {
        KvRegistry r;
        r.ClassKey(row.root);
        r.SectionKey(row.section);
        r.ValueType(row.type);
        r.ValueKey("v");
        EXPECT_EQ(Raised([&] { row.call(r); }), row.raised);
        EXPECT_FALSE(raw::Read(kUser, key_, "v")) << row.raised;
    }
    KvRegistry untyped; // a value of no kind is refused after its key is made
    untyped.ClassKey(user), untyped.SectionKey(key_ + "\\Made"), untyped.ValueKey("v");
    EXPECT_EQ(Raised([&] { untyped.Value("a"); }).substr(0, 12), std::to_string(kBadType) + " ");
    EXPECT_TRUE(raw::KeyExists(kUser, key_ + "\\Made"));
}

// Text writes store REG_EXPAND_SZ when two percent signs enclose something; DWORD writes (both types
// store little-endian REG_DWORD) take whole numbers within 32 bits only. A negative day's fraction counts forward.
TEST_F(KvRegistryTest, KindsAsTextAndAsDword)
{
    const std::optional<std::int32_t> no;
    const struct {
        Variant value;
        std::string text;
        std::optional<std::int32_t> dword;
        bool expand = false;
    } rows[] = {
        {"%%x%", "%%x%", no, true},
        {"Kø%%Å", "Kø%%Å", no},
        {Variant(), "", no},
        {Bytes{'h', 0, 'i', 0}, "hi", no},
        {std::int16_t{-2}, "-2", -2},
        {0x01020304, "16909060", 0x01020304},
        {5.5, "5.5", no},
        {-2147483648.0, "-2147483648", INT32_MIN},
        {1e20, "1E+20", no},
        {"5", "5", 5},
        {"5 ", "5 ", no},
        {"2147483648", "2147483648", no},
        {Variant::FromBoolean(true), "True", no},
        {Variant::FromCurrency(-70000), "-7", -7},
        {Variant::FromCurrency(INT64_MIN), "-922337203685477.5808", no},
        {Variant::FromDate(46095.6315509259259), ExpectedStamp(At(2026, 3, 14, 15, 9, 26)), no},
        {Variant::FromDate(0.25), ExpectedTimeText(At(1899, 12, 30, 6, 0, 0)), no},
        {Variant::FromDate(-1.25), ExpectedStamp(At(1899, 12, 29, 6, 0, 0)), no},
    };
    reg_.ValueKey("v");
    for (const auto& row : rows) {
        for (const auto type :
             {brenlix::REG_SZ, brenlix::REG_EXPAND_SZ, brenlix::REG_DWORD, brenlix::REG_DWORD_BIG_ENDIAN}) {
            raw::RemoveValue(kUser, key_, "v");
            reg_.ValueType(type);
            const bool text = type == brenlix::REG_SZ || type == brenlix::REG_EXPAND_SZ;
            EXPECT_EQ(Raised([&] { reg_.Value(row.value); }),
                      text || row.dword ? "nothing" : SetFailure(kBadType, kUserText, "v", row.text));
            const raw::Stored stored = text ? raw::Stored{row.expand ? 2u : 1u, Z(row.text)}
                                            : raw::Stored{brenlix::REG_DWORD, raw::Dword(row.dword.value_or(0))};
            EXPECT_EQ(raw::Read(kUser, key_, "v"), text || row.dword ? std::optional(stored) : std::nullopt)
                << row.text << type;
        }
    }
}

TEST_F(KvRegistryTest, ReadsByStoredType)
{
    const testing_support::ScopedEnvironment variable("KVTEST_DIR", "C:\\Kv");
    const struct { raw::Stored stored; Variant expected; } rows[] = {
        {{brenlix::REG_SZ, "abc"}, "abc"},
        {{brenlix::REG_SZ, ""}, ""},
        {{brenlix::REG_MULTI_SZ, "a\0b\0\0"s}, "a\0b\0"s},
        {{brenlix::REG_EXPAND_SZ, "%KVTEST_DIR%\\x\0"s}, "C:\\Kv\\x"},
        {{brenlix::REG_DWORD, "\x01\x02\x03\x04"}, 0x04030201},
        {{brenlix::REG_DWORD_BIG_ENDIAN, "\x80\0\0\x01"s}, INT32_MIN + 1},
        {{brenlix::REG_BINARY, "\x01\x02\x03"}, Bytes{1, 2, 3, 0}}, // the data and one more element
    };
    for (const auto& row : rows) {
        ASSERT_EQ(raw::Write(kUser, key_, "r", row.stored), 0);
        reg_.ValueKey("r");
        reg_.ValueType(brenlix::REG_NONE);
        EXPECT_EQ(reg_.Value(), row.expected) << row.expected.ToText();
        EXPECT_EQ(reg_.ValueType(), std::int32_t(row.stored.type));
    }
    reg_.Default(Bytes{4}); // a read that finds nothing, in the key or without it, gives Default and leaves ValueType
    for (const std::string& section : {key_, key_ + "\\missing"}) {
        reg_.SectionKey(section);
        reg_.ValueKey("none");
        EXPECT_EQ(reg_.Value(), Variant(Bytes{4}));
        EXPECT_EQ(reg_.ValueType(), brenlix::REG_BINARY);
    }
}

// A write takes all but the last element, so what was read writes back unchanged.
TEST_F(KvRegistryTest, BinaryWritesDropTheTrailingElement)
{
    reg_.ValueKey("b");
    for (const auto& [written, stored] : {std::pair{Bytes{0, 255, 9}, "\0\xff"s}, {Bytes{7}, ""s}, {{}, ""s}}) {
        reg_.ValueType(brenlix::REG_BINARY);
        reg_.Value(written);
        reg_.Value(reg_.Value());
        EXPECT_EQ(raw::Read(kUser, key_, "b"), (raw::Stored{brenlix::REG_BINARY, stored})) << stored.size();
    }
}

// A missing key lists nothing; the longest names fit, also where they take more bytes than characters.
TEST_F(KvRegistryTest, Listings)
{
    Strings names = {"stale"};
    std::int32_t count = 7;
    EXPECT_TRUE(reg_.EnumerateSections(names, count)); // of a missing key
    EXPECT_TRUE(count == 0 && names.empty());
    names = {"stale"}, count = 7;
    EXPECT_TRUE(reg_.EnumerateValues(names, count) && count == 0 && names.empty());
    std::string value; // 300 bytes where the code page is UTF-8
    for (int i = 0; i < 150; ++i) value += "ø";
    const std::string section(255, 'k');
    ASSERT_EQ(raw::Write(kUser, key_, "", {brenlix::REG_SZ, Z("default")}), 0); // listed by its empty name
    ASSERT_EQ(raw::Write(kUser, key_, platform::ToAnsi(value), {brenlix::REG_SZ, Z(value)}), 0);
    ASSERT_EQ(raw::Write(kUser, key_ + "\\" + section, "", {brenlix::REG_SZ, ""}), 0);
    EXPECT_TRUE(reg_.EnumerateValues(names, count));
    EXPECT_EQ(std::pair(count, names), std::pair(2, Strings{"", value}));
    EXPECT_TRUE(reg_.EnumerateSections(names, count));
    EXPECT_EQ(std::pair(count, names), std::pair(1, Strings{section}));
}

// Dates before 1601-01-01 or after 9999-12-31 (also by rounding to the second) are refused.
TEST(Variant, DateRange)
{
    for (const double days : {-109206.0, 2958466.0, 2958465.9999999, std::nan("")})
        EXPECT_EQ(Raised([&] { (void)Variant::FromDate(days); }), "6 Brenlix: Overflow");
    EXPECT_NO_THROW((void)Variant::FromDate(-109205.99999));
}

constexpr std::int32_t kClasses = brenlix::HKEY_CLASSES_ROOT;

// Each test has its own extension and class, removed before and after.
class AssociationsTest : public KvRegistryTest {
protected:
    AssociationsTest() { Clean(); }
    ~AssociationsTest() override { Clean(); }
    void Clean() const
    {
        raw::RemoveTree(kClasses, "." + ext_, "");
        raw::RemoveTree(kClasses, class_, "");
    }
    // The unnamed texts of the extension's key (".") and of the class's key ("") and every key below it, as
    // "path=text", sorted; below HKEY_CLASSES_ROOT, or below another root and folder.
    Strings Written(std::int32_t root = kClasses, const std::string& folder = "") const
    {
        Strings lines;
        const std::function<void(const std::string&, const std::string&)> add = [&](auto& key, auto& path) {
            if (const auto value = raw::Read(root, key, ""))
                lines.push_back(path + "=" + (value->type == brenlix::REG_SZ ? value->bytes.c_str() : "?"));
            for (const std::string& sub : raw::Subkeys(root, key))
                add(key + "\\" + sub, path.empty() ? sub : path + "\\" + sub);
        };
        add(folder + "." + ext_, ".");
        add(folder + class_, "");
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    void ExpectState(brenlix::ERegistryClassConstants root, const std::string& section) const
    {
        EXPECT_EQ(std::tuple(reg_.ClassKey(), reg_.SectionKey(), reg_.ValueKey(), reg_.ValueType()),
                  std::tuple(root, section, ""s, brenlix::REG_SZ));
    }

    const std::string ext_ = "kvtest-" + key_.substr(key_.rfind('\\') + 1);
    const std::string class_ = "Korvane.Test." + ext_;
    static constexpr std::int32_t kMachine = brenlix::HKEY_LOCAL_MACHINE;
    static std::tuple<Strings, Strings> MachineKeys()
    {
        return {raw::Subkeys(kMachine, ""), raw::Subkeys(kMachine, "SOFTWARE")};
    }
};

// Every verb with its default text, the program path trimmed and quoted; then with texts of its own.
TEST_F(AssociationsTest, EveryVerbWithDefaultOrOwnTexts)
{
    const std::string q = "\"C:\\Tools\\view.exe\"";
    reg_.ValueKey("stale");
    reg_.ValueType(brenlix::REG_DWORD);
    raw::Write(kClasses, class_, "", {brenlix::REG_SZ, Z("stale")}); // the classes folder exists from here on
    const auto machineKeys = MachineKeys();
    reg_.CreateEXEAssociation("  \"C:\\Tools\\view.exe  ", class_, "Viewer", ext_, "", 1, "", 1, "", 1, "", 0);
    EXPECT_EQ(Written(), (Strings{".=" + class_, "=Viewer", "DefaultIcon=" + q + ",0", "shell\\add=&Install " + ext_,
                                  "shell\\add\\command=" + q + " /a \"%1\"", "shell\\new=&New",
                                  "shell\\new\\command=" + q + " /n \"%1\"", "shell\\open=&Open",
                                  "shell\\open\\command=" + q + " \"%1\"", "shell\\print=&Print",
                                  "shell\\print\\command=" + q + " /p \"%1\""}));
    ExpectState(brenlix::HKEY_LOCAL_MACHINE, class_ + "\\DefaultIcon");
    // The second copy goes below HKEY_LOCAL_MACHINE's SOFTWARE\Classes, and nowhere else there. (Wine and the Linux
    // build show HKEY_CLASSES_ROOT as that very key, so the copy read there is only where it must be.)
    EXPECT_EQ(Written(kMachine, "SOFTWARE\\Classes\\"), Written());
    EXPECT_EQ(MachineKeys(), machineKeys);
    Clean();
    const std::string v = "\"C:\\v.exe\"";
    reg_.CreateEXEAssociation("C:\\v.exe", class_, "Vis", ext_, "&Vis", 1, "&P", 0, "&N", 1, "&I", 3);
    EXPECT_EQ(Written(), (Strings{".=" + class_, "=Vis", "DefaultIcon=" + v + ",3", "shell\\add=&I",
                                  "shell\\add\\command=" + v + " /a \"%1\"", "shell\\open=&Vis",
                                  "shell\\open\\command=" + v + " \"%1\"", "shell\\print=&P",
                                  "shell\\print\\command=" + v + " /p \"%1\""}));
}

// Past the open verb's own text, the defaults write no print, new or install verb and no icon. Added verbs go
// to a class below the current ClassKey.
TEST_F(AssociationsTest, AdditionalVerbs)
{
    reg_.CreateEXEAssociation("C:\\v.exe\"", class_, "V", ext_, "&View");
    reg_.ClassKey(brenlix::HKEY_CLASSES_ROOT);
    // A verb whose key cannot be made (its name is too long) is passed over.
    reg_.CreateAdditionalEXEAssociations(class_, {"edit", "&Edit", "notepad.exe \"%1\"", std::string(300, 'n'), "&Long",
                                                 "long.exe", "run", "&Run", 5});
    EXPECT_EQ(Written(), (Strings{".=" + class_, "=V", "shell\\edit=&Edit", "shell\\edit\\command=notepad.exe \"%1\"",
                                  "shell\\open=&View", "shell\\open\\command=\"C:\\v.exe\" \"%1\"", "shell\\run=&Run",
                                  "shell\\run\\command=5"}));
    ExpectState(brenlix::HKEY_LOCAL_MACHINE, class_ + "\\shell\\run\\command");
}

// The first write that fails ends the operation; what was written stays.
TEST_F(AssociationsTest, FailingWriteEndsTheAssociation)
{
    const std::string badClass = "\\" + class_; // a key path may not begin with a backslash
    EXPECT_EQ(Raised([&] { reg_.CreateEXEAssociation("C:\\v.exe", badClass, "Viewer", ext_); }),
              Reg(26001, "Failed to set registry value Key: '-2147483648',Section: '" + badClass +
                             "',Key: '' to value: 'Viewer'"));
    EXPECT_EQ(Written(), Strings{".=" + badClass});
    ExpectState(brenlix::HKEY_CLASSES_ROOT, badClass);
}

} // namespace
