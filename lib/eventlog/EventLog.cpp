#include <brenlix/EventLog.h>
#include <brenlix/modCommon.h>

#include "EventStrings.h"

#include <platform/Text.h>
#include <platform/Win32.h>

namespace brenlix {

namespace {

constexpr std::int32_t kErrorBase = static_cast<std::int32_t>(0x80040000u);
constexpr std::int32_t kRegisterFailed = 1111;
constexpr std::int32_t kDeregisterFailed = 1112;
constexpr std::int32_t kReportFailed = 1113;


} // namespace

EventLog::EventLog()
{
    // Slot 0 holds the empty string, but no string belongs to the events
    // until EventTekst is assigned.
    CopyToStringTable({std::string()}, eventStrings_);
}

void EventLog::EventTekst(const std::string& text)
{
    eventTekst_ = text;
    LoadEventStrings({text});
}

void EventLog::ApplicationName(const std::string& name)
{
    applicationName_ = name;
    EnsureEventSource();
}

std::int32_t EventLog::WriteEventLog(EventLogTypes xlngEventType, const std::string& strEventTekst,
                                     std::int32_t xlngIDEvent)
{
    if (!strEventTekst.empty()) {
        EventTekst(strEventTekst);
    }

    const HANDLE source =
        RegisterEventSourceA(platform::ToAnsi(serverName_).c_str(), platform::ToAnsi(applicationName_).c_str());
    if (source == nullptr) {
        const DWORD code = GetLastError();
        Fail(kRegisterFailed, "Could not RegisterEventSource for " + applicationName_ + ".  The error was: " +
                                  SystemErrorText(static_cast<std::int32_t>(code)));
        return 0;
    }

    // The event log reads the first EventStringCount slots; only those are
    // converted, the others stay empty.
    std::array<std::string, kEventStringSlots> ansiStrings;
    std::array<LPCSTR, kEventStringSlots> strings{};
    for (std::size_t slot = 0; slot < kEventStringSlots; ++slot) {
        if (slot < static_cast<std::size_t>(eventStringCount_)) {
            ansiStrings[slot] = platform::ToAnsi(eventStrings_[slot]);
        }
        strings[slot] = ansiStrings[slot].c_str();
    }
    // The data is the text's ANSI bytes, no NUL after them; their count is
    // the size, so a character that takes two bytes is neither cut off nor
    // read past.
    std::string data = platform::ToAnsi(eventDataBuffer_);
    const BOOL reported = ReportEventA(source, static_cast<WORD>(xlngEventType), static_cast<WORD>(eventCategory_),
                                       static_cast<DWORD>(xlngIDEvent), nullptr, static_cast<WORD>(eventStringCount_),
                                       static_cast<DWORD>(data.size()), strings.data(),
                                       data.empty() ? nullptr : data.data());
    if (!reported) {
        const DWORD code = GetLastError();
        DeregisterEventSource(source);
        Fail(kReportFailed, std::string("Could not WRITE to the Application Event Log.") + "The error was: " +
                                SystemErrorText(static_cast<std::int32_t>(code)));
        return 0;
    }

    if (!DeregisterEventSource(source)) {
        const DWORD code = GetLastError();
        Fail(kDeregisterFailed, std::string("Could not WRITE to the Application Event Log.") + "The error was: " +
                                    SystemErrorText(static_cast<std::int32_t>(code)));
        return 0;
    }
    return -1;
}

bool EventLog::LoadEventStrings(const std::vector<std::string>& list)
{
    eventStringCount_ = CopyToStringTable(list, eventStrings_);
    return true;
}

std::int32_t EventLog::CopyToStringTable(const std::vector<std::string>& list, EventStringTable& table)
{
    return eventlog::CopyStrings(list, table);
}

void EventLog::Fail(std::int32_t number, std::string description)
{
    lastEventErrNum_ = kErrorBase + number;
    lastEventErrSource_ = "EventLog.WriteEventLog";
    lastEventErrDescription_ = std::move(description);
}

} // namespace brenlix
