// A compiled client built against the published interfaces (not the
// library's generated header): it creates each class by its identifiers and
// calls members by their slots, so a slot bound to the wrong member shows as
// a wrong result. The contract test proves the slots' signatures.
#include "RegisteredServer.h"

#include <brenlix/modCommon.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using com_testing::Com;
using com_testing::Narrow;
using com_testing::Take;
using com_testing::Text;
using testing_support::TempDir;
using namespace published;

class PublishedClient : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()) << "regsvr32 or CoInitialize failed"; }
    template <class Interface>
    Com<Interface> Create(ClassIndex cls)
    {
        Com<Interface> object = com_testing::Create<Interface>(kClasses[cls]);
        EXPECT_NE(object, nullptr);
        return object;
    }
    com_testing::RegisteredServer server;
};

// The message goes by reference and comes back as passed; error before
// warning in the slot order, so a swap shows as swapped words.
TEST_F(PublishedClient, FileLogWritesThroughItsSlots)
{
    const TempDir dir;
    const std::string logPath = dir.File("client.log");
    const Com<_FileLog> log = Create<_FileLog>(kFileLog);
    ASSERT_NE(log, nullptr);
    BSTR path = Text(logPath);
    EXPECT_EQ(log->put_LogFile(path), S_OK);
    BSTR stored = nullptr;
    EXPECT_EQ(log->get_LogFile(&stored), S_OK);
    EXPECT_EQ(Take(stored), logPath);
    BSTR texts[] = {Text("Written at slot five"), Text("Error at slot seven"), Text("Warning at slot eight"), path};
    const BSTR passed = texts[0];
    LONG level = 0;
    LogFileType type = LogFileTypeWarning;
    EXPECT_EQ(log->WriteToLog(&texts[0], &level, &type), S_OK);
    EXPECT_EQ(texts[0], passed);
    EXPECT_EQ(Narrow(texts[0]), "Written at slot five");
    EXPECT_EQ(level, 0);
    EXPECT_EQ(type, LogFileTypeWarning);
    EXPECT_EQ(log->LogErrorFile(&texts[1], &level), S_OK);
    EXPECT_EQ(log->LogWarningFile(&texts[2], &level), S_OK);
    std::for_each(std::begin(texts), std::end(texts), SysFreeString);
    EXPECT_EQ(testing_support::LogEntries(logPath),
              (std::vector<std::string>{"WARNING|Written at slot five", "ERROR|Error at slot seven",
                                        "WARNING|Warning at slot eight"}));
}

