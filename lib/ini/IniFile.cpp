#include <brenlix/Error.h>
#include <brenlix/IniFile.h>

#include <platform/Files.h>
#include <platform/Notice.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include <algorithm>
#include <climits>

namespace brenlix {

namespace {

// A value is at most 254 characters. The profile functions count bytes of the
// ANSI code page, where a character may take several (UTF-8 on Linux), so the
// value is read with room for 254 of the widest and cut by characters.
constexpr std::size_t kValueCharacters = 254;
constexpr DWORD kValueBuffer = kValueCharacters * 4 + 1;
constexpr DWORD kSectionBuffer = 4096;
constexpr std::int32_t kErrorOverflow = 6;
const char* const kSource = "Brenlix";

std::string Trim(const std::string& text, const char* blanks = " ")
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// ASCII letters only, whatever the locale: the words it is compared with are
// ASCII, and the bytes of UTF-8 text must stay as they are.
std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 0x20);
        }
    }
    return text;
}

// Section names as the profile functions compare them: ASCII letters and the
// Latin-1 letters À-Þ (× apart) fold to à-þ. The rule runs on the UTF-8 form
// of the names, so it is one rule whatever the code page: a name read from a
// 1252 or ISO-8859-1 file arrives here converted, and its letters fold the
// same as they do in the file.
std::string FoldName(std::string text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'A' && c <= 'Z') {
            text[i] = static_cast<char>(c + 0x20);
        } else if (c == 0xC3 && i + 1 < text.size()) {
            const auto d = static_cast<unsigned char>(text[i + 1]);
            if (d >= 0x80 && d <= 0x9E && d != 0x97) { // C3 80-9E, their small letters C3 A0-BE
                text[i + 1] = static_cast<char>(d + 0x20);
            }
            ++i;
        }
    }
    return text;
}

// The profile functions, on the named file or, in WIN.INI mode, on WIN.INI.
struct Profile {
    bool winIni;
    std::string file; // ANSI

    std::string ReadString(const std::string& section, const std::string& entry, const std::string& fallback) const
    {
        char buffer[kValueBuffer] = {};
        const std::string s = platform::ToAnsi(section);
        const std::string e = platform::ToAnsi(entry);
        const std::string d = platform::ToAnsi(fallback);
        const DWORD n = winIni ? GetProfileStringA(s.c_str(), e.c_str(), d.c_str(), buffer, kValueBuffer)
                               : GetPrivateProfileStringA(s.c_str(), e.c_str(), d.c_str(), buffer, kValueBuffer,
                                                          file.c_str());
        std::string value = platform::FromAnsi(std::string(buffer, std::min(n, kValueBuffer - 1)));
        std::size_t characters = 0;
        for (std::size_t i = 0; i < value.size(); ++i) {
            // UTF-8: a character starts at each byte that is not 10xxxxxx.
            if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && characters++ == kValueCharacters) {
                value.resize(i);
                break;
            }
        }
        return value;
    }

    UINT ReadInt(const std::string& section, const std::string& entry, int fallback) const
    {
        const std::string s = platform::ToAnsi(section);
        const std::string e = platform::ToAnsi(entry);
        return winIni ? GetProfileIntA(s.c_str(), e.c_str(), fallback)
                      : GetPrivateProfileIntA(s.c_str(), e.c_str(), fallback, file.c_str());
    }

    std::string ReadSection(const std::string& section) const
    {
        std::string buffer(kSectionBuffer, '\0');
        const std::string s = platform::ToAnsi(section);
        const DWORD n = winIni ? GetProfileSectionA(s.c_str(), buffer.data(), kSectionBuffer)
                               : GetPrivateProfileSectionA(s.c_str(), buffer.data(), kSectionBuffer, file.c_str());
        buffer.resize(std::min<std::size_t>(n + 1, kSectionBuffer));
        return platform::FromAnsi(buffer);
    }

    // A null entry or value removes; all three null flushes the cache.
    BOOL Write(const std::string* section, const std::string* entry, const std::string* value) const
    {
        std::string s;
        std::string e;
        std::string v;
        if (section) {
            s = platform::ToAnsi(*section);
        }
        if (entry) {
            e = platform::ToAnsi(*entry);
        }
        if (value) {
            v = platform::ToAnsi(*value);
        }
        const char* sp = section ? s.c_str() : nullptr;
        const char* ep = entry ? e.c_str() : nullptr;
        const char* vp = value ? v.c_str() : nullptr;
        return winIni ? WriteProfileStringA(sp, ep, vp) : WritePrivateProfileStringA(sp, ep, vp, file.c_str());
    }

    BOOL WriteSection(const std::string& section, const std::string& entries) const
    {
        const std::string s = platform::ToAnsi(section);
        // The entries are a list of NUL-ended lines ending in one more NUL.
        std::string list = platform::ToAnsi(entries);
        list.push_back('\0');
        list.push_back('\0');
        return winIni ? WriteProfileSectionA(s.c_str(), list.c_str())
                      : WritePrivateProfileSectionA(s.c_str(), list.c_str(), file.c_str());
    }
};

} // namespace

