// The type library of both bitnesses' builds against the published contract, written from its tables, never the IDL.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <numeric>

namespace {

using namespace com_testing;

// Each interface's slots after IDispatch's, in the order of kClasses. A put's parameters go
// unnamed: the library names a property's parameters by its get. "prop Name: Type" is a get and a put.
const std::vector<std::string> kSlots[] = {
    {"prop LogFile: BSTR", "prop LogLevel: long",
     "WriteToLog(in out BSTR* strlogmessage, in out opt long* lngLogLevel=I4:0, in out opt LogFileType* LogType=I4:0)",
     "LogInfoFile(in out BSTR* strlogmessage, in out opt long* lngLogLevel=I4:0)",
     "LogErrorFile(in out BSTR* strlogmessage, in out opt long* lngLogLevel=I4:0)",
     "LogWarningFile(in out BSTR* strlogmessage, in out opt long* lngLogLevel=I4:0)"},
    {"prop LastEventErrNum: long", "prop LastEventErrSource: BSTR", "prop LastEventErrDescription: BSTR",
     "WriteEventLog(in out EventLogTypes* xlngEventType, in out opt BSTR* strEventTekst=BSTR:, "
     "in out opt long* xlngIDEvent=I4:1): long",
     "get EventDataBuffer(): BSTR", "put EventDataBuffer(in out BSTR*)", "get EventCategory(): long",
     "put EventCategory(in out long*)", "prop EventTekst: BSTR", "prop ServerName: BSTR", "prop ApplicationName: BSTR"},
    {"prop MaxWaitForService: long", "prop ServiceShortName: BSTR", "prop ServiceLongName: BSTR",
     "prop ServicePath: BSTR", "prop ServiceDescription: BSTR", "prop ServiceUsername: BSTR",
     "prop ServiceUserPassword: BSTR", "prop ComputerName: BSTR", "get ServiceLastError(): BSTR",
     "ServiceStatus(): ServiceState", "ServiceStart(in out opt VARIANT_BOOL* WaitforStart=BOOL:0): VARIANT_BOOL",
     "ServiceStop(in out opt VARIANT_BOOL* WaitForStop=BOOL:0): VARIANT_BOOL",
     "RestartService(in out opt VARIANT_BOOL* WaitforStart=BOOL:0): VARIANT_BOOL", "IsServiceInstalled(): VARIANT_BOOL",
     "InstallService(in out opt VARIANT_BOOL* StartAfterInstall=BOOL:0): VARIANT_BOOL",
     "RemoveService(): VARIANT_BOOL"},
    {"get KeyExists(): VARIANT_BOOL", "CreateKey(): VARIANT_BOOL", "DeleteKey(): VARIANT_BOOL",
     "DeleteValue(): VARIANT_BOOL", "prop Value: VARIANT",
     "EnumerateValues(in out SAFEARRAY(BSTR)* sKeyNames, in out long* iKeyCount): VARIANT_BOOL",
     "EnumerateSections(in out SAFEARRAY(BSTR)* sSect, in out long* iSectCount): VARIANT_BOOL",
     "CreateEXEAssociation(in BSTR sExePath, in BSTR sClassName, in BSTR sClassDescription, in BSTR sAssociation, "
     "in opt BSTR sOpenMenuText=BSTR:&Open, in opt VARIANT_BOOL bSupportPrint=BOOL:0, "
     "in opt BSTR sPrintMenuText=BSTR:&Print, in opt VARIANT_BOOL bSupportNew=BOOL:0, "
     "in opt BSTR sNewMenuText=BSTR:&New, in opt VARIANT_BOOL bSupportInstall=BOOL:0, "
     "in opt BSTR sInstallMenuText=BSTR:, in opt long lDefaultIconIndex=I4:-1)",
     "CreateAdditionalEXEAssociations(in BSTR sClassName, in out vararg SAFEARRAY(VARIANT)* vItems)",
     "prop ValueType: ERegistryValueTypes", "prop ClassKey: ERegistryClassConstants", "prop SectionKey: BSTR",
     "prop ValueKey: BSTR", "prop Default: VARIANT"},
    {"get PrivPath(): BSTR", "put UseWinINI(in VARIANT_BOOL)", "get UseWinINI(): VARIANT_BOOL", "put FullPath(in BSTR)",
     "get FullPath(): BSTR", "put SectionName(in BSTR)", "get SectionName(): BSTR", "get FilePath(): BSTR",
     "get FileExt(): BSTR", "ExtractName(in BSTR PathIn, in ExtractFileName_Constants RetChoice): BSTR",
     "ExtractPath(in BSTR PathIn): BSTR", "DeleteStrEntry(in BSTR EntryName)", "DeleteNumEntry(in BSTR EntryName)",
     "DeleteSection()", "Exists(in BSTR filname): short", "GetInt(in BSTR EntryName, in short DefaultInt): short",
     "GetSectEntries(): BSTR", "GetSectEntriesEx(in out SAFEARRAY(BSTR)* DataArry): short", "GetSections(): BSTR",
     "GetSectionsEx(in out SAFEARRAY(BSTR)* DataArry): short", "GetString(in BSTR EntryName, in BSTR DefaultStr): BSTR",
     "GetTF(in BSTR EntryName, in short DefaultInt): VARIANT_BOOL", "FlushCache()",
     "IniRead(in BSTR SectionName, in BSTR EntryName, in short DefaultInt, in BSTR DefaultStr, in BSTR ReturnStr, "
     "in VARIANT_BOOL ReadNumber, in BSTR FullPath)",
     "IniWrite(in BSTR SectionName, in BSTR EntryName, in BSTR NewVal, in BSTR FullPath)",
     "PutInt(in BSTR EntryName, in short IntValue): short", "PutString(in BSTR EntryName, in BSTR StrValue): short",
     "PutTF(in BSTR EntryName, in short IntValue): VARIANT_BOOL", "SectExist(in BSTR SectionName): VARIANT_BOOL",
     "get FileName(): BSTR", "get IniReadResult(): BSTR"},
};
static_assert(std::size(kSlots) == std::size(kClasses));

const char* const kEnumerations[] = {
    "LogFileType: LogFileTypeInformation=0 LogFileTypeWarning=1 LogFileTypeError=2",
    "EventLogTypes: EVENTLOG_ERROR_TYPE=1 EVENTLOG_WARNING_TYPE=2 EVENTLOG_INFORMATION_TYPE=4 "
    "EVENTLOG_AUDIT_SUCCESS=8 EVENTLOG_AUDIT_FAILURE=16",
    "ServiceState: STATE_SERVICE_UNKNOWN=0 STATE_SERVICE_STOPPED=1 STATE_SERVICE_START_PENDING=2 "
    "STATE_SERVICE_STOP_PENDING=3 STATE_SERVICE_RUNNING=4 STATE_SERVICE_CONTINUE_PENDING=5 "
    "STATE_SERVICE_PAUSE_PENDING=6 STATE_SERVICE_PAUSED=7",
    "ERegistryClassConstants: HKEY_CLASSES_ROOT=-2147483648 HKEY_CURRENT_USER=-2147483647 "
    "HKEY_LOCAL_MACHINE=-2147483646 HKEY_USERS=-2147483645",
    "ERegistryValueTypes: REG_NONE=0 REG_SZ=1 REG_EXPAND_SZ=2 REG_BINARY=3 REG_DWORD=4 REG_DWORD_LITTLE_ENDIAN=4 "
    "REG_DWORD_BIG_ENDIAN=5 REG_LINK=6 REG_MULTI_SZ=7 REG_RESOURCE_LIST=8 REG_FULL_RESOURCE_DESCRIPTOR=9 "
    "REG_RESOURCE_REQUIREMENTS_LIST=10",
    "ExtractFileName_Constants: exnFullName=1 exnOnlyExtn=2",
};

using Info = Com<ITypeInfo>;

std::string GuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    return StringFromGUID2(guid, text, 40) > 0 ? Narrow(text) : "?";
}

