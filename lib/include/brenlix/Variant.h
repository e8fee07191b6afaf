// Variant: the library's one tagged value. It holds nothing (Empty), a 16-bit
// integer, a 32-bit integer, a double, a UTF-8 text, a byte array, a Boolean,
// a byte, a date or a currency amount, and maps one to one onto VT_EMPTY,
// VT_I2, VT_I4, VT_R8, VT_BSTR, VT_ARRAY|VT_UI1, VT_BOOL, VT_UI1, VT_DATE and
// VT_CY.
//
// Failures: the typed getters throw Error 13 ("Type mismatch") when the value
// holds another kind; FromDate throws Error 6 ("Overflow") for a date outside
// 1601-01-01 to 9999-12-31.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std::variant member of an exported class
#endif

namespace brenlix {

enum class VariantKind : std::int32_t {
    Empty,
    Integer, // 16-bit
    Long,    // 32-bit
    Double,
    Text,
    Bytes,
    Boolean,
    Byte,     // unsigned 8-bit
    Date,     // OLE automation date
    Currency, // 64-bit, scaled by 10000
};

class BRENLIX_API Variant {
public:
    using ByteArray = std::vector<std::uint8_t>;

    Variant() noexcept = default;
    Variant(std::int16_t value) : value_(value) {}
    Variant(std::int32_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(std::string(value)) {}
    Variant(ByteArray value) : value_(std::move(value)) {}

    // The kinds that convert too readily from other types (a pointer to bool,
    // a char to a byte, a double to a date) are made by name only.
    static Variant FromBoolean(bool value) { return Variant(Tagged<bool>{value}); }
    static Variant FromByte(std::uint8_t value) { return Variant(Tagged<std::uint8_t>{value}); }
    // Days since 1899-12-30, the fraction being the time of day; before that
    // day the whole part is negative and the fraction still counts forward
    // (-1.25 is 1899-12-29 06:00).
    static Variant FromDate(double days);
    // The amount times 10000 (1.5 is 15000).
    static Variant FromCurrency(std::int64_t scaled) { return Variant(Tagged<CurrencyValue>{{scaled}}); }

    VariantKind Kind() const noexcept { return static_cast<VariantKind>(value_.index()); }
    bool IsEmpty() const noexcept { return Kind() == VariantKind::Empty; }

    std::int16_t Integer() const;
    std::int32_t Long() const;
    double Double() const;
    const std::string& Text() const;
    const ByteArray& Bytes() const;
    bool Boolean() const;
    std::uint8_t Byte() const;
    double Date() const;          // days since 1899-12-30
    std::int64_t Currency() const; // scaled by 10000

    // The value as text, as Visual Basic's CStr gives it except that the
    // decimal separator is always ".": "" for Empty, decimal for the integers
    // and the byte, the general form with up to 15 significant digits for a
    // double ("5.5", "1E+20"), "True" / "False", a currency amount with up to
    // four fraction digits and no trailing zeros ("1.5", "7"), a date in the
    // region's general form (short date and long time; the date only at
    // midnight; the time only on 1899-12-30), and a byte array read as
    // UTF-16LE code units (an odd last byte is dropped).
    std::string ToText() const;

    // Equal when of the same kind and the same value: the 16-bit 5 differs from the 32-bit 5.
    bool operator==(const Variant&) const = default;

private:
    struct DateValue {
        double days;
        bool operator==(const DateValue&) const = default;
    };
    struct CurrencyValue {
        std::int64_t scaled;
        bool operator==(const CurrencyValue&) const = default;
    };
    template <typename T>
    struct Tagged {
        T value;
    };
    template <typename T>
    explicit Variant(Tagged<T> tagged) : value_(std::in_place_type<T>, tagged.value) {}

    std::variant<std::monostate, std::int16_t, std::int32_t, double, std::string, ByteArray, bool, std::uint8_t,
                 DateValue, CurrencyValue>
        value_;
};

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
