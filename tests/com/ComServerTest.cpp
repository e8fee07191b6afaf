// The in-process server: regsvr32 beside the other bitness, errors through IErrorInfo and IDispatch.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

namespace {

using namespace com_testing;

const char kClassesKey[] = "Software\\Classes";
const std::string kTypeLib = "TypeLib\\" + Narrow(kLibrary) + "\\9.0";
const std::string kOwnEntry = kTypeLib + (k64 ? "\\0\\win64" : "\\0\\win32");
const std::string kOtherEntry = kTypeLib + (k64 ? "\\0\\win32" : "\\0\\win64");

// A key's default value (every key read has one) in a registry view.
std::string Read(const std::string& key, REGSAM view = 0)
{
    HKEY opened = nullptr;
    char text[MAX_PATH] = {};
    DWORD size = sizeof text;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kClassesKey + ("\\" + key)).c_str(), 0, KEY_READ | view, &opened) != 0) {
        return "(missing)";
    }
    RegGetValueA(opened, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, text, &size);
    RegCloseKey(opened);
    return text;
}

// Writes a key's default value in a registry view.
LSTATUS Write(const std::string& key, const std::string& value, REGSAM view)
{
    HKEY created = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kClassesKey + ("\\" + key)).c_str(), 0, nullptr, 0,
                                     KEY_WRITE | view, nullptr, &created, nullptr);
    if (status == 0) {
        status = RegSetValueExA(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        RegCloseKey(created);
    }
    return status;
}

void Remove(const std::string& key, REGSAM view)
{
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (kClassesKey + ("\\" + key)).c_str(), view, 0);
}

std::string Parent(const std::string& key) { return key.substr(0, key.rfind('\\')); }

std::vector<std::pair<std::string, std::string>> Keys(const PublishedClass& cls, const std::string& server)
{
    const std::string classKey = "CLSID\\" + Narrow(cls.clsid);
    const std::string progId = std::string("Brenlix.") + cls.name;
    return {{classKey + "\\InprocServer32", server},
            {classKey + "\\ProgID", progId},
            {classKey + "\\TypeLib", Narrow(kLibrary)},
            {progId + "\\CLSID", Narrow(cls.clsid)},
            {"Interface\\" + Narrow(cls.iid) + "\\TypeLib", Narrow(kLibrary)}};
}

using ComServer = ServerTest<>;

// With the other bitness's keys beside them (written by hand; a 32-bit Windows has one registry view), those stay
// whole: unregistering used to take its ProgIDs and interfaces. Without them, unregistering takes all.
TEST_F(ComServer, RegistersAndUnregistersBesideTheOtherBitness)
{
    const std::string library = LibraryPath(); // one that loads: unregistration goes by it
    for (const PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, library)) {
            EXPECT_EQ(Read(key), value) << key;
        }
        const auto errors = Create<ISupportErrorInfo>({cls.name, cls.clsid, L"{DF0B3D60-548F-101B-8E65-08002B2BD119}"});
        ASSERT_NE(errors, nullptr);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(Guid(cls.iid)), S_OK) << cls.name;
    }
    EXPECT_EQ(Read(kOwnEntry), library);
    BOOL wow64 = FALSE;
    if (k64 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
        // Each key is named in full with the view: a key named below a handle does not take the handle's view.
        const REGSAM otherView = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        for (const PublishedClass& cls : kClasses) {
            for (const auto& [key, value] : Keys(cls, library)) {
                ASSERT_EQ(Write(key, value, otherView), 0) << key;
            }
        }
        const std::string otherEntry = kClassesKey + ("\\" + kOtherEntry);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, otherEntry.c_str(), nullptr, REG_SZ, library.c_str(), library.size() + 1);
        ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
        for (const PublishedClass& cls : kClasses) {
            const auto keys = Keys(cls, library);
            for (const auto& [key, value] : keys) {
                EXPECT_EQ(Read(key, otherView), value) << key;
            }
            EXPECT_EQ(Read(keys[0].first), "(missing)");
        }
        EXPECT_EQ(Read(kOwnEntry) + "|" + Read(kOtherEntry), "(missing)|" + library);
        ASSERT_EQ(RunRegsvr32("/s"), 0u);
        EXPECT_EQ(Read(kOwnEntry) + "|" + Read(kOtherEntry), library + "|" + library);
        EXPECT_NE(Create(kClasses[kFileLog]), nullptr);
        for (const PublishedClass& cls : kClasses) {
            const auto keys = Keys(cls, "");
            for (const auto& [key, value] : keys) {
                Remove(key, otherView);
            }
            for (const auto& [key, value] : keys) {
                Remove(Parent(key), otherView); // once its last subkey has gone
            }
            EXPECT_EQ(Read(Parent(keys[0].first), otherView), "(missing)");
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, otherEntry.c_str());
    }
    ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
    for (const PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, "")) {
            EXPECT_EQ(Read(Parent(key)), "(missing)") << key;
        }
    }
    EXPECT_EQ(Read(kTypeLib), "(missing)");
}

// IDispatch refuses another interface identifier than IID_NULL.
TEST_F(ComServer, RaisedErrorsReachTheClientWithNumberSourceAndDescription)
{
    const struct { LONG valueType; const wchar_t* value; const char* expected; } rows[] = {
        {99, L"5", "-2147194455|Brenlix.cRegistry|Failed to set registry value "
                   "Key: '-2147483647',Section: '',Key: '' to value: '5'"},
        // 26001, raised without source and description after a failure with both, travels as 0x800A0000 + 26001.
        {3, L"text", "-2146802287||"},
    };
    const auto registry = Create(kClasses[kKvRegistry]);
    ASSERT_NE(registry, nullptr);
    Slot(registry.get(), 14, LONG{-2147483647}); // put ClassKey: HKEY_CURRENT_USER
    for (const auto& row : rows) {
        Slot(registry.get(), 12, row.valueType); // put ValueType
        VARIANT value;
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(row.value);
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &putId, 1, 1};
        EXCEPINFO exception{};
        EXPECT_EQ(registry->Invoke(5, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &exception, nullptr),
                  DISP_E_EXCEPTION);
        SysFreeString(exception.bstrHelpFile);
        EXPECT_EQ(std::to_string(exception.scode) + "|" + Take(exception.bstrSource) + "|" +
                      Take(exception.bstrDescription),
                  row.expected);
        EXPECT_EQ(registry->Invoke(5, IID_IUnknown, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
                  DISP_E_UNKNOWNINTERFACE);
        VariantClear(&value);
    }
    LPOLESTR name = const_cast<LPOLESTR>(L"Value");
    DISPID id = 0;
    ITypeInfo* typeInfo = nullptr;
    EXPECT_EQ(registry->GetIDsOfNames(IID_IUnknown, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(registry->GetTypeInfo(1, 0, &typeInfo), DISP_E_BADINDEX);
}

} // namespace
