// VBScript values reach KvRegistry as their own kinds; the class tests pin the conversions from there.
#include "RegisteredServer.h"

#include <platform/Text.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::At;
using testing_support::ExpectedStamp;

const char kKey[] = "Software\\Korvane\\Test\\VariantMapping";

std::string Stored(const std::string& name)
{
    char data[1024];
    DWORD type = 0, size = sizeof data;
    return RegGetValueA(HKEY_CURRENT_USER, kKey, name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) == 0
               ? std::to_string(type) + ":" + std::string(data, size) : "(missing)";
}

struct VariantMapping : com_testing::ServerTest {
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
};

// Per row the script reports the REG_SZ and REG_DWORD errors, Default's kind and value, and CStr; a Default
// date before 1601 is refused as an overflow (6).
TEST_F(VariantMapping, EachKindIsWrittenByItsRule)
{
    // text: stored by REG_SZ, and CStr's but for 1.5 (the region's separator). REG_DWORD refuses each of them.
    const struct { const char* name; const char* expression; const char* kind; std::string text; } rows[] = {
        {"True", "True", "Boolean", "True"},
        {"Byte", "CByte(200)", "Byte", "200"},
        {"DateTime", "CDate(DateSerial(2026, 3, 14) + TimeSerial(15, 9, 26))", "Date",
         ExpectedStamp(At(2026, 3, 14, 15, 9, 26))},
        {"Currency1.5", "CCur(1.5)", "Currency", "1.5"},
    };
    std::string body = "Sub WriteRow(name, v)\r\n  On Error Resume Next\r\n  line = name & \"|\" & TypeName(v)\r\n"
                       "  For Each kind In Array(1, 4)\r\n    reg.ValueType = kind\r\n"
                       "    reg.ValueKey = kind & \" \" & name\r\n    Err.Clear\r\n    reg.Value = v\r\n"
                       "    line = line & \"|\" & Err.Number\r\n  Next\r\n  reg.ValueKey = \"missing\"\r\n"
                       "  reg.Default = v\r\n  r = reg.Value\r\n  line = line & \"|\" & (VarType(r) = VarType(v)) & "
                       "(r = v)\r\n  out.WriteLine line & \"|\" & CStr(v)\r\nEnd Sub\r\n";
    for (const auto& row : rows) {
        body += "WriteRow \"" + std::string(row.name) + "\", " + row.expression + "\r\n";
    }
    const testing_support::TempDir dir;
    std::vector<std::string> lines = com_testing::RunScript(dir, "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\n"
        "reg.ClassKey = &H80000001\r\nreg.SectionKey = \"" + std::string(kKey) + "\"\r\n" + body +
        "On Error Resume Next\r\nreg.Default = DateSerial(1500, 1, 1)\r\nout.WriteLine Err.Number\r\n");
    ASSERT_EQ(lines.size(), std::size(rows) + 1);
    EXPECT_EQ(lines.back(), "6");
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(row.name);
        lines[i] = platform::FromAnsi(lines[i]);
        const std::string cstr = row.name == std::string("Currency1.5") ? lines[i].substr(lines[i].rfind('|') + 1)
                                                                         : row.text;
        EXPECT_EQ(lines[i], std::string(row.name) + "|" + row.kind + "|0|-2147194455|TrueTrue|" + cstr);
        EXPECT_EQ(Stored(std::string("1 ") + row.name), "1:" + platform::ToAnsi(row.text) + '\0');
        EXPECT_EQ(Stored(std::string("4 ") + row.name), "(missing)");
    }
}

} // namespace
