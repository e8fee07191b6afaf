#include "RegistryTree.h"

#include <platform/Win32.h>

#include <algorithm>
#include <utility>

namespace platform::posix {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
// Where regedit breaks a long hex list: after the comma that passes this column.
constexpr std::size_t kWrapColumn = 76;

// A REG_SZ that the quoted form gives back exactly: one NUL, at the end, and
// no line break.
bool QuotableString(const RegistryValue& value)
{
    const std::string& data = value.data;
    return value.type == REG_SZ && !data.empty() && data.back() == '\0' &&
           data.find_first_of(std::string_view("\0\r\n", 3)) == data.size() - 1;
}

void AppendQuoted(std::string_view text, std::string& out)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

void AppendHexByte(unsigned char byte, std::string& out)
{
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

void AppendHexList(const RegistryValue& value, std::size_t lineStart, std::string& out)
{
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        char type[16];
        int n = 0;
        std::uint32_t rest = value.type;
        do {
            type[n++] = kHexDigits[rest & 0x0F];
            rest >>= 4;
        } while (rest != 0);
        out += "hex(";
        while (n > 0) {
            out += type[--n];
        }
        out += "):";
    }
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) {
            out += ',';
            if (++column > kWrapColumn) {
                out += "\\\r\n  ";
                column = 2;
            }
        }
        AppendHexByte(static_cast<unsigned char>(value.data[i]), out);
        column += 2;
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool SameAsciiText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'a' && x <= 'z' ? x - 0x20 : x) == (y >= 'a' && y <= 'z' ? y - 0x20 : y);
           });
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads the text of the line in the text at pos (without its line end) and
// moves pos past it; false at the end.
bool NextLine(std::string_view text, std::size_t& pos, std::string_view& line)
{
    if (pos >= text.size()) {
        return false;
    }
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    pos = end + 1;
    return true;
}

// Reads a quoted text at the start of input (which starts with '"'); false
// when it is not closed.
bool ReadQuoted(std::string_view& input, std::string& text)
{
    text.clear();
    for (std::size_t i = 1; i < input.size(); ++i) {
        const char c = input[i];
        if (c == '"') {
            input.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < input.size()) {
            const char next = input[++i];
            switch (next) {
            case '\\':
            case '"':
                text += next;
                break;
            case 'r':
                text += '\r';
                break;
            case 'n':
                text += '\n';
                break;
            default: // not ours: keep it as it stands
                text += '\\';
                text += next;
            }
        } else {
            text += c;
        }
    }
    return false;
}

bool ReadHexNumber(std::string_view digits, std::uint32_t& number)
{
    if (digits.empty() || digits.size() > 8) {
        return false;
    }
    number = 0;
    for (const char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) {
            return false;
        }
        number = (number << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

bool ReadHexList(std::string_view list, std::string& bytes)
{
    bytes.clear();
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string_view::npos) {
            comma = list.size();
        }
        std::string_view item = list.substr(pos, comma - pos);
        while (!item.empty() && IsBlank(item.front())) {
            item.remove_prefix(1);
        }
        while (!item.empty() && IsBlank(item.back())) {
            item.remove_suffix(1);
        }
        std::uint32_t byte = 0;
        if (item.size() > 2 || !ReadHexNumber(item, byte)) {
            if (item.empty() && comma == list.size()) {
                break; // a trailing comma
            }
            return false;
        }
        bytes += static_cast<char>(byte);
        pos = comma + 1;
    }
    return true;
}

// Reads the data of a value line (after "="); false when it cannot.
bool ReadData(std::string_view data, std::uint32_t& type, std::string& bytes, bool& remove)
{
    remove = false;
    if (data == "-") {
        remove = true;
        return true;
    }
    if (!data.empty() && data.front() == '"') {
        if (!ReadQuoted(data, bytes)) {
            return false;
        }
        bytes += '\0';
        type = REG_SZ;
        return true;
    }
    if (data.substr(0, 6) == "dword:") {
        std::uint32_t number = 0;
        if (!ReadHexNumber(data.substr(6), number)) {
            return false;
        }
        bytes.assign(4, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        type = REG_DWORD;
        return true;
    }
    if (data.substr(0, 4) == "hex:") {
        type = REG_BINARY;
        return ReadHexList(data.substr(4), bytes);
    }
    if (data.substr(0, 4) == "hex(") {
        const std::size_t close = data.find("):");
        return close != std::string_view::npos && ReadHexNumber(data.substr(4, close - 4), type) &&
               ReadHexList(data.substr(close + 2), bytes);
    }
    return false;
}

std::vector<std::string_view> SplitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('\\', pos);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > pos) {
            parts.push_back(path.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    return parts;
}

} // namespace

