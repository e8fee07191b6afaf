// A Databases value and a database name: the value is read or refused with error 13 and nothing else; the name's
// file name holds no character a Windows file name cannot, is never "." or "..", and gives the name back when its
// "%XX" are read (so two names never share a file); the name in brackets reads back as itself, and reaches the server
// as one quoted LIKE pattern that matches only itself.
#include "DatabaseSelection.h"
#include "FuzzCheck.h"
#include "JobOptions.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace dunmarrow;

static std::string Unescaped(const std::string& file)
{
    std::string name;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '%') {
            name += file[i];
            continue;
        }
        Require(i + 2 < file.size() && std::string_view("0123456789ABCDEF").find(file[i + 1]) != std::string::npos &&
                    std::string_view("0123456789ABCDEF").find(file[i + 2]) != std::string::npos,
                "a % not followed by two upper-case hex digits");
        name += static_cast<char>(std::stoi(file.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return name;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string selection = in.ConsumeRandomLengthString(64);
    const std::string name = in.ConsumeRandomLengthString(160);
    try {
        ReadSelection(selection);
    } catch (const brenlix::Error& error) {
        Require(error.Number() == kErrorInvalidJobValue, "a selection refused with another number");
    }
    if (name.empty()) {
        return 0;
    }
    const std::string file = DatabaseFileName(name);
    for (const char c : file) {
        Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F &&
                    std::string_view("<>:\"/\\|?*{}").find(c) == std::string_view::npos,
                "a character a file name cannot hold");
    }
    Require(file != "." && file != ".." && file.back() != '.' && file.back() != ' ', "a name that is not one file");
    Require(Unescaped(file) == name, "the file name does not give the name back");
    std::string bracketed = "[";
    for (const char c : name) {
        bracketed += c == ']' ? "]]" : std::string(1, c);
    }
    bracketed += "]";
    std::vector<SelectionItem> items;
    try {
        items = ReadSelection(bracketed);
    } catch (const brenlix::Error& error) {
        Require(error.Number() == kErrorInvalidJobValue && name.size() > 128, "a bracketed name refused");
        return 0; // longer than a database name can be
    }
    // The literal's LIKE pattern quotes each wildcard and "[" in brackets and is nothing but the name besides, and
    // the statement carries it as one N'...' literal.
    const std::vector<std::string> patterns = NamePatterns(items);
    Require(patterns.size() == 1, "a bracketed name gives another number of patterns");
    std::string literal;
    for (std::size_t i = 0; i < patterns[0].size(); ++i) {
        const char c = patterns[0][i];
        if (c == '%' || c == '_' || c == '[') {
            Require(c == '[' && i + 2 < patterns[0].size() && patterns[0][i + 2] == ']' &&
                        std::string_view("%_[").find(patterns[0][i + 1]) != std::string_view::npos,
                    "a wildcard or bracket of the name left as LIKE reads it");
            literal += patterns[0][i + 1];
            i += 2;
        } else {
            literal += c;
        }
    }
    Require(literal == name, "the pattern is not the name");
    const std::string statement = dunmarrow::sql::CatalogueStatement(patterns);
    const std::string head = ", CASE WHEN d.name LIKE N'";
    const std::size_t start = statement.find(head);
    Require(start != std::string::npos, "no LIKE column");
    std::string quoted;
    std::size_t i = start + head.size();
    for (; i < statement.size() && !(statement[i] == '\'' && statement.compare(i, 2, "''") != 0); ++i) {
        quoted += statement[i];
        i += statement[i] == '\'';
    }
    const std::string_view tail = "' THEN 1 ELSE 0 END FROM";
    Require(quoted == patterns[0] && statement.compare(i, tail.size(), tail) == 0,
            "the pattern is not one quoted literal");
    return 0;
}
