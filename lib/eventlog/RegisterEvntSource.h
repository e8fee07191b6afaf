// Registers an event source with the Application log of this computer: the
// source's key names the message file and the event types it uses, and the
// log's "Sources" list names the source. Not for clients: EventLog uses it the
// first time a source name is assigned here.
#pragma once

#include <cstdint>
#include <string>

namespace brenlix::eventlog {

// Below HKEY_LOCAL_MACHINE.
inline constexpr const char* kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";

class RegisterEvntSource {
public:
    // Writes the source's key with "EventMessageFile" (the folder, the path
    // separator when the folder does not end in one, and the file name) and
    // "TypesSupported", then adds the name to "Sources" when it is not there
    // yet. True when every step succeeded. A failure is described in the
    // three fields; what was written before it stays. xstrFilePath comes back
    // trimmed with the separator appended, when one was missing.
    bool RegisterEventSource(const std::string& xstrFileName, std::string& xstrFilePath,
                             const std::string& xstrAppName);

    std::int32_t LastRegErrNum = 0;
    std::string LastRegErrSource;
    std::string LastRegErrDescription;

private:
    static bool AddToSourceList(std::string& sources, const std::string& name);
    void Record(std::int32_t number, const std::string& lead, std::int32_t code);
};

} // namespace brenlix::eventlog
