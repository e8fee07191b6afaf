// FormatMessageA for the substitutes: the English texts Windows has for the
// system's error codes, each ending in CR LF as Windows stores them.
#include <platform/Win32.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

struct MessageText {
    DWORD code;
    std::string_view text;
};

// Windows' message texts word for word: inner line breaks and inserts (%1) are
// kept, and the few without a final full stop lack it on Windows too.
// Sorted by code; a code without a text fails with ERROR_MR_MID_NOT_FOUND.
constexpr MessageText kTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {7, "The storage control blocks were destroyed.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {9, "The storage control block address is invalid.\r\n"},
    {10, "The environment is incorrect.\r\n"},
    {11, "An attempt was made to load a program with an incorrect format.\r\n"},
    {12, "The access code is invalid.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {16, "The directory cannot be removed.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {18, "There are no more files.\r\n"},
    {19, "The media is write protected.\r\n"},
    {20, "The system cannot find the device specified.\r\n"},
    {21, "The device is not ready.\r\n"},
    {22, "The device does not recognize the command.\r\n"},
    {23, "Data error (cyclic redundancy check).\r\n"},
    {24, "The program issued a command but the command length is incorrect.\r\n"},
    {25, "The drive cannot locate a specific area or track on the disk.\r\n"},
    {26, "The specified disk or diskette cannot be accessed.\r\n"},
    {27, "The drive cannot find the sector requested.\r\n"},
    {28, "The printer is out of paper.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {34, "The wrong diskette is in the drive.\r\n"
         "Insert %2 (Volume Serial Number: %3) into drive %1.\r\n"},
    {36, "Too many files opened for sharing.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {51, "Windows cannot find the network path. Verify that the network path is correct and the destination "
         "computer is not busy or turned off. If Windows still cannot find the network path, contact your network "
         "administrator.\r\n"},
    {52, "You were not connected because a duplicate name exists on the network. If joining a domain, go to System "
         "in Control Panel to change the computer name and try again. If joining a workgroup, choose another "
         "workgroup name.\r\n"},
    {53, "The network path was not found.\r\n"},
    {54, "The network is busy.\r\n"},
    {55, "The specified network resource or device is no longer available.\r\n"},
    {56, "The network BIOS command limit has been reached.\r\n"},
    {57, "A network adapter hardware error occurred.\r\n"},
    {58, "The specified server cannot perform the requested operation.\r\n"},
    {59, "An unexpected network error occurred.\r\n"},
    {60, "The remote adapter is not compatible.\r\n"},
    {61, "The printer queue is full.\r\n"},
    {62, "Space to store the file waiting to be printed is not available on the server.\r\n"},
    {63, "Your file waiting to be printed was deleted.\r\n"},
    {64, "The specified network name is no longer available.\r\n"},
    {65, "Network access is denied.\r\n"},
    {66, "The network resource type is not correct.\r\n"},
    {67, "The network name cannot be found.\r\n"},
    {68, "The name limit for the local computer network adapter card was exceeded.\r\n"},
    {69, "The network BIOS session limit was exceeded.\r\n"},
    {70, "The remote server has been paused or is in the process of being started.\r\n"},
    {71, "No more connections can be made to this remote computer at this time because there are already as many "
         "connections as the computer can accept.\r\n"},
    {72, "The specified printer or disk device has been paused.\r\n"},
    {80, "The file exists.\r\n"},
    {82, "The directory or file cannot be created.\r\n"},
    {83, "Fail on INT 24.\r\n"},
    {84, "Storage to process this request is not available.\r\n"},
    {85, "The local device name is already in use.\r\n"},
    {86, "The specified network password is not correct.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {88, "A write fault occurred on the network.\r\n"},
    {89, "The system cannot start another process at this time.\r\n"},
    {100, "Cannot create another system semaphore.\r\n"},
    {101, "The exclusive semaphore is owned by another process.\r\n"},
    {102, "The semaphore is set and cannot be closed.\r\n"},
    {103, "The semaphore cannot be set again.\r\n"},
    {104, "Cannot request exclusive semaphores at interrupt time.\r\n"},
    {105, "The previous ownership of this semaphore has ended.\r\n"},
    {106, "Insert the diskette for drive %1.\r\n"},
    {107, "The program stopped because an alternate diskette was not inserted.\r\n"},
    {108, "The disk is in use or locked by another process.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {110, "The system cannot open the device or file specified.\r\n"},
    {111, "The file name is too long.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {113, "No more internal file identifiers available.\r\n"},
    {114, "The target internal file identifier is incorrect.\r\n"},
    {117, "The IOCTL call made by the application program is not correct.\r\n"},
    {118, "The verify-on-write switch parameter value is not correct.\r\n"},
    {119, "The system does not support the command requested.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {121, "The semaphore timeout period has expired.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, "The system call level is not correct.\r\n"},
    {125, "The disk has no volume label.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {128, "There are no child processes to wait for.\r\n"},
    {129, "The %1 application cannot be run in Win32 mode.\r\n"},
    {130, "Attempt to use a file handle to an open disk partition for an operation other than raw disk I/O.\r\n"},
    {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {132, "The file pointer cannot be set on the specified device or file.\r\n"},
    {144, "The directory is not a subdirectory of the root directory.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {146, "The path specified is being used in a substitute.\r\n"},
    {147, "Not enough resources are available to process this command.\r\n"},
    {148, "The path specified cannot be used at this time.\r\n"},
    {160, "One or more arguments are not correct.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {164, "No more threads can be created in the system.\r\n"},
    {167, "Unable to lock a region of a file.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {203, "The system could not find the environment option that was entered.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {216, "This version of %1 is not compatible with the version of Windows you're running. Check your computer's "
          "system information and then contact the software publisher.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {230, "The pipe state is invalid.\r\n"},
    {231, "All pipe instances are busy.\r\n"},
    {232, "The pipe is being closed.\r\n"},
    {233, "No process is on the other end of the pipe.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {266, "The copy functions cannot be used.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed.\r\n"},
    {303, "The file cannot be opened because it is in the process of being deleted.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {996, "Overlapped I/O event is not in a signaled state.\r\n"},
    {997, "Overlapped I/O operation is in progress.\r\n"},
    {998, "Invalid access to memory location.\r\n"},
    {999, "Error performing inpage operation.\r\n"},
    {1001, "Recursion too deep; the stack overflowed.\r\n"},
    {1002, "The window cannot act on the sent message.\r\n"},
    {1003, "Cannot complete this function.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1005, "The volume does not contain a recognized file system.\r\n"
           "Please make sure that all required file system drivers are loaded and that the volume is not "
           "corrupted.\r\n"},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid.\r\n"},
    {1007, "The requested operation cannot be performed in full-screen mode.\r\n"},
    {1008, "An attempt was made to reference a token that does not exist.\r\n"},
    {1009, "The configuration registry database is corrupt.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1011, "The configuration registry key could not be opened.\r\n"},
    {1012, "The configuration registry key could not be read.\r\n"},
    {1013, "The configuration registry key could not be written.\r\n"},
    {1014, "One of the files in the registry database had to be recovered by use of a log or alternate copy. The "
           "recovery was successful.\r\n"},
    {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, or "
           "the system's memory image of the file is corrupted, or the file could not be recovered because the "
           "alternate copy or log was absent or corrupted.\r\n"},
    {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
           "write out, or flush, one of the files that contain the system's image of the registry.\r\n"},
    {1017, "The system has attempted to load or restore a file into the registry, but the specified file is not in "
           "a registry file format.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1019, "System could not allocate the required space in a registry log.\r\n"},
    {1020, "Cannot create a symbolic link in a registry key that already has subkeys or values.\r\n"},
    {1021, "Cannot create a stable subkey under a volatile parent key.\r\n"},
    {1022, "A notify change request is being completed and the information is not being returned in the caller's "
           "buffer. The caller now needs to enumerate the files to find the changes.\r\n"},
    {1051, "A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1054, "A thread could not be created for the service.\r\n"},
    {1055, "The service database is locked.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1057, "The account name is invalid or does not exist, or the password is invalid for the account name "
           "specified.\r\n"},
    {1058, "The service cannot be started, either because it is disabled or because it has no enabled devices "
           "associated with it.\r\n"},
    {1059, "Circular service dependency was specified.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1063, "The service process could not connect to the service controller.\r\n"},
    {1064, "An exception occurred in the service when handling the control request.\r\n"},
    {1065, "The database specified does not exist.\r\n"},
    {1066, "The service has returned a service-specific error code.\r\n"},
    {1067, "The process terminated unexpectedly.\r\n"},
    {1068, "The dependency service or group failed to start.\r\n"},
    {1069, "The service did not start due to a logon failure.\r\n"},
    {1070, "After starting, the service hung in a start-pending state.\r\n"},
    {1071, "The specified service database lock is invalid.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1074, "The system is currently running with the last-known-good configuration.\r\n"},
    {1075, "The dependency service does not exist or has been marked for deletion.\r\n"},
    {1076, "The current boot has already been accepted for use as the last-known-good control set.\r\n"},
    {1077, "No attempts to start the service have been made since the last boot.\r\n"},
    {1078, "The name is already in use as either a service name or a service display name.\r\n"},
    {1079, "The account specified for this service is different from the account specified for other services "
           "running in the same process.\r\n"},
    {1080, "Failure actions can only be set for Win32 services, not for drivers.\r\n"},
    {1081, "This service runs in the same process as the service control manager.\r\n"
           "Therefore, the service control manager cannot take action if this service's process terminates "
           "unexpectedly.\r\n"},
    {1082, "No recovery program has been configured for this service.\r\n"},
    {1083, "The executable program that this service is configured to run in does not implement the service.\r\n"},
    {1084, "This service cannot be started in Safe Mode\r\n"},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1114, "A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1115, "A system shutdown is in progress.\r\n"},
    {1116, "Unable to abort the system shutdown because no shutdown was in progress.\r\n"},
    {1117, "The request could not be performed because of an I/O device error.\r\n"},
    {1130, "Not enough server memory resources are available to process this command.\r\n"},
    {1154, "One of the library files needed to run this application is damaged.\r\n"},
    {1155, "No application is associated with the specified file for this operation.\r\n"},
    {1156, "An error occurred in sending the command to the application.\r\n"},
    {1157, "One of the library files needed to run this application cannot be found.\r\n"},
    {1168, "Element not found.\r\n"},
    {1203, "The network path was either typed incorrectly, does not exist, or the network provider is not "
           "currently available. Please try retyping the path or contact your network administrator.\r\n"},
    {1210, "The format of the specified computer name is invalid.\r\n"},
    {1213, "The format of the specified service name is invalid.\r\n"},
    {1222, "The network is not present or not started.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1225, "The remote computer refused the network connection.\r\n"},
    {1231, "The network location cannot be reached. For information about network troubleshooting, see Windows "
           "Help.\r\n"},
    {1232, "The network location cannot be reached. For information about network troubleshooting, see Windows "
           "Help.\r\n"},
    {1242, "The service is already registered.\r\n"},
    {1243, "The specified service does not exist.\r\n"},
    {1290, "The service start failed since one or more services in the same process have an incompatible service "
           "SID type setting. A service with restricted service SID type can only coexist in the same process with "
           "other services with a restricted SID type. If the service SID type for this service was just "
           "configured, the hosting process must be restarted in order to start this service.\r\n"},
    {1297, "A privilege that the service requires to function properly does not exist in the service account "
           "configuration.\r\n"
           "You may use the Services Microsoft Management Console (MMC) snap-in (services.msc) and the Local "
           "Security Settings MMC snap-in (secpol.msc) to view the service configuration and the account "
           "configuration.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1332, "No mapping between account names and security IDs was done.\r\n"},
    {1385, "Logon failure: the user has not been granted the requested logon type at this computer.\r\n"},
    {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1500, "The event log file is corrupted.\r\n"},
    {1501, "No event log file could be opened, so the event logging service did not start.\r\n"},
    {1502, "The event log file is full.\r\n"},
    {1503, "The event log file has changed between read operations.\r\n"},
    {1700, "The string binding is invalid.\r\n"},
    {1701, "The binding handle is not the correct type.\r\n"},
    {1702, "The binding handle is invalid.\r\n"},
    {1703, "The RPC protocol sequence is not supported.\r\n"},
    {1704, "The RPC protocol sequence is invalid.\r\n"},
    {1705, "The string universal unique identifier (UUID) is invalid.\r\n"},
    {1706, "The endpoint format is invalid.\r\n"},
    {1707, "The network address is invalid.\r\n"},
    {1708, "No endpoint was found.\r\n"},
    {1709, "The timeout value is invalid.\r\n"},
    {1710, "The object universal unique identifier (UUID) was not found.\r\n"},
    {1711, "The object universal unique identifier (UUID) has already been registered.\r\n"},
    {1712, "The type universal unique identifier (UUID) has already been registered.\r\n"},
    {1713, "The RPC server is already listening.\r\n"},
    {1714, "No protocol sequences have been registered.\r\n"},
    {1715, "The RPC server is not listening.\r\n"},
    {1716, "The manager type is unknown.\r\n"},
    {1717, "The interface is unknown.\r\n"},
    {1718, "There are no bindings.\r\n"},
    {1719, "There are no protocol sequences.\r\n"},
    {1720, "The endpoint cannot be created.\r\n"},
    {1721, "Not enough resources are available to complete this operation.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1723, "The RPC server is too busy to complete this operation.\r\n"},
    {1724, "The network options are invalid.\r\n"},
    {1725, "There are no remote procedure calls active on this thread.\r\n"},
    {1726, "The remote procedure call failed.\r\n"},
    {1727, "The remote procedure call failed and did not execute.\r\n"},
    {1728, "A remote procedure call (RPC) protocol error occurred.\r\n"},
    {1729, "Access to the HTTP proxy is denied.\r\n"},
    {1730, "The transfer syntax is not supported by the RPC server.\r\n"},
    {1734, "The array bounds are invalid.\r\n"},
    {1753, "There are no more endpoints available from the endpoint mapper.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
    {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
};

constexpr bool SortedWithoutDuplicates()
{
    for (std::size_t i = 1; i < std::size(kTexts); ++i) {
        if (kTexts[i - 1].code >= kTexts[i].code) {
            return false;
        }
    }
    return true;
}

constexpr bool EveryTextEndsWithLineBreak()
{
    for (const MessageText& entry : kTexts) {
        if (entry.text.size() < 3 || !entry.text.ends_with("\r\n") || entry.text.ends_with("\r\n\r\n")) {
            return false;
        }
    }
    return true;
}

static_assert(SortedWithoutDuplicates(), "the message table must be sorted by code, each code once");
static_assert(EveryTextEndsWithLineBreak(), "every message text ends with exactly one CR LF");

const MessageText* Find(DWORD code)
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
    return low < std::size(kTexts) && kTexts[low].code == code ? &kTexts[low] : nullptr;
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
    const MessageText* entry = Find(dwMessageId);
    if (entry == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string_view message = entry->text;
    if ((dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && message.find('%') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Windows copies nothing when the text and its NUL do not fit.
    if (message.size() + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, message.data(), message.size());
    lpBuffer[message.size()] = '\0';
    return static_cast<DWORD>(message.size());
}
