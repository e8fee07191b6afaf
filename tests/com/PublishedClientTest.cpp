// Clients of the published interfaces: a compiled client calls members by their slots (a slot bound to the wrong
// member shows as a wrong result), a VBScript client through IDispatch.
#include "RegisteredServer.h"
#include "ServiceTestSupport.h"

#include <platform/Text.h>

#include <gtest/gtest.h>

namespace {

using namespace com_testing;
using namespace published;

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
TEST_F(PublishedClient, EachClassAnswersThroughItsSlots)
{
    const auto log = Create(kClasses[published::kFileLog]);
    const auto events = Create(kClasses[published::kEventLog]);
    const auto ini = Create(kClasses[published::kIniFile]);
    const auto manager = Create(kClasses[published::kServiceManager]);
    ASSERT_TRUE(log && events && ini && manager);
    EXPECT_EQ(Slot(log.get(), 2, text(dir.File("client.log"))), S_OK); // put LogFile
    BSTR messages[] = {text("Written at slot five"), text("Insertion text by reference")};
    const BSTR passed[] = {messages[0], messages[1]};
    LONG level = 0;
    LONG type = 1; // LogFileTypeWarning
    LONG id = 7;
    LONG written = 0;
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
    // IniReadResult keeps what the last IniRead read; the service manager answers for a service that is not there.
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    EXPECT_EQ(Slot(ini.get(), 4, text(dir.File("own.list.ini"))), S_OK); // put FullPath
    EXPECT_EQ(Get(ini, 31), "") << "IniReadResult before any IniRead";
    const struct { const char* entry; SHORT defaultInt; VARIANT_BOOL readNumber; const char* expected; } rows[] = {
        {"Name", 5, VARIANT_FALSE, "Nightly"},
        {"Missing", 5, VARIANT_FALSE, "fallback"},
        {"Count", 5, VARIANT_TRUE, "42"},
        {"Missing", -5, VARIANT_TRUE, "-5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        EXPECT_EQ(Slot(ini.get(), 24, text("Jobs"), text(row.entry), row.defaultInt, text("fallback"), text(""),
                       row.readNumber, text(readFrom)),
                  S_OK);
        EXPECT_EQ(Get(ini, 31), row.expected);
    }
    EXPECT_EQ(Get(ini, 5) + "|" + Get(ini, 30), dir.File("own.list.ini") + "|own"); // FullPath, FileName
    EXPECT_EQ(Slot(manager.get(), 4, text("BrenlixNoSuchClientService")), S_OK); // put ServiceShortName
    LONG state = 1;
    EXPECT_EQ(Slot(manager.get(), 18, &state), S_OK); // ServiceStatus: STATE_SERVICE_UNKNOWN
    EXPECT_EQ(state, 0);
}

// VBScript values reach KvRegistry as their own kinds; the class tests pin the conversions from there.
const char kKey[] = "Software\\Korvane\\Test\\VariantMapping";

std::string Stored(const std::string& name)
{
    char data[1024];
    DWORD type = 0;
    DWORD size = sizeof data;
    return RegGetValueA(HKEY_CURRENT_USER, kKey, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) == 0
               ? std::to_string(type) + ":" + std::string(data, size)
               : "(missing)";
}

struct VariantMapping : com_testing::ServerTest {
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
};

