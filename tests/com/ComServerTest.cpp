// The library as an in-process component server: registration with
// regsvr32, calls through the vtable and through IDispatch, errors reaching the client with
// number, source and description, a VBScript client run by cscript, and
// unregistration leaving no key behind.
#include "TypeLibrary.h"

#include "Brenlix_i.c"

#include <brenlix/modCommon.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using testing_support::ChildProcess;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string LibraryPath()
{
    return platform::ProgramFolder() + "\\" + BRENLIX_DLL_NAME;
}

std::string Guid(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return std::string(text, text + wcslen(text));
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

std::string DefaultValue(HKEY root, const std::string& key)
{
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return "(missing)";
    }
    return value;
}

std::uint32_t RunRegsvr32(const std::string& options)
{
    return ChildProcess("regsvr32 " + options + " \"" + LibraryPath() + "\"").Wait();
}

BSTR Text(const wchar_t* text)
{
    return SysAllocString(text);
}

struct ServedClass {
    const CLSID* clsid;
    const IID* iid;
    const char* progId;
};

const ServedClass kClasses[] = {
    {&CLSID_FileLog, &IID__FileLog, "Brenlix.FileLog"},
    {&CLSID_EventLog, &IID__EventLog, "Brenlix.EventLog"},
    {&CLSID_ServiceManager, &IID__ServiceManager, "Brenlix.ServiceManager"},
    {&CLSID_KvRegistry, &IID__KvRegistry, "Brenlix.KvRegistry"},
    {&CLSID_IniFile, &IID__IniFile, "Brenlix.IniFile"},
};

// Every test registers the library first and unregisters it afterwards.
class ComServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RunRegsvr32("/s"), 0u);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override
    {
        CoUninitialize();
        RunRegsvr32("/u /s");
    }

    template <class Interface>
    Interface* Create(const CLSID& clsid, const IID& iid)
    {
        Interface* object = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)),
                  S_OK);
        return object;
    }
};

TEST_F(ComServer, RegistersEachClassByIdentifierAndName)
{
    for (const ServedClass& served : kClasses) {
        SCOPED_TRACE(served.progId);
        const std::string clsid = Guid(*served.clsid);
        const std::string classKey = "Software\\Classes\\CLSID\\" + clsid;
        EXPECT_EQ(DefaultValue(HKEY_LOCAL_MACHINE, classKey + "\\InprocServer32"), LibraryPath());
        EXPECT_EQ(DefaultValue(HKEY_LOCAL_MACHINE, classKey + "\\ProgID"), served.progId);
        EXPECT_EQ(DefaultValue(HKEY_LOCAL_MACHINE, classKey + "\\TypeLib"), Guid(LIBID_Brenlix));
        EXPECT_EQ(DefaultValue(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + served.progId + "\\CLSID"),
                  clsid);

        CLSID fromName{};
        const std::wstring progId(served.progId, served.progId + strlen(served.progId));
        ASSERT_EQ(CLSIDFromProgID(progId.c_str(), &fromName), S_OK);
        EXPECT_TRUE(IsEqualCLSID(fromName, *served.clsid));

        IDispatch* object = Create<IDispatch>(*served.clsid, *served.iid);
        ASSERT_NE(object, nullptr);
        ISupportErrorInfo* errors = nullptr;
        ASSERT_EQ(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errors)), S_OK);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*served.iid), S_OK);
        errors->Release();
        object->Release();
    }
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + Guid(LIBID_Brenlix) + "\\9.0"));
}

