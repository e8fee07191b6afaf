// What the client tests share: the library registered with regsvr32 for the
// length of a test (and unregistered afterwards), COM initialised on the
// test's thread, and an owning pointer for interfaces.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <platform/Files.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace com_testing {

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using Com = std::unique_ptr<T, Releaser>;

inline std::string LibraryPath()
{
    return platform::ProgramFolder() + "\\" + BRENLIX_DLL_NAME;
}

inline std::uint32_t RunRegsvr32(const std::string& options)
{
    return testing_support::ChildProcess("regsvr32 " + options + " \"" + LibraryPath() + "\"").Wait();
}

// A text of the ASCII range as a BSTR the caller frees.
inline BSTR Text(const std::string& text)
{
    const std::wstring wide(text.begin(), text.end());
    return SysAllocString(wide.c_str());
}

inline std::string Narrow(BSTR text)
{
    return text == nullptr ? std::string("(null)") : std::string(text, text + SysStringLen(text));
}

class RegisteredServer {
public:
    RegisteredServer()
    {
        registered_ = RunRegsvr32("/s") == 0;
        initialised_ = SUCCEEDED(CoInitialize(nullptr));
    }
    ~RegisteredServer()
    {
        if (initialised_) {
            CoUninitialize();
        }
        RunRegsvr32("/u /s");
    }
    RegisteredServer(const RegisteredServer&) = delete;
    RegisteredServer& operator=(const RegisteredServer&) = delete;

    bool Ready() const { return registered_ && initialised_; }

private:
    bool registered_ = false;
    bool initialised_ = false;
};

} // namespace com_testing
