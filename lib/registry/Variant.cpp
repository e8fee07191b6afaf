#include <brenlix/Error.h>
#include <brenlix/Variant.h>

#include <platform/Text.h>

#include <charconv>

namespace brenlix {

namespace {

template <typename T, typename Holder>
const T& Get(const Holder& value)
{
    if (const T* held = std::get_if<T>(&value)) {
        return *held;
    }
    throw Error(13, "Brenlix", "Type mismatch");
}

std::string DoubleText(double value)
{
    if (value == 0.0) {
        return "0"; // also for -0
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    for (char& c : text) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return text;
}

} // namespace

std::int16_t Variant::Integer() const
{
    return Get<std::int16_t>(value_);
}

std::int32_t Variant::Long() const
{
    return Get<std::int32_t>(value_);
}

double Variant::Double() const
{
    return Get<double>(value_);
}

const std::string& Variant::Text() const
{
    return Get<std::string>(value_);
}

const Variant::ByteArray& Variant::Bytes() const
{
    return Get<ByteArray>(value_);
}

std::string Variant::ToText() const
{
    switch (Kind()) {
    case VariantKind::Empty:
        return {};
    case VariantKind::Integer:
        return std::to_string(Integer());
    case VariantKind::Long:
        return std::to_string(Long());
    case VariantKind::Double:
        return DoubleText(Double());
    case VariantKind::Text:
        return Text();
    case VariantKind::Bytes: {
        const ByteArray& bytes = Bytes();
        std::u16string units(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        }
        return platform::Utf16ToUtf8(units);
    }
    }
    return {};
}

} // namespace brenlix