// The members of each interface in the order clients bind to: name and kind.
TEST_F(ComServer, EarlyBoundCallsReachTheClasses)
{
    const TempDir dir;
    const std::string logPath = dir.File("early.log");
    const std::string iniPath = dir.File("early.ini");
    WriteFile(iniPath, "[Jobs]\r\nFirst=Nightly\r\n");
    const auto wide = [](const std::string& text) {
        const std::u16string utf16 = platform::Utf8ToUtf16(text);
        return std::wstring(utf16.begin(), utf16.end());
    };

    _FileLog* log = Create<_FileLog>(CLSID_FileLog, IID__FileLog);
    ASSERT_NE(log, nullptr);
    BSTR path = Text(wide(logPath).c_str());
    EXPECT_EQ(log->put_LogFile(path), S_OK);
    BSTR message = Text(L"Written through the vtable");
    LONG level = 0;
    ::LogFileType type = ::LogFileTypeWarning;
    EXPECT_EQ(log->WriteToLog(&message, &level, &type), S_OK);
    BSTR stored = nullptr;
    EXPECT_EQ(log->get_LogFile(&stored), S_OK);
    EXPECT_EQ(std::wstring(stored, SysStringLen(stored)), wide(logPath));
    SysFreeString(stored);
    SysFreeString(message);
    SysFreeString(path);
    log->Release();
    EXPECT_EQ(testing_support::LogEntries(logPath), std::vector<std::string>{"WARNING|Written through the vtable"});

    _IniFile* ini = Create<_IniFile>(CLSID_IniFile, IID__IniFile);
    ASSERT_NE(ini, nullptr);
    BSTR section = Text(L"Jobs");
    path = Text(wide(iniPath).c_str());
    EXPECT_EQ(ini->put_SectionName(section), S_OK);
    EXPECT_EQ(ini->put_FullPath(path), S_OK);
    BSTR key = Text(L"First");
    BSTR fallback = Text(L"none");
    BSTR value = nullptr;
    EXPECT_EQ(ini->GetString(key, fallback, &value), S_OK);
    EXPECT_EQ(std::wstring(value, SysStringLen(value)), L"Nightly");
    SAFEARRAY* entries = nullptr;
    SHORT count = 0;
    EXPECT_EQ(ini->GetSectEntriesEx(&entries, &count), S_OK);
    ASSERT_EQ(count, 1);
    ASSERT_NE(entries, nullptr);
    LONG upper = -1;
    SafeArrayGetUBound(entries, 1, &upper);
    EXPECT_EQ(upper, 1); // (0 To 1, 0 To n - 1)
    SafeArrayGetUBound(entries, 2, &upper);
    EXPECT_EQ(upper, 0);
    LONG at[2] = {1, 0}; // element (1, 0): the value
    BSTR element = nullptr;
    EXPECT_EQ(SafeArrayGetElement(entries, at, &element), S_OK);
    EXPECT_EQ(std::wstring(element, SysStringLen(element)), L"Nightly");
    SysFreeString(element);
    SafeArrayDestroy(entries);
    for (BSTR text : {section, path, key, fallback, value}) {
        SysFreeString(text);
    }
    ini->Release();

    _EventLog* events = Create<_EventLog>(CLSID_EventLog, IID__EventLog);
    ASSERT_NE(events, nullptr);
    auto information = static_cast<::EventLogTypes>(4); // information
    LONG id = 1;
    LONG written = 0;
    EXPECT_EQ(events->WriteEventLog(&information, nullptr, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
    events->Release();

    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(BRENLIX_DLL_NAME), "DllCanUnloadNow")));
    ASSERT_NE(canUnload, nullptr);

    _ServiceManager* services = Create<_ServiceManager>(CLSID_ServiceManager, IID__ServiceManager);
    EXPECT_EQ(canUnload(), S_FALSE); // an object is alive
    ASSERT_NE(services, nullptr);
    BSTR name = Text(L"BrenlixNoSuchService");
    EXPECT_EQ(services->put_ServiceShortName(name), S_OK);
    ::ServiceState state = static_cast<::ServiceState>(-1);
    EXPECT_EQ(services->ServiceStatus(&state), S_OK);
    EXPECT_EQ(state, 0); // unknown
    BSTR reason = nullptr;
    EXPECT_EQ(services->get_ServiceLastError(&reason), S_OK);
    EXPECT_EQ(std::string(reason, reason + SysStringLen(reason)), brenlix::SystemErrorText(1060));
    SysFreeString(reason);
    SysFreeString(name);
    services->Release();

    EXPECT_EQ(canUnload(), S_OK);
}

std::string Narrow(BSTR text)
{
    return text == nullptr ? std::string("(none)") : std::string(text, text + SysStringLen(text));
}

