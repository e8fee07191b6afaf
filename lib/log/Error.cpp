#include <brenlix/Error.h>
#include <brenlix/modCommon.h>

namespace brenlix {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(std::to_string(number) + " " + description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description))
{
}

Error Win32Error(std::uint32_t code, std::string source)
{
    const auto number = static_cast<std::int32_t>(code);
    return Error(number, std::move(source), SystemErrorText(number));
}

} // namespace brenlix
