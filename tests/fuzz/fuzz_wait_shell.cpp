// MaxWaitShell seconds as text: any text gives milliseconds within 32 bits, or Error 6; plain decimal seconds give
// exactly seconds * 1000, rounded half to even; text without a digit is no number and gives the default.
#include "FuzzCheck.h"
#include "modMain.h"

#include <brenlix/Error.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

// Blanks, an optional sign, up to ten digits with up to three after a ".", blanks: the milliseconds, the seconds
// rounded half to even, when they fit 32 bits, else nothing (an overflow).
static std::optional<std::optional<std::int64_t>> Plain(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::string t = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    const bool negative = t[0] == '-';
    const std::size_t begin = t[0] == '-' || t[0] == '+';
    const std::size_t point = std::min(t.find('.'), t.size());
    const std::string whole = t.substr(begin, point - begin);
    const std::string fraction = point < t.size() ? t.substr(point + 1) : "";
    if (whole.empty() || whole.size() > 10 || fraction.size() > 3 ||
        (whole + fraction).find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    std::int64_t seconds = std::stoll(whole);
    const int thousandths = fraction.empty() ? 0 : std::stoi((fraction + "00").substr(0, 3));
    seconds += thousandths > 500 || (thousandths == 500 && seconds % 2 == 1);
    const std::int64_t ms = seconds * (negative ? -1000 : 1000);
    return ms >= INT32_MIN && ms <= INT32_MAX ? std::optional(ms) : std::optional<std::int64_t>();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto expected = Plain(text);
    std::optional<std::int32_t> ms;
    try {
        ms = dunmarrow::WaitShellMilliseconds(text);
    } catch (const brenlix::Error& error) {
        Require(error.Number() == 6, "an error other than overflow");
    }
    Require(!expected || ms == *expected, "plain seconds give other milliseconds");
    Require(text.find_first_of("0123456789") != std::string::npos || ms == 30000, "no digit, yet not the default");
    Require(!ms || *ms % 1000 == 0, "milliseconds not whole seconds");
    return 0;
}
