// A compiled client calls members by their slots: a slot bound to the wrong member shows as a wrong result.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using com_testing::Take;
using published::kClasses;
using published::Slot;

struct PublishedClient : com_testing::ServerTest {
    std::string Get(const com_testing::Com<IDispatch>& object, int slot)
    {
        BSTR got = nullptr;
        EXPECT_EQ(Slot(object.get(), slot, &got), S_OK) << slot;
        return Take(got);
    }
    com_testing::Texts text;
    testing_support::TempDir dir;
};

TEST_F(PublishedClient, FileLogWritesThroughItsSlots)
{
    const auto log = com_testing::Create(kClasses[published::kFileLog]);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(Slot(log.get(), 2, text(dir.File("client.log"))), S_OK); // put LogFile
    BSTR message = text("Written at slot five");
    const BSTR passed = message;
    LONG level = 0;
    LONG type = 1; // LogFileTypeWarning
    EXPECT_EQ(Slot(log.get(), 5, &message, &level, &type), S_OK);
    EXPECT_EQ(message, passed);
    EXPECT_EQ(testing_support::LogEntries(dir.File("client.log")),
              (std::vector<std::string>{"WARNING|Written at slot five"}));
}

// No application name (that would register an event source); Wine keeps no event, so the text is read back.
TEST_F(PublishedClient, WriteEventLogTakesEveryArgumentByReference)
{
    const auto events = com_testing::Create(kClasses[published::kEventLog]);
    ASSERT_NE(events, nullptr);
    LONG type = 4; // information
    BSTR message = text("Insertion text by reference");
    const BSTR passed = message;
    LONG id = 7;
    LONG written = 0;
    EXPECT_EQ(Slot(events.get(), 7, &type, &message, &id, &written), S_OK);
    EXPECT_EQ(std::to_string(written) + " " + std::to_string(type) + " " + std::to_string(id), "-1 4 7");
    EXPECT_EQ(message, passed);
    EXPECT_EQ(Get(events, 12), "Insertion text by reference"); // get EventTekst
    written = 0;
    EXPECT_EQ(Slot(events.get(), 7, &type, static_cast<BSTR*>(nullptr), &id, &written), S_OK);
    EXPECT_EQ(written, -1);
}

TEST_F(PublishedClient, IniReadKeepsWhatItReadForIniReadResult)
{
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const auto ini = com_testing::Create(kClasses[published::kIniFile]);
    ASSERT_NE(ini, nullptr);
    EXPECT_EQ(Slot(ini.get(), 4, text(dir.File("own.list.ini"))), S_OK); // put FullPath
    EXPECT_EQ(Get(ini, 31), "") << "IniReadResult before any IniRead";
    const struct { const char* entry; SHORT defaultInt; VARIANT_BOOL readNumber; const char* expected; } rows[] = {
        {"Name", 5, VARIANT_FALSE, "Nightly"}, {"Missing", 5, VARIANT_FALSE, "fallback"},
        {"Count", 5, VARIANT_TRUE, "42"}, {"Missing", -5, VARIANT_TRUE, "-5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        EXPECT_EQ(Slot(ini.get(), 24, text("Jobs"), text(row.entry), row.defaultInt, text("fallback"), text(""),
                       row.readNumber, text(readFrom)), S_OK);
        EXPECT_EQ(Get(ini, 31), row.expected);
    }
    EXPECT_EQ(Get(ini, 5) + "|" + Get(ini, 30), dir.File("own.list.ini") + "|own"); // FullPath, FileName
}

TEST_F(PublishedClient, ServiceManagerAnswersThroughItsSlots)
{
    const auto manager = com_testing::Create(kClasses[published::kServiceManager]);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(Slot(manager.get(), 4, text("BrenlixNoSuchClientService")), S_OK); // put ServiceShortName
    LONG state = 1;
    EXPECT_EQ(Slot(manager.get(), 18, &state), S_OK); // ServiceStatus: STATE_SERVICE_UNKNOWN
    EXPECT_EQ(state, 0);
}

} // namespace
