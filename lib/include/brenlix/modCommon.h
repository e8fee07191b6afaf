// Helpers shared by the classes of the library.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>

namespace brenlix {

// The system's message text for a Win32 error code, with one trailing CR LF
// removed; the empty string when the system has no text that fits 256 bytes.
// Never fails.
BRENLIX_API std::string SystemErrorText(std::int32_t errorCode);

} // namespace brenlix
