// A compiled client built against the published interfaces (not the
// library's generated header) calls members by their slots, so a slot bound
// to the wrong member shows as a wrong result. The contract test proves the
// slots' signatures.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using com_testing::Take;
using namespace published;

class PublishedClient : public com_testing::ServerTest {
protected:
    // The text a get slot gives.
    template <class I>
    std::string Get(const com_testing::Com<I>& object, HRESULT (STDMETHODCALLTYPE I::*get)(BSTR*))
    {
        BSTR text = nullptr;
        EXPECT_EQ((object.get()->*get)(&text), S_OK);
        return Take(text);
    }
    com_testing::Texts text;
    testing_support::TempDir dir;
};

// The message goes by reference and comes back as passed; error comes before
// warning in the slot order, so a swap shows as swapped words. The library
// can be unloaded once no object is alive.
TEST_F(PublishedClient, FileLogWritesThroughItsSlots)
{
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(BRENLIX_DLL_NAME), "DllCanUnloadNow")));
    auto log = com_testing::Create<_FileLog>(kClasses[kFileLog]);
    ASSERT_NE(log, nullptr);
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    EXPECT_EQ(log->put_LogFile(text(dir.File("client.log"))), S_OK);
    EXPECT_EQ(Get(log, &_FileLog::get_LogFile), dir.File("client.log"));
    BSTR message = text("Written at slot five");
    const BSTR passed = message;
    LONG level = 0;
    LogFileType type = LogFileTypeWarning;
    EXPECT_EQ(log->WriteToLog(&message, &level, &type), S_OK);
    EXPECT_EQ(message, passed);
    EXPECT_EQ(Take(message, true), "Written at slot five");
    EXPECT_EQ(level, 0);
    EXPECT_EQ(type, LogFileTypeWarning);
    BSTR error = text("Error at slot seven");
    BSTR warning = text("Warning at slot eight");
    EXPECT_EQ(log->LogErrorFile(&error, &level), S_OK);
    EXPECT_EQ(log->LogWarningFile(&warning, &level), S_OK);
    log.reset();
    EXPECT_EQ(canUnload(), S_OK);
    EXPECT_EQ(testing_support::LogEntries(dir.File("client.log")),
              (std::vector<std::string>{"WARNING|Written at slot five", "ERROR|Error at slot seven",
                                        "WARNING|Warning at slot eight"}));
}

// Every argument of WriteEventLog goes by reference, the text may be left
// out. No application name is set (that would register an event source);
// Wine's event log keeps no event, so the text is read back from the object.
TEST_F(PublishedClient, WriteEventLogTakesEveryArgumentByReference)
{
    const auto events = com_testing::Create<_EventLog>(kClasses[kEventLog]);
    ASSERT_NE(events, nullptr);
    auto type = static_cast<EventLogTypes>(4); // information
    BSTR message = text("Insertion text by reference");
    const BSTR passed = message;
    LONG id = 7;
    LONG written = 0;
    EXPECT_EQ(events->WriteEventLog(&type, &message, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(type, 4);
    EXPECT_EQ(message, passed);
    EXPECT_EQ(id, 7);
    EXPECT_EQ(Get(events, &_EventLog::get_EventTekst), "Insertion text by reference");
    LONG number = 1;
    EXPECT_EQ(events->get_LastEventErrNum(&number), S_OK);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(events->WriteEventLog(&type, nullptr, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
}

// IniRead takes seven values and keeps what it read for IniReadResult; the
// path it is given is not the object's. A section's entries come as a
// (0 To 1, 0 To n - 1) array of names and values.
TEST_F(PublishedClient, IniReadKeepsWhatItReadForIniReadResult)
{
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const auto ini = com_testing::Create<_IniFile>(kClasses[kIniFile]);
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->put_FullPath(text(dir.File("own.list.ini"))), S_OK);
    EXPECT_EQ(Get(ini, &_IniFile::get_FileName), "own");
    EXPECT_EQ(Get(ini, &_IniFile::get_IniReadResult), "") << "before any IniRead";
    const struct {
        const char* entry;
        SHORT defaultInt;
        VARIANT_BOOL readNumber;
        const char* expected;
    } rows[] = {{"Name", 5, VARIANT_FALSE, "Nightly"},
                {"Missing", 5, VARIANT_FALSE, "fallback"},
                {"Count", 5, VARIANT_TRUE, "42"},
                {"Missing", -5, VARIANT_TRUE, "-5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        EXPECT_EQ(ini->IniRead(text("Jobs"), text(row.entry), row.defaultInt, text("fallback"), text(""),
                               row.readNumber, text(readFrom)),
                  S_OK);
        EXPECT_EQ(Get(ini, &_IniFile::get_IniReadResult), row.expected);
    }
    EXPECT_EQ(Get(ini, &_IniFile::get_FullPath), dir.File("own.list.ini"));

    EXPECT_EQ(ini->put_FullPath(text(readFrom)), S_OK);
    EXPECT_EQ(ini->put_SectionName(text("Jobs")), S_OK);
    SAFEARRAY* entries = nullptr;
    SHORT count = 0;
    EXPECT_EQ(ini->GetSectEntriesEx(&entries, &count), S_OK);
    ASSERT_EQ(count, 2);
    ASSERT_NE(entries, nullptr);
    LONG bounds[2] = {};
    SafeArrayGetUBound(entries, 1, &bounds[0]);
    SafeArrayGetUBound(entries, 2, &bounds[1]);
    EXPECT_EQ(std::to_string(bounds[0]) + "," + std::to_string(bounds[1]), "1,1");
    LONG at[2] = {1, 1}; // the second entry's value
    BSTR value = nullptr;
    EXPECT_EQ(SafeArrayGetElement(entries, at, &value), S_OK);
    EXPECT_EQ(Take(value), "42");
    SafeArrayDestroy(entries);
}

// The listings come 1-based and replace the caller's array; a key without
// values releases it.
TEST_F(PublishedClient, KvRegistryListingsReplaceTheCallersArray)
{
    const char key[] = "Software\\BrenlixComListing";
    for (const char* name : {"First", "Second"}) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_SZ, "x", 2), ERROR_SUCCESS);
    }
    const auto registry = com_testing::Create<_KvRegistry>(kClasses[kKvRegistry]);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->put_ClassKey(static_cast<ERegistryClassConstants>(0x80000001)), S_OK);
    EXPECT_EQ(registry->put_SectionKey(text(key)), S_OK);
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 5);
    LONG count = -1;
    VARIANT_BOOL listed = VARIANT_FALSE;
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(listed, VARIANT_TRUE);
    ASSERT_EQ(count, 2);
    ASSERT_NE(names, nullptr);
    std::vector<std::string> found;
    LONG bounds[2] = {-1, -1};
    SafeArrayGetLBound(names, 1, &bounds[0]);
    SafeArrayGetUBound(names, 1, &bounds[1]);
    for (LONG index = bounds[0]; index <= bounds[1]; ++index) {
        BSTR name = nullptr;
        SafeArrayGetElement(names, &index, &name);
        found.push_back(Take(name));
    }
    EXPECT_EQ(std::to_string(bounds[0]) + ".." + std::to_string(bounds[1]), "1..2");
    std::sort(found.begin(), found.end()); // Wine lists in another order than Windows
    EXPECT_EQ(found, (std::vector<std::string>{"First", "Second"}));
    RegDeleteTreeA(HKEY_CURRENT_USER, key);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    EXPECT_EQ(registry->EnumerateValues(&names, &count, &listed), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
}

} // namespace
