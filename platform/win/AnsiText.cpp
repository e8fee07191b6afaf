#include <platform/Text.h>

#include "Ascii.h"
#include <platform/Win32.h>

namespace platform {

namespace {

std::wstring ToWide(std::string_view text, UINT codePage)
{
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string FromWide(const std::wstring& wide, UINT codePage)
{
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

} // namespace

std::string ToAnsi(std::string_view utf8)
{
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    return FromWide(ToWide(utf8, CP_UTF8), CP_ACP);
}

std::string FromAnsi(std::string_view ansi)
{
    if (IsAscii(ansi)) {
        return std::string(ansi);
    }
    return FromWide(ToWide(ansi, CP_ACP), CP_UTF8);
}

} // namespace platform