std::string RegistryLookupName(std::string_view name, NameFolding folding)
{
    // Windows orders names upper-cased ("_" after the letters).
    std::string lookup = FoldName(name, folding);
    for (char& c : lookup) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 0x20);
        }
    }
    return lookup;
}

std::string RegistryValueLine(const RegistryValue& value)
{
    std::string line;
    line.reserve(value.name.size() + 2 * value.data.size() + 16);
    if (value.name.empty()) {
        line += '@';
    } else {
        AppendQuoted(value.name, line);
    }
    line += '=';
    if (QuotableString(value)) {
        AppendQuoted(std::string_view(value.data).substr(0, value.data.size() - 1), line);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        line += "dword:";
        for (int i = 3; i >= 0; --i) {
            AppendHexByte(static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]), line);
        }
    } else {
        AppendHexList(value, 0, line);
    }
    line += "\r\n";
    return line;
}

RegistryKey::RegistryKey(std::string name, NameFolding folding)
    : name_(std::move(name)), lookup_(RegistryLookupName(name_, folding)), folding_(folding)
{
}

// Frees the keys below one at a time, each emptied of its subkeys first, so a
// deep tree costs no stack.
RegistryKey::~RegistryKey()
{
    std::vector<std::unique_ptr<RegistryKey>> pending = std::move(subkeys_);
    while (!pending.empty()) {
        std::unique_ptr<RegistryKey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& subkey : key->subkeys_) {
            pending.push_back(std::move(subkey));
        }
        key->subkeys_.clear();
    }
}

std::vector<std::unique_ptr<RegistryKey>>::const_iterator RegistryKey::FindSlot(const std::string& lookup) const
{
    return std::lower_bound(subkeys_.begin(), subkeys_.end(), lookup,
                            [](const std::unique_ptr<RegistryKey>& key, const std::string& name) {
                                return key->lookup_ < name;
                            });
}

const RegistryKey* RegistryKey::Subkey(std::string_view name) const
{
    const std::string lookup = RegistryLookupName(name, folding_);
    const auto slot = FindSlot(lookup);
    return slot != subkeys_.end() && (*slot)->lookup_ == lookup ? slot->get() : nullptr;
}

RegistryKey* RegistryKey::Subkey(std::string_view name)
{
    return const_cast<RegistryKey*>(std::as_const(*this).Subkey(name));
}

RegistryKey& RegistryKey::MakeSubkey(std::string_view name, bool& created)
{
    const std::string lookup = RegistryLookupName(name, folding_);
    const auto slot = FindSlot(lookup);
    if (slot != subkeys_.end() && (*slot)->lookup_ == lookup) {
        created = false;
        return **slot;
    }
    created = true;
    return **subkeys_.insert(slot, std::make_unique<RegistryKey>(std::string(name), folding_));
}

bool RegistryKey::RemoveSubkey(std::string_view name)
{
    const std::string lookup = RegistryLookupName(name, folding_);
    const auto slot = FindSlot(lookup);
    if (slot == subkeys_.end() || (*slot)->lookup_ != lookup) {
        return false;
    }
    subkeys_.erase(slot);
    return true;
}

const RegistryValue* RegistryKey::Value(std::string_view name) const
{
    const auto found = valueAt_.find(RegistryLookupName(name, folding_));
    return found == valueAt_.end() ? nullptr : &values_[found->second];
}

bool RegistryKey::SetValue(std::string_view name, std::uint32_t type, std::string_view data)
{
    std::string lookup = RegistryLookupName(name, folding_);
    const auto found = valueAt_.find(lookup);
    if (found != valueAt_.end()) {
        RegistryValue& value = values_[found->second];
        if (value.type == type && value.data == data) {
            return false;
        }
        value.type = type;
        value.data.assign(data);
        value.line.clear();
        return true;
    }
    valueAt_.emplace(std::move(lookup), values_.size());
    values_.push_back(RegistryValue{std::string(name), type, std::string(data), std::string()});
    return true;
}

bool RegistryKey::RemoveValue(std::string_view name)
{
    const auto found = valueAt_.find(RegistryLookupName(name, folding_));
    if (found == valueAt_.end()) {
        return false;
    }
    const std::size_t index = found->second;
    valueAt_.erase(found);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& [lookup, at] : valueAt_) {
        if (at > index) {
            --at;
        }
    }
    return true;
}

RegistryHive::RegistryHive(std::string rootName, NameFolding folding)
    : rootName_(std::move(rootName)), root_(std::string(), folding)
{
}

RegistryKey* RegistryHive::Find(const std::vector<std::string>& path)
{
    return const_cast<RegistryKey*>(std::as_const(*this).Find(path));
}

