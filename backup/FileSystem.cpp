#include "FileSystem.h"

#include <brenlix/Error.h>
#include <platform/Files.h>

namespace dunmarrow {

void CopyFile(const std::string& source, const std::string& destination)
{
    std::string target = destination;
    if (!target.empty() && platform::IsPathSeparator(target.back())) {
        std::size_t nameStart = source.size();
        while (nameStart > 0 && !platform::IsPathSeparator(source[nameStart - 1])) {
            --nameStart;
        }
        target += source.substr(nameStart);
    }
    const std::uint32_t error = platform::CopyFileReplacing(source, target);
    if (error != 0) {
        throw brenlix::Win32Error(error, "Dunmarrow");
    }
}

} // namespace dunmarrow
