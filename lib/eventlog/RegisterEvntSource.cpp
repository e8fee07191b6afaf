#include "RegisterEvntSource.h"

#include <brenlix/modCommon.h>

#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/Win32.h>

// The method keeps its own name, which <windows.h> takes for the system's
// function; this file calls the system's by its ANSI name.
#undef RegisterEventSource

#include <string_view>
#include <vector>

namespace brenlix::eventlog {

namespace {

constexpr std::int32_t kErrorBase = static_cast<std::int32_t>(0x80040000u);
constexpr std::int32_t kCreateFailed = 1011;
constexpr std::int32_t kOpenFailed = 1012;
constexpr std::int32_t kSetFailed = 1013;
constexpr std::int32_t kTypesFailed = 1014;
constexpr std::int32_t kCloseFailed = 1015;

constexpr const char* kSource = "WriteEventLogs.RegisterEvntSource.RegisterEventSource";
constexpr const char* kLeadIn = ".  The error was: ";

constexpr DWORD kKeyWrite = 0x20006;        // KEY_WRITE
constexpr DWORD kKeyReadWrite = 0x2001F;    // KEY_READ | KEY_WRITE
constexpr DWORD kSourcesBufferSize = 10240; // the longest list read
constexpr DWORD kTypesSupported = 7;        // error, warning, information
constexpr int kSourcesAttempts = 5;         // writes of "Sources" before giving up on seeing the name

// Reads "Sources" as the registration always has: into a buffer of blanks,
// asking for REG_MULTI_SZ, whatever type comes back.
LONG ReadSources(HKEY key, std::string& buffer)
{
    buffer.assign(kSourcesBufferSize, ' ');
    DWORD type = REG_MULTI_SZ;
    DWORD size = kSourcesBufferSize;
    const LONG code = RegQueryValueExA(key, "Sources", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    buffer.resize(code == ERROR_SUCCESS ? size : 0);
    return code;
}

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Source names compare as the event log compares them: without blanks at
// either end and without case (ASCII and Latin-1 letters).
std::u16string SourceNameKey(std::string_view ansi)
{
    std::u16string key = platform::Utf8ToUtf16(platform::FromAnsi(TrimBlanks(ansi)));
    for (char16_t& c : key) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c == 0xFF) {
            c = 0x178;
        }
    }
    return key;
}

// The names of a list of NUL-ended names; a last name whose NUL is missing
// counts too. Empty names are passed over.
std::vector<std::string_view> ListedNames(std::string_view sources)
{
    std::vector<std::string_view> names;
    std::size_t start = 0;
    while (start < sources.size()) {
        std::size_t end = sources.find('\0', start);
        if (end == std::string_view::npos) {
            end = sources.size();
        }
        if (end > start) {
            names.push_back(sources.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

} // namespace

bool RegisterEvntSource::RegisterEventSource(const std::string& xstrFileName, std::string& xstrFilePath,
                                             const std::string& xstrAppName)
{
    const std::string path = kApplicationKey;
    const std::string underPath = ", in the registry under " + path;
    const std::string sourceKey = path + "\\" + xstrAppName;
    bool result = true;
    const auto fail = [&](std::int32_t number, const std::string& lead, LONG code) {
        result = false;
        Record(number, lead, static_cast<std::int32_t>(code));
    };

    HKEY key = nullptr;
    LONG code = RegCreateKeyExA(HKEY_LOCAL_MACHINE, platform::ToAnsi(sourceKey).c_str(), 0, const_cast<LPSTR>(""),
                                REG_OPTION_NON_VOLATILE, kKeyWrite, nullptr, &key, nullptr);
    if (code != ERROR_SUCCESS) {
        fail(kCreateFailed, "Could not CREATE the key, " + xstrAppName + underPath, code);
        return false;
    }
    RegCloseKey(key);
    key = nullptr;

    code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, platform::ToAnsi(sourceKey).c_str(), 0, kKeyWrite, &key);
    if (code != ERROR_SUCCESS) {
        fail(kOpenFailed, "Could not OPEN the key, " + xstrAppName + underPath, code);
        return false;
    }

    // The folder's separator: a backslash on Windows, "/" on Linux, where the
    // folder is a Linux path.
    const char separator = platform::PathSeparator();
    // The folder is trimmed also when it has its separator already: blanks
    // between folder and file name would make another file of it.
    xstrFilePath = std::string(TrimBlanks(xstrFilePath));
    if (xstrFilePath.empty() || xstrFilePath.back() != separator) {
        xstrFilePath += separator;
    }
    // Stored with its NUL, as every string value should be, so that readers
    // which trust the size get the whole path.
    const std::string messageFile = platform::ToAnsi(xstrFilePath + xstrFileName);
    code = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(messageFile.c_str()),
                          static_cast<DWORD>(messageFile.size() + 1));
    if (code != ERROR_SUCCESS) {
        fail(kSetFailed, "Could not SET the EventMessageFile value for the key, " + xstrAppName + underPath, code);
    } else {
        const DWORD types = kTypesSupported;
        code = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                              sizeof types);
        if (code != ERROR_SUCCESS) {
            fail(kTypesFailed, "Could not SET the TypesSupported value for the key, " + xstrAppName + underPath,
                 code);
        }
    }

    if (result) {
        code = RegCloseKey(key);
        key = nullptr;
        if (code != ERROR_SUCCESS) {
            fail(kCloseFailed, "Could not CLOSE the key, " + xstrAppName + underPath, code);
        }

        code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, platform::ToAnsi(path).c_str(), 0, kKeyReadWrite, &key);
        if (code != ERROR_SUCCESS) {
            fail(kOpenFailed, "Could not OPEN the key, " + path + ", in the registry", code);
            return false;
        }

        // Reading, changing and writing the list is one step for every
        // process that registers a source here: without the lock two new
        // names at once could leave only one of them. The write is read back
        // too, for writers that take no lock, and done again a few times.
        const platform::MachineLock lock("EventSources");
        for (int attempt = 0; attempt < kSourcesAttempts; ++attempt) {
            std::string buffer;
            code = ReadSources(key, buffer);
            if (code != ERROR_SUCCESS && attempt > 0) {
                break; // written; only the look back failed
            }
            if (code != ERROR_SUCCESS) {
                fail(kOpenFailed, "Could not OPEN the key, " + path + ", in the registry", code);
                RegCloseKey(key);
                return false;
            }
            if (!AddToSourceList(buffer, xstrAppName)) {
                break; // listed (by this attempt's write, or before)
            }
            code = RegSetValueExA(key, "Sources", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(buffer.data()),
                                  static_cast<DWORD>(buffer.size()));
            if (code != ERROR_SUCCESS) {
                fail(kSetFailed, "Could not SET the Sources value for the key, " + path + ", in the registry", code);
                break;
            }
            RegFlushKey(key);
        }
    }