TEST_F(ComServer, RaisedErrorsReachTheClientWithNumberSourceAndDescription)
{
    struct Case {
        int valueType;
        VARTYPE kind;
        HRESULT hr;
        const char* source;
        const char* description;
    };
    const Case cases[] = {
        // A value the type cannot take: the object-defined number as it is.
        {99, VT_I4, static_cast<HRESULT>(-2147194455), "Brenlix.cRegistry",
         "Failed to set registry value Key: '-2147483647',Section: '',Key: '' to value: '5'"},
        // 26001 (no byte array for REG_BINARY, raised without source and
        // description) travels as 0x800A0000 + 26001, which scripts show as 26001.
        {3, VT_BSTR, static_cast<HRESULT>(0x800A6591), "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.valueType);
        _KvRegistry* registry = Create<_KvRegistry>(CLSID_KvRegistry, IID__KvRegistry);
        ASSERT_NE(registry, nullptr);
        registry->put_ClassKey(static_cast<::ERegistryClassConstants>(0x80000001));
        registry->put_ValueType(static_cast<::ERegistryValueTypes>(c.valueType));
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = c.kind;
        if (c.kind == VT_I4) {
            V_I4(&value) = 5;
        } else {
            V_BSTR(&value) = Text(L"text");
        }

        // Through the vtable: the failing HRESULT and IErrorInfo.
        EXPECT_EQ(registry->put_Value(value), c.hr);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        BSTR source = nullptr;
        BSTR text = nullptr;
        info->GetSource(&source);
        info->GetDescription(&text);
        EXPECT_EQ(Narrow(source), c.source);
        EXPECT_EQ(Narrow(text), c.description);
        SysFreeString(source);
        SysFreeString(text);
        info->Release();

        // Through IDispatch: an exception with the same three.
        IDispatch* dispatch = nullptr;
        ASSERT_EQ(registry->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put, 1, 1};
        EXCEPINFO exception{};
        EXPECT_EQ(dispatch->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &exception, nullptr),
                  DISP_E_EXCEPTION);
        EXPECT_EQ(exception.scode, c.hr);
        EXPECT_EQ(Narrow(exception.bstrSource), c.source);
        EXPECT_EQ(Narrow(exception.bstrDescription), c.description);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        // Another interface identifier than IID_NULL is refused.
        EXPECT_EQ(dispatch->Invoke(5, IID_IUnknown, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
                  DISP_E_UNKNOWNINTERFACE);
        dispatch->Release();
        VariantClear(&value);
        registry->Release();
    }
}

// The registry listings come 1-based; a key without values releases the array.
TEST_F(ComServer, RegistryListingsReplaceTheCallersArray)
{
    const std::string key = "Software\\BrenlixComListing";
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    for (const char* name : {"First", "Second"}) {
        RegSetValueExA(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    }
    RegCloseKey(created);

    _KvRegistry* registry = Create<_KvRegistry>(CLSID_KvRegistry, IID__KvRegistry);
    ASSERT_NE(registry, nullptr);
    registry->put_ClassKey(static_cast<::ERegistryClassConstants>(0x80000001));
    BSTR section = Text(L"Software\\BrenlixComListing");
    registry->put_SectionKey(section);
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 5); // replaced
    LONG count = -1;
    VARIANT_BOOL listed = VARIANT_FALSE;
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(listed, VARIANT_TRUE);
    ASSERT_EQ(count, 2);
    ASSERT_NE(names, nullptr);
    LONG lower = -1;
    LONG upper = -1;
    SafeArrayGetLBound(names, 1, &lower);
    SafeArrayGetUBound(names, 1, &upper);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 2);
    std::vector<std::string> found;
    for (LONG index = 1; index <= 2; ++index) {
        BSTR name = nullptr;
        SafeArrayGetElement(names, &index, &name);
        found.push_back(Narrow(name));
        SysFreeString(name);
    }
    std::sort(found.begin(), found.end()); // Wine lists in another order than Windows
    EXPECT_EQ(found, (std::vector<std::string>{"First", "Second"}));

    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    SysFreeString(section);
    registry->Release();
}

TEST_F(ComServer, AScriptUsesTheClassesByName)
{
    const TempDir dir;
    const std::string iniPath = dir.File("script.ini");
    WriteFile(iniPath, "[General]\r\nGreeting=Hello from the INI file\r\n");
    const std::string script = dir.File("client.vbs");
    const std::string results = dir.File("results.txt");
    WriteFile(script,
              "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
              "Set out = fso.CreateTextFile(\"" + results + "\", True)\r\n"
              "Set fileLog = CreateObject(\"Brenlix.FileLog\")\r\n"
              "fileLog.LogFile = \"" + dir.File("script.log") + "\"\r\n"
              "fileLog.LogErrorFile \"Written by a script\"\r\n"
              "Set ini = CreateObject(\"Brenlix.IniFile\")\r\n"
              "ini.FullPath = \"" + iniPath + "\"\r\n"
              "out.WriteLine ini.GetString(\"Greeting\", \"missing\")\r\n"
              "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\n"
              "reg.ClassKey = &H80000001\r\n"
              "reg.SectionKey = \"Software\\BrenlixScriptTest\"\r\n"
              "reg.ValueKey = \"Count\"\r\n"
              "reg.ValueType = 4\r\n"
              "reg.Value = 42\r\n"
              "out.WriteLine reg.Value & \" \" & reg.ValueType\r\n"
              "reg.DeleteValue\r\n"
              "reg.DeleteKey\r\n"
              "On Error Resume Next\r\n"
              "reg.ValueType = 4\r\n"
              "reg.Value = \"not a number\"\r\n"
              "out.WriteLine Err.Number & \"|\" & Err.Source & \"|\" & Err.Description\r\n"
              "out.Close\r\n");
    EXPECT_EQ(ChildProcess("cscript //nologo \"" + script + "\"").Wait(), 0u);
    EXPECT_EQ(testing_support::SplitLines(ReadFile(results)),
              (std::vector<std::string>{
                  "Hello from the INI file", "42 4",
                  "-2147194455|Brenlix.cRegistry|Failed to set registry value Key: '-2147483647',Section: "
                  "'Software\\BrenlixScriptTest',Key: 'Count' to value: 'not a number'"}));
    EXPECT_EQ(testing_support::LogEntries(dir.File("script.log")),
              std::vector<std::string>{"ERROR|Written by a script"});
}

