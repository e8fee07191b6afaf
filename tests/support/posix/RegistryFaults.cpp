// The test program defines the two registry functions itself: the dynamic
// linker binds the registration's calls (and the library's own) to these,
// which pass each call on to the library's and replace the result of the
// call a test picked.
#include "RegistryFaults.h"

#include <platform/Win32.h>

#include <dlfcn.h>

namespace registry_faults {

struct Armed {
    bool active = false;
    std::string function;
    std::string valueName;
    int remaining = 0;
    LSTATUS code = ERROR_SUCCESS;
};
Armed armed;

namespace {

// Whether this call of function (on the value name) is the one to fail.
bool Fails(const char* function, const char* name)
{
    if (!armed.active || armed.function != function || (name != nullptr && armed.valueName != name)) {
        return false;
    }
    return --armed.remaining == 0;
}

} // namespace

template <typename Function>
Function Real(const char* mangled)
{
    static_assert(sizeof(Function) == sizeof(void*));
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, mangled));
}

ScopedFault::ScopedFault(std::string function, std::string valueName, int count, std::int32_t code)
{
    armed = Armed{true, std::move(function), std::move(valueName), count, code};
}

ScopedFault::~ScopedFault()
{
    armed = Armed{};
}

} // namespace registry_faults

// The library's names for them (the declarations are C++), found next after
// this program's own.
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
{
    static const auto real = registry_faults::Real<LSTATUS (*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)>(
        "_Z14RegSetValueExAP17RegistryKeyObjectPKcjjPKhj");
    if (registry_faults::Fails("RegSetValueExA", lpValueName != nullptr ? lpValueName : "")) {
        return registry_faults::armed.code; // a failed write writes nothing
    }
    return real(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    static const auto real = registry_faults::Real<LSTATUS (*)(HKEY)>("_Z11RegCloseKeyP17RegistryKeyObject");
    const bool fails = registry_faults::Fails("RegCloseKey", nullptr);
    const LSTATUS closed = real(hKey); // closed all the same, so the test leaks no key
    return fails ? registry_faults::armed.code : closed;
}
