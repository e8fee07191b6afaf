// The text of an INI file read the way the profile functions read it, and the
// edits they make to it. The text is kept as it stands: an edit changes only
// the lines it concerns, so every other byte of the file stays as it was.
//
// Reading rules (as Windows): a line ends at CR LF, LF or CR; blanks around
// section names, key names and values are ignored; names compare without
// regard to case; "[name]" starts a section (text after the "]" is ignored);
// "key=value" is a key; a line starting with ";" is a comment, which a direct
// query still finds but no listing shows; any other line belongs to its
// section and is listed by the section read, but is no key. Lines above the
// first section form a section without a name (""). Of two sections or keys
// with the same name, the first counts. A UTF-8 byte order mark is skipped. A
// NUL byte ends the text of its line, so a line holding only a NUL is blank.
//
// Writing rules: a new line gets the line ending of the file's first line (CR
// LF for a file without one, as Windows writes); a key is changed where it
// stands, keeping everything up to its value; a new key goes after the last
// key or other line of its section, so the blank lines and comments that
// lead to the next section stay with it; a new section goes at the end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::posix {

// How names are compared: ASCII letters always; also the Latin-1 letters
// (À-Þ with à-þ) when the ANSI code set holds them, as one byte in
// ISO-8859-1/-15 or CP1252, or as two in UTF-8.
enum class NameFolding { Ascii, Latin1, Utf8Latin1 };

// The folding for the locale's code set as it is now.
NameFolding CurrentNameFolding();

std::string FoldName(std::string_view name, NameFolding folding);

std::string_view TrimBlanks(std::string_view text);

class ProfileText {
public:
    // utf16: the file holds the text in UTF-16 (it starts with that byte order
    // mark), so it is written back so; text is in the ANSI code page either way.
    explicit ProfileText(std::string text, NameFolding folding = NameFolding::Ascii, bool utf16 = false);
    // The parsed lines refer into the text, so it stays where it is.
    ProfileText(const ProfileText&) = delete;
    ProfileText& operator=(const ProfileText&) = delete;

    const std::string& Text() const { return text_; }
    NameFolding Folding() const { return folding_; }
    bool Utf16() const { return utf16_; }

    bool HasSection(std::string_view section) const;

    // The key's value with blanks trimmed and quotes kept; nullopt when the
    // section or the key is missing.
    std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

    // Each name followed by a NUL, in file order (sections without a name,
    // above the first header or from "[]", are not listed).
    std::string SectionNames() const;
    // The keys of the section, each followed by a NUL; empty when the section
    // is missing or has no keys.
    std::string KeyNames(std::string_view section) const;
    // The section's lines as GetPrivateProfileSection gives them ("key=value"
    // with blanks trimmed, other lines trimmed, comments and blank lines left
    // out), each followed by a NUL.
    std::string SectionLines(std::string_view section) const;

    // The edits give the new text, or nullopt when the text would not change.
    std::optional<std::string> WithValue(std::string_view section, std::string_view key,
                                         std::string_view value) const;
    std::optional<std::string> WithoutKey(std::string_view section, std::string_view key) const;
    std::optional<std::string> WithoutSection(std::string_view section) const;
    // Replaces the section's lines, up to its last key or other line, with
    // these; creates the section at the end when it is missing.
    std::optional<std::string> WithSectionLines(std::string_view section,
                                                const std::vector<std::string_view>& lines) const;

private:
    enum class Kind { Blank, Header, Key, Comment, Other };
    static constexpr std::size_t npos = std::string::npos;

    struct Line {
        std::size_t begin = 0; // first byte of the line
        std::size_t end = 0;   // end of its text, where its line ending starts
        std::size_t next = 0;  // first byte of the next line
        Kind kind = Kind::Blank;
        std::string_view text;  // the line trimmed, up to a NUL
        std::string_view name;  // trimmed section or key name
        std::string_view value; // trimmed value of a key
        std::size_t valueAt = 0; // where a key's value starts (just after "=" when it is empty)
    };

    struct Section {
        std::size_t header = npos; // line index of "[name]"; npos for the lines above the first
        std::size_t first = 0;     // first line after the header
        std::size_t end = 0;       // the next header's line, or the number of lines
    };

    const Section* FindSection(std::string_view section) const;
    const Line* FindKey(const Section& section, std::string_view key) const;
    // Where a line added to the section goes: after its last key or other line.
    std::size_t InsertPosition(const Section& section) const;
    // The text with bytes [from, to) replaced by the lines, each given a line
    // ending; a line ending is added first when the byte before has none.
    std::string Splice(std::size_t from, std::size_t to, const std::vector<std::string>& lines) const;
    std::string KeyPath(std::size_t section, std::string_view key) const;

    std::string text_;
    NameFolding folding_;
    bool utf16_;
    std::string newline_ = "\r\n";
    std::size_t start_ = 0; // after a byte order mark
    std::vector<Line> lines_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionByName_; // folded name -> first section
    std::unordered_map<std::string, std::size_t> keyByPath_;     // "section#:folded key" -> first line
};

} // namespace platform::posix