const RegistryKey* RegistryHive::Find(const std::vector<std::string>& path) const
{
    const RegistryKey* key = &root_;
    for (const std::string& name : path) {
        key = key->Subkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

std::unique_ptr<RegistryHive> RegistryHive::FromText(std::string_view text, std::string rootName, NameFolding folding,
                                                     std::size_t maxDepth)
{
    auto hive = std::make_unique<RegistryHive>(std::move(rootName), folding);
    RegistryKey* current = nullptr;
    std::size_t pos = 0;
    std::string_view line;
    std::string name;
    std::string data;
    std::string joined;
    while (NextLine(text, pos, line)) {
        while (!line.empty() && IsBlank(line.front())) {
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() == ';' || line == "REGEDIT4") {
            continue;
        }
        if (line.front() == '[') {
            current = nullptr;
            const std::size_t close = line.find_last_of(']');
            if (close == std::string_view::npos) {
                continue;
            }
            std::string_view path = line.substr(1, close - 1);
            const bool removal = !path.empty() && path.front() == '-';
            if (removal) {
                path.remove_prefix(1);
            }
            const std::vector<std::string_view> parts = SplitPath(path);
            if (parts.empty() || !SameAsciiText(parts.front(), hive->rootName_)) {
                continue;
            }
            if (parts.size() - 1 > maxDepth) {
                return nullptr;
            }
            RegistryKey* key = &hive->root_;
            for (std::size_t i = 1; i < parts.size() && key != nullptr; ++i) {
                if (removal && i + 1 == parts.size()) {
                    key->RemoveSubkey(parts[i]);
                    key = nullptr;
                } else if (removal) {
                    key = key->Subkey(parts[i]);
                } else {
                    bool created = false;
                    key = &key->MakeSubkey(parts[i], created);
                }
            }
            current = removal ? nullptr : key;
            continue;
        }
        if (current == nullptr || (line.front() != '@' && line.front() != '"')) {
            continue;
        }
        std::string_view rest = line;
        if (rest.front() == '@') {
            name.clear();
            rest.remove_prefix(1);
        } else if (!ReadQuoted(rest, name)) {
            continue;
        }
        while (!rest.empty() && IsBlank(rest.front())) {
            rest.remove_prefix(1);
        }
        if (rest.empty() || rest.front() != '=') {
            continue;
        }
        rest.remove_prefix(1);
        while (!rest.empty() && IsBlank(rest.front())) {
            rest.remove_prefix(1);
        }
        while (!rest.empty() && IsBlank(rest.back())) {
            rest.remove_suffix(1);
        }
        if (rest.substr(0, 3) == "hex" && !rest.empty() && rest.back() == '\\') {
            // A hex list that goes on over the next lines.
            joined.assign(rest.substr(0, rest.size() - 1));
            std::string_view more;
            bool goesOn = true;
            while (goesOn && NextLine(text, pos, more)) {
                while (!more.empty() && IsBlank(more.front())) {
                    more.remove_prefix(1);
                }
                while (!more.empty() && IsBlank(more.back())) {
                    more.remove_suffix(1);
                }
                goesOn = !more.empty() && more.back() == '\\';
                joined.append(more.substr(0, goesOn ? more.size() - 1 : more.size()));
            }
            rest = joined;
        }
        std::uint32_t type = 0;
        bool remove = false;
        if (!ReadData(rest, type, data, remove)) {
            continue;
        }
        if (remove) {
            current->RemoveValue(name);
        } else {
            current->SetValue(name, type, data);
        }
    }
    return hive;
}

void RegistryHive::WriteText(std::string& out) const
{
    out += "REGEDIT4\r\n\r\n";
    // Depth first, each key before its subkeys; a frame per key on the way
    // down, with the length of the path above it.
    struct Frame {
        const RegistryKey* key;
        std::size_t next; // the subkey to write next
        std::size_t pathLength;
    };
    std::vector<Frame> stack;
    std::string path = rootName_;
    const RegistryKey* key = &root_;
    for (;;) {
        out += '[';
        out += path;
        out += "]\r\n";
        for (const RegistryValue& value : key->values_) {
            if (value.line.empty()) {
                value.line = RegistryValueLine(value);
            }
            out += value.line;
        }
        out += "\r\n";
        stack.push_back(Frame{key, 0, path.size()});
        key = nullptr;
        while (key == nullptr && !stack.empty()) {
            Frame& top = stack.back();
            path.resize(top.pathLength);
            if (top.next < top.key->subkeys_.size()) {
                key = top.key->subkeys_[top.next++].get();
                path += '\\';
                path += key->name_;
            } else {
                stack.pop_back();
            }
        }
        if (key == nullptr) {
            return;
        }
    }
}

} // namespace platform::posix
