#include <brenlix/Error.h>
#include <brenlix/KvRegistry.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace {

using namespace std::string_literals;
using brenlix::KvRegistry;
using brenlix::Variant;
using Bytes = Variant::ByteArray;

constexpr std::int32_t kUser = brenlix::HKEY_CURRENT_USER;
const std::string kSource = "Brenlix.cRegistry";
const std::string kUserText = "-2147483647";
constexpr std::int32_t kBadType = -2147194455;

void ExpectRaised(const std::function<void()>& call, std::int32_t number, const std::string& source,
                  const std::string& description)
{
    try {
        call();
        ADD_FAILURE() << "no error";
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), number);
        EXPECT_EQ(error.Source(), source);
        EXPECT_EQ(error.Description(), description);
    }
}

std::string Z(const std::string& text)
{
    return platform::ToAnsi(text) + '\0';
}

// Each test has a key of its own below HKEY_CURRENT_USER (on Linux in a registry of its own).
class KvRegistryTest : public ::testing::Test {
protected:
    KvRegistryTest()
    {
        reg_.ClassKey(brenlix::HKEY_CURRENT_USER);
        reg_.SectionKey(key_);
    }
    ~KvRegistryTest() override { raw::RemoveTree(kUser, key_); }

    std::string SetValueText(const std::string& root, const std::string& name, const std::string& value) const
    {
        return "Failed to set registry value Key: '" + root + "',Section: '" + key_ + "',Key: '" + name +
               "' to value: '" + value + "'";
    }

    testing_support::TempDir machine_;
    testing_support::ScopedEnvironment root_{"BRENLIX_ROOT", machine_.Path().c_str()};
    testing_support::ScopedEnvironment config_{"XDG_CONFIG_HOME", machine_.File("config").c_str()};
    const std::string key_ =
        "Software\\Korvane\\Test\\KvRegistry\\"s + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    KvRegistry reg_;
};

TEST_F(KvRegistryTest, KeysAreCreatedWithTheirParentsAndDeletedOneByOne)
{
    EXPECT_EQ(KvRegistry().ClassKey(), 0);
    reg_.SectionKey(key_ + "\\a\\b");
    EXPECT_FALSE(reg_.KeyExists());
    EXPECT_TRUE(reg_.CreateKey());
    EXPECT_TRUE(reg_.CreateKey()); // opening an existing key is as good
    EXPECT_TRUE(raw::KeyExists(kUser, key_ + "\\a\\b"));
    EXPECT_TRUE(reg_.KeyExists());
    EXPECT_TRUE(reg_.DeleteKey());
    EXPECT_FALSE(raw::KeyExists(kUser, key_ + "\\a\\b"));
    EXPECT_TRUE(raw::KeyExists(kUser, key_ + "\\a"));
}