// ---- properties ----------------------------------------------------------

void IniFile::UseWinINI(bool value)
{
    if (value == useWinIni_) {
        return;
    }
    useWinIni_ = value;
    if (value) {
        char buffer[kValueBuffer] = {};
        const UINT n = GetWindowsDirectoryA(buffer, kValueBuffer);
        const std::string folder = platform::FromAnsi(std::string(buffer, std::min<UINT>(n, kValueBuffer)));
        fullPath_ = folder + platform::PathSeparator() + "WIN.INI";
        filePath_ = ExtractPath(fullPath_);
        fileName_ = ExtractName(fullPath_, exnFullName);
    } else {
        FullPath(privPath_);
    }
}

void IniFile::FullPath(const std::string& value)
{
    privPath_ = value;
    fullPath_ = value;
    filePath_ = ExtractPath(fullPath_);
    fileName_ = ExtractName(fullPath_, exnFullName);
    fileExt_ = ExtractName(fullPath_, exnOnlyExtn);
    registered_ = !Trim(sectionName_).empty();
    useWinIni_ = false;
}

void IniFile::SectionName(const std::string& value)
{
    sectionName_ = value;
    registered_ = !Trim(value).empty();
}

// ---- path splitting --------------------------------------------------------

std::string IniFile::ExtractName(const std::string& PathIn, std::int32_t RetChoice) const
{
    const std::string path = PathIn.empty() ? fullPath_ : PathIn;
    std::string name;
    const std::size_t separator = path.rfind(platform::PathSeparator());
    if (separator != std::string::npos) {
        name = path.substr(separator + 1);
    } else if (platform::HasDrives() && path.find(':') == 1) {
        name = path.substr(2);
    } else {
        name = path;
    }
    // A name that starts with its dot is all extension: ".ini" gives "" and "ini".
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos) {
        if (RetChoice == exnFullName) {
            return name.substr(0, dot);
        }
        if (RetChoice == exnOnlyExtn) {
            return name.substr(dot + 1);
        }
    }
    return name;
}

std::string IniFile::ExtractPath(const std::string& PathIn) const
{
    const std::string path = PathIn.empty() ? fullPath_ : PathIn;
    std::string folder;
    const std::size_t separator = path.rfind(platform::PathSeparator());
    if (separator != std::string::npos) {
        folder = path.substr(0, separator);
    } else if (platform::HasDrives() && path.find(':') == 1) {
        folder = platform::DriveCurrentDirectory(path[0]);
        if (folder.empty()) {
            folder = platform::CurrentDirectory();
        }
    } else {
        folder = platform::CurrentDirectory();
    }
    if (!folder.empty() && folder.back() == platform::PathSeparator()) {
        folder.pop_back();
    }
    return folder;
}

// ---- the guard ---------------------------------------------------------------

