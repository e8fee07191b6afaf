#include "DatabaseSelection.h"

#include "JobOptions.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <platform/Files.h>
#include <platform/Text.h>

#include <algorithm>
#include <string_view>

namespace dunmarrow {

namespace {

constexpr std::size_t kMostNameCharacters = 128; // sysname

[[noreturn]] void Refuse(const std::string& description)
{
    throw brenlix::Error(kErrorInvalidJobValue, "Dunmarrow", description);
}

[[noreturn]] void RefuseItem(const std::string& databases, std::size_t item, const std::string& reason)
{
    Refuse("The job key Databases has the value \"" + databases + "\"; item " + std::to_string(item) + " " +
           reason + ".");
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// The characters of UTF-8 text; a byte that starts no valid sequence stands
// for itself.
std::u32string CodePoints(std::string_view text)
{
    std::u32string points;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size();
        char32_t point = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        points.push_back(valid ? point : byte);
        i += valid ? length : 1;
    }
    return points;
}

void CheckFileName(const char* key, const std::string& path)
{
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !platform::IsPathSeparator(path[nameStart - 1])) {
        --nameStart;
    }
    const char* reason = nullptr;
    if (path.find(kDatabaseField) < nameStart) {
        reason = "the folder may not change from database to database";
    } else if (path.find(kDatabaseField, nameStart) == std::string::npos) {
        reason = "each database needs a file of its own";
    }
    if (reason != nullptr) {
        Refuse(std::string("Databases needs {database} in the file name of ") + key + " (\"" + path + "\"): " +
               reason + ".");
    }
}

bool IsDeviceName(std::string_view base)
{
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
        if (SameWord(base, device)) {
            return true;
        }
    }
    return base.size() == 4 && (SameWord(base.substr(0, 3), "COM") || SameWord(base.substr(0, 3), "LPT")) &&
           base[3] >= '0' && base[3] <= '9';
}

} // namespace

std::vector<SelectionItem> ReadSelection(const std::string& databases)
{
    std::vector<SelectionItem> items;
    std::size_t i = 0;
    do {
        const std::size_t number = items.size() + 1;
        SelectionItem item;
        while (i < databases.size() && IsBlank(databases[i])) {
            ++i;
        }
        if (i < databases.size() && databases[i] == '-') {
            item.exclude = true;
            ++i;
            while (i < databases.size() && IsBlank(databases[i])) {
                ++i;
            }
        }
        if (i < databases.size() && databases[i] == '[') {
            item.kind = SelectionItem::Literal;
            if (!sql::ReadBracketed(databases, i, item.name)) {
                RefuseItem(databases, number, "has a \"[\" without its closing \"]\"");
            }
            while (i < databases.size() && IsBlank(databases[i])) {
                ++i;
            }
            if (i < databases.size() && databases[i] != ',') {
                RefuseItem(databases, number, "has text after its closing \"]\"; write \"]]\" for a \"]\" in a name");
            }
            if (item.name.empty()) {
                RefuseItem(databases, number, "names no database");
            }
        } else {
            const std::size_t end = std::min(databases.find(',', i), databases.size());
            const std::string_view text = Trimmed(std::string_view(databases).substr(i, end - i));
            i = end;
            if (text.empty()) {
                RefuseItem(databases, number,
                           "is empty; write a comma-separated list of ALL_DATABASES, USER_DATABASES, "
                           "SYSTEM_DATABASES and names");
            }
            if (text.find_first_of("[]") != std::string_view::npos) {
                RefuseItem(databases, number, "has a bracket in a name; write that name in brackets, each \"]\" doubled");
            }
            if (SameWord(text, "ALL_DATABASES")) {
                item.kind = SelectionItem::AllDatabases;
            } else if (SameWord(text, "USER_DATABASES")) {
                item.kind = SelectionItem::UserDatabases;
            } else if (SameWord(text, "SYSTEM_DATABASES")) {
                item.kind = SelectionItem::SystemDatabases;
            } else {
                item.name = std::string(text);
            }
        }
        if (CodePoints(item.name).size() > kMostNameCharacters) {
            RefuseItem(databases, number, "is longer than the 128 characters a database name can have");
        }
        items.push_back(std::move(item));
    } while (i++ < databases.size()); // past the comma
    return items;
}

void CheckDatabaseKeys(const std::string& database, const std::string& databases, const std::string& backupfile,
                       const std::string& copy2)
{
    if (Trimmed(databases).empty()) {
        return;
    }
    if (!database.empty()) {
        Refuse("The job keys Database and Databases are both given; a job backs up either the one database of "
               "Database or the databases that Databases chooses.");
    }
    // A job file's value is read up to 254 characters: a longer list would
    // lose its end unseen, and with it items that choose or exclude.
    if (CodePoints(databases).size() >= 254) {
        Refuse("The job key Databases has a value of 254 characters or more, and values are read only that far; "
               "choose with fewer, wider items (patterns and groups).");
    }
    ReadSelection(databases);
    CheckFileName("Backupfile", backupfile);
    if (!copy2.empty() && !platform::IsPathSeparator(copy2.back())) {
        CheckFileName("MakeCopy2", copy2);
    }
}