TEST_F(KvRegistryTest, EveryRaisingPath)
{
    ASSERT_EQ(raw::Write(kUser, key_ + "\\Sub", "", {brenlix::REG_SZ, Z("x")}), 0);
    const std::string& u = kUserText;
    const auto missing = key_ + "\\Missing";
    const struct {
        const char* what;
        std::function<void(KvRegistry&)> call;
        std::int32_t number;
        std::string source;
        std::string description;
    } rows[] = {
        {"CreateKey, no root", [](KvRegistry& r) { r.ClassKey({}), r.CreateKey(); }, 26001, kSource,
         "Failed to create registry Key: '" + key_},
        {"DeleteKey, key missing", [&](KvRegistry& r) { r.SectionKey(missing), r.DeleteKey(); }, 26001, kSource,
         "Failed to delete registry Key: '" + u + "',Section: '" + missing},
        {"DeleteKey, key has subkeys", [](KvRegistry& r) { r.DeleteKey(); }, 26001, kSource,
         "Failed to delete registry Key: '" + u + "',Section: '" + key_},
        {"DeleteValue, key missing", [&](KvRegistry& r) { r.SectionKey(missing), r.DeleteValue(); }, 26001, kSource,
         "Failed to open key '" + u + "',Section: '" + missing + "' for delete access"},
        {"DeleteValue, value missing", [](KvRegistry& r) { r.DeleteValue(); }, 26001, kSource,
         "Failed to delete registry Key: '" + u + "',Section: '" + key_ + "',Key: 'v"},
        {"write, key cannot be created",
         [](KvRegistry& r) { r.ClassKey({}), r.ValueType(brenlix::REG_SZ), r.Value(5.5); }, 26001, kSource,
         SetValueText("0", "v", "5.5")},
        {"REG_BINARY of a text", [](KvRegistry& r) { r.ValueType(brenlix::REG_BINARY), r.Value("abc"); }, 26001, "",
         ""},
        {"REG_NONE", [](KvRegistry& r) { r.Value(std::int16_t{-3}); }, kBadType, kSource, SetValueText(u, "v", "-3")},
        {"REG_MULTI_SZ", [](KvRegistry& r) { r.ValueType(brenlix::REG_MULTI_SZ), r.Value("a"); }, kBadType, kSource,
         SetValueText(u, "v", "a")},
        {"REG_LINK", [](KvRegistry& r) { r.ValueType(brenlix::REG_LINK), r.Value(Bytes{1, 0}); }, kBadType, kSource,
         SetValueText(u, "v", "\x01")},
        {"associations, items not in threes",
         [](KvRegistry& r) { r.CreateAdditionalEXEAssociations("Sub", {"a", "b", "c", "d"}); }, -2147194452, kSource,
         "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command"},
        {"associations, class missing",
         [&](KvRegistry& r) { r.CreateAdditionalEXEAssociations(missing, {"a", "b", "c"}); }, -2147194451, kSource,
         "Error - attempt to create additional associations before class defined."},
    };
    for (const auto& row : rows) {
        KvRegistry r;
        r.ClassKey(brenlix::HKEY_CURRENT_USER);
        r.SectionKey(key_);
        r.ValueKey("v");
        ExpectRaised([&] { row.call(r); }, row.number, row.source, row.description);
        EXPECT_FALSE(raw::Read(kUser, key_, "v")) << row.what;
        EXPECT_EQ(raw::Subkeys(kUser, key_), std::vector<std::string>{"Sub"}) << row.what;
    }
}

