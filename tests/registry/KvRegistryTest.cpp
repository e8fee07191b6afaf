#include <brenlix/Error.h>
#include <brenlix/KvRegistry.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>

namespace brenlix {

void PrintTo(const Variant& value, std::ostream* out)
{
    *out << "kind " << static_cast<int>(value.Kind()) << ": ";
    if (value.Kind() != VariantKind::Bytes) {
        *out << ::testing::PrintToString(value.ToText());
        return;
    }
    for (const std::uint8_t byte : value.Bytes()) {
        *out << static_cast<int>(byte) << ' ';
    }
}

} // namespace brenlix

namespace {

using namespace std::string_literals;
using brenlix::KvRegistry;
using brenlix::Variant;
using Bytes = Variant::ByteArray;

constexpr std::int32_t kUser = brenlix::HKEY_CURRENT_USER;
const std::string kSource = "Brenlix.cRegistry";

std::optional<brenlix::Error> Raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const brenlix::Error& error) {
        return error;
    }
    return std::nullopt;
}

std::string Z(const std::string& text)
{
    return platform::ToAnsi(text) + '\0';
}

// Each test works in its own key below HKEY_CURRENT_USER (on Linux in a
// registry of its own) and removes it afterwards.
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
    const std::string key_ = "Software\\Korvane\\Test\\KvRegistry\\"s +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    KvRegistry reg_;
};

