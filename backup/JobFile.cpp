#include "JobFile.h"

#include <platform/Text.h>
#include <platform/Win32.h>

namespace dunmarrow {

bool SectionHasKeys(const std::string& jobFile, const std::string& section)
{
    char keys[64] = {}; // a list cut short still starts with its first name
    GetPrivateProfileStringA(platform::ToAnsi(section).c_str(), nullptr, "", keys, sizeof keys,
                             platform::ToAnsi(jobFile).c_str());
    return keys[0] != '\0';
}

} // namespace dunmarrow
