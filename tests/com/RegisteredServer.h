// The published identifiers and slots as a compiled client sees them (from tables, not the IDL), and the library
// registered with regsvr32 for a test, owning pointers, BSTR texts and VBScript runs.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <platform/Files.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace com_testing {

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
constexpr bool k64 = sizeof(void*) == 8;

// Calls the n-th slot after IDispatch's (from 1, as the contract test counts) as a compiled client does.
template <class... Args>
HRESULT Slot(IDispatch* object, int n, Args... args)
{
    using Method = HRESULT(STDMETHODCALLTYPE*)(IDispatch*, Args...);
    return reinterpret_cast<Method>((*reinterpret_cast<void***>(object))[6 + n])(object, args...);
}

struct Releaser { void operator()(IUnknown* object) const { object->Release(); } };
template <class T>
using Com = std::unique_ptr<T, Releaser>;

inline std::string Narrow(const wchar_t* text) { return text == nullptr ? "" : std::string(text, text + wcslen(text)); }

inline std::string LibraryPath() { return platform::ProgramFolder() + "\\" + BRENLIX_DLL_NAME; }

inline std::uint32_t RunRegsvr32(const std::string& options)
{
    return testing_support::ChildProcess("regsvr32 " + options + " \"" + LibraryPath() + "\"").Wait();
}

struct Texts {
    std::vector<BSTR> all;
    ~Texts() { std::for_each(all.begin(), all.end(), SysFreeString); }
    BSTR operator()(const std::string& text)
    {
        return all.emplace_back(SysAllocString(std::wstring(text.begin(), text.end()).c_str()));
    }
};

inline std::string Take(BSTR text)
{
    const std::string result = text == nullptr ? "(null)" : std::string(text, text + SysStringLen(text));
    SysFreeString(text);
    return result;
}

template <class Interface = IDispatch>
Com<Interface> Create(const PublishedClass& cls)
{
    Interface* object = nullptr;
    const HRESULT created = CoCreateInstance(Guid(cls.clsid), nullptr, CLSCTX_INPROC_SERVER, Guid(cls.iid),
                                             reinterpret_cast<void**>(&object));
    EXPECT_EQ(created, S_OK) << cls.name;
    return Com<Interface>(object);
}

// Runs body after `out` (a text file) is opened, and gives the lines it wrote.
inline std::vector<std::string> RunScript(const testing_support::TempDir& dir, const std::string& body)
{
    const std::string script = dir.File("client.vbs");
    const std::string results = dir.File("results.txt");
    testing_support::WriteFile(script, "Set out = CreateObject(\"Scripting.FileSystemObject\").CreateTextFile(\"" +
                                           results + "\", True)\r\n" + body + "out.Close\r\n");
    EXPECT_EQ(testing_support::ChildProcess("cscript //nologo \"" + script + "\"").Wait(), 0u);
    return testing_support::SplitLines(testing_support::ReadFile(results));
}

// Registers the library with regsvr32 for the test, over any fixture Base.
template <class Base = ::testing::Test>
struct ServerTest : Base {
    const bool ready = RunRegsvr32("/s") == 0 && SUCCEEDED(CoInitialize(nullptr));
    void SetUp() override { ASSERT_TRUE(ready) << "regsvr32 or CoInitialize failed"; }
    ~ServerTest() override
    {
        if (ready) {
            CoUninitialize();
        }
        RunRegsvr32("/u /s");
    }
};

} // namespace com_testing
