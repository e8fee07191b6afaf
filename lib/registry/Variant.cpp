#include <brenlix/Error.h>
#include <brenlix/Variant.h>

#include <platform/DateTimeText.h>
#include <platform/Text.h>

#include <charconv>
#include <cmath>

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

std::string CurrencyText(std::int64_t scaled)
{
    // The magnitude as unsigned, so that the most negative amount has one too.
    const std::uint64_t magnitude =
        scaled < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string text = (scaled < 0 ? "-" : "") + std::to_string(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.';
        text += digits;
    }
    return text;
}

// An OLE date as a day and the second of that day, rounded to the nearest
// second as Visual Basic shows it (23:59:59.5 is the next day's midnight).
struct DateMoment {
    std::int64_t day = 0; // days since 1899-12-30
    std::int32_t second = 0;
};

// 1601-01-01, the first day Windows formats, and 9999-12-31, Visual Basic's last.
constexpr std::int64_t kFirstDay = -109205;
constexpr std::int64_t kLastDay = 2958465;

bool MomentOf(double days, DateMoment& moment)
{
    if (!std::isfinite(days) || days <= kFirstDay - 1.0 || days >= kLastDay + 1.0) {
        return false;
    }
    // Before 1899-12-30 the fraction counts forward from the negative whole part.
    const double whole = std::trunc(days);
    const double seconds = std::round(std::fabs(days - whole) * 86400.0);
    moment.day = static_cast<std::int64_t>(whole);
    moment.second = static_cast<std::int32_t>(seconds);
    if (moment.second == 86400) {
        ++moment.day;
        moment.second = 0;
    }
    return moment.day >= kFirstDay && moment.day <= kLastDay;
}

// The civil date of a day counted from 1970-01-01 (proleptic Gregorian).
platform::LocalDateTime CivilDate(std::int64_t unixDay)
{
    const std::int64_t shifted = unixDay + 719468; // from 0000-03-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153; // March is 0
    platform::LocalDateTime when;
    when.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    when.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    when.year = static_cast<int>(yearOfEra + era * 400 + (when.month <= 2 ? 1 : 0));
    return when;
}

std::string DateText(double days)
{
    DateMoment moment;
    if (!MomentOf(days, moment)) {
        return {}; // FromDate lets no such value in
    }
    constexpr std::int64_t kUnixDayOfOleZero = -25569; // 1899-12-30
    platform::LocalDateTime when = CivilDate(moment.day + kUnixDayOfOleZero);
    when.hour = moment.second / 3600;
    when.minute = moment.second / 60 % 60;
    when.second = moment.second % 60;
    return moment.day == 0 ? platform::LongTimeText(when) : platform::GeneralDateTimeText(when);
}

} // namespace

Variant Variant::FromDate(double days)
{
    DateMoment moment;
    if (!MomentOf(days, moment)) {
        throw Error(6, "Brenlix", "Overflow");
    }
    return Variant(Tagged<DateValue>{{days}});
}

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

bool Variant::Boolean() const
{
    return Get<bool>(value_);
}

std::uint8_t Variant::Byte() const
{
    return Get<std::uint8_t>(value_);
}

double Variant::Date() const
{
    return Get<DateValue>(value_).days;
}

std::int64_t Variant::Currency() const
{
    return Get<CurrencyValue>(value_).scaled;
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
    case VariantKind::Boolean:
        return Boolean() ? "True" : "False";
    case VariantKind::Byte:
        return std::to_string(Byte());
    case VariantKind::Date:
        return DateText(Date());
    case VariantKind::Currency:
        return CurrencyText(Currency());
    }
    return {};
}

} // namespace brenlix
