// What the job file holds as the profile functions read it.
#pragma once

#include <string>

namespace dunmarrow {

// Whether the job file has the section with at least one key, as the profile
// functions that read the job's keys see it (to them "[ Salg ]" and
// "[Salg] old" are the section "Salg").
bool SectionHasKeys(const std::string& jobFile, const std::string& section);

} // namespace dunmarrow