// Every argument of WriteEventLog goes by reference. No application name is
// set (that would register an event source); Wine's event log keeps no event,
// so the written text is read back from the object.
TEST_F(PublishedClient, WriteEventLogTakesEveryArgumentByReference)
{
    const Com<_EventLog> events = Create<_EventLog>(kEventLog);
    ASSERT_NE(events, nullptr);
    auto type = static_cast<EventLogTypes>(4); // information
    BSTR text = Text("Insertion text by reference");
    const BSTR passed = text;
    LONG id = 7;
    LONG written = 0;
    EXPECT_EQ(events->WriteEventLog(&type, &text, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(type, 4);
    EXPECT_EQ(text, passed);
    EXPECT_EQ(id, 7);
    SysFreeString(text);
    BSTR stored = nullptr;
    EXPECT_EQ(events->get_EventTekst(&stored), S_OK);
    EXPECT_EQ(Take(stored), "Insertion text by reference");
    LONG number = 1;
    EXPECT_EQ(events->get_LastEventErrNum(&number), S_OK);
    EXPECT_EQ(number, 0);
    // The text left out (nullptr) is the published default, the empty text.
    EXPECT_EQ(events->WriteEventLog(&type, nullptr, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
}

// IniRead takes seven values and keeps what it read for IniReadResult; the
// path it is given is not the object's.
TEST_F(PublishedClient, IniReadKeepsWhatItReadForIniReadResult)
{
    const TempDir dir;
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const Com<_IniFile> ini = Create<_IniFile>(kIniFile);
    ASSERT_NE(ini, nullptr);
    BSTR own = Text(dir.File("own.list.ini"));
    EXPECT_EQ(ini->put_FullPath(own), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(ini->get_FileName(&text), S_OK);
    EXPECT_EQ(Take(text), "own");
    EXPECT_EQ(ini->get_IniReadResult(&text), S_OK);
    EXPECT_EQ(Take(text), "") << "before any IniRead";
    const struct {
        const char* entry;
        SHORT defaultInt;
        VARIANT_BOOL readNumber;
        const char* expected;
    } rows[] = {{"Name", 5, VARIANT_FALSE, "Nightly"},
                {"Missing", 5, VARIANT_FALSE, "fallback"},
                {"Count", 5, VARIANT_TRUE, "42"},
                {"Missing", -5, VARIANT_TRUE, "-5"}};
    BSTR args[] = {Text("Jobs"), Text("fallback"), Text(""), Text(readFrom), Text("Name"), own};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        BSTR entry = Text(row.entry);
        EXPECT_EQ(ini->IniRead(args[0], entry, row.defaultInt, args[1], args[2], row.readNumber, args[3]), S_OK);
        SysFreeString(entry);
        EXPECT_EQ(ini->get_IniReadResult(&text), S_OK);
        EXPECT_EQ(Take(text), row.expected);
    }
    EXPECT_EQ(ini->get_FullPath(&text), S_OK);
    EXPECT_EQ(Take(text), Narrow(own));

    // The section's entries as a (0 To 1, 0 To n - 1) array of names and values.
    EXPECT_EQ(ini->put_FullPath(args[3]), S_OK);
    EXPECT_EQ(ini->put_SectionName(args[0]), S_OK);
    EXPECT_EQ(ini->GetString(args[4], args[1], &text), S_OK);
    EXPECT_EQ(Take(text), "Nightly");
    SAFEARRAY* entries = nullptr;
    SHORT count = 0;
    EXPECT_EQ(ini->GetSectEntriesEx(&entries, &count), S_OK);
    ASSERT_EQ(count, 2);
    ASSERT_NE(entries, nullptr);
    LONG bounds[2] = {};
    SafeArrayGetUBound(entries, 1, &bounds[0]);
    SafeArrayGetUBound(entries, 2, &bounds[1]);
    EXPECT_EQ(bounds[0], 1);
    EXPECT_EQ(bounds[1], 1);
    LONG at[2] = {1, 1}; // the second entry's value
    EXPECT_EQ(SafeArrayGetElement(entries, at, &text), S_OK);
    EXPECT_EQ(Take(text), "42");
    SafeArrayDestroy(entries);
    std::for_each(std::begin(args), std::end(args), SysFreeString);
}

// A service that is not there; the library can be unloaded once no object is alive.
TEST_F(PublishedClient, ServiceManagerAnswersAtItsSlots)
{
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(BRENLIX_DLL_NAME), "DllCanUnloadNow")));
    Com<_ServiceManager> services = Create<_ServiceManager>(kServiceManager);
    ASSERT_NE(services, nullptr);
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    BSTR missing = Text("BrenlixClient" + std::to_string(GetCurrentProcessId()) + "NotInstalled");
    EXPECT_EQ(services->put_ServiceShortName(missing), S_OK);
    SysFreeString(missing);
    VARIANT_BOOL wait = VARIANT_TRUE;
    VARIANT_BOOL started = VARIANT_TRUE;
    EXPECT_EQ(services->ServiceStart(&wait, &started), S_OK);
    EXPECT_EQ(started, VARIANT_FALSE);
    EXPECT_EQ(wait, VARIANT_TRUE);
    auto state = static_cast<ServiceState>(-1);
    EXPECT_EQ(services->ServiceStatus(&state), S_OK);
    EXPECT_EQ(state, STATE_SERVICE_UNKNOWN);
    BSTR reason = nullptr;
    EXPECT_EQ(services->get_ServiceLastError(&reason), S_OK);
    EXPECT_EQ(Take(reason), brenlix::SystemErrorText(ERROR_SERVICE_DOES_NOT_EXIST));
    LONG maxWait = 0;
    EXPECT_EQ(services->get_MaxWaitForService(&maxWait), S_OK);
    EXPECT_EQ(maxWait, 5000);
    services.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

// The listings come 1-based and replace the caller's array; a key without
// values releases it.
TEST_F(PublishedClient, KvRegistryListingsReplaceTheCallersArray)
{
    const char key[] = "Software\\BrenlixComListing";
    for (const char* name : {"First", "Second"}) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_SZ, "x", 2), ERROR_SUCCESS);
    }
    const Com<_KvRegistry> registry = Create<_KvRegistry>(kKvRegistry);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->put_ClassKey(static_cast<ERegistryClassConstants>(0x80000001)), S_OK);
    auto root = static_cast<ERegistryClassConstants>(0);
    EXPECT_EQ(registry->get_ClassKey(&root), S_OK);
    EXPECT_EQ(root, static_cast<LONG>(0x80000001));
    auto type = static_cast<ERegistryValueTypes>(-1);
    EXPECT_EQ(registry->get_ValueType(&type), S_OK);
    EXPECT_EQ(type, 0);
    BSTR section = Text(key);
    EXPECT_EQ(registry->put_SectionKey(section), S_OK);
    SysFreeString(section);
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 5);
    LONG count = -1;
    VARIANT_BOOL listed = VARIANT_FALSE;
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(listed, VARIANT_TRUE);
    ASSERT_EQ(count, 2);
    ASSERT_NE(names, nullptr);
    LONG bounds[2] = {-1, -1};
    SafeArrayGetLBound(names, 1, &bounds[0]);
    SafeArrayGetUBound(names, 1, &bounds[1]);
    EXPECT_EQ(bounds[0], 1);
    EXPECT_EQ(bounds[1], 2);
    std::vector<std::string> found;
    for (LONG index = 1; index <= 2; ++index) {
        BSTR name = nullptr;
        SafeArrayGetElement(names, &index, &name);
        found.push_back(Take(name));
    }
    std::sort(found.begin(), found.end()); // Wine lists in another order than Windows
    EXPECT_EQ(found, (std::vector<std::string>{"First", "Second"}));
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
}

} // namespace
