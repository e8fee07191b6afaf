#include "ProfileText.h"

#include <algorithm>
#include <cstring>
#include <langinfo.h>
#include <strings.h>

namespace platform::posix {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

bool IsUpperLatin1(unsigned char c)
{
    return c >= 0xC0 && c <= 0xDE && c != 0xD7; // À-Þ without ×
}

} // namespace

NameFolding CurrentNameFolding()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "UTF-8") == 0 ||
        std::strcmp(codeset, "ANSI_X3.4-1968") == 0 || std::strcmp(codeset, "ASCII") == 0) {
        return NameFolding::Utf8Latin1; // the C locale counts as UTF-8, as for the text conversions
    }
    for (const char* latin : {"ISO-8859-1", "ISO-8859-15", "CP1252", "WINDOWS-1252"}) {
        if (strcasecmp(codeset, latin) == 0) {
            return NameFolding::Latin1;
        }
    }
    return NameFolding::Ascii;
}

std::string FoldName(std::string_view name, NameFolding folding)
{
    std::string folded(name);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c + 0x20);
        } else if (folding == NameFolding::Latin1 && IsUpperLatin1(c)) {
            folded[i] = static_cast<char>(c + 0x20);
        } else if (folding == NameFolding::Utf8Latin1 && c == 0xC3 && i + 1 < folded.size()) {
            // U+00C0-U+00DE are C3 80-9E in UTF-8; their small letters C3 A0-BE.
            const auto d = static_cast<unsigned char>(folded[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) {
                folded[i + 1] = static_cast<char>(d + 0x20);
            }
            ++i;
        }
    }
    return folded;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

ProfileText::ProfileText(std::string text, NameFolding folding, bool utf16)
    : text_(std::move(text)), folding_(folding), utf16_(utf16)
{
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        start_ = 3;
    }
    sections_.push_back(Section{npos, 0, 0}); // the lines above the first section
    sectionByName_.emplace(std::string(), 0);
    bool newlineSeen = false;
    const std::string_view all(text_);
    for (std::size_t at = start_; at < text_.size();) {
        Line line;
        line.begin = at;
        line.end = text_.find_first_of("\r\n", at);
        if (line.end == npos) {
            line.end = line.next = text_.size();
        } else {
            line.next = line.end + (text_.compare(line.end, 2, "\r\n") == 0 ? 2 : 1);
            if (!newlineSeen) {
                newline_ = text_.substr(line.end, line.next - line.end);
                newlineSeen = true;
            }
        }
        at = line.next;

        // Windows sees each line as a C string: a NUL ends its text.
        const std::string_view raw = all.substr(line.begin, line.end - line.begin);
        const std::string_view content = TrimBlanks(raw.substr(0, raw.find('\0')));
        line.text = content;
        const std::size_t index = lines_.size();
        if (content.empty()) {
            line.kind = Kind::Blank;
        } else if (content.front() == '[') {
            const std::size_t close = content.find(']');
            if (close == npos) {
                line.kind = Kind::Other;
            } else {
                line.kind = Kind::Header;
                line.name = TrimBlanks(content.substr(1, close - 1));
                sections_.back().end = index;
                sections_.push_back(Section{index, index + 1, index + 1});
                sectionByName_.emplace(FoldName(line.name, folding_), sections_.size() - 1);
            }
        } else {
            const std::size_t equals = content.find('=');
            line.kind = content.front() == ';' ? Kind::Comment : equals == npos ? Kind::Other : Kind::Key;
            if (equals != npos) {
                line.name = TrimBlanks(content.substr(0, equals));
                line.value = TrimBlanks(content.substr(equals + 1));
                const std::size_t afterEquals = static_cast<std::size_t>(content.data() - text_.data()) + equals + 1;
                line.valueAt = line.value.empty() ? afterEquals
                                                  : static_cast<std::size_t>(line.value.data() - text_.data());
                keyByPath_.emplace(KeyPath(sections_.size() - 1, line.name), index);
            }
        }
        lines_.push_back(line);
    }
    sections_.back().end = lines_.size();
}

std::string ProfileText::KeyPath(std::size_t section, std::string_view key) const
{
    return std::to_string(section) + ':' + FoldName(key, folding_);
}

const ProfileText::Section* ProfileText::FindSection(std::string_view section) const
{
    const auto found = sectionByName_.find(FoldName(TrimBlanks(section), folding_));
    return found == sectionByName_.end() ? nullptr : &sections_[found->second];
}

