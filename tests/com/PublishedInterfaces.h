// The library's interfaces as a compiled client sees them, written from the
// published interface tables and not generated from the library's IDL: the
// identifiers, each interface's members in slot order after IDispatch, and
// the signature of every slot. A client built against this header is what a
// change of the library's type library must not break.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

namespace published {

// Parses an identifier in its registry form, {xxxxxxxx-...}.
inline GUID Guid(const wchar_t* text)
{
    GUID guid{};
    CLSIDFromString(text, &guid);
    return guid;
}

inline const wchar_t kLibrary[] = L"{51602104-2880-4392-A171-059FBDBB71A1}";
inline constexpr WORD kLibraryMajor = 9;
inline constexpr WORD kLibraryMinor = 0;
inline const wchar_t kLogFileType[] = L"{AC90299F-674E-4254-A76F-703EE24032E0}";

struct PublishedClass {
    const char* name;
    const wchar_t* clsid;
    const char* interfaceName;
    const wchar_t* iid;
    const char* progId;
};

inline const PublishedClass kFileLog{"FileLog", L"{22F93AC9-0EC4-464E-83A8-507D29C8EC63}", "_FileLog",
                                     L"{014DD335-DA60-43CA-9496-01345E19EA29}", "Brenlix.FileLog"};
inline const PublishedClass kEventLog{"EventLog", L"{7A38C776-6AE1-41CC-B4F8-8204D628426F}", "_EventLog",
                                      L"{D4E356F9-B34C-4872-A5DE-06517ED13B86}", "Brenlix.EventLog"};
inline const PublishedClass kServiceManager{"ServiceManager", L"{364550F5-AB1B-46A9-8831-BE6761FED7A3}",
                                            "_ServiceManager", L"{7C83D2B1-C8AA-47A9-B054-6D7BFEAFD8D7}",
                                            "Brenlix.ServiceManager"};
inline const PublishedClass kKvRegistry{"KvRegistry", L"{CB20FC88-1062-4CAA-8865-43F6DCA58E38}", "_KvRegistry",
                                        L"{128346A8-C1B9-482D-99AD-273D3DEFC9BE}", "Brenlix.KvRegistry"};
inline const PublishedClass kIniFile{"IniFile", L"{281C6E5A-6C11-49CE-97E6-BB95C0BC2027}", "_IniFile",
                                     L"{DF6B0F0D-6240-4E84-B00A-930E8BB1F2C0}", "Brenlix.IniFile"};

inline const PublishedClass* const kClasses[] = {&kFileLog, &kEventLog, &kServiceManager, &kKvRegistry, &kIniFile};

// The enumerations cross as 32-bit numbers. Members that share their name
// with a Windows header macro (EVENTLOG_*, HKEY_*, REG_*) are left out here;
// the numbers are the Win32 ones.
enum LogFileType : LONG { LogFileTypeInformation = 0, LogFileTypeWarning = 1, LogFileTypeError = 2 };
enum EventLogTypes : LONG {};
enum ServiceState : LONG {
    STATE_SERVICE_UNKNOWN = 0,
    STATE_SERVICE_STOPPED = 1,
    STATE_SERVICE_START_PENDING = 2,
    STATE_SERVICE_STOP_PENDING = 3,
    STATE_SERVICE_RUNNING = 4,
    STATE_SERVICE_CONTINUE_PENDING = 5,
    STATE_SERVICE_PAUSE_PENDING = 6,
    STATE_SERVICE_PAUSED = 7,
};
enum ERegistryClassConstants : LONG {};
enum ERegistryValueTypes : LONG {};
enum ExtractFileName_Constants : LONG { exnFullName = 1, exnOnlyExtn = 2 };

#define PUBLISHED_SLOT virtual HRESULT STDMETHODCALLTYPE

struct _FileLog : IDispatch {
    PUBLISHED_SLOT get_LogFile(BSTR* value) = 0;
    PUBLISHED_SLOT put_LogFile(BSTR value) = 0;
    PUBLISHED_SLOT get_LogLevel(LONG* value) = 0;
    PUBLISHED_SLOT put_LogLevel(LONG value) = 0;
    PUBLISHED_SLOT WriteToLog(BSTR* strlogmessage, LONG* lngLogLevel, LogFileType* LogType) = 0;
    PUBLISHED_SLOT LogInfoFile(BSTR* strlogmessage, LONG* lngLogLevel) = 0;
    PUBLISHED_SLOT LogErrorFile(BSTR* strlogmessage, LONG* lngLogLevel) = 0;
    PUBLISHED_SLOT LogWarningFile(BSTR* strlogmessage, LONG* lngLogLevel) = 0;
};

struct _EventLog : IDispatch {
    PUBLISHED_SLOT get_LastEventErrNum(LONG* value) = 0;
    PUBLISHED_SLOT put_LastEventErrNum(LONG value) = 0;
    PUBLISHED_SLOT get_LastEventErrSource(BSTR* value) = 0;
    PUBLISHED_SLOT put_LastEventErrSource(BSTR value) = 0;
    PUBLISHED_SLOT get_LastEventErrDescription(BSTR* value) = 0;
    PUBLISHED_SLOT put_LastEventErrDescription(BSTR value) = 0;
    PUBLISHED_SLOT WriteEventLog(EventLogTypes* xlngEventType, BSTR* strEventTekst, LONG* xlngIDEvent,
                                 LONG* result) = 0;
    PUBLISHED_SLOT get_EventDataBuffer(BSTR* value) = 0;
    PUBLISHED_SLOT put_EventDataBuffer(BSTR* xstrData) = 0;
    PUBLISHED_SLOT get_EventCategory(LONG* value) = 0;
    PUBLISHED_SLOT put_EventCategory(LONG* xlngEventCategory) = 0;
    PUBLISHED_SLOT get_EventTekst(BSTR* value) = 0;
    PUBLISHED_SLOT put_EventTekst(BSTR value) = 0;
    PUBLISHED_SLOT get_ServerName(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServerName(BSTR value) = 0;
    PUBLISHED_SLOT get_ApplicationName(BSTR* value) = 0;
    PUBLISHED_SLOT put_ApplicationName(BSTR value) = 0;
};

struct _ServiceManager : IDispatch {
    PUBLISHED_SLOT get_MaxWaitForService(LONG* value) = 0;
    PUBLISHED_SLOT put_MaxWaitForService(LONG value) = 0;
    PUBLISHED_SLOT get_ServiceShortName(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServiceShortName(BSTR value) = 0;
    PUBLISHED_SLOT get_ServiceLongName(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServiceLongName(BSTR value) = 0;
    PUBLISHED_SLOT get_ServicePath(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServicePath(BSTR value) = 0;
    PUBLISHED_SLOT get_ServiceDescription(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServiceDescription(BSTR value) = 0;
    PUBLISHED_SLOT get_ServiceUsername(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServiceUsername(BSTR value) = 0;
    PUBLISHED_SLOT get_ServiceUserPassword(BSTR* value) = 0;
    PUBLISHED_SLOT put_ServiceUserPassword(BSTR value) = 0;
    PUBLISHED_SLOT get_ComputerName(BSTR* value) = 0;
    PUBLISHED_SLOT put_ComputerName(BSTR value) = 0;
    PUBLISHED_SLOT get_ServiceLastError(BSTR* value) = 0;
    PUBLISHED_SLOT ServiceStatus(ServiceState* result) = 0;
    PUBLISHED_SLOT ServiceStart(VARIANT_BOOL* WaitforStart, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT ServiceStop(VARIANT_BOOL* WaitForStop, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT RestartService(VARIANT_BOOL* WaitforStart, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT IsServiceInstalled(VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT InstallService(VARIANT_BOOL* StartAfterInstall, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT RemoveService(VARIANT_BOOL* result) = 0;
};

struct _KvRegistry : IDispatch {
    PUBLISHED_SLOT get_KeyExists(VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT CreateKey(VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT DeleteKey(VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT DeleteValue(VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT get_Value(VARIANT* value) = 0;
    PUBLISHED_SLOT put_Value(VARIANT vValue) = 0;
    PUBLISHED_SLOT EnumerateValues(SAFEARRAY** sKeyNames, LONG* iKeyCount, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT EnumerateSections(SAFEARRAY** sSect, LONG* iSectCount, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT CreateEXEAssociation(BSTR sExePath, BSTR sClassName, BSTR sClassDescription, BSTR sAssociation,
                                        BSTR sOpenMenuText, VARIANT_BOOL bSupportPrint, BSTR sPrintMenuText,
                                        VARIANT_BOOL bSupportNew, BSTR sNewMenuText, VARIANT_BOOL bSupportInstall,
                                        BSTR sInstallMenuText, LONG lDefaultIconIndex) = 0;
    PUBLISHED_SLOT CreateAdditionalEXEAssociations(BSTR sClassName, SAFEARRAY** vItems) = 0;
    PUBLISHED_SLOT get_ValueType(ERegistryValueTypes* value) = 0;
    PUBLISHED_SLOT put_ValueType(ERegistryValueTypes eValueType) = 0;
    PUBLISHED_SLOT get_ClassKey(ERegistryClassConstants* value) = 0;
    PUBLISHED_SLOT put_ClassKey(ERegistryClassConstants eKey) = 0;
    PUBLISHED_SLOT get_SectionKey(BSTR* value) = 0;
    PUBLISHED_SLOT put_SectionKey(BSTR sSectionKey) = 0;
    PUBLISHED_SLOT get_ValueKey(BSTR* value) = 0;
    PUBLISHED_SLOT put_ValueKey(BSTR sValueKey) = 0;
    PUBLISHED_SLOT get_Default(VARIANT* value) = 0;
    PUBLISHED_SLOT put_Default(VARIANT vDefault) = 0;
};

struct _IniFile : IDispatch {
    PUBLISHED_SLOT get_PrivPath(BSTR* value) = 0;
    PUBLISHED_SLOT put_UseWinINI(VARIANT_BOOL value) = 0;
    PUBLISHED_SLOT get_UseWinINI(VARIANT_BOOL* value) = 0;
    PUBLISHED_SLOT put_FullPath(BSTR value) = 0;
    PUBLISHED_SLOT get_FullPath(BSTR* value) = 0;
    PUBLISHED_SLOT put_SectionName(BSTR value) = 0;
    PUBLISHED_SLOT get_SectionName(BSTR* value) = 0;
    PUBLISHED_SLOT get_FilePath(BSTR* value) = 0;
    PUBLISHED_SLOT get_FileExt(BSTR* value) = 0;
    PUBLISHED_SLOT ExtractName(BSTR PathIn, ExtractFileName_Constants RetChoice, BSTR* result) = 0;
    PUBLISHED_SLOT ExtractPath(BSTR PathIn, BSTR* result) = 0;
    PUBLISHED_SLOT DeleteStrEntry(BSTR EntryName) = 0;
    PUBLISHED_SLOT DeleteNumEntry(BSTR EntryName) = 0;
    PUBLISHED_SLOT DeleteSection() = 0;
    PUBLISHED_SLOT Exists(BSTR filname, SHORT* result) = 0;
    PUBLISHED_SLOT GetInt(BSTR EntryName, SHORT DefaultInt, SHORT* result) = 0;
    PUBLISHED_SLOT GetSectEntries(BSTR* result) = 0;
    PUBLISHED_SLOT GetSectEntriesEx(SAFEARRAY** DataArry, SHORT* result) = 0;
    PUBLISHED_SLOT GetSections(BSTR* result) = 0;
    PUBLISHED_SLOT GetSectionsEx(SAFEARRAY** DataArry, SHORT* result) = 0;
    PUBLISHED_SLOT GetString(BSTR EntryName, BSTR DefaultStr, BSTR* result) = 0;
    PUBLISHED_SLOT GetTF(BSTR EntryName, SHORT DefaultInt, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT FlushCache() = 0;
    PUBLISHED_SLOT IniRead(BSTR SectionName, BSTR EntryName, SHORT DefaultInt, BSTR DefaultStr, BSTR ReturnStr,
                           VARIANT_BOOL ReadNumber, BSTR FullPath) = 0;
    PUBLISHED_SLOT IniWrite(BSTR SectionName, BSTR EntryName, BSTR NewVal, BSTR FullPath) = 0;
    PUBLISHED_SLOT PutInt(BSTR EntryName, SHORT IntValue, SHORT* result) = 0;
    PUBLISHED_SLOT PutString(BSTR EntryName, BSTR StrValue, SHORT* result) = 0;
    PUBLISHED_SLOT PutTF(BSTR EntryName, SHORT IntValue, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT SectExist(BSTR SectionName, VARIANT_BOOL* result) = 0;
    PUBLISHED_SLOT get_FileName(BSTR* value) = 0;
    // The text the object's last IniRead read; empty before the first.
    PUBLISHED_SLOT get_IniReadResult(BSTR* value) = 0;
};

#undef PUBLISHED_SLOT

} // namespace published
