// The library registered with regsvr32 for a test, owning pointers, BSTR texts and VBScript runs.
#pragma once

#include "PublishedInterfaces.h"

#include <platform/Files.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace com_testing {

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using Com = std::unique_ptr<T, Releaser>;

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
Com<Interface> Create(const published::PublishedClass& cls)
{
    Interface* object = nullptr;
    EXPECT_EQ(CoCreateInstance(published::Guid(cls.clsid), nullptr, CLSCTX_INPROC_SERVER, published::Guid(cls.iid),
                               reinterpret_cast<void**>(&object)), S_OK) << cls.name;
    return Com<Interface>(object);
}

// Runs body after `out` (a text file) is opened, and gives the lines it wrote.
inline std::vector<std::string> RunScript(const testing_support::TempDir& dir, const std::string& body)
{
    const std::string script = dir.File("client.vbs"), results = dir.File("results.txt");
    testing_support::WriteFile(script, "Set out = CreateObject(\"Scripting.FileSystemObject\").CreateTextFile(\"" +
                                           results + "\", True)\r\n" + body + "out.Close\r\n");
    EXPECT_EQ(testing_support::ChildProcess("cscript //nologo \"" + script + "\"").Wait(), 0u);
    return testing_support::SplitLines(testing_support::ReadFile(results));
}

struct RegisteredServer {
    const bool ready = RunRegsvr32("/s") == 0 && SUCCEEDED(CoInitialize(nullptr));
    ~RegisteredServer() { (ready ? CoUninitialize() : void()), RunRegsvr32("/u /s"); }
};

struct ServerTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(server.ready) << "regsvr32 or CoInitialize failed"; }
    RegisteredServer server;
};

} // namespace com_testing
