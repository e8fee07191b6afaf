// Where a run of the program reports its events (the reasons behind its log's
// fixed lines). On Linux: a machine root of the test's own, which the program
// inherits through BRENLIX_ROOT, and whose Application log file is read back
// (the one-line file sink, chosen with BRENLIX_EVENTLOG=file).
// Under Wine: the prefix's registry, where the program's registration of its
// event source is undone afterwards (Wine's event log keeps no events).
#pragma once

#include "RawRegistry.h"
#include "TestSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class ProgramMachine {
public:
    ProgramMachine();
    ~ProgramMachine();
    ProgramMachine(const ProgramMachine&) = delete;
    ProgramMachine& operator=(const ProgramMachine&) = delete;

    // The events of the source "Dunmarrow" as "<type> <id> <text>", in the
    // order reported; std::nullopt where no event log keeps them (Wine).
    std::optional<std::vector<std::string>> Events() const;

private:
    TempDir root_;
    ScopedEnvironment machine_{"BRENLIX_ROOT", root_.Path().c_str()};
    ScopedEnvironment eventLog_{"BRENLIX_EVENTLOG", "file"};
    std::optional<raw::Stored> sources_;
    bool hadSourceKey_ = false;
    std::optional<raw::Stored> marker_;
};

} // namespace testing_support