// Entry operations need a section. Without one the user is told, and the
// operation returns its empty result without touching any file. Nobody may be
// there to answer a message box, so the notice only shows one on a desktop.
bool IniFile::Guard() const
{
    if (registered_) {
        return true;
    }
    platform::ShowNotice("IniFile Logic Error", "[Section] and FileName Not Registered in Private.Ini!");
    return false;
}

// ---- entry operations --------------------------------------------------------

std::int16_t IniFile::Exists(const std::string& filname) const
{
    std::string pattern = filname;
    if (pattern.find('.') == std::string::npos) {
        pattern += ".*";
    }
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(platform::ToAnsi(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
            return 0;
        }
        throw Win32Error(error, kSource);
    }
    constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    bool ordinary = false;
    do {
        ordinary = (found.dwFileAttributes & kNotOrdinary) == 0;
    } while (!ordinary && FindNextFileA(search, &found));
    FindClose(search);
    return ordinary ? -1 : 0;
}

std::string IniFile::GetString(const std::string& EntryName, const std::string& DefaultStr)
{
    if (!Guard()) {
        return {};
    }
    return Profile{useWinIni_, platform::ToAnsi(fullPath_)}.ReadString(sectionName_, EntryName, DefaultStr);
}

std::int16_t IniFile::GetInt(const std::string& EntryName, std::int16_t DefaultInt)
{
    if (!Guard()) {
        return 0;
    }
    // The profile functions hand the number back as an unsigned 32-bit value.
    const auto value = static_cast<std::int32_t>(
        Profile{useWinIni_, platform::ToAnsi(fullPath_)}.ReadInt(sectionName_, EntryName, DefaultInt));
    if (value < INT16_MIN || value > INT16_MAX) {
        throw Error(kErrorOverflow, kSource, "Overflow");
    }
    return static_cast<std::int16_t>(value);
}

bool IniFile::GetTF(const std::string& EntryName, std::int16_t DefaultInt)
{
    const std::string word = Trim(Upper(GetString(EntryName, DefaultInt != 0 ? "True" : "False")));
    for (const char* yes : {"YES", "Y", "TRUE", "T", "ON", "1", "-1"}) {
        if (word == yes) {
            return true;
        }
    }
    return false;
}

std::string IniFile::GetSectEntries()
{
    if (!Guard()) {
        return {};
    }
    return Profile{useWinIni_, platform::ToAnsi(fullPath_)}.ReadSection(sectionName_);
}

std::int16_t IniFile::PutString(const std::string& EntryName, const std::string& StrValue)
{
    if (!Guard()) {
        return 0;
    }
    return Profile{useWinIni_, platform::ToAnsi(fullPath_)}.Write(&sectionName_, &EntryName, &StrValue) ? 1 : 0;
}

std::int16_t IniFile::PutInt(const std::string& EntryName, std::int16_t IntValue)
{
    if (!Guard()) {
        return 0;
    }
    const std::string text = std::to_string(IntValue);
    return Profile{useWinIni_, platform::ToAnsi(fullPath_)}.Write(&sectionName_, &EntryName, &text) ? 1 : 0;
}

bool IniFile::PutTF(const std::string& EntryName, std::int16_t IntValue)
{
    return PutString(EntryName, IntValue != 0 ? "True" : "False") != 0;
}

// ---- sections and maintenance -------------------------------------------------

std::string IniFile::GetSections()
{
    if (!Guard()) {
        return {};
    }
    std::string bytes;
    const std::uint32_t error = platform::ReadWholeFile(fullPath_, bytes);
    if (error != 0) {
        throw Win32Error(error, kSource);
    }
    std::string names;
    // The profile functions skip a UTF-8 byte order mark, and so does the list.
    std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < bytes.size()) {
        // A line ends at CR LF, CR or LF.
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);

        const std::size_t comment = line.find(';');
        if (comment != std::string::npos) {
            line.erase(comment);
        }
        line = Trim(line);
        // "[]" names nothing; listed, it would end the list for every caller
        // that walks it up to the first empty name.
        if (line.size() > 2 && line.find('[') == 0 && line.find(']') == line.size() - 1) {
            names += platform::FromAnsi(line.substr(1, line.size() - 2));
            names += '\0';
        }
    }
    if (names.empty()) {
        return std::string(2, '\0');
    }
    names += '\0';
    return names;
}

