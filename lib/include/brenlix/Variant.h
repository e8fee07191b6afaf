// Variant: the library's one tagged value. It holds nothing (Empty), a 16-bit
// integer, a 32-bit integer, a double, a UTF-8 text or a byte array, and maps
// one to one onto VT_EMPTY, VT_I2, VT_I4, VT_R8, VT_BSTR and VT_ARRAY|VT_UI1.
//
// Failures: the typed getters throw Error 13 ("Type mismatch") when the value
// holds another kind.
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

    VariantKind Kind() const noexcept { return static_cast<VariantKind>(value_.index()); }
    bool IsEmpty() const noexcept { return Kind() == VariantKind::Empty; }

    std::int16_t Integer() const;
    std::int32_t Long() const;
    double Double() const;
    const std::string& Text() const;
    const ByteArray& Bytes() const;

    // The value as text: "" for Empty, decimal for the integers, the general
    // form with up to 15 significant digits for a double ("5.5", "1E+20"), and
    // a byte array read as UTF-16LE code units (an odd last byte is dropped).
    std::string ToText() const;

    // Equal when of the same kind and the same value: the 16-bit 5 differs from the 32-bit 5.
    bool operator==(const Variant&) const = default;

private:
    std::variant<std::monostate, std::int16_t, std::int32_t, double, std::string, ByteArray> value_;
};

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
