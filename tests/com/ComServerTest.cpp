// The in-process server: regsvr32 beside the other bitness, errors through IErrorInfo and IDispatch.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

namespace {

using namespace com_testing;
using published::kClasses;

const std::string kClassesKey = "Software\\Classes\\";
const std::string kTypeLib = kClassesKey + "TypeLib\\" + Narrow(published::kLibrary) + "\\9.0";

// The default value of a key below HKEY_LOCAL_MACHINE in a registry view.
std::string Read(const std::string& key, REGSAM view = 0)
{
    HKEY opened = nullptr;
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
        return "(missing)";
    }
    const LONG read = RegQueryValueExA(opened, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(opened);
    return read == ERROR_SUCCESS ? value : "(no value)";
}

std::vector<std::pair<std::string, std::string>> Keys(const published::PublishedClass& cls, const std::string& server)
{
    const std::string classKey = kClassesKey + "CLSID\\" + Narrow(cls.clsid);
    const std::string progId = std::string("Brenlix.") + cls.name;
    return {{classKey + "\\InprocServer32", server},
            {classKey + "\\ProgID", progId},
            {classKey + "\\TypeLib", Narrow(published::kLibrary)},
            {kClassesKey + progId + "\\CLSID", Narrow(cls.clsid)},
            {kClassesKey + "Interface\\" + Narrow(cls.iid) + "\\TypeLib", Narrow(published::kLibrary)}};
}

// Sets a key's default value, or with remove, deletes the key's parent and all below it.
void Write(const std::string& key, const std::string& value, REGSAM view, bool remove = false)
{
    HKEY opened = nullptr;
    const std::string path = remove ? key.substr(0, key.rfind('\\')) : key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &opened,
                              nullptr),
              ERROR_SUCCESS);
    if (remove) {
        RegDeleteTreeA(opened, nullptr);
    } else {
        RegSetValueExA(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    RegCloseKey(opened);
    if (remove) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    }
}

using ComServer = ServerTest;

TEST_F(ComServer, RegistersAndUnregistersEachClass)
{
    for (const published::PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, LibraryPath())) {
            EXPECT_EQ(Read(key), value) << key;
        }
        const auto errors = Create<ISupportErrorInfo>({cls.name, cls.clsid, L"{DF0B3D60-548F-101B-8E65-08002B2BD119}"});
        ASSERT_NE(errors, nullptr);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(published::Guid(cls.iid)), S_OK) << cls.name;
    }
    EXPECT_NE(Read(kTypeLib), "(missing)");
    ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
    for (const published::PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, "")) {
            EXPECT_EQ(Read(key.substr(0, key.rfind('\\'))), "(missing)") << key;
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
    const auto registry = Create(kClasses[published::kKvRegistry]);
    ASSERT_NE(registry, nullptr);
    published::Slot(registry.get(), 14, LONG{-2147483647}); // put ClassKey: HKEY_CURRENT_USER
    for (const auto& row : rows) {
        published::Slot(registry.get(), 12, row.valueType); // put ValueType
        VARIANT value;
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(row.value);
        const HRESULT put = published::Slot(registry.get(), 6, value); // put Value
        IErrorInfo* raw = nullptr;
        BSTR source = nullptr;
        BSTR description = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
        const Com<IErrorInfo> info(raw);
        info->GetSource(&source);
        info->GetDescription(&description);
        EXPECT_EQ(std::to_string(put) + "|" + Take(source) + "|" + Take(description), row.expected);
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

// The other bitness's keys, written by hand, stay whole: unregistering used to take its ProgIDs and interfaces.
TEST_F(ComServer, EachBitnessKeepsTheOthersRegistration)
{
    constexpr bool k64 = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    if (!k64 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
        GTEST_SKIP() << "a 32-bit Windows has one registry view";
    }
    const REGSAM own = k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    const REGSAM other = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::string ownEntry = kTypeLib + (k64 ? "\\0\\win64" : "\\0\\win32");
    const std::string otherEntry = kTypeLib + (k64 ? "\\0\\win32" : "\\0\\win64");
    const std::string library = LibraryPath(); // one that loads: unregistration goes by it
    for (const published::PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, library)) {
            Write(key, value, other);
        }
    }
    Write(otherEntry, library, 0);
    ASSERT_EQ(RunRegsvr32("/u /s"), 0u);
    for (const published::PublishedClass& cls : kClasses) {
        const auto keys = Keys(cls, library);
        for (const auto& [key, value] : keys) {
            EXPECT_EQ(Read(key, other), value) << key;
        }
        EXPECT_EQ(Read(keys[0].first, own), "(missing)");
    }
    EXPECT_EQ(Read(ownEntry, own) + "|" + Read(otherEntry, own), "(missing)|" + library);
    ASSERT_EQ(RunRegsvr32("/s"), 0u);
    EXPECT_EQ(Read(ownEntry, own) + "|" + Read(otherEntry, own), library + "|" + library);
    EXPECT_NE(Create(kClasses[published::kFileLog]), nullptr);
    for (const published::PublishedClass& cls : kClasses) {
        for (const auto& [key, value] : Keys(cls, "")) {
            Write(key, "", other, true);
        }
    }
    Write(otherEntry + "\\x", "", 0, true);
}

} // namespace
