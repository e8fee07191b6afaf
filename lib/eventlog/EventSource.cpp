// The registration of an event source, kept apart from the event log calls:
// it works through the registry class, whose names <windows.h> would take.
#include <brenlix/EventLog.h>
#include <brenlix/KvRegistry.h>

#include "RegisterEvntSource.h"

#include <platform/Files.h>

namespace brenlix {

namespace {

constexpr const char* kMessageFile = "Kvevtmsg.dll";
constexpr const char* kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";

} // namespace

// Registers the source on this computer once: a marker value of the source's
// name, of any type and content, says it has been done. A failed registration
// writes no marker, so the next assignment tries again.
void EventLog::EnsureEventSource()
{
    if (applicationName_.empty()) {
        return;
    }
    KvRegistry marker;
    marker.ClassKey(HKEY_LOCAL_MACHINE);
    marker.SectionKey(kMarkerKey);
    marker.ValueKey(applicationName_);
    marker.ValueType(REG_DWORD);
    if (!marker.Value().IsEmpty()) {
        return;
    }
    std::string folder = platform::LibraryFolder();
    if (folder.empty()) {
        return; // no place to name for the message file; the next assignment tries again
    }
    eventlog::RegisterEvntSource registration;
    if (registration.RegisterEventSource(kMessageFile, folder, applicationName_)) {
        marker.ValueType(REG_DWORD);
        marker.Value(std::int32_t{1});
    }
}

} // namespace brenlix
