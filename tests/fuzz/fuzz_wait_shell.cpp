// MaxWaitShell seconds as text: any text gives milliseconds within 32 bits, or
// Error 6; plain whole seconds give exactly seconds * 1000; text without a
// digit is no number and gives the default.
#include "modMain.h"

#include <brenlix/Error.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "wait shell: %s\n", what);
        std::abort();
    }
}

// Blanks, an optional sign and digits, blanks: seconds * 1000 when that fits
// 32 bits, else nothing (an overflow).
std::optional<std::optional<std::int64_t>> Plain(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t last = text.find_last_not_of(" \t");
    std::size_t i = first + (text[first] == '-' || text[first] == '+');
    const bool negative = text[first] == '-';
    if (i > last || text.find_first_not_of("0123456789", i) <= last) {
        return std::nullopt;
    }
    i = std::min(text.find_first_not_of('0', i), last);
    if (last - i >= 10) {
        return std::optional<std::int64_t>();
    }
    const std::int64_t ms = std::stoll(text.substr(i, last - i + 1)) * (negative ? -1000 : 1000);
    return ms >= INT32_MIN && ms <= INT32_MAX ? std::optional(ms) : std::optional<std::int64_t>();
}

} // namespace

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
    if (expected) {
        Require(ms == *expected, "whole seconds give other milliseconds");
    }
    if (text.find_first_of("0123456789") == std::string::npos) {
        Require(ms == 30000, "text without a digit is not the default");
    }
    Require(!ms || *ms % 1000 == 0, "milliseconds not whole seconds");
    return 0;
}