// Per row the script reports the REG_SZ and REG_DWORD errors, Default's kind and value, and CStr; a Default date before
// 1601 is refused as an overflow (6).
TEST_F(VariantMapping, EachKindIsWrittenByItsRule)
{
    // text: stored by REG_SZ, and CStr's but for 1.5 (the region's separator). REG_DWORD refuses each of them.
    const struct { const char* name; const char* expression; const char* kind; std::string text; } rows[] = {
        {"True", "True", "Boolean", "True"},
        {"Byte", "CByte(200)", "Byte", "200"},
        {"Currency1.5", "CCur(1.5)", "Currency", "1.5"},
        {"DateTime", "CDate(DateSerial(2026, 3, 14) + TimeSerial(15, 9, 26))", "Date",
         testing_support::ExpectedStamp(testing_support::At(2026, 3, 14, 15, 9, 26))},
    };
    std::string body = "Sub WriteRow(name, v)\r\n  On Error Resume Next\r\n  line = name & \"|\" & TypeName(v)\r\n"
                       "  For Each kind In Array(1, 4)\r\n    reg.ValueType = kind\r\n"
                       "    reg.ValueKey = kind & \" \" & name\r\n    Err.Clear\r\n    reg.Value = v\r\n"
                       "    line = line & \"|\" & Err.Number\r\n  Next\r\n  reg.ValueKey = \"missing\"\r\n"
                       "  reg.Default = v\r\n  r = reg.Value\r\n"
                       "  line = line & \"|\" & (VarType(r) = VarType(v)) & (r = v)\r\n"
                       "  out.WriteLine line & \"|\" & CStr(v)\r\nEnd Sub\r\n";
    for (const auto& row : rows) {
        body += "WriteRow \"" + std::string(row.name) + "\", " + row.expression + "\r\n";
    }
    const testing_support::TempDir dir;
    std::vector<std::string> lines = com_testing::RunScript(
        dir, "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\nreg.ClassKey = &H80000001\r\nreg.SectionKey = \"" +
                 std::string(kKey) + "\"\r\n" + body +
                 "On Error Resume Next\r\nreg.Default = DateSerial(1500, 1, 1)\r\nout.WriteLine Err.Number\r\n");
    ASSERT_EQ(lines.size(), std::size(rows) + 1);
    EXPECT_EQ(lines.back(), "6");
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(row.name);
        lines[i] = platform::FromAnsi(lines[i]);
        const std::string cstr =
            row.name == std::string("Currency1.5") ? lines[i].substr(lines[i].rfind('|') + 1) : row.text;
        EXPECT_EQ(lines[i], std::string(row.name) + "|" + row.kind + "|0|-2147194455|TrueTrue|" + cstr);
        EXPECT_EQ(Stored(std::string("1 ") + row.name), "1:" + platform::ToAnsi(row.text) + '\0');
        EXPECT_EQ(Stored(std::string("4 ") + row.name), "(missing)");
    }
}

// ServiceManager from VBScript; the service tests' fixture names the service and removes it.
struct ServiceManagerScript : service_testing::ServiceTest {
    void SetUp() override { ASSERT_TRUE(server.ready) << "regsvr32 or CoInitialize failed"; }
    com_testing::RegisteredServer server;
};

// A script passes by reference only to a VARIANT, so the Boolean for a VARIANT_BOOL* goes in parentheses, by value.
TEST_F(ServiceManagerScript, OptionalBooleansLeftOutAreFalse)
{
    std::string path = service_testing::TestServiceCommand(log);
    for (std::size_t quote = path.find('"'); quote != std::string::npos; quote = path.find('"', quote + 2)) {
        path.insert(quote, 1, '"');
    }
    std::string script = "Set sm = CreateObject(\"Brenlix.ServiceManager\")\r\nsm.ServiceShortName = \"" + name +
                         "\"\r\nsm.ServiceLongName = \"" + name + " by a script\"\r\nsm.ServicePath = \"" + path +
                         "\"\r\nsm.MaxWaitForService = " + std::to_string(testing_support::kHangGuardMs) +
                         "\r\nwaitFlag = True\r\n";
    const std::pair<const char*, int> calls[] = {
        {"InstallService", -1},
        {"ServiceStatus", 1},
        {"ServiceStart", -1},
        {"ServiceStart((waitFlag))", -1},
        {"ServiceStatus", 4},
        {"ServiceStop", -1},
        {"ServiceStop((waitFlag))", -1},
        {"ServiceStatus", 1},
        {"InstallService(False)", 0},
        {"RemoveService", -1},
        {"IsServiceInstalled", 0}};
    std::vector<std::string> expected;
    for (const auto& [call, result] : calls) {
        script += "out.WriteLine \"" + std::string(call) + " \" & CInt(sm." + call + ")\r\n";
        expected.push_back(call + (" " + std::to_string(result)));
    }
    EXPECT_EQ(com_testing::RunScript(files, script), expected);
}

} // namespace
