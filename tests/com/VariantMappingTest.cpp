// Booleans, bytes, dates and currency amounts from a VBScript client: each
// reaches the registry class as its own kind, so a REG_SZ write stores the
// text CStr gives and a DWORD write takes only a whole currency amount; and
// `Default` gives back exactly the kind it was set to.
#include <platform/Files.h>
#include <platform/Text.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using testing_support::At;
using testing_support::ChildProcess;
using testing_support::ExpectedStamp;
using testing_support::ExpectedTimeText;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kKey[] = "Software\\Korvane\\Test\\VariantMapping";
constexpr std::int32_t kWriteFailed = -2147194455;

std::string LibraryPath()
{
    return platform::ProgramFolder() + "\\" + BRENLIX_DLL_NAME;
}

std::uint32_t RunRegsvr32(const std::string& options)
{
    return ChildProcess("regsvr32 " + options + " \"" + LibraryPath() + "\"").Wait();
}

struct Stored {
    DWORD type = 0;
    std::string bytes;
    bool operator==(const Stored&) const = default;
};

void PrintTo(const Stored& stored, std::ostream* out)
{
    *out << "type " << stored.type << ": " << ::testing::PrintToString(stored.bytes);
}

std::optional<Stored> ReadValue(const std::string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    Stored stored;
    char data[1024];
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &stored.type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.bytes.assign(data, size);
    return stored;
}

Stored Text(const std::string& utf8)
{
    return {REG_SZ, platform::ToAnsi(utf8) + '\0'};
}

Stored Dword(std::uint32_t bits)
{
    return {REG_DWORD, {static_cast<char>(bits), static_cast<char>(bits >> 8), static_cast<char>(bits >> 16),
                        static_cast<char>(bits >> 24)}};
}

// Each test registers the library, runs its script in a key of its own
// below HKEY_CURRENT_USER, and removes both afterwards.
class VariantMapping : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        ASSERT_EQ(RunRegsvr32("/s"), 0u);
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
        RunRegsvr32("/u /s");
    }

    // Runs the body with `out` (a text file) and `reg` (a KvRegistry on the
    // test's key) and gives the lines it wrote, as UTF-8.
    std::vector<std::string> RunScript(const std::string& body)
    {
        const std::string script = dir_.File("client.vbs");
        const std::string results = dir_.File("results.txt");
        WriteFile(script, "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
                          "Set out = fso.CreateTextFile(\"" + results + "\", True)\r\n"
                          "Set reg = CreateObject(\"Brenlix.KvRegistry\")\r\n"
                          "reg.ClassKey = &H80000001\r\n"
                          "reg.SectionKey = \"" + std::string(kKey) + "\"\r\n" +
                              body + "out.Close\r\n");
        EXPECT_EQ(ChildProcess("cscript //nologo \"" + script + "\"").Wait(), 0u);
        std::vector<std::string> lines = SplitLines(ReadFile(results));
        for (std::string& line : lines) {
            line = platform::FromAnsi(line);
        }
        return lines;
    }

    TempDir dir_;
};

