// Where the file-type associations write, as the calls show it. Windows, Wine and the Linux build all show
// HKEY_CLASSES_ROOT's writes under HKEY_LOCAL_MACHINE\SOFTWARE\Classes, so the stored keys cannot tell the second
// copy from the first; the calls can. The test program defines RegCreateKeyExA itself: the library calls its
// exported substitutes through its symbol table, so they reach this one, which notes the call and hands it on.
#include <brenlix/KvRegistry.h>

namespace {
constexpr brenlix::ERegistryClassConstants kClassesRoot = brenlix::HKEY_CLASSES_ROOT; // before Win32.h's macro
} // namespace

#include <platform/Win32.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

std::vector<std::pair<HKEY, std::string>>* g_created = nullptr;

} // namespace

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition)
{
    using Call = decltype(&RegCreateKeyExA);
    static const Call next = [] {
        Dl_info self{};
        dladdr(reinterpret_cast<void*>(&RegCreateKeyExA), &self); // this one's (mangled) name, the library's too
        return reinterpret_cast<Call>(self.dli_sname != nullptr ? dlsym(RTLD_NEXT, self.dli_sname) : nullptr);
    }();
    if (g_created != nullptr)
        g_created->emplace_back(hKey, lpSubKey != nullptr ? lpSubKey : "(null)");
    return next(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, lpSecurityAttributes, phkResult,
                lpdwDisposition);
}

namespace {

class AssociationCalls : public ::testing::Test {
protected:
    ~AssociationCalls() override { g_created = nullptr; }
    testing_support::TempDir machine_;
    testing_support::ScopedEnvironment root_{"BRENLIX_ROOT", machine_.Path().c_str()};
    std::vector<std::pair<HKEY, std::string>> created_;
};

// Every text goes below HKEY_CLASSES_ROOT and then below HKEY_LOCAL_MACHINE's SOFTWARE\Classes, key by key, in the
// order of the association's rows; an added verb the same.
TEST_F(AssociationCalls, EachTextGoesBelowBothClassesRoots)
{
    brenlix::KvRegistry reg;
    g_created = &created_;
    reg.CreateEXEAssociation("C:\\v.exe", "Korvane.Spy", "Spy", "kvspy", "", false, "", false, "", false, "", 0);
    reg.ClassKey(kClassesRoot);
    reg.CreateAdditionalEXEAssociations("Korvane.Spy", {"edit", "&Edit", "e.exe"});
    g_created = nullptr;
    std::vector<std::pair<HKEY, std::string>> expected;
    for (const char* key : {".kvspy", "Korvane.Spy", "Korvane.Spy\\shell\\open", "Korvane.Spy\\shell\\open\\command",
                            "Korvane.Spy\\DefaultIcon", "Korvane.Spy\\shell\\edit",
                            "Korvane.Spy\\shell\\edit\\command"}) {
        expected.emplace_back(HKEY_CLASSES_ROOT, key);
        expected.emplace_back(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Classes\\") + key);
    }
    ASSERT_FALSE(created_.empty()) << "the library's calls did not reach the test's RegCreateKeyExA";
    EXPECT_EQ(created_, expected);
}

} // namespace
