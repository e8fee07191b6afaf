// The one error type of the library and the program: a raised error carries a
// 32-bit number, a source and a description.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4275) // exported class derived from std::runtime_error
#endif

namespace brenlix {

class BRENLIX_API Error : public std::runtime_error {
public:
    Error(std::int32_t number, std::string source, std::string description);

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Source() const noexcept { return source_; }
    const std::string& Description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::string source_;
    std::string description_;
};

// An error for a failed Win32 call: the code as the number and the system's text
// for it as the description.
BRENLIX_API Error Win32Error(std::uint32_t code, std::string source);

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