TEST_F(KvRegistryTest, FreshInstanceNamesNoRoot)
{
    KvRegistry fresh;
    EXPECT_EQ(fresh.ClassKey(), 0);
    EXPECT_EQ(fresh.ValueType(), brenlix::REG_NONE);
    EXPECT_EQ(fresh.SectionKey(), "");
    EXPECT_EQ(fresh.ValueKey(), "");
    EXPECT_TRUE(fresh.Default().IsEmpty());
    fresh.SectionKey(key_);
    EXPECT_FALSE(fresh.KeyExists());
    EXPECT_TRUE(fresh.Value().IsEmpty());
    std::vector<std::string> names = {"stale"};
    std::int32_t count = 7;
    EXPECT_TRUE(fresh.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    names = {"stale"};
    EXPECT_TRUE(fresh.EnumerateSections(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    const auto error = Raised([&] { fresh.CreateKey(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 26001);
    EXPECT_EQ(error->Source(), kSource);
    EXPECT_EQ(error->Description(), "Failed to create registry Key: '" + key_);
}

TEST_F(KvRegistryTest, KeysAreCreatedWithTheirParentsAndDeletedOneByOne)
{
    reg_.SectionKey(key_ + "\\a\\b");
    EXPECT_FALSE(reg_.KeyExists());
    EXPECT_TRUE(reg_.CreateKey());
    EXPECT_TRUE(reg_.CreateKey()); // opening an existing key is as good
    EXPECT_TRUE(raw::KeyExists(kUser, key_ + "\\a\\b"));
    EXPECT_TRUE(reg_.KeyExists());
    reg_.SectionKey(key_ + "\\a");
    EXPECT_TRUE(Raised([&] { reg_.DeleteKey(); })); // still has b
    reg_.SectionKey(key_ + "\\a\\b");
    EXPECT_TRUE(reg_.DeleteKey());
    EXPECT_FALSE(raw::KeyExists(kUser, key_ + "\\a\\b"));
    EXPECT_TRUE(raw::KeyExists(kUser, key_ + "\\a"));
}

TEST_F(KvRegistryTest, EveryRaisingPath)
{
    ASSERT_EQ(raw::Write(kUser, key_ + "\\Sub", "", {brenlix::REG_SZ, Z("x")}), 0);
    const std::string user = "-2147483647";
    struct Row {
        const char* what;
        std::function<void(KvRegistry&)> call;
        std::int32_t number;
        std::string source;
        std::string description;
    };
    const std::vector<Row> rows = {
        {"DeleteKey, key missing", [&](KvRegistry& r) { r.SectionKey(key_ + "\\Missing"), r.DeleteKey(); }, 26001,
         kSource, "Failed to delete registry Key: '" + user + "',Section: '" + key_ + "\\Missing"},
        {"DeleteKey, key has subkeys", [](KvRegistry& r) { r.DeleteKey(); }, 26001, kSource,
         "Failed to delete registry Key: '" + user + "',Section: '" + key_},
        {"DeleteValue, key missing", [&](KvRegistry& r) { r.SectionKey(key_ + "\\Missing"), r.DeleteValue(); }, 26001,
         kSource, "Failed to open key '" + user + "',Section: '" + key_ + "\\Missing' for delete access"},
        {"DeleteValue, value missing", [](KvRegistry& r) { r.DeleteValue(); }, 26001, kSource,
         "Failed to delete registry Key: '" + user + "',Section: '" + key_ + "',Key: 'v"},
        {"write, key cannot be created",
         [](KvRegistry& r) { r.ClassKey({}), r.ValueType(brenlix::REG_SZ), r.Value(5.5); }, 26001, kSource,
         SetValueText("0", "v", "5.5")},
        {"REG_BINARY of a text", [](KvRegistry& r) { r.ValueType(brenlix::REG_BINARY), r.Value("abc"); }, 26001, "",
         ""},
        {"REG_NONE", [](KvRegistry& r) { r.Value(std::int16_t{-3}); }, -2147194455, kSource,
         SetValueText(user, "v", "-3")},
        {"REG_MULTI_SZ", [](KvRegistry& r) { r.ValueType(brenlix::REG_MULTI_SZ), r.Value("a"); }, -2147194455, kSource,
         SetValueText(user, "v", "a")},
        {"REG_LINK", [](KvRegistry& r) { r.ValueType(brenlix::REG_LINK), r.Value(Bytes{1, 0}); }, -2147194455,
         kSource, SetValueText(user, "v", "\x01")},
        {"associations, items not in threes",
         [](KvRegistry& r) { r.CreateAdditionalEXEAssociations("Sub", {"a", "b", "c", "d"}); }, -2147194452, kSource,
         "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command"},
        {"associations, class missing",
         [&](KvRegistry& r) { r.CreateAdditionalEXEAssociations(key_ + "\\Missing", {"a", "b", "c"}); },
         -2147194451, kSource, "Error - attempt to create additional associations before class defined."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        KvRegistry r;
        r.ClassKey(brenlix::HKEY_CURRENT_USER);
        r.SectionKey(key_);
        r.ValueKey("v");
        const auto error = Raised([&] { row.call(r); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), row.number);
        EXPECT_EQ(error->Source(), row.source);
        EXPECT_EQ(error->Description(), row.description);
        EXPECT_FALSE(raw::Read(kUser, key_, "v"));
        EXPECT_EQ(raw::Subkeys(kUser, key_), std::vector<std::string>{"Sub"});
    }
}

TEST_F(KvRegistryTest, TextWritesAndThePercentRule)
{
    struct Row {
        Variant value;
        brenlix::ERegistryValueTypes valueType;
        std::string text;
        std::uint32_t stored;
    };
    const Row rows[] = {
        {"%SystemRoot%\\bin", brenlix::REG_SZ, "%SystemRoot%\\bin", brenlix::REG_EXPAND_SZ},
        {"%SystemRoot%\\bin", brenlix::REG_EXPAND_SZ, "%SystemRoot%\\bin", brenlix::REG_EXPAND_SZ},
        {"50% of 80%", brenlix::REG_SZ, "50% of 80%", brenlix::REG_EXPAND_SZ},
        {"%%x%", brenlix::REG_SZ, "%%x%", brenlix::REG_EXPAND_SZ},
        {"%é%", brenlix::REG_SZ, "%é%", brenlix::REG_EXPAND_SZ},
        {"50%", brenlix::REG_SZ, "50%", brenlix::REG_SZ},
        {"a%%b", brenlix::REG_SZ, "a%%b", brenlix::REG_SZ},
        {"plain", brenlix::REG_EXPAND_SZ, "plain", brenlix::REG_SZ},
        {"", brenlix::REG_SZ, "", brenlix::REG_SZ},
        {"Kø og Å", brenlix::REG_SZ, "Kø og Å", brenlix::REG_SZ},
        {std::int16_t{-7}, brenlix::REG_SZ, "-7", brenlix::REG_SZ},
        {123456, brenlix::REG_SZ, "123456", brenlix::REG_SZ},
        {5.5, brenlix::REG_SZ, "5.5", brenlix::REG_SZ},
        {1e20, brenlix::REG_SZ, "1E+20", brenlix::REG_SZ},
        {Variant(), brenlix::REG_SZ, "", brenlix::REG_SZ},
        {Bytes{'h', 0, 'i', 0}, brenlix::REG_SZ, "hi", brenlix::REG_SZ},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        reg_.ValueKey("t");
        reg_.ValueType(row.valueType);
        reg_.Value(row.value);
        EXPECT_EQ(raw::Read(kUser, key_, "t"), (raw::Stored{row.stored, Z(row.text)}));
        EXPECT_EQ(reg_.ValueType(), row.valueType);
    }
}

TEST_F(KvRegistryTest, ReadsByStoredType)
{
    const testing_support::ScopedEnvironment variable("KVTEST_DIR", "C:\\Kv");
    struct Row {
        const char* what;
        raw::Stored stored;
        Variant expected;
    };
    const Row rows[] = {
        {"text", {brenlix::REG_SZ, "abc\0"s}, "abc"},
        {"text without its NUL", {brenlix::REG_SZ, "abc"}, "abc"},
        {"empty text", {brenlix::REG_SZ, ""}, ""},
        {"text of a NUL", {brenlix::REG_SZ, "\0"s}, ""},
        {"multi-string", {brenlix::REG_MULTI_SZ, "a\0b\0\0"s}, "a\0b\0"s},
        {"multi-string without the closing NUL", {brenlix::REG_MULTI_SZ, "a\0b\0"s}, "a\0b"s},
        {"expandable", {brenlix::REG_EXPAND_SZ, "%KVTEST_DIR%\\x\0"s}, "C:\\Kv\\x"},
        {"expandable without its NUL", {brenlix::REG_EXPAND_SZ, "[%KVTEST_DIR%]"}, "[C:\\Kv]"},
        {"expandable, unknown name", {brenlix::REG_EXPAND_SZ, "%KVTEST_NONE%\0"s}, "%KVTEST_NONE%"},
        {"dword", {brenlix::REG_DWORD, "\x01\x02\x03\x04"}, 0x04030201},
        {"dword -1", {brenlix::REG_DWORD, "\xff\xff\xff\xff"}, -1},
        {"big-endian dword", {brenlix::REG_DWORD_BIG_ENDIAN, "\0\0\x01\0"s}, 256},
        {"big-endian dword, top bit", {brenlix::REG_DWORD_BIG_ENDIAN, "\x80\0\0\x01"s}, INT32_MIN + 1},
        {"binary", {brenlix::REG_BINARY, "\x01\x02\x03"}, Bytes{1, 2, 3, 0}},
        {"empty binary", {brenlix::REG_BINARY, ""}, Bytes{0}},
        {"none", {brenlix::REG_NONE, "\xfe"}, Bytes{0xfe, 0}},
        {"resource list", {brenlix::REG_RESOURCE_LIST, "\0\x07"s}, Bytes{0, 7, 0}},
        {"unknown type", {0x1234, "z"}, Bytes{'z', 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(raw::Write(kUser, key_, "r", row.stored), 0);
        reg_.ValueKey("r");
        reg_.ValueType(brenlix::REG_NONE);
        EXPECT_EQ(reg_.Value(), row.expected);
        EXPECT_EQ(reg_.ValueType(), static_cast<std::int32_t>(row.stored.type));
    }
}

TEST_F(KvRegistryTest, UnreadableValueGivesDefaultAndKeepsValueType)
{
    ASSERT_EQ(raw::Write(kUser, key_, "present", {brenlix::REG_DWORD, raw::Dword(9)}), 0);
    const Variant defaults[] = {Variant(), 42, "none", Bytes{1}};
    for (const Variant& fallback : defaults) {
        SCOPED_TRACE(fallback.ToText());
        reg_.Default(fallback);
        EXPECT_EQ(reg_.Default(), fallback);
        for (const std::string& section : {key_, key_ + "\\Missing"}) {
            reg_.SectionKey(section);
            reg_.ValueKey("absent");
            reg_.ValueType(brenlix::REG_BINARY);
            EXPECT_EQ(reg_.Value(), fallback);
            EXPECT_EQ(reg_.ValueType(), brenlix::REG_BINARY);
        }
        reg_.SectionKey(key_);
        reg_.ValueKey("present");
        EXPECT_EQ(reg_.Value(), Variant(9));
        EXPECT_EQ(reg_.ValueType(), brenlix::REG_DWORD);
    }
}

// A DWORD write stores an integer little-endian, also for REG_DWORD_BIG_ENDIAN;
// a value that holds no 32-bit integer is refused with the write error.
TEST_F(KvRegistryTest, DwordWrites)
{
    struct Row {
        brenlix::ERegistryValueTypes valueType;
        Variant value;
        std::int32_t stored;
    };
    const Row written[] = {
        {brenlix::REG_DWORD, std::int16_t{-2}, -2},
        {brenlix::REG_DWORD, 0x01020304, 0x01020304},
        {brenlix::REG_DWORD_BIG_ENDIAN, 256, 256},
        {brenlix::REG_DWORD, 7.0, 7},
        {brenlix::REG_DWORD, -2147483648.0, INT32_MIN},
        {brenlix::REG_DWORD, "5", 5},
        {brenlix::REG_DWORD_BIG_ENDIAN, "-2147483648", INT32_MIN},
    };
    reg_.ValueKey("d");
    for (const Row& row : written) {
        SCOPED_TRACE(row.value.ToText());
        reg_.ValueType(row.valueType);
        reg_.Value(row.value);
        EXPECT_EQ(raw::Read(kUser, key_, "d"), (raw::Stored{brenlix::REG_DWORD, raw::Dword(row.stored)}));
        EXPECT_EQ(reg_.Value(), Variant(row.stored));
        EXPECT_EQ(reg_.ValueType(), brenlix::REG_DWORD);
    }
    raw::RemoveTree(kUser, key_);
    const Variant refused[] = {5.5, "5.5", "abc", "", " 5", "2147483648", 2147483648.0, Variant(), Bytes{5, 0}};
    for (const brenlix::ERegistryValueTypes valueType : {brenlix::REG_DWORD, brenlix::REG_DWORD_BIG_ENDIAN}) {
        for (const Variant& value : refused) {
            SCOPED_TRACE(value.ToText());
            reg_.ValueType(valueType);
            const auto error = Raised([&] { reg_.Value(value); });
            ASSERT_TRUE(error);
            EXPECT_EQ(error->Number(), -2147194455);
            EXPECT_EQ(error->Description(), SetValueText("-2147483647", "d", value.ToText()));
            EXPECT_FALSE(raw::Read(kUser, key_, "d"));
            EXPECT_TRUE(raw::KeyExists(kUser, key_));
        }
    }
}

// The kinds that reach the library from component clients: each row's text
// as CStr gives it (stored by a REG_SZ write) and its DWORD write, which takes
// a whole currency amount within 32 bits and refuses Booleans, bytes and dates.
TEST_F(KvRegistryTest, BooleanByteDateAndCurrencyAsTextAndAsDword)
{
    using testing_support::At;
    using testing_support::ExpectedStamp;
    using testing_support::ExpectedTimeText;
    struct Row {
        const char* what;
        Variant value;
        std::string text;
        std::optional<std::int32_t> dword; // none: refused
    };
    const Row rows[] = {
        {"true", Variant::FromBoolean(true), "True", std::nullopt},
        {"false", Variant::FromBoolean(false), "False", std::nullopt},
        {"byte 5", Variant::FromByte(5), "5", std::nullopt},
        {"byte 0", Variant::FromByte(0), "0", std::nullopt},
        {"byte 255", Variant::FromByte(255), "255", std::nullopt},
        {"currency 1.5", Variant::FromCurrency(15000), "1.5", std::nullopt},
        {"currency 7", Variant::FromCurrency(70000), "7", 7},
        {"currency 0", Variant::FromCurrency(0), "0", 0},
        {"currency -7", Variant::FromCurrency(-70000), "-7", -7},
        {"currency 0.1", Variant::FromCurrency(1000), "0.1", std::nullopt},
        {"currency -0.0005", Variant::FromCurrency(-5), "-0.0005", std::nullopt},
        {"currency 1234.5678", Variant::FromCurrency(12345678), "1234.5678", std::nullopt},
        {"currency 2^31", Variant::FromCurrency(10000LL * 2147483648LL), "2147483648", std::nullopt},
        {"currency -2^31", Variant::FromCurrency(-10000LL * 2147483648LL), "-2147483648", INT32_MIN},
        {"currency min", Variant::FromCurrency(INT64_MIN), "-922337203685477.5808", std::nullopt},
        {"currency max", Variant::FromCurrency(INT64_MAX), "922337203685477.5807", std::nullopt},
        {"date and time", Variant::FromDate(46095 + 0.6315509259259259), ExpectedStamp(At(2026, 3, 14, 15, 9, 26)),
         std::nullopt},
        {"midnight", Variant::FromDate(46095), ExpectedStamp(At(2026, 3, 14, 0, 0, 0)), std::nullopt},
        {"leap day", Variant::FromDate(45351.5), ExpectedStamp(At(2024, 2, 29, 12, 0, 0)), std::nullopt},
        {"1900-02-28", Variant::FromDate(60), ExpectedStamp(At(1900, 2, 28, 0, 0, 0)), std::nullopt},
        {"1900-03-01", Variant::FromDate(61), ExpectedStamp(At(1900, 3, 1, 0, 0, 0)), std::nullopt},
        {"half a second rounds up to the next day", Variant::FromDate(46095 + 86399.6 / 86400),
         ExpectedStamp(At(2026, 3, 15, 0, 0, 0)), std::nullopt},
        {"time only", Variant::FromDate(0.25), ExpectedTimeText(At(1899, 12, 30, 6, 0, 0)), std::nullopt},
        {"day zero", Variant::FromDate(0), ExpectedTimeText(At(1899, 12, 30, 0, 0, 0)), std::nullopt},
        {"negative fraction is the time", Variant::FromDate(-0.5), ExpectedTimeText(At(1899, 12, 30, 12, 0, 0)),
         std::nullopt},
        {"day 1", Variant::FromDate(1), ExpectedStamp(At(1899, 12, 31, 0, 0, 0)), std::nullopt},
        {"day -1", Variant::FromDate(-1), ExpectedStamp(At(1899, 12, 29, 0, 0, 0)), std::nullopt},
        {"-1.25 counts forward", Variant::FromDate(-1.25), ExpectedStamp(At(1899, 12, 29, 6, 0, 0)), std::nullopt},
        {"first day", Variant::FromDate(-109205.75), ExpectedStamp(At(1601, 1, 1, 18, 0, 0)), std::nullopt},
        {"last second", Variant::FromDate(2958465 + 0.999988425925926), ExpectedStamp(At(9999, 12, 31, 23, 59, 59)),
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.value.ToText(), row.text);
        reg_.ValueKey("t");
        reg_.ValueType(brenlix::REG_SZ);
        reg_.Value(row.value);
        EXPECT_EQ(raw::Read(kUser, key_, "t"), (raw::Stored{brenlix::REG_SZ, Z(row.text)}));
        reg_.ValueKey("d");
        for (const brenlix::ERegistryValueTypes valueType : {brenlix::REG_DWORD, brenlix::REG_DWORD_BIG_ENDIAN}) {
            raw::RemoveValue(kUser, key_, "d");
            reg_.ValueType(valueType);
            const auto error = Raised([&] { reg_.Value(row.value); });
            if (row.dword) {
                EXPECT_FALSE(error);
                EXPECT_EQ(raw::Read(kUser, key_, "d"), (raw::Stored{brenlix::REG_DWORD, raw::Dword(*row.dword)}));
            } else {
                ASSERT_TRUE(error);
                EXPECT_EQ(error->Number(), -2147194455);
                EXPECT_EQ(error->Source(), kSource);
                EXPECT_EQ(error->Description(), SetValueText("-2147483647", "d", row.text));
                EXPECT_FALSE(raw::Read(kUser, key_, "d"));
            }
        }
    }
}

TEST(Variant, NewKindsKeepTheirKind)
{
    EXPECT_EQ(Variant::FromBoolean(true).Kind(), brenlix::VariantKind::Boolean);
    EXPECT_EQ(static_cast<int>(brenlix::VariantKind::Bytes), 5); // the older kinds keep their numbers
    EXPECT_EQ(static_cast<int>(brenlix::VariantKind::Boolean), 6);
    EXPECT_EQ(static_cast<int>(brenlix::VariantKind::Currency), 9);
    EXPECT_TRUE(Variant::FromBoolean(true).Boolean());
    EXPECT_FALSE(Variant::FromBoolean(false).Boolean());
    EXPECT_EQ(Variant::FromByte(200).Byte(), 200);
    EXPECT_EQ(Variant::FromDate(-1.25).Date(), -1.25);
    EXPECT_EQ(Variant::FromCurrency(-15000).Currency(), -15000);
    // Equal only within a kind.
    EXPECT_NE(Variant::FromBoolean(true), Variant(-1));
    EXPECT_NE(Variant::FromBoolean(true), Variant(std::int16_t{-1}));
    EXPECT_NE(Variant::FromByte(5), Variant(std::int16_t{5}));
    EXPECT_NE(Variant::FromDate(1.5), Variant(1.5));
    EXPECT_NE(Variant::FromCurrency(10000), Variant(1.0));
    EXPECT_EQ(Variant::FromCurrency(10000), Variant::FromCurrency(10000));
    EXPECT_NE(Variant::FromCurrency(10000), Variant::FromCurrency(10001));
    // Typed getters refuse other kinds.
    const std::function<void()> mismatches[] = {
        [] { (void)Variant::FromBoolean(true).Integer(); }, [] { (void)Variant(-1).Boolean(); },
        [] { (void)Variant(std::int16_t{5}).Byte(); },       [] { (void)Variant(1.5).Date(); },
        [] { (void)Variant::FromDate(1.5).Double(); },      [] { (void)Variant(1.0).Currency(); },
        [] { (void)Variant::FromCurrency(1).Long(); },
    };
    for (const auto& call : mismatches) {
        const auto error = Raised(call);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 13);
    }
}

// Dates the library cannot show are refused when made: before 1601-01-01,
// after 9999-12-31 (also by rounding to the second), and no number at all.
TEST(Variant, DatesOutsideTheRangeAreRefused)
{
    const double refused[] = {-109206.0, -109206.5, 2958466.0, 2958465.9999999, 1e300, -1e300,
                              std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (const double days : refused) {
        SCOPED_TRACE(days);
        const auto error = Raised([&] { (void)Variant::FromDate(days); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 6);
        EXPECT_EQ(error->Description(), "Overflow");
    }
    EXPECT_NO_THROW((void)Variant::FromDate(-109205.99999));
}

// Reads give the data plus one trailing element; a write takes all but the
// last element, so what was read writes back unchanged.
TEST_F(KvRegistryTest, BinaryWritesDropTheTrailingElement)
{
    struct Row {
        Bytes written;
        std::string stored;
    };
    const Row rows[] = {
        {{1, 2, 3, 0}, "\x01\x02\x03"},
        {{0, 0xff, 9}, "\0\xff"s},
        {{7}, ""},
        {{}, ""},
    };
    reg_.ValueKey("b");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored.size());
        reg_.ValueType(brenlix::REG_BINARY);
        reg_.Value(row.written);
        const raw::Stored expected{brenlix::REG_BINARY, row.stored};
        EXPECT_EQ(raw::Read(kUser, key_, "b"), expected);
        const Variant read = reg_.Value();
        EXPECT_EQ(read.Bytes().size(), row.stored.size() + 1);
        reg_.Value(read);
        EXPECT_EQ(raw::Read(kUser, key_, "b"), expected);
    }
}

TEST_F(KvRegistryTest, Listings)
{
    const std::string longKey(255, 'k');
    std::string longest; // more bytes than characters where the code page is UTF-8
    for (int i = 0; i < 150; ++i) {
        longest += "ø";
    }
    for (const std::string& name : {"zeta"s, ""s, "alpha"s, "øre"s, longest}) {
        ASSERT_EQ(raw::Write(kUser, key_, platform::ToAnsi(name), {brenlix::REG_SZ, Z(name)}), 0);
    }
    for (const std::string& name : {"two"s, "one"s, longKey, "one\\nested"s}) {
        ASSERT_EQ(raw::Write(kUser, key_ + "\\" + name, "", {brenlix::REG_SZ, Z("")}), 0);
    }
    const auto fromAnsi = [](std::vector<std::string> names) {
        for (std::string& name : names) {
            name = platform::FromAnsi(name);
        }
        return names;
    };
    std::vector<std::string> names = {"stale"};
    std::int32_t count = -1;
    EXPECT_TRUE(reg_.EnumerateValues(names, count));
    EXPECT_EQ(names, fromAnsi(raw::ValueNames(kUser, key_)));
    EXPECT_EQ(count, 5);
    EXPECT_EQ(std::count(names.begin(), names.end(), ""), 1); // the unnamed value
    EXPECT_EQ(std::count(names.begin(), names.end(), "øre"), 1);

    names = {"stale"};
    EXPECT_TRUE(reg_.EnumerateSections(names, count));
    EXPECT_EQ(names, fromAnsi(raw::Subkeys(kUser, key_)));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::count(names.begin(), names.end(), longKey), 1);
}

// No operation of the cursor moves it; only a read that finds its value sets ValueType.
TEST_F(KvRegistryTest, OperationsLeaveThePropertiesAlone)
{
    std::vector<std::string> names;
    std::int32_t count = 0;
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"KeyExists", [&] { reg_.KeyExists(); }},
        {"CreateKey", [&] { reg_.CreateKey(); }},
        {"write", [&] { reg_.Value(1); }},
        {"EnumerateValues", [&] { reg_.EnumerateValues(names, count); }},
        {"EnumerateSections", [&] { reg_.EnumerateSections(names, count); }},
        {"DeleteValue", [&] { reg_.DeleteValue(); }},
        {"read of a missing value", [&] { reg_.Value(); }},
        {"failing DeleteValue", [&] { Raised([&] { reg_.DeleteValue(); }); }},
        {"DeleteKey", [&] { reg_.DeleteKey(); }},
        {"failing write", [&] { Raised([&] { reg_.Value("x"); }); }},
    };
    reg_.ValueKey("v");
    reg_.ValueType(brenlix::REG_DWORD);
    reg_.Default(Bytes{4});
    for (const auto& [what, call] : rows) {
        SCOPED_TRACE(what);
        call();
        EXPECT_EQ(reg_.ClassKey(), brenlix::HKEY_CURRENT_USER);
        EXPECT_EQ(reg_.SectionKey(), key_);
        EXPECT_EQ(reg_.ValueKey(), "v");
        EXPECT_EQ(reg_.ValueType(), brenlix::REG_DWORD);
        EXPECT_EQ(reg_.Default(), Variant(Bytes{4}));
    }
    ASSERT_EQ(raw::Write(kUser, key_, "v", {brenlix::REG_MULTI_SZ, "a\0b\0\0"s}), 0);
    EXPECT_EQ(reg_.Value(), Variant("a\0b\0"s));
    EXPECT_EQ(reg_.ValueType(), brenlix::REG_MULTI_SZ);
}

// Another program rewrites the value, short and long by turns, while it is
// read: every read gives one of the two texts whole.
TEST_F(KvRegistryTest, ValueThatChangesSizeWhileReadIsReadWhole)
{
    const std::string writer = platform::ProgramFolder() + platform::PathSeparator() + REGISTRY_WRITER_NAME;
    testing_support::ChildProcess child("\"" + writer + "\" \"" + key_ + "\" Racing");
    const auto now = [] { return std::chrono::steady_clock::now(); };
    for (const auto start = now(); !raw::Read(kUser, key_, "Racing") && now() - start < std::chrono::seconds(20);) {
    }
    reg_.ValueKey("Racing");
    const Variant texts[] = {"short", std::string(5000, 'L')};
    int reads = 0;
    int whole = 0;
    for (const auto start = now(); now() - start < std::chrono::milliseconds(1500); ++reads) {
        const Variant value = reg_.Value();
        whole += value == texts[0] || value == texts[1];
    }
    ASSERT_EQ(raw::Write(kUser, key_, "Stop", {brenlix::REG_SZ, Z("")}), 0);
    EXPECT_EQ(child.Wait(), 0u);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(whole, reads);
}

} // namespace
