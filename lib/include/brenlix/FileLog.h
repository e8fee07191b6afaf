// FileLog: a plain-text log file. Each message that passes the level threshold
// becomes one line "stamp TAB TAB type TAB TAB message CR LF", appended to the
// file in the system code page. Every failure is silent: the message is lost.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>

namespace brenlix {

enum LogFileType : std::int32_t {
    LogFileTypeInformation = 0,
    LogFileTypeWarning = 1,
    LogFileTypeError = 2,
};

class BRENLIX_API FileLog {
public:
    const std::string& LogFile() const { return logFile_; }
    void LogFile(const std::string& value) { logFile_ = value; }

    std::int32_t LogLevel() const { return logLevel_; }
    void LogLevel(std::int32_t value) { logLevel_ = value; }

    // A message is written when its level is 0 or below LogLevel.
    void WriteToLog(const std::string& strlogmessage, std::int32_t lngLogLevel = 0,
                    std::int32_t LogType = LogFileTypeInformation) const;
    void LogInfoFile(const std::string& strlogmessage, std::int32_t lngLogLevel = 0) const;
    void LogErrorFile(const std::string& strlogmessage, std::int32_t lngLogLevel = 0) const;
    void LogWarningFile(const std::string& strlogmessage, std::int32_t lngLogLevel = 0) const;

private:
    bool Passes(std::int32_t lngLogLevel) const { return lngLogLevel == 0 || lngLogLevel < logLevel_; }
    void AppendLogLine(const std::string& strlogmessage, std::int32_t LogType) const;

    std::int32_t logLevel_ = 0;
    std::string logFile_;
};

} // namespace brenlix