// Each row is written once with ValueType REG_SZ and once with REG_DWORD. The
// script reports both errors and CStr of the value; the stored data is read
// back through the Win32 registry calls. Expected date texts come from the
// system's own date and time formats for the user's region.
TEST_F(VariantMapping, EachKindIsWrittenByItsRule)
{
    struct Row {
        const char* name;
        const char* expression;
        const char* kind;                   // TypeName in the script
        std::string text;                   // stored by REG_SZ
        std::optional<std::uint32_t> dword; // stored by REG_DWORD; none: refused
        bool textIsCStr;                    // CStr's currency text has the region's decimal separator
    };
    const Row rows[] = {
        {"True", "True", "Boolean", "True", std::nullopt, true},
        {"False", "False", "Boolean", "False", std::nullopt, true},
        {"Byte", "CByte(5)", "Byte", "5", std::nullopt, true},
        {"DateTime", "CDate(DateSerial(2026, 3, 14) + TimeSerial(15, 9, 26))", "Date",
         ExpectedStamp(At(2026, 3, 14, 15, 9, 26)), std::nullopt, true},
        {"Midnight", "DateSerial(2026, 3, 14)", "Date", ExpectedStamp(At(2026, 3, 14, 0, 0, 0)), std::nullopt, true},
        {"TimeOnly", "TimeSerial(6, 30, 0)", "Date", ExpectedTimeText(At(1899, 12, 30, 6, 30, 0)), std::nullopt, true},
        {"BeforeDayZero", "CDate(-1.25)", "Date", ExpectedStamp(At(1899, 12, 29, 6, 0, 0)), std::nullopt, true},
        {"Currency1.5", "CCur(1.5)", "Currency", "1.5", std::nullopt, false},
        {"Currency7", "CCur(7)", "Currency", "7", 7u, true},
        {"CurrencyNegative", "CCur(-42)", "Currency", "-42", static_cast<std::uint32_t>(-42), true},
    };
    std::string body = "Sub WriteRow(name, v)\r\n"
                       "  On Error Resume Next\r\n"
                       "  reg.ValueType = 1\r\n"
                       "  reg.ValueKey = \"sz \" & name\r\n"
                       "  Err.Clear\r\n"
                       "  reg.Value = v\r\n"
                       "  sz = Err.Number\r\n"
                       "  reg.ValueType = 4\r\n"
                       "  reg.ValueKey = \"dword \" & name\r\n"
                       "  Err.Clear\r\n"
                       "  reg.Value = v\r\n"
                       "  dw = Err.Number\r\n"
                       "  out.WriteLine name & \"|\" & TypeName(v) & \"|\" & sz & \"|\" & dw & \"|\" & CStr(v)\r\n"
                       "End Sub\r\n";
    for (const Row& row : rows) {
        body += "WriteRow \"" + std::string(row.name) + "\", " + row.expression + "\r\n";
    }
    const std::vector<std::string> lines = RunScript(body);
    ASSERT_EQ(lines.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name);
        // name|TypeName|REG_SZ error|REG_DWORD error|CStr
        const std::size_t last = lines[i].rfind('|');
        const std::string dwordError = row.dword ? "0" : std::to_string(kWriteFailed);
        EXPECT_EQ(lines[i].substr(0, last), std::string(row.name) + "|" + row.kind + "|0|" + dwordError);
        if (row.textIsCStr) {
            EXPECT_EQ(lines[i].substr(last + 1), row.text);
        }
        EXPECT_EQ(ReadValue("sz " + std::string(row.name)), Text(row.text));
        const std::optional<Stored> dword = ReadValue("dword " + std::string(row.name));
        if (row.dword) {
            EXPECT_EQ(dword, Dword(*row.dword));
        } else {
            EXPECT_EQ(dword, std::nullopt);
        }
    }
}

// What Default is set to comes back, kind and value, for a value that is
// missing; and a date the library cannot show (before 1601) is refused at
// the boundary as an overflow.
TEST_F(VariantMapping, DefaultComesBackAsItsOwnKind)
{
    const std::vector<std::string> lines = RunScript(
        "reg.ValueKey = \"missing\"\r\n"
        "Sub Check(v)\r\n"
        "  reg.Default = v\r\n"
        "  r = reg.Value\r\n"
        "  out.WriteLine TypeName(r) & \"|\" & (VarType(r) = VarType(v)) & \"|\" & (r = v)\r\n"
        "End Sub\r\n"
        "Check True\r\n"
        "Check False\r\n"
        "Check CByte(200)\r\n"
        "Check CDate(DateSerial(2026, 3, 14) + TimeSerial(15, 9, 26))\r\n"
        "Check CDate(-1.25)\r\n"
        "Check CCur(-1234.5678)\r\n"
        "On Error Resume Next\r\n"
        "reg.Default = DateSerial(1500, 1, 1)\r\n"
        "out.WriteLine Err.Number\r\n");
    EXPECT_EQ(lines, (std::vector<std::string>{"Boolean|True|True", "Boolean|True|True", "Byte|True|True",
                                               "Date|True|True", "Date|True|True", "Currency|True|True", "6"}));
}

} // namespace
