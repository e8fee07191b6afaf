// Identifiers and slots as a compiled client sees them, from the published tables, not the IDL.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

namespace published {

inline GUID Guid(const wchar_t* text)
{
    GUID guid{};
    CLSIDFromString(text, &guid);
    return guid;
}

inline const wchar_t kLibrary[] = L"{51602104-2880-4392-A171-059FBDBB71A1}"; // Brenlix 9.0
inline const wchar_t kLogFileType[] = L"{AC90299F-674E-4254-A76F-703EE24032E0}";

// A class, its identifier and its default interface's (named "_" + name).
struct PublishedClass { const char* name; const wchar_t* clsid; const wchar_t* iid; };
inline const PublishedClass kClasses[] = {
    {"FileLog", L"{22F93AC9-0EC4-464E-83A8-507D29C8EC63}", L"{014DD335-DA60-43CA-9496-01345E19EA29}"},
    {"EventLog", L"{7A38C776-6AE1-41CC-B4F8-8204D628426F}", L"{D4E356F9-B34C-4872-A5DE-06517ED13B86}"},
    {"ServiceManager", L"{364550F5-AB1B-46A9-8831-BE6761FED7A3}", L"{7C83D2B1-C8AA-47A9-B054-6D7BFEAFD8D7}"},
    {"KvRegistry", L"{CB20FC88-1062-4CAA-8865-43F6DCA58E38}", L"{128346A8-C1B9-482D-99AD-273D3DEFC9BE}"},
    {"IniFile", L"{281C6E5A-6C11-49CE-97E6-BB95C0BC2027}", L"{DF6B0F0D-6240-4E84-B00A-930E8BB1F2C0}"},
};
enum ClassIndex { kFileLog, kEventLog, kServiceManager, kKvRegistry, kIniFile };

// Calls the n-th slot after IDispatch's (from 1, as the contract test counts) as a compiled client does.
template <class... Args>
HRESULT Slot(IDispatch* object, int n, Args... args)
{
    using Method = HRESULT(STDMETHODCALLTYPE*)(IDispatch*, Args...);
    return reinterpret_cast<Method>((*reinterpret_cast<void***>(object))[6 + n])(object, args...);
}

} // namespace published