// Each kind's text as a text write stores it (as REG_EXPAND_SZ when two percent signs enclose
// something, whichever text type was asked for), and its DWORD write (both DWORD types store
// little-endian REG_DWORD): whole numbers within 32 bits only, else the write error. Dates round
// to the second; a negative day's fraction counts forward.
TEST_F(KvRegistryTest, KindsAsTextAndAsDword)
{
    const std::optional<std::int32_t> no;
    const auto Cur = [](std::int64_t units) { return Variant::FromCurrency(units); };
    const auto Day = [](double days) { return Variant::FromDate(days); };
    const auto Stamp = [](int y, int mo, int d, int h, int mi, int s) {
        return testing_support::ExpectedStamp(testing_support::At(y, mo, d, h, mi, s));
    };
    const auto Time = [](int h, int mi, int s) {
        return testing_support::ExpectedTimeText(testing_support::At(1899, 12, 30, h, mi, s));
    };
    const struct {
        Variant value;
        std::string text;
        std::optional<std::int32_t> dword;
        bool expand = false;
    } rows[] = {
        {"%SystemRoot%\\bin", "%SystemRoot%\\bin", no, true}, {"50% of 80%", "50% of 80%", no, true},
        {"%%x%", "%%x%", no, true}, {"%é%", "%é%", no, true}, {"50%", "50%", no}, {"a%%b", "a%%b", no}, {"", "", no},
        {"Kø og Å", "Kø og Å", no}, {Variant(), "", no}, {Bytes{'h', 0, 'i', 0}, "hi", no},
        {Bytes{5, 0}, "\x05", no}, {std::int16_t{-2}, "-2", -2}, {0x01020304, "16909060", 0x01020304}, {7.0, "7", 7},
        {-2147483648.0, "-2147483648", INT32_MIN}, {5.5, "5.5", no}, {1e20, "1E+20", no},
        {2147483648.0, "2147483648", no}, {"5", "5", 5}, {"-2147483648", "-2147483648", INT32_MIN}, {"5.5", "5.5", no},
        {"abc", "abc", no}, {" 5", " 5", no}, {"2147483648", "2147483648", no},
        {Variant::FromBoolean(true), "True", no}, {Variant::FromBoolean(false), "False", no},
        {Variant::FromByte(0), "0", no}, {Variant::FromByte(255), "255", no}, {Cur(15000), "1.5", no},
        {Cur(70000), "7", 7}, {Cur(0), "0", 0}, {Cur(-70000), "-7", -7}, {Cur(1000), "0.1", no},
        {Cur(-5), "-0.0005", no}, {Cur(12345678), "1234.5678", no}, {Cur(10000LL * 2147483648LL), "2147483648", no},
        {Cur(-10000LL * 2147483648LL), "-2147483648", INT32_MIN}, {Cur(INT64_MIN), "-922337203685477.5808", no},
        {Cur(INT64_MAX), "922337203685477.5807", no},
        {Day(46095 + 0.6315509259259259), Stamp(2026, 3, 14, 15, 9, 26), no},
        {Day(46095), Stamp(2026, 3, 14, 0, 0, 0), no}, {Day(45351.5), Stamp(2024, 2, 29, 12, 0, 0), no},
        {Day(60), Stamp(1900, 2, 28, 0, 0, 0), no}, {Day(61), Stamp(1900, 3, 1, 0, 0, 0), no},
        {Day(46095 + 86399.6 / 86400), Stamp(2026, 3, 15, 0, 0, 0), no}, {Day(0.25), Time(6, 0, 0), no},
        {Day(0), Time(0, 0, 0), no}, {Day(-0.5), Time(12, 0, 0), no}, {Day(1), Stamp(1899, 12, 31, 0, 0, 0), no},
        {Day(-1), Stamp(1899, 12, 29, 0, 0, 0), no}, {Day(-1.25), Stamp(1899, 12, 29, 6, 0, 0), no},
        {Day(-109205.75), Stamp(1601, 1, 1, 18, 0, 0), no},
        {Day(2958465 + 0.999988425925926), Stamp(9999, 12, 31, 23, 59, 59), no},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.value.ToText(), row.text);
        reg_.ValueKey("t");
        for (const auto valueType : {brenlix::REG_SZ, brenlix::REG_EXPAND_SZ}) {
            reg_.ValueType(valueType);
            reg_.Value(row.value);
            EXPECT_EQ(raw::Read(kUser, key_, "t"), (raw::Stored{row.expand ? 2u : 1u, Z(row.text)}));
            EXPECT_EQ(reg_.ValueType(), valueType);
        }
        reg_.ValueKey("d");
        for (const auto valueType : {brenlix::REG_DWORD, brenlix::REG_DWORD_BIG_ENDIAN}) {
            raw::RemoveValue(kUser, key_, "d");
            reg_.ValueType(valueType);
            if (row.dword) {
                reg_.Value(row.value);
                EXPECT_EQ(raw::Read(kUser, key_, "d"), (raw::Stored{brenlix::REG_DWORD, raw::Dword(*row.dword)}));
            } else {
                ExpectRaised([&] { reg_.Value(row.value); }, kBadType, kSource, SetValueText(kUserText, "d", row.text));
                EXPECT_FALSE(raw::Read(kUser, key_, "d"));
            }
        }
    }
}

