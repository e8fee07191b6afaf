#include <platform/Win32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

extern char** environ;

namespace {

// The value of the variable, its name matched without regard to case as on
// Windows; nullptr when no such variable is set.
const char* Lookup(const std::string& name)
{
    if (const char* value = std::getenv(name.c_str())) {
        return value;
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr && static_cast<std::size_t>(equals - *entry) == name.size() &&
            strncasecmp(*entry, name.c_str(), name.size()) == 0) {
            return equals + 1;
        }
    }
    return nullptr;
}

} // namespace

// Each %NAME% of a set variable becomes its value; an unknown or empty name
// stays as written, both percent signs included. The result is the size the
// expansion needs, NUL included; a buffer too small gets as much as fits.
BRENLIX_API DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize)
{
    if (lpSrc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string expanded;
    for (const char* p = lpSrc; *p != '\0';) {
        const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (close == nullptr) {
            expanded += *p++;
            continue;
        }
        const std::string name(p + 1, close);
        const char* value = name.empty() ? nullptr : Lookup(name);
        if (value != nullptr) {
            expanded += value;
        } else {
            expanded.append(p, close + 1);
        }
        p = close + 1;
    }
    if (lpDst != nullptr && nSize > 0) {
        const std::size_t copied = std::min<std::size_t>(expanded.size(), nSize - 1);
        std::memcpy(lpDst, expanded.data(), copied);
        lpDst[copied] = '\0';
    }
    return static_cast<DWORD>(expanded.size() + 1);
}
