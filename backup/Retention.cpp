#include "Retention.h"

#include "JobOptions.h"
#include "Program.h"

#include <brenlix/Error.h>
#include <platform/Files.h>
#include <platform/Text.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <optional>
#include <string_view>
#include <vector>

namespace dunmarrow {

namespace {

constexpr std::size_t kStampLength = 15; // YYYYMMDD-HHMMSS
constexpr std::int64_t kSecondsPerDay = 86400;

using UniqueFind = platform::UniqueHandle<HANDLE, &FindClose>;

std::string TwoDigits(int value)
{
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) + static_cast<char>('0' + value % 10);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t SecondsOf(const platform::LocalDateTime& t)
{
    return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The time a stamp stands for; nothing for text that is not a real one.
std::optional<platform::LocalDateTime> ParseStamp(std::string_view text)
{
    if (text.size() != kStampLength || text[8] != '-') {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t count) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return -1;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    platform::LocalDateTime t;
    t.year = number(0, 4);
    t.month = number(4, 2);
    t.day = number(6, 2);
    t.hour = number(9, 2);
    t.minute = number(11, 2);
    t.second = number(13, 2);
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
        return std::nullopt;
    }
    return t;
}

std::vector<std::string> Pieces(const std::string& pattern)
{
    std::vector<std::string> pieces;
    const std::string_view field = kStampField;
    std::size_t start = 0;
    for (std::size_t at = pattern.find(field); at != std::string::npos; at = pattern.find(field, start)) {
        pieces.push_back(pattern.substr(start, at - start));
        start = at + field.size();
    }
    pieces.push_back(pattern.substr(start));
    return pieces;
}

// The stamp of a name made from the pattern's pieces with one stamp in each
// gap, the same stamp every time; empty when the name is not one of those.
std::string StampIn(std::string_view name, const std::vector<std::string>& pieces)
{
    std::size_t length = (pieces.size() - 1) * kStampLength;
    for (const std::string& piece : pieces) {
        length += piece.size();
    }
    if (name.size() != length) {
        return {};
    }
    std::string_view stamp;
    std::size_t at = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (name.compare(at, pieces[i].size(), pieces[i]) != 0) {
            return {};
        }
        at += pieces[i].size();
        if (i + 1 == pieces.size()) {
            break;
        }
        const std::string_view here = name.substr(at, kStampLength);
        if (stamp.empty()) {
            stamp = here;
        } else if (here != stamp) {
            return {};
        }
        at += kStampLength;
    }
    return ParseStamp(stamp) ? std::string(stamp) : std::string();
}

// What the folder is asked for: the text before the first stamp and "*", so
// that the system hands out only likely names; each is matched again here.
// (Nothing after the "*": Windows reads "*." and what follows by rules of its
// own, which could leave out a file of the pattern.)
std::string SearchPattern(const std::vector<std::string>& pieces)
{
    return pieces.front().find_first_of("*?") == std::string::npos ? pieces.front() + "*" : "*";
}

[[noreturn]] void Refuse(const std::string& key, const std::string& path, const char* reason)
{
    throw brenlix::Error(kErrorInvalidJobValue, "Dunmarrow",
                         "KeepDays needs " + std::string(kStampField) + " in the file name of " + key + " (\"" +
                             path + "\"): " + reason + ".");
}

} // namespace

std::string StampOf(const platform::LocalDateTime& time)
{
    std::string year = std::to_string(time.year);
    year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
    return year + TwoDigits(time.month) + TwoDigits(time.day) + "-" + TwoDigits(time.hour) +
           TwoDigits(time.minute) + TwoDigits(time.second);
}

std::string WithStamp(const std::string& text, const std::string& stamp)
{
    const std::string_view field = kStampField;
    std::string result;
    std::size_t start = 0;
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, start)) {
        result.append(text, start, at - start);
        result += stamp;
        start = at + field.size();
    }
    return result.append(text, start, std::string::npos);
}

StampedFiles StampedFilesOf(const std::string& key, const std::string& path)
{
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !platform::IsPathSeparator(path[nameStart - 1])) {
        --nameStart;
    }
    StampedFiles files{path.substr(0, nameStart), path.substr(nameStart)};
    if (files.namePattern.find(kStampField) == std::string::npos) {
        Refuse(key, path, "each run must keep a file of its own");
    }
    if (files.folder.find(kStampField) != std::string::npos) {
        Refuse(key, path, "the folder may not change from run to run");
    }
    if (files.folder.empty()) {
        Refuse(key, path, "write the file with its folder");
    }
    // Deleting goes by the folder as this machine sees it: a relative one
    // would be the working folder of whoever started the run.
    const std::string& f = files.folder;
    const bool absolute = platform::IsPathSeparator(f[0]) ||
                          (platform::HasDrives() && f.size() >= 3 && f[1] == ':' && platform::IsPathSeparator(f[2]));
    if (!absolute) {
        Refuse(key, path, "write the file with its whole path, from the root of a drive or a share");
    }
    return files;
}

void DeleteExpired(const StampedFiles& files, const platform::LocalDateTime& now, int keepDays,
                   const DeletedFile& onDeleted, const RefusedFile& onRefused, const std::string& thisRun)
{
    const std::vector<std::string> pieces = Pieces(files.namePattern);

    std::vector<std::pair<std::string, std::string>> found; // name and stamp of each matching file
    WIN32_FIND_DATAA data{};
    SetLastError(0);
    const HANDLE first = FindFirstFileA(platform::ToAnsi(files.folder + SearchPattern(pieces)).c_str(), &data);
    CaptureLastDllError();
    if (first == INVALID_HANDLE_VALUE) {
        if (LastDllError() == ERROR_FILE_NOT_FOUND) {
            return;
        }
        throw brenlix::Win32Error(LastDllError(), "Dunmarrow");
    }
    UniqueFind search(first);
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        std::string name = platform::FromAnsi(data.cFileName);
        std::string stamp = StampIn(name, pieces);
        if (!stamp.empty()) {
            found.emplace_back(std::move(name), std::move(stamp));
        }
    } while (FindNextFileA(search.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        CaptureLastDllError();
        throw brenlix::Win32Error(LastDllError(), "Dunmarrow");
    }
    search.reset();
    // Without this run's file among them, the folder is not where this run
    // wrote: nothing there is the job's to delete.
    if (!thisRun.empty() && std::none_of(found.begin(), found.end(), [&](const auto& file) {
            return file.first == thisRun;
        })) {
        return;
    }

    // By name, whatever order the file system lists them in.
    std::sort(found.begin(), found.end());
    std::string newest;
    for (const auto& [name, stamp] : found) {
        newest = std::max(newest, stamp);
    }
    const std::int64_t limit = SecondsOf(now) - static_cast<std::int64_t>(keepDays) * kSecondsPerDay;
    for (const auto& [name, stamp] : found) {
        if (stamp == newest || SecondsOf(*ParseStamp(stamp)) >= limit) {
            continue;
        }
        // One file that cannot go (read-only, in use) keeps only itself: the
        // files after it are older than the keep too.
        const std::string path = files.folder + name;
        SetLastError(0);
        const BOOL deleted = DeleteFileA(platform::ToAnsi(path).c_str());
        CaptureLastDllError();
        if (deleted) {
            onDeleted(path);
        } else if (LastDllError() != ERROR_FILE_NOT_FOUND) {
            onRefused(path, brenlix::Win32Error(LastDllError(), "Dunmarrow"));
        }
    }
}

} // namespace dunmarrow