TEST_F(ComServer, UnregisteringRemovesEveryKey)
{
    ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
    for (const ServedClass& served : kClasses) {
        SCOPED_TRACE(served.progId);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + Guid(*served.clsid)));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + served.progId));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Interface\\" + Guid(*served.iid)));
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + Guid(LIBID_Brenlix)));
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_FileLog, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
}

// The other bitness's build registers the same classes in the other registry
// view and the type library under its own entry. This build cannot run the
// other's code, so the other's keys are written here by hand; unregistering
// and registering again must leave them whole.
TEST_F(ComServer, EachBitnessKeepsTheOthersRegistration)
{
    constexpr bool k64 = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    if (!k64 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
        GTEST_SKIP() << "a 32-bit Windows has one registry view";
    }
    const REGSAM other = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::string classes = "Software\\Classes\\";
    const std::string typeLib = classes + "TypeLib\\" + Guid(LIBID_Brenlix) + "\\9.0\\0\\";
    const std::string ownEntry = typeLib + (k64 ? "win64" : "win32");
    const std::string otherEntry = typeLib + (k64 ? "win32" : "win64");
    // The other's type library entry must name a library that loads, as a real
    // one does: the system's unregistration goes by it.
    const std::string otherServer = LibraryPath();
    const auto write = [](const std::string& key, const std::string& value, REGSAM view) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &opened,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(opened);
    };
    const auto read = [](const std::string& key, REGSAM view) {
        HKEY opened = nullptr;
        char value[MAX_PATH] = {};
        DWORD size = sizeof value - 1;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
            return std::string("(missing)");
        }
        const LONG result = RegQueryValueExA(opened, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(opened);
        return result == ERROR_SUCCESS ? std::string(value) : std::string("(no value)");
    };
    const auto remove = [](const std::string& key, REGSAM view) {
        const std::size_t split = key.rfind('\\');
        HKEY parent = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.substr(0, split).c_str(), 0, KEY_ALL_ACCESS | view, &parent) ==
            ERROR_SUCCESS) {
            RegDeleteTreeA(parent, key.substr(split + 1).c_str());
            RegCloseKey(parent);
        }
    };
    const REGSAM own = k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    for (const ServedClass& served : kClasses) {
        write(classes + "CLSID\\" + Guid(*served.clsid) + "\\InprocServer32", otherServer, other);
        write(classes + served.progId + "\\CLSID", Guid(*served.clsid), other);
        write(classes + "Interface\\" + Guid(*served.iid) + "\\TypeLib", Guid(LIBID_Brenlix), other);
    }
    write(otherEntry, otherServer, 0);

    ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
    for (const ServedClass& served : kClasses) {
        SCOPED_TRACE(served.progId);
        const std::string server = classes + "CLSID\\" + Guid(*served.clsid) + "\\InprocServer32";
        EXPECT_EQ(read(server, own), "(missing)");
        EXPECT_EQ(read(server, other), otherServer);
        EXPECT_EQ(read(classes + served.progId + "\\CLSID", other), Guid(*served.clsid));
        EXPECT_EQ(read(classes + "Interface\\" + Guid(*served.iid) + "\\TypeLib", other), Guid(LIBID_Brenlix));
    }
    EXPECT_EQ(read(ownEntry, own), "(missing)");
    EXPECT_EQ(read(otherEntry, own), otherServer);

    ASSERT_EQ(RunRegsvr32("/s"), 0u);
    EXPECT_NE(read(ownEntry, own), "(missing)");
    EXPECT_EQ(read(otherEntry, own), otherServer);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_FileLog, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    if (object != nullptr) {
        object->Release();
    }

    for (const ServedClass& served : kClasses) {
        remove(classes + "CLSID\\" + Guid(*served.clsid), other);
        remove(classes + served.progId, other);
        remove(classes + "Interface\\" + Guid(*served.iid), other);
    }
    remove(otherEntry, 0);
}

} // namespace
