// The in-process server: class objects for the five classes, and their
// registration (for the machine, or for the user when the machine's classes
// may not be written).
#include "ComObjects.h"

#include <platform/Text.h>

#include <iterator>
#include <string>
#include <vector>

namespace brenlix::com {

namespace {

struct ServedClass {
    const CLSID* clsid;
    const char* name; // programmatic name "Brenlix.<name>"
    CreateFunction create;
};

const ServedClass kClasses[] = {
    {&CLSID_FileLog, "FileLog", &CreateFileLog},
    {&CLSID_EventLog, "EventLog", &CreateEventLog},
    {&CLSID_ServiceManager, "ServiceManager", &CreateServiceManager},
    {&CLSID_KvRegistry, "KvRegistry", &CreateKvRegistry},
    {&CLSID_IniFile, "IniFile", &CreateIniFile},
};

constexpr WORD kMajorVersion = 9;
constexpr WORD kMinorVersion = 0;
constexpr const char* kClassesKey = "Software\\Classes";
// The type library's entry for this build's bitness; the other bitness's
// build registers the same library beside it.
constexpr SYSKIND kOwnKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr const char* kOwnKindKey = sizeof(void*) == 8 ? "win64" : "win32";
const IID* const kInterfaces[] = {&IID__FileLog, &IID__EventLog, &IID__ServiceManager, &IID__KvRegistry,
                                  &IID__IniFile};

std::string GuidText(const GUID& guid)
{
    wchar_t wide[40] = {};
    StringFromGUID2(guid, wide, static_cast<int>(std::size(wide)));
    std::string text;
    for (const wchar_t* c = wide; *c != L'\0'; ++c) {
        text += static_cast<char>(*c); // braces, hex digits and hyphens
    }
    return text;
}

std::string ModulePathAnsi()
{
    const std::wstring wide = ModulePath();
    return platform::ToAnsi(platform::Utf16ToUtf8(std::u16string(wide.begin(), wide.end())));
}

// Writes a text value (name nullptr: the key's default value), creating the
// key; in this process's registry view unless another is named.
LONG WriteText(HKEY root, const std::string& key, const char* name, const std::string& value, REGSAM view = 0)
{
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr,
                                  &opened, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    result = RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    RegCloseKey(opened);
    return result;
}

// The classes root this process may write: the machine's, else the user's.
HKEY WritableRoot(bool& perUser)
{
    HKEY probe = nullptr;
    const LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClassesKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_WRITE, nullptr, &probe, nullptr);
    if (result == ERROR_SUCCESS) {
        RegCloseKey(probe);
        perUser = false;
        return HKEY_LOCAL_MACHINE;
    }
    perUser = true;
    return HKEY_CURRENT_USER;
}

// The per-user type library registration, looked up at run time: not every
// SDK declares it.
using RegisterForUser = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterForUser = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

template <class Function>
Function OleAutomationFunction(const char* name)
{
    const HMODULE module = GetModuleHandleA("oleaut32.dll");
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

HRESULT RegisterLibrary(ITypeLib* library, const std::wstring& path, bool perUser)
{
    OLECHAR* file = const_cast<OLECHAR*>(path.c_str());
    if (!perUser) {
        return RegisterTypeLib(library, file, nullptr);
    }
    const auto forUser = OleAutomationFunction<RegisterForUser>("RegisterTypeLibForUser");
    return forUser != nullptr ? forUser(library, file, nullptr) : E_NOTIMPL;
}

HRESULT UnregisterLibrary(bool perUser)
{
    if (!perUser) {
        return UnRegisterTypeLib(LIBID_Brenlix, kMajorVersion, kMinorVersion, LOCALE_NEUTRAL, kOwnKind);
    }
    const auto forUser = OleAutomationFunction<UnregisterForUser>("UnRegisterTypeLibForUser");
    return forUser != nullptr ? forUser(LIBID_Brenlix, kMajorVersion, kMinorVersion, LOCALE_NEUTRAL, kOwnKind)
                              : E_NOTIMPL;
}

// Deletes the key with everything below it; a key that is not there is no failure.
LONG DeleteTree(HKEY root, const std::string& key)
{
    const LONG result = RegDeleteTreeA(root, key.c_str());
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

// The registry view of the other bitness: a 64-bit server's neighbour lives
// in the 32-bit view; a 32-bit server has one only on a 64-bit Windows.
REGSAM OtherView()
{
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
#endif
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view = 0)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

// Whether the other bitness's server is registered under root.
bool OtherBitnessRegistered(HKEY root)
{
    const REGSAM view = OtherView();
    return view != 0 &&
           KeyExists(root, std::string(kClassesKey) + "\\CLSID\\" + GuidText(CLSID_FileLog) + "\\InprocServer32",
                     view);
}

// This bitness's type library entry, below the root.
std::string OwnLibraryEntry()
{
    return std::string(kClassesKey) + "\\TypeLib\\" + GuidText(LIBID_Brenlix) + "\\9.0\\0\\" + kOwnKindKey;
}

// The programmatic name of a class: the key and its value, and its CLSID.
struct ProgIdWrite {
    std::string key;
    std::string value;
};

std::vector<ProgIdWrite> ProgIdWrites(const ServedClass& served)
{
    const std::string progId = std::string("Brenlix.") + served.name;
    const std::string key = std::string(kClassesKey) + "\\" + progId;
    return {{key, progId}, {key + "\\CLSID", GuidText(*served.clsid)}};
}

// Removes this bitness's registration. When the other bitness's stays, so
// does what the two share: the type library (only this bitness's entry goes)
// and the programmatic names. Windows shares those names between the views
// and Wine does not, so they are deleted in this view and written again in
// the other, which leaves the other's as they were on both.
HRESULT Unregister(HKEY root, bool perUser)
{
    const std::string classes = std::string(kClassesKey) + "\\";
    const bool otherStays = OtherBitnessRegistered(root);
    HRESULT outcome = S_OK;
    const auto note = [&outcome](LONG result) {
        if (result != ERROR_SUCCESS) {
            outcome = HRESULT_FROM_WIN32(result);
        }
    };
    for (const ServedClass& served : kClasses) {
        note(DeleteTree(root, classes + "CLSID\\" + GuidText(*served.clsid)));
        note(DeleteTree(root, classes + "Brenlix." + served.name));
    }
    if (otherStays) {
        for (const ServedClass& served : kClasses) {
            for (const ProgIdWrite& write : ProgIdWrites(served)) {
                note(WriteText(root, write.key, nullptr, write.value, OtherView()));
            }
        }
        for (const IID* iid : kInterfaces) {
            note(DeleteTree(root, classes + "Interface\\" + GuidText(*iid)));
        }
        note(DeleteTree(root, OwnLibraryEntry()));
        return outcome;
    }
    // Without an entry of this bitness there is nothing of ours to remove, and
    // the system's unregistration would go by the other's entry and take the
    // interface keys that the other still uses.
    if (!KeyExists(root, OwnLibraryEntry())) {
        return outcome;
    }
    const HRESULT hr = UnregisterLibrary(perUser);
    // A type library that was never registered is no failure here.
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED) {
        outcome = hr;
    }
    return outcome;
}

} // namespace

} // namespace brenlix::com