TEST_F(KvRegistryTest, ReadsByStoredType)
{
    const testing_support::ScopedEnvironment variable("KVTEST_DIR", "C:\\Kv");
    const struct {
        raw::Stored stored;
        Variant expected;
    } rows[] = {
        {{brenlix::REG_SZ, "abc\0"s}, "abc"}, {{brenlix::REG_SZ, "abc"}, "abc"}, {{brenlix::REG_SZ, ""}, ""},
        {{brenlix::REG_SZ, "\0"s}, ""}, {{brenlix::REG_MULTI_SZ, "a\0b\0\0"s}, "a\0b\0"s},
        {{brenlix::REG_MULTI_SZ, "a\0b\0"s}, "a\0b"s}, {{brenlix::REG_EXPAND_SZ, "%KVTEST_DIR%\\x\0"s}, "C:\\Kv\\x"},
        {{brenlix::REG_EXPAND_SZ, "[%KVTEST_DIR%]"}, "[C:\\Kv]"},
        {{brenlix::REG_EXPAND_SZ, "%KVTEST_NONE%\0"s}, "%KVTEST_NONE%"},
        {{brenlix::REG_DWORD, "\x01\x02\x03\x04"}, 0x04030201}, {{brenlix::REG_DWORD, "\xff\xff\xff\xff"}, -1},
        {{brenlix::REG_DWORD_BIG_ENDIAN, "\0\0\x01\0"s}, 256},
        {{brenlix::REG_DWORD_BIG_ENDIAN, "\x80\0\0\x01"s}, INT32_MIN + 1},
        {{brenlix::REG_BINARY, "\x01\x02\x03"}, Bytes{1, 2, 3, 0}}, // the data and one more element
        {{brenlix::REG_BINARY, ""}, Bytes{0}}, {{brenlix::REG_NONE, "\xfe"}, Bytes{0xfe, 0}},
        {{brenlix::REG_RESOURCE_LIST, "\0\x07"s}, Bytes{0, 7, 0}}, {{0x1234, "z"}, Bytes{'z', 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected.ToText());
        ASSERT_EQ(raw::Write(kUser, key_, "r", row.stored), 0);
        reg_.ValueKey("r");
        reg_.ValueType(brenlix::REG_NONE);
        EXPECT_EQ(reg_.Value(), row.expected);
        EXPECT_EQ(reg_.ValueType(), std::int32_t(row.stored.type));
    }
}

// A write takes all but the last element, so what was read writes back unchanged.
TEST_F(KvRegistryTest, BinaryWritesDropTheTrailingElement)
{
    const std::pair<Bytes, std::string> rows[] = {
        {{1, 2, 3, 0}, "\x01\x02\x03"}, {{0, 0xff, 9}, "\0\xff"s}, {{7}, ""}, {{}, ""}};
    reg_.ValueKey("b");
    for (const auto& [written, stored] : rows) {
        SCOPED_TRACE(stored.size());
        reg_.ValueType(brenlix::REG_BINARY);
        reg_.Value(written);
        EXPECT_EQ(raw::Read(kUser, key_, "b"), (raw::Stored{brenlix::REG_BINARY, stored}));
        reg_.Value(reg_.Value());
        EXPECT_EQ(raw::Read(kUser, key_, "b"), (raw::Stored{brenlix::REG_BINARY, stored}));
    }
}

// No operation moves the cursor; only a read that finds its value sets ValueType, one
// that finds none gives Default.
TEST_F(KvRegistryTest, OperationsLeaveThePropertiesAlone)
{
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"write", [&] { reg_.Value(1); }},
        {"DeleteValue", [&] { reg_.DeleteValue(); }},
        {"read of a missing value", [&] { EXPECT_EQ(reg_.Value(), Variant(Bytes{4})); }},
        {"failing DeleteValue", [&] { EXPECT_THROW(reg_.DeleteValue(), brenlix::Error); }},
        {"DeleteKey", [&] { reg_.DeleteKey(); }},
        {"read in a missing key", [&] { EXPECT_EQ(reg_.Value(), Variant(Bytes{4})); }},
        {"failing write", [&] { EXPECT_THROW(reg_.Value("x"), brenlix::Error); }},
    };
    reg_.ValueKey("v");
    reg_.ValueType(brenlix::REG_DWORD);
    reg_.Default(Bytes{4});
    for (const auto& [what, call] : rows) {
        call();
        EXPECT_EQ(reg_.ClassKey(), brenlix::HKEY_CURRENT_USER) << what;
        EXPECT_EQ(reg_.SectionKey(), key_) << what;
        EXPECT_EQ(reg_.ValueKey(), "v") << what;
        EXPECT_EQ(reg_.ValueType(), brenlix::REG_DWORD) << what;
    }
}