std::string DatabaseFileName(const std::string& name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto escaped = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return std::string{'%', kHex[byte >> 4], kHex[byte & 0xF]};
    };
    std::size_t keptEnd = name.size();
    while (keptEnd > 0 && (name[keptEnd - 1] == '.' || name[keptEnd - 1] == ' ')) {
        --keptEnd;
    }
    std::string file;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            // A letter beyond ASCII stays only where the code page holds it as
            // itself: a "best fit" (a full-width solidus made "/") or a "?"
            // would give the file calls another name than the server's.
            std::size_t end = i + 1;
            while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
                ++end;
            }
            const std::string letter = name.substr(i, end - i);
            const bool kept = end <= keptEnd && platform::FromAnsi(platform::ToAnsi(letter)) == letter;
            for (const char byte : letter) {
                file += kept ? std::string(1, byte) : escaped(byte);
            }
            i = end - 1;
            continue;
        }
        const bool device = i == 0 && IsDeviceName(std::string_view(name).substr(0, name.find('.')));
        if (device || i >= keptEnd || static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::string_view("<>:\"/\\|?*%{}").find(c) != std::string_view::npos) {
            file += escaped(c);
        } else {
            file += c;
        }
    }
    return file;
}

namespace {

char32_t UpperCase(char32_t c)
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F)) {
        return c - 0x20;
    }
    if (c >= 0x100 && c <= 0x17F) { // pairs: upper case first, odd-even from U+0139 to U+0148 and from U+0179
        const bool oddFirst = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        switch (c) {
        case 0x131: return U'I'; // dotless i
        case 0x17F: return U'S'; // long s
        case 0x130: case 0x138: case 0x149: case 0x178: return c;
        default: return oddFirst ? c - ((c & 1) == 0) : c & ~char32_t{1};
        }
    }
    switch (c) {
    case 0xB5: return 0x39C; // micro sign: Greek capital mu
    case 0xFF: return 0x178;
    case 0x3C2: return 0x3A3; // final sigma
    case 0x3AC: return 0x386;
    case 0x3AD: case 0x3AE: case 0x3AF: return c - 0x25;
    case 0x3CC: return 0x38C;
    case 0x3CD: case 0x3CE: return c - 0x3F;
    case 0x491: return 0x490;
    case 0x1A1: case 0x1B0: return c - 1; // Vietnamese o and u with horn
    default: return c >= 0x450 && c <= 0x45F ? c - 0x50 : c;
    }
}

} // namespace

std::u32string FileNameKey(const std::string& file)
{
    std::u32string key = CodePoints(file);
    std::transform(key.begin(), key.end(), key.begin(), UpperCase);
    return key;
}

std::string WithDatabase(const std::string& text, const std::string& name)
{
    const std::string file = DatabaseFileName(name);
    const std::string_view field = kDatabaseField;
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, from)) {
        result.append(text, from, at - from).append(file);
        from = at + field.size();
    }
    return result.append(text, from);
}

std::vector<std::string> NamePatterns(const std::vector<SelectionItem>& items)
{
    std::vector<std::string> patterns;
    for (const SelectionItem& item : items) {
        if (item.kind == SelectionItem::Pattern) {
            patterns.push_back(item.name);
        } else if (item.kind == SelectionItem::Literal) {
            std::string literal;
            for (const char c : item.name) {
                literal += c == '[' || c == '%' || c == '_' ? std::string{'[', c, ']'} : std::string(1, c);
            }
            patterns.push_back(std::move(literal));
        }
    }
    return patterns;
}