std::string NameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL)
{
    BSTR name = nullptr;
    info->GetDocumentation(member, &name, nullptr, nullptr, nullptr);
    return Take(name);
}

TYPEATTR Attributes(ITypeInfo* info)
{
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    const TYPEATTR copy = *attributes;
    info->ReleaseTypeAttr(attributes);
    return copy;
}

// The type info refers to, or implements at that index (-1: a dual interface's vtable face).
Info Refer(ITypeInfo* info, HREFTYPE reference, bool implemented = false)
{
    ITypeInfo* referred = nullptr;
    if (info != nullptr && (!implemented || SUCCEEDED(info->GetRefTypeOfImplType(reference, &reference)))) {
        info->GetRefTypeInfo(reference, &referred);
    }
    return Info(referred);
}

std::string Text(const Info& t) { return t ? NameOf(t.get()) + " " + GuidText(Attributes(t.get()).guid) : "?"; }

// A kind outside the table shows as its number, which no row expects.
std::string Named(const std::map<VARTYPE, const char*>& names, VARTYPE vt)
{
    return names.count(vt) ? names.at(vt) : "VT" + std::to_string(vt);
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& type)
{
    const Info referred = type.vt == VT_USERDEFINED ? Refer(info, type.hreftype) : nullptr;
    return type.vt == VT_PTR         ? TypeText(info, *type.lptdesc) + "*"
           : type.vt == VT_SAFEARRAY ? "SAFEARRAY(" + TypeText(info, *type.lptdesc) + ")"
           : referred                ? NameOf(referred.get())
                                     : Named({{VT_BSTR, "BSTR"}, {VT_I2, "short"}, {VT_I4, "long"},
                                              {VT_BOOL, "VARIANT_BOOL"}, {VT_VARIANT, "VARIANT"},
                                              {VT_HRESULT, "HRESULT"}}, type.vt);
}

