// The library's calls bind to these two, which call its own (found next by C++ name) and fake the picked result.
#include "RegistryFaults.h"

#include <platform/Win32.h>

#include <dlfcn.h>

namespace registry_faults {

struct Armed {
    std::string function, valueName;
    int remaining = 0;
    LSTATUS code = ERROR_SUCCESS;
} armed;

bool Fails(const char* function, const char* name)
{
    return armed.function == function && (name == nullptr || armed.valueName == name) && --armed.remaining == 0;
}

ScopedFault::ScopedFault(std::string function, std::string valueName, int count, std::int32_t code)
{
    armed = Armed{std::move(function), std::move(valueName), count, code};
}

ScopedFault::~ScopedFault() { armed = Armed{}; }

} // namespace registry_faults

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData)
{
    static const auto real = reinterpret_cast<LSTATUS (*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)>(
        ::dlsym(RTLD_NEXT, "_Z14RegSetValueExAP17RegistryKeyObjectPKcjjPKhj"));
    if (registry_faults::Fails("RegSetValueExA", lpValueName != nullptr ? lpValueName : "")) {
        return registry_faults::armed.code; // a failed write writes nothing
    }
    return real(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    static const auto real = reinterpret_cast<LSTATUS (*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY)>(
        ::dlsym(RTLD_NEXT, "_Z13RegOpenKeyExAP17RegistryKeyObjectPKcjjPS0_"));
    if (registry_faults::Fails("RegOpenKeyExA", lpSubKey != nullptr ? lpSubKey : "")) {
        return registry_faults::armed.code;
    }
    return real(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog)
{
    static const auto real = reinterpret_cast<BOOL (*)(HANDLE)>(::dlsym(RTLD_NEXT, "_Z21DeregisterEventSourcePv"));
    const BOOL closed = real(hEventLog);
    if (registry_faults::Fails("DeregisterEventSource", nullptr)) {
        SetLastError(static_cast<DWORD>(registry_faults::armed.code));
        return FALSE;
    }
    return closed;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    static const auto real =
        reinterpret_cast<LSTATUS (*)(HKEY)>(::dlsym(RTLD_NEXT, "_Z11RegCloseKeyP17RegistryKeyObject"));
    const bool fails = registry_faults::Fails("RegCloseKey", nullptr);
    const LSTATUS closed = real(hKey); // closed all the same, so the test leaks no key
    return fails ? registry_faults::armed.code : closed;
}