TEST_F(KvRegistryTest, Listings)
{
    std::vector<std::string> names = {"stale"};
    std::int32_t count = 7;
    EXPECT_TRUE(reg_.EnumerateSections(names, count)); // of a missing key
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    std::string longest; // more bytes than characters where the code page is UTF-8
    for (int i = 0; i < 150; ++i) {
        longest += "ø";
    }
    std::vector<std::string> values = {"", "zeta", "øre", longest};
    std::vector<std::string> keys = {"two", std::string(255, 'k')};
    for (const std::string& name : values) {
        ASSERT_EQ(raw::Write(kUser, key_, platform::ToAnsi(name), {brenlix::REG_SZ, Z(name)}), 0);
    }
    for (const std::string& name : {keys[0], keys[1], "two\\nested"s}) {
        ASSERT_EQ(raw::Write(kUser, key_ + "\\" + name, "", {brenlix::REG_SZ, Z("")}), 0);
    }
    for (auto [list, enumerate] :
         {std::pair{&values, &KvRegistry::EnumerateValues}, {&keys, &KvRegistry::EnumerateSections}}) {
        names = {"stale"};
        EXPECT_TRUE((reg_.*enumerate)(names, count));
        EXPECT_EQ(count, std::int32_t(list->size()));
        std::sort(names.begin(), names.end());
        std::sort(list->begin(), list->end());
        EXPECT_EQ(names, *list);
    }
}

TEST(Variant, KindsAndTheirGetters)
{
    EXPECT_EQ(int(brenlix::VariantKind::Bytes), 5); // numbers the component clients see
    EXPECT_EQ(int(brenlix::VariantKind::Boolean), 6);
    EXPECT_EQ(int(brenlix::VariantKind::Currency), 9);
    EXPECT_NE(Variant::FromBoolean(true), Variant(-1)); // equal only within a kind
    EXPECT_NE(Variant::FromByte(5), Variant(std::int16_t{5}));
    EXPECT_NE(Variant::FromDate(1.5), Variant(1.5));
    EXPECT_NE(Variant::FromCurrency(10000), Variant::FromCurrency(10001));
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [] { (void)Variant::FromBoolean(true).Integer(); }, [] { (void)Variant(-1).Boolean(); },
             [] { (void)Variant(std::int16_t{5}).Byte(); }, [] { (void)Variant(1.5).Date(); },
             [] { (void)Variant::FromDate(1.5).Double(); }, [] { (void)Variant(1.0).Currency(); },
             [] { (void)Variant::FromCurrency(1).Long(); }}) {
        ExpectRaised(call, 13, "Brenlix", "Type mismatch");
    }
    // Dates before 1601-01-01 or after 9999-12-31 (also by rounding to the second) are refused.
    for (const double days : {-109206.0, -109206.5, 2958466.0, 2958465.9999999, 1e300, -1e300,
                              std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        ExpectRaised([&] { (void)Variant::FromDate(days); }, 6, "Brenlix", "Overflow");
    }
    EXPECT_NO_THROW((void)Variant::FromDate(-109205.99999));
}

} // namespace
