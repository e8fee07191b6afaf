#include "../TestSupport.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

namespace testing_support {

// The test programs keep the C locale, where the stamp is ISO.
std::string ExpectedStamp(const platform::LocalDateTime& when)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", when.year, when.month, when.day);
    return when.hour == 0 && when.minute == 0 && when.second == 0 ? text : text + (" " + ExpectedTimeText(when));
}

std::string ExpectedTimeText(const platform::LocalDateTime& when)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.hour, when.minute, when.second);
    return text;
}

WesternCodePage::WesternCodePage() : previous_(std::setlocale(LC_CTYPE, nullptr))
{
    for (const char* name : {"da_DK.ISO-8859-1", "da_DK.iso88591", "da_DK", "en_US.ISO-8859-1"}) {
        if (std::setlocale(LC_CTYPE, name) != nullptr && std::strcmp(nl_langinfo(CODESET), "ISO-8859-1") == 0) {
            active_ = true;
            return;
        }
    }
    std::setlocale(LC_CTYPE, previous_.c_str());
}

WesternCodePage::~WesternCodePage() { std::setlocale(LC_CTYPE, previous_.c_str()); }

bool RunningUnderWine() { return false; }

ScopedEnvironment::ScopedEnvironment(std::string name, const char* value) : name_(std::move(name))
{
    const char* current = std::getenv(name_.c_str());
    previous_ = (had_ = current != nullptr) ? current : "";
    if (value != nullptr)
        ::setenv(name_.c_str(), value, 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (had_)
        ::setenv(name_.c_str(), previous_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

} // namespace testing_support
