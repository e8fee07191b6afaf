// A key=value the INI format can hold, written into any text, reads back
// exactly; every other key and section reads as it did before.
#include "FuzzCheck.h"
#include "ProfileText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

using namespace platform::posix;

// One line's worth of text without blanks at either end.
static bool Holdable(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && TrimBlanks(text) == text;
}

// The names of a SectionNames() or KeyNames() list.
static std::vector<std::string> Names(const std::string& list)
{
    std::vector<std::string> names;
    for (std::size_t at = 0; at < list.size(); at = list.find('\0', at) + 1) {
        names.emplace_back(list.substr(at, list.find('\0', at) - at));
    }
    return names;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto folding = static_cast<NameFolding>(in.ConsumeIntegralInRange(0, 2));
    const std::string section = in.ConsumeRandomLengthString(16);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(32);
    if (section.empty() || key.empty() || !Holdable(section) || !Holdable(key) || !Holdable(value) ||
        section.find(']') != std::string::npos || key.find('=') != std::string::npos || key[0] == ';' ||
        key[0] == '[') {
        return 0;
    }
    const ProfileText before(in.ConsumeRemainingBytesAsString(), folding);
    const auto text = before.WithValue(section, key, value);
    if (!text) {
        Require(before.Value(section, key) == value, "an edit that changes the value gave no new text");
        return 0;
    }
    const ProfileText after(*text, folding);
    Require(after.Value(section, key) == value, "the value written does not read back");

    const std::string folded = FoldName(section, folding);
    const std::string sections = before.SectionNames();
    Require(after.SectionNames() == (before.HasSection(section) ? sections : sections + section + '\0'),
            "the list of sections changed");
    Require(after.SectionLines("") == before.SectionLines(""), "the lines above the first section changed");
    for (const std::string& name : Names(sections)) {
        if (FoldName(name, folding) != folded) {
            Require(after.SectionLines(name) == before.SectionLines(name), "another section changed");
        }
    }
    const std::string keys = before.KeyNames(section);
    const bool added = !before.Value(section, key);
    Require(after.KeyNames(section) == (added ? keys + key + '\0' : keys), "the keys of the section changed");
    if (added) {
        Require(after.SectionLines(section) == before.SectionLines(section) + key + '=' + value + '\0',
                "the new key is not the last line of its section");
    }
    for (const std::string& other : Names(keys)) {
        if (FoldName(other, folding) != FoldName(key, folding)) {
            Require(after.Value(section, other) == before.Value(section, other), "another key changed");
        }
    }
    return 0;
}