const ProfileText::Line* ProfileText::FindKey(const Section& section, std::string_view key) const
{
    const auto found = keyByPath_.find(KeyPath(static_cast<std::size_t>(&section - sections_.data()), TrimBlanks(key)));
    return found == keyByPath_.end() ? nullptr : &lines_[found->second];
}

bool ProfileText::HasSection(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

std::optional<std::string_view> ProfileText::Value(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(section);
    const Line* line = found != nullptr ? FindKey(*found, key) : nullptr;
    if (line == nullptr) {
        return std::nullopt;
    }
    return line->value;
}

std::string ProfileText::SectionNames() const
{
    std::string names;
    for (const Line& line : lines_) {
        // A caller walks the list up to its first empty name, so "[]" is left out.
        if (line.kind == Kind::Header && !line.name.empty()) {
            names.append(line.name);
            names.push_back('\0');
        }
    }
    return names;
}

std::string ProfileText::KeyNames(std::string_view section) const
{
    std::string names;
    if (const Section* found = FindSection(section)) {
        for (std::size_t i = found->first; i < found->end; ++i) {
            if (lines_[i].kind == Kind::Key) {
                names.append(lines_[i].name);
                names.push_back('\0');
            }
        }
    }
    return names;
}

std::string ProfileText::SectionLines(std::string_view section) const
{
    std::string result;
    if (const Section* found = FindSection(section)) {
        for (std::size_t i = found->first; i < found->end; ++i) {
            const Line& line = lines_[i];
            if (line.kind == Kind::Key) {
                result.append(line.name);
                result.push_back('=');
                result.append(line.value);
                result.push_back('\0');
            } else if (line.kind == Kind::Other) {
                result.append(line.text);
                result.push_back('\0');
            }
        }
    }
    return result;
}

std::size_t ProfileText::InsertPosition(const Section& section) const
{
    for (std::size_t i = section.end; i > section.first; --i) {
        if (lines_[i - 1].kind == Kind::Key || lines_[i - 1].kind == Kind::Other) {
            return lines_[i - 1].next;
        }
    }
    return section.header != npos ? lines_[section.header].next : start_;
}

std::string ProfileText::Splice(std::size_t from, std::size_t to, const std::vector<std::string>& lines) const
{
    std::string result = text_.substr(0, from);
    if (!lines.empty() && from > start_ && text_[from - 1] != '\n' && text_[from - 1] != '\r') {
        result += newline_;
    }
    for (const std::string& line : lines) {
        result += line;
        result += newline_;
    }
    result.append(text_, to, npos);
    return result;
}

std::optional<std::string> ProfileText::WithValue(std::string_view section, std::string_view key,
                                                  std::string_view value) const
{
    const std::string keyLine = std::string(TrimBlanks(key)) + '=' + std::string(value);
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return Splice(text_.size(), text_.size(), {'[' + std::string(TrimBlanks(section)) + ']', keyLine});
    }
    if (const Line* line = FindKey(*found, key)) {
        if (std::string_view(text_).substr(line->valueAt, line->end - line->valueAt) == value) {
            return std::nullopt;
        }
        return text_.substr(0, line->valueAt) + std::string(value) + text_.substr(line->end);
    }
    const std::size_t at = InsertPosition(*found);
    return Splice(at, at, {keyLine});
}

std::optional<std::string> ProfileText::WithoutKey(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(section);
    const Line* line = found != nullptr ? FindKey(*found, key) : nullptr;
    if (line == nullptr) {
        return std::nullopt;
    }
    return text_.substr(0, line->begin) + text_.substr(line->next);
}

std::optional<std::string> ProfileText::WithoutSection(std::string_view section) const
{
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    const std::size_t from = found->header != npos ? lines_[found->header].begin : start_;
    const std::size_t to = found->end < lines_.size() ? lines_[found->end].begin : text_.size();
    if (from == to) {
        return std::nullopt;
    }
    return text_.substr(0, from) + text_.substr(to);
}

std::optional<std::string> ProfileText::WithSectionLines(std::string_view section,
                                                         const std::vector<std::string_view>& lines) const
{
    std::vector<std::string> body(lines.begin(), lines.end());
    const Section* found = FindSection(section);
    if (found == nullptr) {
        body.insert(body.begin(), '[' + std::string(TrimBlanks(section)) + ']');
        return Splice(text_.size(), text_.size(), body);
    }
    const std::size_t from = found->header != npos ? lines_[found->header].next : start_;
    const std::size_t to = std::max(from, InsertPosition(*found));
    std::string result = Splice(from, to, body);
    if (result == text_) {
        return std::nullopt;
    }
    return result;
}

} // namespace platform::posix