std::int16_t IniFile::GetSectionsEx(std::vector<std::string>& DataArry)
{
    std::string list = GetSections();
    if (list.empty()) {
        return 0;
    }
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < list.size() && list[start] != '\0') {
        const std::size_t end = list.find('\0', start);
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    if (names.empty()) {
        return 0;
    }
    DataArry = std::move(names);
    return static_cast<std::int16_t>(std::min<std::size_t>(DataArry.size(), INT16_MAX));
}

bool IniFile::SectExist(const std::string& SectionName)
{
    const std::string list = GetSections();
    if (list.empty()) {
        return false;
    }
    return (FoldName(std::string(1, '\0') + list)).find(FoldName('\0' + SectionName + '\0')) != std::string::npos;
}

std::int16_t IniFile::GetSectEntriesEx(std::vector<IniEntry>& DataArry)
{
    if (!Guard()) {
        return 0;
    }
    const std::string list = GetSectEntries();
    if (list.size() <= 1) {
        return 0;
    }
    std::vector<IniEntry> entries;
    std::size_t start = 0;
    while (start < list.size() && list[start] != '\0') {
        std::size_t end = list.find('\0', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        const std::string line = list.substr(start, end - start);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            entries.push_back({std::string(), line});
        } else {
            entries.push_back({line.substr(0, equals), line.substr(equals + 1)});
        }
        start = end + 1;
    }
    if (entries.empty()) {
        return 0;
    }
    DataArry = std::move(entries);
    return static_cast<std::int16_t>(std::min<std::size_t>(DataArry.size(), INT16_MAX));
}

void IniFile::DeleteStrEntry(const std::string& EntryName)
{
    if (Guard()) {
        const std::string empty;
        Profile{useWinIni_, platform::ToAnsi(fullPath_)}.Write(&sectionName_, &EntryName, &empty);
    }
}

// Removes the entry in both modes, so that GetInt gives its default afterwards.
void IniFile::DeleteNumEntry(const std::string& EntryName)
{
    if (Guard()) {
        Profile{useWinIni_, platform::ToAnsi(fullPath_)}.Write(&sectionName_, &EntryName, nullptr);
    }
}

void IniFile::DeleteSection()
{
    if (!Guard()) {
        return;
    }
    Profile{useWinIni_, platform::ToAnsi(fullPath_)}.WriteSection(sectionName_, std::string());
    sectionName_.clear();
    registered_ = false;
}

void IniFile::FlushCache()
{
    if (Guard()) {
        Profile{useWinIni_, platform::ToAnsi(fullPath_)}.Write(nullptr, nullptr, nullptr);
    }
}

void IniFile::IniWrite(const std::string& SectionName, const std::string& EntryName, const std::string& NewVal,
                       const std::string& FullPath) const
{
    Profile{useWinIni_, platform::ToAnsi(FullPath)}.Write(&SectionName, &EntryName, &NewVal);
}

// ReturnStr stays for callers that pass it; the value read is the result.
std::string IniFile::IniRead(const std::string& SectionName, const std::string& EntryName, std::int16_t DefaultInt,
                             const std::string& DefaultStr, const std::string& /*ReturnStr*/, bool ReadNumber,
                             const std::string& FullPath) const
{
    const Profile profile{useWinIni_, platform::ToAnsi(FullPath)};
    if (ReadNumber) {
        return std::to_string(static_cast<std::int32_t>(profile.ReadInt(SectionName, EntryName, DefaultInt)));
    }
    return profile.ReadString(SectionName, EntryName, DefaultStr);
}

} // namespace brenlix
