#include <platform/DateTimeText.h>
#include <platform/Text.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace platform {

namespace {

bool IsPlainLocale()
{
    const char* name = std::setlocale(LC_TIME, nullptr);
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
           std::strncmp(name, "C.", 2) == 0; // C.UTF-8 and its spellings
}

std::string Format(const char* pattern, const tm& when)
{
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, pattern, &when);
    return FromAnsi(std::string_view(buffer, length));
}

// Digits of a number that fits them, with leading zeros (a log line's stamp
// is made for every line, and this is cheaper than a printf).
void PutDigits(std::string& text, int value, int digits)
{
    char buffer[8];
    for (int i = digits - 1; i >= 0; --i, value /= 10) {
        buffer[i] = static_cast<char>('0' + value % 10);
    }
    text.append(buffer, static_cast<std::size_t>(digits));
}

tm TmOf(const LocalDateTime& when)
{
    tm t{};
    t.tm_year = when.year - 1900;
    t.tm_mon = when.month - 1;
    t.tm_mday = when.day;
    t.tm_hour = when.hour;
    t.tm_min = when.minute;
    t.tm_sec = when.second;
    t.tm_isdst = -1;
    return t;
}

} // namespace

std::string GeneralDateTimeText(const LocalDateTime& when)
{
    const bool midnight = when.hour == 0 && when.minute == 0 && when.second == 0;
    if (IsPlainLocale() && when.year >= 0 && when.year <= 9999) {
        std::string text;
        text.reserve(19);
        PutDigits(text, when.year, 4);
        text += '-';
        PutDigits(text, when.month, 2);
        text += '-';
        PutDigits(text, when.day, 2);
        if (!midnight) {
            text += ' ';
            PutDigits(text, when.hour, 2);
            text += ':';
            PutDigits(text, when.minute, 2);
            text += ':';
            PutDigits(text, when.second, 2);
        }
        return text;
    }
    if (IsPlainLocale()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month, when.day,
                      when.hour, when.minute, when.second);
        return midnight ? std::string(buffer, std::strchr(buffer, ' ')) : std::string(buffer);
    }
    const tm t = TmOf(when);
    std::string text = Format("%x", t);
    if (!midnight) {
        text += ' ';
        text += Format("%X", t);
    }
    return text;
}

std::string LongTimeText(const LocalDateTime& when)
{
    if (IsPlainLocale()) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", when.hour, when.minute, when.second);
        return buffer;
    }
    return Format("%X", TmOf(when));
}

} // namespace platform