std::vector<DatabaseStep> SelectDatabases(const std::string& databases, const std::vector<CatalogueDatabase>& catalogue,
                                          sql::BackupAction action)
{
    const auto isOneOf = [](const std::string& name, std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    std::vector<bool> chosen(catalogue.size(), false);
    std::size_t pattern = 0;
    for (const SelectionItem& item : ReadSelection(databases)) {
        for (std::size_t d = 0; d < catalogue.size(); ++d) {
            const CatalogueDatabase& db = catalogue[d];
            const bool system = isOneOf(db.name, {"master", "model", "msdb"});
            bool matches = false;
            switch (item.kind) {
            case SelectionItem::AllDatabases: matches = true; break;
            case SelectionItem::UserDatabases: matches = !system && !db.distributor && db.name != "tempdb"; break;
            case SelectionItem::SystemDatabases: matches = system; break;
            case SelectionItem::Pattern:
            case SelectionItem::Literal: matches = db.matches.at(pattern); break;
            }
            if (matches) {
                chosen[d] = !item.exclude;
            }
        }
        pattern += item.kind == SelectionItem::Pattern || item.kind == SelectionItem::Literal;
    }
    std::vector<DatabaseStep> steps;
    for (std::size_t d = 0; d < catalogue.size(); ++d) {
        const CatalogueDatabase& db = catalogue[d];
        if (!chosen[d]) {
            continue;
        }
        DatabaseSkip skip = DatabaseSkip::None;
        if (db.name == "tempdb") {
            skip = DatabaseSkip::TempDb;
        } else if (db.snapshot) {
            skip = DatabaseSkip::Snapshot;
        } else if (db.state != 0) {
            skip = DatabaseSkip::NotOnline;
        } else if (!db.preferredReplica) {
            skip = DatabaseSkip::NotPreferredReplica;
        } else if (action != sql::BackupAction::Database && db.name == "master") {
            skip = DatabaseSkip::FullOnly;
        } else if (action == sql::BackupAction::Log && db.recoveryModel == 3) {
            skip = DatabaseSkip::SimpleRecovery;
        } else if (action == sql::BackupAction::Log && !db.logChain) {
            skip = DatabaseSkip::NoLogChain;
        } else if (action == sql::BackupAction::Differential && !db.differentialBase) {
            skip = DatabaseSkip::NoDifferentialBase;
        }
        steps.push_back({db.name, skip, db.stateDesc});
    }
    if (steps.empty()) {
        Refuse("The job key Databases has the value \"" + databases + "\"; it chooses no database on the server.");
    }
    return steps;
}

std::vector<CatalogueDatabase> CatalogueOf(const std::vector<sql::ResultRow>& rows, std::size_t patterns)
{
    const std::size_t columns = 9 + patterns;
    std::vector<CatalogueDatabase> catalogue;
    for (const sql::ResultRow& row : rows) {
        const auto number = [&](std::size_t column) {
            const std::optional<std::string>& text = row[column];
            if (!text || text->empty() || text->size() > 9 ||
                text->find_first_not_of("0123456789") != std::string::npos) {
                Refuse("The server's list of databases has " + (text ? "\"" + *text + "\"" : std::string("NULL")) +
                       " in column " + std::to_string(column + 1) + ", where a number belongs.");
            }
            return std::stoi(*text);
        };
        if (row.size() != columns || !row[0] || row[0]->empty()) {
            Refuse("The server's list of databases has a row without a name or with " + std::to_string(row.size()) +
                   " columns instead of " + std::to_string(columns) + ".");
        }
        CatalogueDatabase db;
        db.name = *row[0];
        db.state = number(1);
        db.stateDesc = row[2].value_or("");
        db.recoveryModel = number(3);
        db.snapshot = number(4) != 0;
        db.distributor = number(5) != 0;
        db.preferredReplica = number(6) != 0;
        db.logChain = number(7) != 0;
        db.differentialBase = number(8) != 0;
        for (std::size_t column = 9; column < columns; ++column) {
            db.matches.push_back(number(column) != 0);
        }
        catalogue.push_back(std::move(db));
    }
    return catalogue;
}

bool SkipFails(DatabaseSkip skip)
{
    return skip == DatabaseSkip::NoLogChain || skip == DatabaseSkip::NoDifferentialBase;
}

std::string SkipLine(const DatabaseStep& step)
{
    std::string reason;
    switch (step.skip) {
    case DatabaseSkip::None: return {};
    case DatabaseSkip::TempDb: reason = "tempdb kan der ikke tages backup af"; break;
    case DatabaseSkip::Snapshot: reason = "databasen er et snapshot"; break;
    case DatabaseSkip::NotOnline: reason = "databasen er ikke ONLINE, men " + step.stateDesc; break;
    case DatabaseSkip::NotPreferredReplica: reason = "serveren er ikke den foretrukne replika til backup"; break;
    case DatabaseSkip::FullOnly: reason = "af master kan der kun tages fuld backup"; break;
    case DatabaseSkip::SimpleRecovery: reason = "Type=Log, men databasen bruger simple recovery model"; break;
    case DatabaseSkip::NoLogChain: reason = "Type=Log, men databasen har endnu ingen fuld backup"; break;
    case DatabaseSkip::NoDifferentialBase: reason = "Type=Diff, men databasen har endnu ingen fuld backup"; break;
    }
    return "Springer over " + ShownName(step.name) + ": " + reason;
}

std::string ShownName(std::string name)
{
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return name;
}

brenlix::LogFileType SkipLineType(DatabaseSkip skip)
{
    if (SkipFails(skip)) {
        return brenlix::LogFileTypeError;
    }
    return skip == DatabaseSkip::NotOnline ? brenlix::LogFileTypeWarning : brenlix::LogFileTypeInformation;
}

} // namespace dunmarrow
