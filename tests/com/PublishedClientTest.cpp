// A compiled client calls members by their slots: a slot bound to the wrong member shows as a wrong result.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using com_testing::Create;
using published::kClasses;
using published::Slot;

struct PublishedClient : com_testing::ServerTest {
    std::string Get(const com_testing::Com<IDispatch>& object, int slot)
    {
        BSTR got = nullptr;
        EXPECT_EQ(Slot(object.get(), slot, &got), S_OK) << slot;
        return com_testing::Take(got);
    }
    com_testing::Texts text;
    testing_support::TempDir dir;
};

// WriteToLog and WriteEventLog take every argument by reference and leave the caller's texts alone. No event
// source is named (that would register one); Wine keeps no event, so the text is read back.
TEST_F(PublishedClient, LogsTakeTheirArgumentsByReference)
{
    const auto log = Create(kClasses[published::kFileLog]), events = Create(kClasses[published::kEventLog]);
    ASSERT_TRUE(log && events);
    EXPECT_EQ(Slot(log.get(), 2, text(dir.File("client.log"))), S_OK); // put LogFile
    BSTR messages[] = {text("Written at slot five"), text("Insertion text by reference")};
    const BSTR passed[] = {messages[0], messages[1]};
    LONG level = 0, type = 1, id = 7, written = 0; // LogFileTypeWarning
    EXPECT_EQ(Slot(log.get(), 5, &messages[0], &level, &type), S_OK);
    EXPECT_EQ(testing_support::LogEntries(dir.File("client.log")),
              std::vector<std::string>{"WARNING|Written at slot five"});
    type = 4; // information
    EXPECT_EQ(Slot(events.get(), 7, &type, &messages[1], &id, &written), S_OK);
    EXPECT_EQ(std::to_string(written) + " " + std::to_string(type) + " " + std::to_string(id), "-1 4 7");
    EXPECT_TRUE(messages[0] == passed[0] && messages[1] == passed[1]);
    EXPECT_EQ(Get(events, 12), "Insertion text by reference"); // get EventTekst
    written = 0;
    EXPECT_EQ(Slot(events.get(), 7, &type, static_cast<BSTR*>(nullptr), &id, &written), S_OK);
    EXPECT_EQ(written, -1);
}

// IniReadResult keeps what the last IniRead read; the service manager answers for a service that is not there.
TEST_F(PublishedClient, IniFileAndServiceManagerAnswerThroughTheirSlots)
{
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const auto ini = Create(kClasses[published::kIniFile]);
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
    const auto manager = Create(kClasses[published::kServiceManager]);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(Slot(manager.get(), 4, text("BrenlixNoSuchClientService")), S_OK); // put ServiceShortName
    LONG state = 1;
    EXPECT_EQ(Slot(manager.get(), 18, &state), S_OK); // ServiceStatus: STATE_SERVICE_UNKNOWN
    EXPECT_EQ(state, 0);
}

} // namespace
