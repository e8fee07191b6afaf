// Clients of the published interfaces: a compiled client calls members by their slots (a slot bound to the wrong
// member shows as a wrong result), a VBScript client through IDispatch.
#include "RawRegistry.h"
#include "RegisteredServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace com_testing;

struct PublishedClient : ServerTest<> {
    std::string Get(const Com<IDispatch>& object, int slot)
    {
        BSTR got = nullptr;
        EXPECT_EQ(Slot(object.get(), slot, &got), S_OK) << slot;
        return Take(got);
    }
    Texts text;
    testing_support::TempDir dir;
};

// WriteToLog and WriteEventLog take every argument by reference. No event source is named (that would register
// one); Wine keeps no event, so the text is read back.
TEST_F(PublishedClient, EachClassAnswersThroughItsSlots)
{
    const auto log = Create(kClasses[kFileLog]);
    const auto events = Create(kClasses[kEventLog]);
    const auto ini = Create(kClasses[kIniFile]);
    ASSERT_TRUE(log && events && ini);
    EXPECT_EQ(Slot(log.get(), 2, text(dir.File("client.log"))), S_OK); // put LogFile
    BSTR messages[] = {text("Written at slot five"), text("Insertion text by reference")};
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
    EXPECT_EQ(Get(events, 12), "Insertion text by reference"); // get EventTekst
    written = 0;
    EXPECT_EQ(Slot(events.get(), 7, &type, static_cast<BSTR*>(nullptr), &id, &written), S_OK);
    EXPECT_EQ(written, -1);
    // IniRead gives nothing back: IniReadResult keeps what it read.
    const std::string readFrom = dir.File("read from.ini");
    testing_support::WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\n");
    const struct { const char* entry; SHORT defaultInt; VARIANT_BOOL readNumber; const char* expected; } rows[] = {
        {"Name", 5, VARIANT_FALSE, "Nightly"},
        {"Missing", 5, VARIANT_FALSE, "fallback"},
        {"Missing", -5, VARIANT_TRUE, "-5"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        EXPECT_EQ(Slot(ini.get(), 24, text("Jobs"), text(row.entry), row.defaultInt, text("fallback"), text(""),
                       row.readNumber, text(readFrom)),
                  S_OK);
        EXPECT_EQ(Get(ini, 31), row.expected);
    }
}

struct VariantMapping : ServerTest<> {
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
    static constexpr char kKey[] = "Software\\Korvane\\Test\\VariantMapping";
};

// VBScript values reach KvRegistry as their own kinds (the class tests pin the conversions from there): per row the
// script reports the kind, the errors of REG_SZ and REG_DWORD (which refuses each of these kinds), and whether Default
// gives back the same kind and value; a Default date before 1601 is refused as an overflow (6).
TEST_F(VariantMapping, EachKindIsWrittenByItsRule)
{
    const struct { const char* name; const char* expression; const char* kind; } rows[] = {
        {"True", "True", "Boolean"},
        {"Byte", "CByte(200)", "Byte"},
        {"Currency", "CCur(1.5)", "Currency"},
        {"DateTime", "CDate(DateSerial(2026, 3, 14) + TimeSerial(15, 9, 26))", "Date"},
    };
    std::string script = "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\nreg.ClassKey = &H80000001\r\n"
                         "reg.SectionKey = \"" + std::string(kKey) + "\"\r\n"
                         "Sub WriteRow(name, v)\r\n  On Error Resume Next\r\n  line = name & \"|\" & TypeName(v)\r\n"
                         "  For Each kind In Array(1, 4)\r\n    reg.ValueType = kind\r\n"
                         "    reg.ValueKey = kind & \" \" & name\r\n    Err.Clear\r\n    reg.Value = v\r\n"
                         "    line = line & \"|\" & Err.Number\r\n  Next\r\n"
                         "  reg.ValueKey = \"missing\"\r\n  reg.Default = v\r\n  r = reg.Value\r\n"
                         "  out.WriteLine line & \"|\" & (VarType(r) = VarType(v)) & (r = v)\r\nEnd Sub\r\n";
    std::vector<std::string> expected;
    for (const auto& row : rows) {
        script += "WriteRow \"" + std::string(row.name) + "\", " + row.expression + "\r\n";
        expected.push_back(std::string(row.name) + "|" + row.kind + "|0|-2147194455|TrueTrue");
    }
    script += "On Error Resume Next\r\nreg.Default = DateSerial(1500, 1, 1)\r\nout.WriteLine Err.Number\r\n";
    expected.push_back("6");
    EXPECT_EQ(RunScript(testing_support::TempDir(), script), expected);
}

struct LateBound : ServerTest<> {
    ~LateBound() override
    {
        for (const std::string& key : {"." + ext, cls}) {
            raw::RemoveTree(kClassesRoot, key, "");
        }
        raw::RemoveTree(-2147483647, kListed); // HKEY_CURRENT_USER
    }
    static constexpr char kListed[] = "Software\\Korvane\\Test\\LateBound";
    static constexpr std::int32_t kClassesRoot = -2147483648; // HKEY_CLASSES_ROOT
    static constexpr std::int32_t kUserRoot = -2147483647;    // HKEY_CURRENT_USER
    const std::string ext = k64 ? "brenlix-late64" : "brenlix-late32";
    const std::string cls = "Korvane.Test.LateBound" + std::string(k64 ? "64" : "32");
    testing_support::TempDir dir;
};

// A script leaves optional arguments out, trailing or in the middle: each takes its default (the server supplies
// them, whatever the host passes), and the variable list of CreateAdditionalEXEAssociations is gathered by name.
// Variables go to by-reference parameters of any type, and take what a member returns there (EnumerateValues'
// names, a String() array, and count; a binary value, written back whole), keeping their own type where the member
// leaves them as they were. No event source is named, so EventTekst shows what reached the event.
TEST_F(LateBound, ArgumentsLeftOutOrPassedAsVariables)
{
    const std::string log = dir.File("late.log");
    const std::string script =
        "Set fl = CreateObject(\"Brenlix.FileLog\")\r\nfl.LogFile = \"" + log + "\"\r\n"
        "fl.WriteToLog \"a\"\r\nfl.WriteToLog \"b\", , 1\r\nfl.WriteToLog \"c\", 0\r\nfl.LogInfoFile \"d\"\r\n"
        "fl.LogErrorFile \"e\"\r\nfl.LogWarningFile \"f\"\r\nm = \"g\" : level = 0 : kind = 1\r\n"
        "fl.WriteToLog m, level, kind\r\nout.WriteLine TypeName(level) & TypeName(kind)\r\n"
        "Set ev = CreateObject(\"Brenlix.EventLog\")\r\n"
        "out.WriteLine ev.WriteEventLog(4) & \"|\" & ev.EventTekst\r\n"
        "out.WriteLine ev.WriteEventLog(2, \"text\") & \"|\" & ev.EventTekst\r\n"
        "out.WriteLine ev.WriteEventLog(4, , 7) & \"|\" & ev.EventTekst\r\n"
        "kind = 4 : out.WriteLine ev.WriteEventLog(kind, m) & \"|\" & ev.EventTekst\r\n"
        "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\n"
        "reg.CreateEXEAssociation \"C:\\v.exe\", \"" + cls + "\", \"V\", \"" + ext + "\", , True\r\n"
        "reg.ClassKey = &H80000000\r\nOn Error Resume Next\r\n"
        "reg.CreateAdditionalEXEAssociations \"" + cls + "\", \"edit\", \"&Edit\", \"notepad.exe \"\"%1\"\"\"\r\n"
        "out.WriteLine Err.Number\r\nreg.CreateAdditionalEXEAssociations \"" + cls + "\", \"run\"\r\n"
        "out.WriteLine Err.Number & \"|\" & Err.Description\r\nreg.ClassKey = &H80000001\r\n"
        "reg.SectionKey = \"" + std::string(kListed) + "\"\r\nreg.ValueType = 1 : reg.ValueKey = \"a\" : reg.Value = \"1\"\r\n"
        "listed = reg.EnumerateValues(names, count)\r\n"
        "out.WriteLine listed & \"|\" & VarType(names) & \"|\" & count & \"|\" & TypeName(count)\r\n"
        "reg.ValueKey = \"b\" : b = reg.Value : out.WriteLine VarType(b)\r\n"
        "reg.ValueKey = \"c\" : reg.ValueType = 3 : reg.Value = b\r\n";
    ASSERT_EQ(raw::Write(-2147483647, kListed, "b", {3, "\x01\x02\x03"}), 0); // read and written back by the script
    EXPECT_EQ(RunScript(dir, script),
              (std::vector<std::string>{"IntegerInteger", "-1|", "-1|text", "-1|text", "-1|g", "0",
                                        "-2147194452|Invalid parameter list passed to CreateAdditionalEXEAssociations "
                                        "- expected Name/Text/Command",
                                        "True|8200|2|Long", "8209"}));
    EXPECT_EQ(raw::Read(-2147483647, kListed, "c"), (raw::Stored{3, "\x01\x02\x03"})); // from the lower bound on
    // The arrays' bounds as a compiled client sees them (Wine's VBScript takes no LBound of a String() or Byte()
    // array): names from 1, a binary value's bytes from 0 to its size (the one element more that a write drops).
    const auto reg = Create(kClasses[kKvRegistry]);
    ASSERT_NE(reg, nullptr);
    Texts text;
    SAFEARRAY* names = nullptr;
    LONG count = 0;
    VARIANT_BOOL listed = VARIANT_FALSE;
    VARIANT binary;
    VariantInit(&binary);
    LONG bounds[4] = {-1, -1, -1, -1};
    EXPECT_EQ(Slot(reg.get(), 14, static_cast<int>(kUserRoot)), S_OK);         // put ClassKey
    EXPECT_EQ(Slot(reg.get(), 16, text(kListed)), S_OK);                         // put SectionKey
    EXPECT_EQ(Slot(reg.get(), 7, &names, &count, &listed), S_OK);               // EnumerateValues
    EXPECT_EQ(Slot(reg.get(), 18, text("b")), S_OK);                             // put ValueKey
    EXPECT_EQ(Slot(reg.get(), 5, &binary), S_OK);                                // get Value
    if (names != nullptr) {
        SafeArrayGetLBound(names, 1, &bounds[0]);
        SafeArrayGetUBound(names, 1, &bounds[1]);
        SafeArrayDestroy(names);
    }
    if (V_VT(&binary) == (VT_ARRAY | VT_UI1)) {
        SafeArrayGetLBound(V_ARRAY(&binary), 1, &bounds[2]);
        SafeArrayGetUBound(V_ARRAY(&binary), 1, &bounds[3]);
    }
    VariantClear(&binary);
    EXPECT_EQ(std::vector<LONG>(bounds, bounds + 4), (std::vector<LONG>{1, 3, 0, 3}));
    EXPECT_EQ(testing_support::LogEntries(log),
              (std::vector<std::string>{"INFORMATION|a", "WARNING|b", "INFORMATION|c", "INFORMATION|d", "ERROR|e",
                                        "WARNING|f", "WARNING|g"}));
    const auto verb = [&](const std::string& key) {
        const auto value = raw::Read(kClassesRoot, cls + "\\shell\\" + key, "");
        return value ? std::string(value->bytes.c_str()) : "(missing)";
    };
    EXPECT_EQ(verb("open") + "|" + verb("open\\command") + "|" + verb("print") + "|" + verb("new") + "|" +
                  verb("edit") + "|" + verb("edit\\command"),
              "&Open|\"C:\\v.exe\" \"%1\"|&Print|(missing)|&Edit|notepad.exe \"%1\"");
    EXPECT_FALSE(raw::KeyExists(kClassesRoot, cls + "\\DefaultIcon"));
}

// ServiceManager from VBScript; the service tests' fixture names the service and removes it.
using ServiceManagerScript = ServerTest<service_testing::ServiceTest>;

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
        {"RemoveService", -1}};
    std::vector<std::string> expected;
    for (const auto& [call, result] : calls) {
        script += "out.WriteLine \"" + std::string(call) + " \" & CInt(sm." + call + ")\r\n";
        expected.push_back(call + (" " + std::to_string(result)));
    }
    EXPECT_EQ(RunScript(files, script), expected);
}

} // namespace
