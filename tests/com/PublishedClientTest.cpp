// A compiled client built against the published interfaces (not the
// library's generated header) calls members by their slots, so a slot bound
// to the wrong member shows as a wrong result; the contract test proves the
// slots' signatures.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using com_testing::Create;
using com_testing::Take;
using namespace published;

struct PublishedClient : com_testing::ServerTest {
    // The text a get slot gives.
    template <class I>
    std::string Get(const com_testing::Com<I>& object, HRESULT (STDMETHODCALLTYPE I::*get)(BSTR*))
    {
        BSTR got = nullptr;
        EXPECT_EQ((object.get()->*get)(&got), S_OK);
        return Take(got);
    }
    com_testing::Texts text;
    testing_support::TempDir dir;
};

// The message goes by reference and comes back as passed; error comes before
// warning in the slot order, so a swap shows as swapped words.
TEST_F(PublishedClient, FileLogWritesThroughItsSlots)
{
    const auto log = Create<_FileLog>(kClasses[kFileLog]);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->put_LogFile(text(dir.File("client.log"))), S_OK);
    BSTR message = text("Written at slot five");
    const BSTR passed = message;
    BSTR error = text("Error at slot seven");
    BSTR warning = text("Warning at slot eight");
    LONG level = 0;
    LogFileType type = LogFileTypeWarning;
    EXPECT_EQ(log->WriteToLog(&message, &level, &type), S_OK);
    EXPECT_EQ(message, passed);
    EXPECT_EQ(Take(message, true) + std::to_string(level) + std::to_string(type), "Written at slot five01");
    EXPECT_EQ(log->LogErrorFile(&error, &level), S_OK);
    EXPECT_EQ(log->LogWarningFile(&warning, &level), S_OK);
    EXPECT_EQ(testing_support::LogEntries(dir.File("client.log")),
              (std::vector<std::string>{"WARNING|Written at slot five", "ERROR|Error at slot seven",
                                        "WARNING|Warning at slot eight"}));
}

// Every argument of WriteEventLog goes by reference, the text may be left
// out. No application name is set (that would register an event source);
// Wine's event log keeps no event, so the text is read back from the object.
TEST_F(PublishedClient, WriteEventLogTakesEveryArgumentByReference)
{
    const auto events = Create<_EventLog>(kClasses[kEventLog]);
    ASSERT_NE(events, nullptr);
    auto type = static_cast<EventLogTypes>(4); // information
    BSTR message = text("Insertion text by reference");
    const BSTR passed = message;
    LONG id = 7;
    LONG written = 0;
    EXPECT_EQ(events->WriteEventLog(&type, &message, &id, &written), S_OK);
    EXPECT_EQ(std::to_string(written) + " " + std::to_string(type) + " " + std::to_string(id), "-1 4 7");
    EXPECT_EQ(message, passed);
    EXPECT_EQ(Get(events, &_EventLog::get_EventTekst), "Insertion text by reference");
    written = 0;
    EXPECT_EQ(events->WriteEventLog(&type, nullptr, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
}

// IniRead takes seven values and keeps what it read for IniReadResult; the
// path it is given is not the object's.
TEST_F(PublishedClient, IniReadKeepsWhatItReadForIniReadResult)
{
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const auto ini = Create<_IniFile>(kClasses[kIniFile]);
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(ini->put_FullPath(text(dir.File("own.list.ini"))), S_OK);
    EXPECT_EQ(Get(ini, &_IniFile::get_IniReadResult), "") << "before any IniRead";
    const struct {
        const char* entry;
        SHORT defaultInt;
        VARIANT_BOOL readNumber;
        const char* expected;
    } rows[] = {{"Name", 5, VARIANT_FALSE, "Nightly"}, {"Missing", 5, VARIANT_FALSE, "fallback"},
                {"Count", 5, VARIANT_TRUE, "42"},      {"Missing", -5, VARIANT_TRUE, "-5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        EXPECT_EQ(ini->IniRead(text("Jobs"), text(row.entry), row.defaultInt, text("fallback"), text(""),
                               row.readNumber, text(readFrom)), S_OK);
        EXPECT_EQ(Get(ini, &_IniFile::get_IniReadResult), row.expected);
    }
    EXPECT_EQ(Get(ini, &_IniFile::get_FullPath), dir.File("own.list.ini"));
    EXPECT_EQ(Get(ini, &_IniFile::get_FileName), "own");
}

// A service that is not there reads as unknown, and its name is kept.
TEST_F(PublishedClient, ServiceManagerAnswersThroughItsSlots)
{
    const auto manager = Create<_ServiceManager>(kClasses[kServiceManager]);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->put_ServiceShortName(text("BrenlixNoSuchClientService")), S_OK);
    ServiceState state = STATE_SERVICE_STOPPED;
    EXPECT_EQ(manager->ServiceStatus(&state), S_OK);
    EXPECT_EQ(state, STATE_SERVICE_UNKNOWN);
    EXPECT_EQ(Get(manager, &_ServiceManager::get_ServiceShortName), "BrenlixNoSuchClientService");
}

} // namespace
