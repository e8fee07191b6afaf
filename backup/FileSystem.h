// The file copy of the backup job, with the rules job files rely on.
#pragma once

#include <string>

namespace dunmarrow {

// Copies source to destination, replacing an existing file. A destination that
// ends in a path separator is a folder, and the file keeps its own name there.
// Throws brenlix::Error with the Win32 code and its text when the copy fails.
void CopyFile(const std::string& source, const std::string& destination);

} // namespace dunmarrow