// "flags type name=KIND:default", a Boolean default as its number.
std::string ParamText(ITypeInfo* face, const ELEMDESC& element, BSTR name, bool vararg)
{
    const USHORT flags = element.paramdesc.wParamFlags;
    const std::string text = std::string(flags & PARAMFLAG_FIN ? "in " : "") + (flags & PARAMFLAG_FOUT ? "out " : "") +
                             (flags & PARAMFLAG_FOPT ? "opt " : "") + (vararg ? "vararg " : "") +
                             TypeText(face, element.tdesc) + (name ? " " + Narrow(name) : "");
    if (!(flags & PARAMFLAG_FHASDEFAULT) || element.paramdesc.pparamdescex == nullptr) {
        return text;
    }
    const VARIANT& value = element.paramdesc.pparamdescex->varDefaultValue;
    const VARTYPE vt = V_VT(&value);
    return text + "=" + Named({{VT_I4, "I4"}, {VT_BOOL, "BOOL"}, {VT_BSTR, "BSTR"}}, vt) + ":" +
           (vt == VT_BSTR ? Narrow(V_BSTR(&value)) : std::to_string(vt == VT_BOOL ? V_BOOL(&value) : V_I4(&value)));
}

std::string SlotText(ITypeInfo* face, const FUNCDESC& function)
{
    BSTR names[32] = {};
    UINT named = 0;
    face->GetNames(function.memid, names, 32, &named);
    const INVOKEKIND kind = function.invkind;
    const ELEMDESC* const elements = function.lprgelemdescParam;
    const bool retval = function.cParams > 0 &&
                        elements[function.cParams - 1].paramdesc.wParamFlags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    const SHORT params = function.cParams - (retval ? 1 : 0);
    std::string text = (kind == INVOKE_FUNC ? "" : kind == INVOKE_PROPERTYGET ? "get " : "put ") + Take(names[0]) + "(";
    for (SHORT p = 0; p < params; ++p) {
        text += (p > 0 ? ", " : "") + ParamText(face, elements[p], kind == INVOKE_PROPERTYPUT ? nullptr : names[p + 1],
                                                p + 1 == params && function.cParamsOpt == -1);
    }
    std::for_each(names + 1, names + 32, SysFreeString);
    const std::string returns = TypeText(face, function.elemdescFunc.tdesc);
    return text + ")" + (retval ? ": " + TypeText(face, *elements[params].tdesc.lptdesc) : "") +
           (returns == "HRESULT" ? "" : " returning " + returns);
}

// Names compare without case, as clients bind them: Wine's reader gives a name back in the spelling of its first use
// anywhere in the library.
std::string Joined(std::vector<std::string> lines)
{
    for (std::string& line : lines) {
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
    }
    std::sort(lines.begin(), lines.end());
    return std::accumulate(lines.begin(), lines.end(), std::string(),
                           [](const std::string& text, const std::string& line) { return text + line + "\n"; });
}

