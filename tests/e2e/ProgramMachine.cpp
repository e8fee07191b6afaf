#include "ProgramMachine.h"

#include <platform/Text.h>

#include <sstream>

namespace testing_support {

namespace {

constexpr std::int32_t kMachine = -2147483646; // HKEY_LOCAL_MACHINE
const std::string kApplicationKey = "System\\CurrentControlSet\\Services\\EventLog\\Application";
const std::string kSourceKey = kApplicationKey + "\\Dunmarrow";
const std::string kMarkerKey = "Software\\Korvane\\Brenlix\\EventLog";

} // namespace

ProgramMachine::ProgramMachine()
{
    if (RunningUnderWine()) {
        sources_ = raw::Read(kMachine, kApplicationKey, "Sources");
        hadSourceKey_ = raw::KeyExists(kMachine, kSourceKey);
        marker_ = raw::Read(kMachine, kMarkerKey, "Dunmarrow");
    }
}

ProgramMachine::~ProgramMachine()
{
    if (!RunningUnderWine()) {
        return;
    }
    if (!hadSourceKey_) {
        raw::RemoveTree(kMachine, kSourceKey, kApplicationKey);
    }
    if (sources_) {
        raw::Write(kMachine, kApplicationKey, "Sources", *sources_);
    } else {
        raw::RemoveValue(kMachine, kApplicationKey, "Sources");
    }
    if (marker_) {
        raw::Write(kMachine, kMarkerKey, "Dunmarrow", *marker_);
    } else {
        raw::RemoveValue(kMachine, kMarkerKey, "Dunmarrow");
        if (raw::ValueNames(kMachine, kMarkerKey).empty() && raw::Subkeys(kMachine, kMarkerKey).empty()) {
            raw::RemoveTree(kMachine, kMarkerKey);
        }
    }
}

std::optional<std::vector<std::string>> ProgramMachine::Events() const
{
    if (RunningUnderWine()) {
        return std::nullopt;
    }
    // time TAB type TAB category TAB id TAB source TAB computer TAB count TAB strings... TAB data
    std::vector<std::string> events;
    std::istringstream lines(ReadFile(root_.File("eventlog") + "/Application.log"));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t')) {
            fields.push_back(field);
        }
        if (fields.size() >= 8 && fields[4] == "Dunmarrow") {
            events.push_back(fields[1] + " " + fields[3] + " " + platform::FromAnsi(fields[7]));
        }
    }
    return events;
}

} // namespace testing_support
