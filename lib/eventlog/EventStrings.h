// The insertion-string table of EventLog, apart so that its rules can be
// checked on their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brenlix::eventlog {

// Copies the list into the first slots of the table, the first entry into
// slot 0, and gives the number of entries taken: at most the table's size,
// the rest are left out. An empty list leaves the table alone and gives 0.
template <std::size_t Slots>
std::int32_t CopyStrings(const std::vector<std::string>& list, std::array<std::string, Slots>& table)
{
    std::size_t taken = 0;
    for (; taken < list.size() && taken < Slots; ++taken) {
        table[taken] = list[taken];
    }
    return static_cast<std::int32_t>(taken);
}

} // namespace brenlix::eventlog
