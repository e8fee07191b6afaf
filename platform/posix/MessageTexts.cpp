// FormatMessageA for the substitutes: the English texts Windows has for the
// system's error codes, each ending in CR LF as Windows stores them.
#include <platform/Win32.h>

#include <cstring>
#include <string_view>

namespace {

struct MessageText {
    DWORD code;
    const char* text;
};

// Sorted by code.
constexpr MessageText kTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
};

const char* Find(DWORD code)
{
    std::size_t low = 0;
    std::size_t high = std::size(kTexts);
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (kTexts[mid].code < code) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low < std::size(kTexts) && kTexts[low].code == code ? kTexts[low].text : nullptr;
}

constexpr DWORD kLanguageNeutral = 0x0000;
constexpr DWORD kLanguageUserDefault = 0x0400;
constexpr DWORD kLanguageEnglishUs = 0x0409;
constexpr DWORD kErrorResourceLangNotFound = 1815;

} // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, void*)
{
    // Only system messages are kept here, and insert expansion is not offered.
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (dwFlags & FORMAT_MESSAGE_FROM_STRING) != 0 ||
        (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dwLanguageId != kLanguageNeutral && dwLanguageId != kLanguageUserDefault &&
        dwLanguageId != kLanguageEnglishUs) {
        SetLastError(kErrorResourceLangNotFound);
        return 0;
    }
    const char* text = Find(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string_view message(text);
    if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && message.find('%') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (message.size() + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, message.data(), message.size());
    lpBuffer[message.size()] = '\0';
    return static_cast<DWORD>(message.size());
}
