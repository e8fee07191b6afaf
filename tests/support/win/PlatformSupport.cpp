#include "../TestSupport.h"

#include <windows.h>

#include <cstdlib>

namespace testing_support {

// The user's short date (when withDate) and long time, asked of the system directly.
static std::string Format(const platform::LocalDateTime& when, bool withDate)
{
    const auto word = [](int value) { return static_cast<WORD>(value); };
    const SYSTEMTIME st{word(when.year),   word(when.month),  0, word(when.day), word(when.hour),
                        word(when.minute), word(when.second), 0};
    wchar_t date[128] = L"", time[128] = L"";
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128);
    std::wstring text = time;
    if (withDate) {
        GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128);
        text = when.hour != 0 || when.minute != 0 || when.second != 0 ? date + (L" " + text) : date;
    }
    char utf8[512];
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    return std::string(utf8, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

std::string ExpectedStamp(const platform::LocalDateTime& when) { return Format(when, true); }

std::string ExpectedTimeText(const platform::LocalDateTime& when) { return Format(when, false); }

WesternCodePage::WesternCodePage() : active_(GetACP() == 1252) {}

WesternCodePage::~WesternCodePage() = default;

bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Both the C runtime's copy (getenv) and the process's block change.
ScopedEnvironment::ScopedEnvironment(std::string name, const char* value) : name_(std::move(name))
{
    const char* current = std::getenv(name_.c_str());
    previous_ = (had_ = current != nullptr) ? current : "";
    _putenv_s(name_.c_str(), value != nullptr ? value : "");
    SetEnvironmentVariableA(name_.c_str(), value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    _putenv_s(name_.c_str(), had_ ? previous_.c_str() : "");
    SetEnvironmentVariableA(name_.c_str(), had_ ? previous_.c_str() : nullptr);
}

} // namespace testing_support
