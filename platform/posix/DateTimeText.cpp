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
    if (IsPlainLocale()) {
        char buffer[32];
        if (midnight) {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", when.year, when.month, when.day);
        } else {
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                          when.day, when.hour, when.minute, when.second);
        }
        return buffer;
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