    code = RegCloseKey(key);
    if (code != ERROR_SUCCESS) {
        fail(kCloseFailed, "Could not CLOSE the key, " + xstrAppName + underPath, code);
    }
    return result;
}

// The list is ANSI text, each name followed by a NUL and the whole by one
// more. A list that names nothing (empty, or nothing but NULs) becomes the
// new name alone; a list whose closing NULs are missing gets them, so no
// name already in it runs into the new one.
bool RegisterEvntSource::AddToSourceList(std::string& sources, const std::string& name)
{
    const std::u16string wanted = SourceNameKey(platform::ToAnsi(name));
    // A name of blanks alone is the empty entry that closes a well-formed list.
    if (wanted.empty() && (sources.starts_with('\0') || sources.find(std::string_view("\0\0", 2)) != sources.npos)) {
        return false;
    }
    const std::vector<std::string_view> names = ListedNames(sources);
    for (const std::string_view listed : names) {
        if (SourceNameKey(listed) == wanted) {
            return false;
        }
    }
    std::string list;
    if (!names.empty()) {
        list = sources.substr(0, sources.find_last_not_of('\0') + 1) + '\0';
    }
    list += platform::ToAnsi(name);
    list += '\0';
    list += '\0';
    sources = std::move(list);
    return true;
}

void RegisterEvntSource::Record(std::int32_t number, const std::string& lead, std::int32_t code)
{
    LastRegErrNum = kErrorBase + number;
    LastRegErrSource = kSource;
    LastRegErrDescription = lead + kLeadIn + SystemErrorText(code);
}

} // namespace brenlix::eventlog
