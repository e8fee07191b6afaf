// The library's interfaces as a compiled client sees them, written from the
// published interface tables and not generated from the library's IDL.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

namespace published {

inline GUID Guid(const wchar_t* text)
{
    GUID guid{};
    CLSIDFromString(text, &guid);
    return guid;
}

inline const wchar_t kLibrary[] = L"{51602104-2880-4392-A171-059FBDBB71A1}"; // Brenlix 9.0
inline const wchar_t kLogFileType[] = L"{AC90299F-674E-4254-A76F-703EE24032E0}";

// A class, its identifier and its default interface's (named "_" + name);
// its programmatic name is "Brenlix." + name.
struct PublishedClass { const char* name; const wchar_t* clsid; const wchar_t* iid; };
inline const PublishedClass kClasses[] = {
    {"FileLog", L"{22F93AC9-0EC4-464E-83A8-507D29C8EC63}", L"{014DD335-DA60-43CA-9496-01345E19EA29}"},
    {"EventLog", L"{7A38C776-6AE1-41CC-B4F8-8204D628426F}", L"{D4E356F9-B34C-4872-A5DE-06517ED13B86}"},
    {"ServiceManager", L"{364550F5-AB1B-46A9-8831-BE6761FED7A3}", L"{7C83D2B1-C8AA-47A9-B054-6D7BFEAFD8D7}"},
    {"KvRegistry", L"{CB20FC88-1062-4CAA-8865-43F6DCA58E38}", L"{128346A8-C1B9-482D-99AD-273D3DEFC9BE}"},
    {"IniFile", L"{281C6E5A-6C11-49CE-97E6-BB95C0BC2027}", L"{DF6B0F0D-6240-4E84-B00A-930E8BB1F2C0}"},
};
enum ClassIndex { kFileLog, kEventLog, kServiceManager, kKvRegistry, kIniFile };

// The enumerations cross as 32-bit numbers; their members are in the contract test's table.
enum LogFileType : LONG { LogFileTypeInformation, LogFileTypeWarning, LogFileTypeError };
enum ServiceState : LONG { STATE_SERVICE_UNKNOWN, STATE_SERVICE_STOPPED };
enum EventLogTypes : LONG {}; enum ERegistryClassConstants : LONG {};
enum ERegistryValueTypes : LONG {}; enum ExtractFileName_Constants : LONG {};

// One slot per M (a method or a property's get or put); P is a property's get
// and put, in that order. Each interface ends at the last slot a test calls.
#define M(name, ...) virtual HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) = 0;
#define P(name, type) M(get_##name, type*) M(put_##name, type)

struct _FileLog : IDispatch {
    P(LogFile, BSTR) P(LogLevel, LONG) M(WriteToLog, BSTR*, LONG*, LogFileType*)
    M(LogInfoFile, BSTR*, LONG*) M(LogErrorFile, BSTR*, LONG*) M(LogWarningFile, BSTR*, LONG*)
};

struct _EventLog : IDispatch {
    P(LastEventErrNum, LONG) P(LastEventErrSource, BSTR) P(LastEventErrDescription, BSTR)
    M(WriteEventLog, EventLogTypes* type, BSTR* text, LONG* id, LONG* result)
    M(get_EventDataBuffer, BSTR*) M(put_EventDataBuffer, BSTR*) M(get_EventCategory, LONG*)
    M(put_EventCategory, LONG*) P(EventTekst, BSTR)
};

struct _ServiceManager : IDispatch {
    P(MaxWaitForService, LONG) P(ServiceShortName, BSTR) P(ServiceLongName, BSTR) P(ServicePath, BSTR)
    P(ServiceDescription, BSTR) P(ServiceUsername, BSTR) P(ServiceUserPassword, BSTR) P(ComputerName, BSTR)
    M(get_ServiceLastError, BSTR*) M(ServiceStatus, ServiceState*)
};

struct _KvRegistry : IDispatch {
    M(get_KeyExists, VARIANT_BOOL*) M(CreateKey, VARIANT_BOOL*) M(DeleteKey, VARIANT_BOOL*)
    M(DeleteValue, VARIANT_BOOL*) P(Value, VARIANT) M(EnumerateValues, SAFEARRAY**, LONG*, VARIANT_BOOL*)
    M(EnumerateSections, SAFEARRAY**, LONG*, VARIANT_BOOL*) M(CreateEXEAssociation, BSTR, BSTR, BSTR, BSTR, BSTR,
      VARIANT_BOOL, BSTR, VARIANT_BOOL, BSTR, VARIANT_BOOL, BSTR, LONG) M(CreateAdditionalEXEAssociations, BSTR,
      SAFEARRAY**) P(ValueType, ERegistryValueTypes) P(ClassKey, ERegistryClassConstants)
};

struct _IniFile : IDispatch {
    M(get_PrivPath, BSTR*) M(put_UseWinINI, VARIANT_BOOL) M(get_UseWinINI, VARIANT_BOOL*) M(put_FullPath, BSTR)
    M(get_FullPath, BSTR*) M(put_SectionName, BSTR) M(get_SectionName, BSTR*) M(get_FilePath, BSTR*)
    M(get_FileExt, BSTR*) M(ExtractName, BSTR, ExtractFileName_Constants, BSTR*) M(ExtractPath, BSTR, BSTR*)
    M(DeleteStrEntry, BSTR) M(DeleteNumEntry, BSTR) M(DeleteSection) M(Exists, BSTR, SHORT*)
    M(GetInt, BSTR, SHORT, SHORT*) M(GetSectEntries, BSTR*) M(GetSectEntriesEx, SAFEARRAY**, SHORT*)
    M(GetSections, BSTR*) M(GetSectionsEx, SAFEARRAY**, SHORT*) M(GetString, BSTR, BSTR, BSTR*)
    M(GetTF, BSTR, SHORT, VARIANT_BOOL*) M(FlushCache) M(IniRead, BSTR section, BSTR entry, SHORT defaultInt,
      BSTR defaultStr, BSTR returnStr, VARIANT_BOOL readNumber, BSTR fullPath) M(IniWrite, BSTR, BSTR, BSTR, BSTR)
    M(PutInt, BSTR, SHORT, SHORT*) M(PutString, BSTR, BSTR, SHORT*) M(PutTF, BSTR, SHORT, VARIANT_BOOL*)
    M(SectExist, BSTR, VARIANT_BOOL*) M(get_FileName, BSTR*) M(get_IniReadResult, BSTR*)
};

#undef P
#undef M

} // namespace published
