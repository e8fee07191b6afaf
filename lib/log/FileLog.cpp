#include <brenlix/FileLog.h>

#include <platform/Clock.h>
#include <platform/DateTimeText.h>
#include <platform/Files.h>
#include <platform/Text.h>

namespace brenlix {

namespace {

std::string_view TypeWord(std::int32_t type)
{
    switch (type) {
    case LogFileTypeInformation:
        return "INFORMATION";
    case LogFileTypeWarning:
        return "WARNING";
    case LogFileTypeError:
        return "ERROR";
    default:
        return {};
    }
}

} // namespace

void FileLog::WriteToLog(const std::string& strlogmessage, std::int32_t lngLogLevel, std::int32_t LogType) const
{
    if (Passes(lngLogLevel)) {
        AppendLogLine(strlogmessage, LogType);
    }
}

void FileLog::LogInfoFile(const std::string& strlogmessage, std::int32_t lngLogLevel) const
{
    WriteToLog(strlogmessage, lngLogLevel, LogFileTypeInformation);
}

void FileLog::LogErrorFile(const std::string& strlogmessage, std::int32_t lngLogLevel) const
{
    WriteToLog(strlogmessage, lngLogLevel, LogFileTypeError);
}

void FileLog::LogWarningFile(const std::string& strlogmessage, std::int32_t lngLogLevel) const
{
    WriteToLog(strlogmessage, lngLogLevel, LogFileTypeWarning);
}

// Builds the whole line first and hands it to the file in one write, so that
// lines from other writers of the same file never interleave with it. Every
// failure loses the message silently.
void FileLog::AppendLogLine(const std::string& strlogmessage, std::int32_t LogType) const
{
    try {
        const std::string_view word = TypeWord(LogType);
        std::string line = platform::GeneralDateTimeText(platform::CurrentClock().Now());
        line.reserve(line.size() + word.size() + strlogmessage.size() + 6);
        line += "\t\t";
        line += word;
        line += "\t\t";
        line += strlogmessage;
        line += "\r\n";
        platform::AppendToFile(logFile_, platform::ToAnsi(line));
    } catch (...) {
    }
}

} // namespace brenlix