std::string Described(const std::string& path)
{
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadTypeLibEx(std::wstring(path.begin(), path.end()).c_str(), REGKIND_NONE, &library);
    if (FAILED(loaded)) {
        return "no type library in the file: " + std::to_string(loaded);
    }
    BSTR name = nullptr;
    TLIBATTR* attributes = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    library->GetLibAttr(&attributes);
    std::vector<std::string> lines{
        "library " + Take(name) + " " + GuidText(attributes->guid) + " " + std::to_string(attributes->wMajorVerNum) +
        "." + std::to_string(attributes->wMinorVerNum) + " " + std::to_string(attributes->syskind)};
    library->ReleaseTLibAttr(attributes);
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ITypeInfo* raw = nullptr;
        library->GetTypeInfo(i, &raw);
        const Info info(raw);
        const TYPEATTR type = Attributes(raw);
        const std::string line = NameOf(raw);
        int flags = 0;
        raw->GetImplTypeFlags(0, &flags);
        const Info face = Refer(raw, static_cast<HREFTYPE>(-1), true);
        if (type.typekind == TKIND_COCLASS) {
            lines.push_back("class " + std::string(type.wTypeFlags & TYPEFLAG_FCANCREATE ? "creatable " : "") + line +
                            " " + GuidText(type.guid) + (flags & IMPLTYPEFLAG_FDEFAULT ? " default " : " ") +
                            Text(Refer(raw, 0, true)));
        } else if (type.typekind == TKIND_DISPATCH) {
            lines.push_back(line + (type.wTypeFlags & TYPEFLAG_FDUAL ? " dual " : " ") + Text(face) + " on " +
                            Text(Refer(face.get(), 0, true)));
        } else {
            lines.push_back(line + ":");
        }
        // The loader gives the offset in this process's pointers, whichever system the library is for.
        FUNCDESC* function = nullptr;
        for (UINT f = 0; type.typekind == TKIND_DISPATCH && face && SUCCEEDED(face->GetFuncDesc(f, &function)); ++f) {
            lines.push_back(line + " " + std::to_string(function->oVft / sizeof(void*) - 6) + ": " +
                            SlotText(face.get(), *function));
            face->ReleaseFuncDesc(function);
        }
        VARDESC* member = nullptr;
        for (UINT m = 0; type.typekind == TKIND_ENUM && SUCCEEDED(raw->GetVarDesc(m, &member)); ++m) {
            lines.back() += " " + NameOf(raw, member->memid) + "=" + std::to_string(V_I4(member->lpvarValue));
            raw->ReleaseVarDesc(member);
        }
    }
    ITypeInfo* logFileType = nullptr;
    library->GetTypeInfoOfGuid(Guid(kLogFileType), &logFileType);
    lines.push_back(Narrow(kLogFileType) + " names " + Text(Info(logFileType)));
    library->Release();
    return Joined(lines);
}

std::string Expected(SYSKIND system)
{
    std::vector<std::string> lines{"library Brenlix " + Narrow(kLibrary) + " 9.0 " + std::to_string(system),
                                   Narrow(kLogFileType) + " names LogFileType " + Narrow(kLogFileType)};
    lines.insert(lines.end(), std::begin(kEnumerations), std::end(kEnumerations));
    for (std::size_t c = 0; c < std::size(kSlots); ++c) {
        const std::string name = std::string("_") + kClasses[c].name;
        const std::string face = name + " " + Narrow(kClasses[c].iid);
        lines.push_back("class creatable " + name.substr(1) + " " + Narrow(kClasses[c].clsid) + " default " + face);
        lines.push_back(name + " dual " + face + " on IDispatch " + GuidText(IID_IDispatch));
        std::size_t slot = 0;
        for (const std::string& member : kSlots[c]) {
            const std::size_t colon = member.find(':');
            const std::string property = member.substr(5, colon - 5);
            const bool both = member.rfind("prop ", 0) == 0;
            lines.push_back(name + " " + std::to_string(++slot) + ": " +
                            (both ? "get " + property + "()" + member.substr(colon) : member));
            if (both) {
                lines.push_back(name + " " + std::to_string(++slot) + ": put " + property + "(in" +
                                member.substr(colon + 1) + ")");
            }
        }
    }
    return Joined(lines);
}

// The other bitness is read as a file: a 64-bit test checks the 32-bit library even where no 32-bit program runs.
TEST(TypeLibraryContract, BothBitnessesMatchThePublishedInterfaces)
{
    std::string peer = std::string("Z:") + BRENLIX_PEER_LIBRARY;
    std::replace(peer.begin(), peer.end(), '/', '\\');
    EXPECT_EQ(Described(LibraryPath()), Expected(k64 ? SYS_WIN64 : SYS_WIN32));
    const bool built = GetFileAttributesA(peer.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(built ? Described(peer) : "", built ? Expected(k64 ? SYS_WIN32 : SYS_WIN64) : "") << peer;
    if (!built) {
        GTEST_SKIP() << "the other bitness is not built: no " << peer;
    }
}

} // namespace
