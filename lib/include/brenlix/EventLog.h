// EventLog: writes single events to the Application event log of this or
// another computer. Set ApplicationName (the event source), and optionally
// ServerName, EventCategory, EventTekst and EventDataBuffer; then call
// WriteEventLog once per event. Each call opens the source, reports the event
// and releases the source again.
//
// Assigning ApplicationName registers the source with the event log of this
// computer the first time the name is used here (a marker under
// HKEY_LOCAL_MACHINE\Software\Korvane\Brenlix\EventLog remembers it).
//
// WriteEventLog raises nothing: it returns -1 when the event was written and 0
// otherwise, and describes a failure in the three LastEventErr fields, which
// keep it until the next failure (or until a client assigns them).
#pragma once

#include <brenlix/Export.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std::string members of an exported class
#endif

// The members keep the Win32 names, which <windows.h> defines as macros.
#include <brenlix/detail/Win32NamesBegin.h>

namespace brenlix {

// The event types as the event log knows them.
enum EventLogTypes : std::int32_t {
    EVENTLOG_ERROR_TYPE = 1,
    EVENTLOG_WARNING_TYPE = 2,
    EVENTLOG_INFORMATION_TYPE = 4,
    EVENTLOG_AUDIT_SUCCESS = 8,
    EVENTLOG_AUDIT_FAILURE = 16,
};

} // namespace brenlix

#include <brenlix/detail/Win32NamesEnd.h>

namespace brenlix {

class BRENLIX_API EventLog {
public:
    // The insertion strings handed to the event log: a fixed table of which
    // the event log reads the first EventStringCount slots.
    static constexpr std::size_t kEventStringSlots = 99;
    using EventStringTable = std::array<std::string, kEventStringSlots>;

    EventLog();

    std::int32_t LastEventErrNum() const { return lastEventErrNum_; }
    void LastEventErrNum(std::int32_t number) { lastEventErrNum_ = number; }
    const std::string& LastEventErrSource() const { return lastEventErrSource_; }
    void LastEventErrSource(const std::string& source) { lastEventErrSource_ = source; }
    const std::string& LastEventErrDescription() const { return lastEventErrDescription_; }
    void LastEventErrDescription(const std::string& description) { lastEventErrDescription_ = description; }

    // Reports one event of the type (its low 16 bits reach the log) and the
    // event number. A non-empty text is first assigned to EventTekst; an empty
    // one leaves the insertion strings of the previous call in place. -1 when
    // the event was written and the source released, else 0.
    std::int32_t WriteEventLog(EventLogTypes xlngEventType, const std::string& strEventTekst = "",
                               std::int32_t xlngIDEvent = 1);

    // Text whose ANSI bytes go with every event as its data (none when empty).
    const std::string& EventDataBuffer() const { return eventDataBuffer_; }
    void EventDataBuffer(const std::string& xstrData) { eventDataBuffer_ = xstrData; }
    // The category of every event; its low 16 bits reach the log.
    std::int32_t EventCategory() const { return eventCategory_; }
    void EventCategory(const std::int32_t& xlngEventCategory) { eventCategory_ = xlngEventCategory; }
    // The one insertion string of the events from now on (also when empty).
    const std::string& EventTekst() const { return eventTekst_; }
    void EventTekst(const std::string& text);
    // The computer whose event log is written; empty for this one.
    const std::string& ServerName() const { return serverName_; }
    void ServerName(const std::string& name) { serverName_ = name; }
    // The event source. Assigning it registers the source on this computer
    // when that has not been done yet; a registry failure reading or writing
    // the marker is raised (Error), and the new name stays assigned.
    const std::string& ApplicationName() const { return applicationName_; }
    void ApplicationName(const std::string& name);

private:
    static std::int32_t CopyToStringTable(const std::vector<std::string>& list, EventStringTable& table);
    bool LoadEventStrings(const std::vector<std::string>& list);
    void EnsureEventSource();
    void Fail(std::int32_t number, std::string description);

    std::int32_t lastEventErrNum_ = 0;
    std::string lastEventErrSource_;
    std::string lastEventErrDescription_;
    std::string serverName_;
    std::string applicationName_;
    std::string eventTekst_;
    std::string eventDataBuffer_;
    std::int32_t eventCategory_ = 0;
    EventStringTable eventStrings_;
    std::int32_t eventStringCount_ = 0;
};

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