using brenlix::com::ClassFactory;
using brenlix::com::g_liveObjects;
using brenlix::com::g_module;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    // Thread notifications stay on: the statically linked runtime's
    // thread-local storage needs them.
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    for (const auto& served : brenlix::com::kClasses) {
        if (IsEqualCLSID(clsid, *served.clsid)) {
            ClassFactory* factory = new (std::nothrow) ClassFactory(served.create);
            if (factory == nullptr) {
                return E_OUTOFMEMORY;
            }
            const HRESULT hr = factory->QueryInterface(iid, object);
            factory->Release();
            return hr;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow()
{
    if (g_liveObjects != 0) {
        return S_FALSE;
    }
    brenlix::com::ReleaseTypeLibrary();
    return S_OK;
}

STDAPI DllRegisterServer()
{
    using namespace brenlix::com;
    bool perUser = false;
    const HKEY root = WritableRoot(perUser);
    const std::wstring wideModule = ModulePath();
    const std::string module = ModulePathAnsi();
    if (wideModule.empty()) {
        return HRESULT_FROM_WIN32(GetLastError());
    }

    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(wideModule.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) {
        return hr;
    }
    hr = RegisterLibrary(library, wideModule, perUser);
    library->Release();
    if (FAILED(hr)) {
        return hr;
    }

    const std::string classes = std::string(kClassesKey) + "\\";
    const std::string libraryId = GuidText(LIBID_Brenlix);
    for (const ServedClass& served : kClasses) {
        const std::string progId = std::string("Brenlix.") + served.name;
        const std::string clsid = GuidText(*served.clsid);
        const std::string classKey = classes + "CLSID\\" + clsid;
        const struct {
            std::string key;
            const char* name;
            std::string value;
        } writes[] = {
            {classKey, nullptr, progId},
            {classKey + "\\InprocServer32", nullptr, module},
            {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
            {classKey + "\\ProgID", nullptr, progId},
            {classKey + "\\TypeLib", nullptr, libraryId},
            {classKey + "\\Version", nullptr, "9.0"},
        };
        LONG result = ERROR_SUCCESS;
        for (const auto& write : writes) {
            if (result == ERROR_SUCCESS) {
                result = WriteText(root, write.key, write.name, write.value);
            }
        }
        for (const ProgIdWrite& write : ProgIdWrites(served)) {
            if (result == ERROR_SUCCESS) {
                result = WriteText(root, write.key, nullptr, write.value);
            }
        }
        if (result != ERROR_SUCCESS) {
            Unregister(root, perUser);
            return HRESULT_FROM_WIN32(result);
        }
    }
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    bool perUser = false;
    const HKEY root = brenlix::com::WritableRoot(perUser);
    const HRESULT hr = brenlix::com::Unregister(root, perUser);
    if (!perUser) {
        // A registration made earlier without the machine's rights goes too.
        brenlix::com::Unregister(HKEY_CURRENT_USER, true);
    }
    return hr;
}
