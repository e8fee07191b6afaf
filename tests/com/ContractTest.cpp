// The type library embedded in the built library, and in the other bitness's
// build, against the published contract, written from the published tables
// and never from the IDL. Both are rendered as text, a line per class,
// interface, slot and enumeration, and compared whole.
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace {

using com_testing::Take;

// Each interface's slots after IDispatch's, in the order of published::kClasses:
// "[get |put ]Name(parameters)[: result]", a parameter as "flags type name[=kind:default]".
// A put's parameters go unnamed: the library names a property's parameters
// by its get. "prop Name: Type" stands for a get and a put.
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
     "InstallService(in out opt VARIANT_BOOL* StartAfterInstall=BOOL:0): VARIANT_BOOL", "RemoveService(): VARIANT_BOOL"},
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
static_assert(std::size(kSlots) == std::size(published::kClasses));

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

std::string Narrow(const wchar_t* text) { return text == nullptr ? "" : std::string(text, text + wcslen(text)); }

std::string GuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
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
    TYPEATTR copy{};
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
        copy = *attributes;
        info->ReleaseTypeAttr(attributes);
    }
    return copy;
}

// "name {identifier}" of a type that info refers to: with implemented = true,
// its implemented type of that index (-1: a dual interface's vtable face).
std::string Referred(ITypeInfo* info, HREFTYPE reference, bool implemented = false, ITypeInfo** kept = nullptr)
{
    ITypeInfo* referred = nullptr;
    if ((implemented && FAILED(info->GetRefTypeOfImplType(reference, &reference))) ||
        FAILED(info->GetRefTypeInfo(reference, &referred))) {
        return "(unresolved)";
    }
    const std::string text = NameOf(referred) + " " + GuidText(Attributes(referred).guid);
    if (kept != nullptr) {
        *kept = referred;
    } else {
        referred->Release();
    }
    return text;
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& type)
{
    static const std::map<VARTYPE, const char*> names{
        {VT_BSTR, "BSTR"},         {VT_I2, "short"},        {VT_I4, "long"},         {VT_INT, "int"},
        {VT_BOOL, "VARIANT_BOOL"}, {VT_VARIANT, "VARIANT"}, {VT_HRESULT, "HRESULT"}, {VT_VOID, "void"}};
    const auto found = names.find(type.vt);
    const std::string referred = type.vt == VT_USERDEFINED ? Referred(info, type.hreftype) : "";
    return type.vt == VT_PTR           ? TypeText(info, *type.lptdesc) + "*"
           : type.vt == VT_SAFEARRAY   ? "SAFEARRAY(" + TypeText(info, *type.lptdesc) + ")"
           : type.vt == VT_USERDEFINED ? referred.substr(0, referred.find(' '))
           : found != names.end()      ? found->second
                                       : "VT" + std::to_string(type.vt);
}

std::string FlagsText(USHORT flags, bool vararg)
{
    std::string text;
    for (const auto& [flag, word] : {std::pair(PARAMFLAG_FIN, "in"), std::pair(PARAMFLAG_FOUT, "out"),
                                     std::pair(PARAMFLAG_FOPT, "opt"), std::pair(PARAMFLAG_FRETVAL, "retval"),
                                     std::pair(PARAMFLAG_FLCID, "lcid")}) {
        text += (flags & flag) ? (text.empty() ? "" : " ") + std::string(word) : "";
    }
    return vararg ? text + " vararg" : text;
}

// "=KIND:text", a Boolean as its number, as the contract gives it.
std::string DefaultText(const PARAMDESC& param)
{
    if (!(param.wParamFlags & PARAMFLAG_FHASDEFAULT) || param.pparamdescex == nullptr) {
        return "";
    }
    VARIANT& value = param.pparamdescex->varDefaultValue;
    static const std::map<VARTYPE, const char*> kinds{{VT_I2, "I2"},     {VT_I4, "I4"},     {VT_INT, "INT"},
                                                      {VT_BOOL, "BOOL"}, {VT_BSTR, "BSTR"}, {VT_UI4, "UI4"}};
    const auto kind = kinds.find(V_VT(&value));
    const std::string text = "=" + (kind != kinds.end() ? kind->second : "VT" + std::to_string(V_VT(&value))) + ":";
    VARIANT shown;
    VariantInit(&shown);
    return text + (V_VT(&value) == VT_BOOL                                          ? std::to_string(V_BOOL(&value))
                   : SUCCEEDED(VariantChangeType(&shown, &value, 0, VT_BSTR)) ? Take(V_BSTR(&shown))
                                                                                    : "?");
}

std::string SlotText(ITypeInfo* face, const FUNCDESC& function)
{
    std::vector<BSTR> names(static_cast<std::size_t>(function.cParams) + 1, nullptr);
    UINT named = 0;
    face->GetNames(function.memid, names.data(), static_cast<UINT>(names.size()), &named);
    const INVOKEKIND kind = function.invkind;
    std::string text = (kind == INVOKE_FUNC           ? ""
                        : kind == INVOKE_PROPERTYGET ? "get "
                        : kind == INVOKE_PROPERTYPUT ? "put "
                                                     : "putref ") +
                       Narrow(names[0]) + "(";
    std::string result;
    SHORT params = function.cParams;
    const ELEMDESC* const elements = function.lprgelemdescParam;
    if (params > 0 && FlagsText(elements[params - 1].paramdesc.wParamFlags, false) == "out retval") {
        result = ": " + TypeText(face, elements[--params].tdesc);
        result.pop_back(); // the pointer
    }
    for (SHORT p = 0; p < params; ++p) {
        const PARAMDESC& param = elements[p].paramdesc;
        // A put's names are its get's: they go unnamed.
        const bool name = static_cast<UINT>(p) + 1 < named && kind != INVOKE_PROPERTYPUT;
        text += (p > 0 ? ", " : "") + FlagsText(param.wParamFlags, p + 1 == params && function.cParamsOpt == -1) +
                " " + TypeText(face, elements[p].tdesc) + (name ? " " + Narrow(names[p + 1]) : "") + DefaultText(param);
    }
    std::for_each(names.begin(), names.end(), SysFreeString);
    const std::string returns = TypeText(face, function.elemdescFunc.tdesc);
    return text + ")" + result + (returns == "HRESULT" ? "" : " returning " + returns);
}

std::string SystemText(SYSKIND kind) { return kind == SYS_WIN64 ? "win64" : kind == SYS_WIN32 ? "win32" : "other"; }

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The library in the file at path, read without registering it, one line for
// the library, each class, interface, slot and enumeration.
std::string Described(const std::string& path)
{
    ITypeLib* library = nullptr;
    const HRESULT loaded = LoadTypeLibEx(std::wstring(path.begin(), path.end()).c_str(), REGKIND_NONE, &library);
    if (FAILED(loaded)) {
        return "no type library in the file: " + std::to_string(loaded);
    }
    BSTR name = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    TLIBATTR* attributes = nullptr;
    std::string text = "library " + Take(name);
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        text += " " + GuidText(attributes->guid) + " " + std::to_string(attributes->wMajorVerNum) + "." +
                std::to_string(attributes->wMinorVerNum) + " " + SystemText(attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    for (const published::PublishedClass& cls : published::kClasses) {
        ITypeInfo* info = nullptr;
        int flags = 0;
        if (FAILED(library->GetTypeInfoOfGuid(published::Guid(cls.clsid), &info))) {
            text += std::string("\nclass ") + cls.name + " missing";
        } else {
            info->GetImplTypeFlags(0, &flags);
            const TYPEATTR coclass = Attributes(info);
            text += std::string(coclass.typekind == TKIND_COCLASS ? "\nclass " : "\nother ") +
                    (coclass.wTypeFlags & TYPEFLAG_FCANCREATE ? "creatable " : "") + NameOf(info) +
                    (flags & IMPLTYPEFLAG_FDEFAULT ? " default " : " ") + Referred(info, 0, true);
            info->Release();
        }
        ITypeInfo* face = nullptr;
        if (FAILED(library->GetTypeInfoOfGuid(published::Guid(cls.iid), &info))) {
            text += std::string("\n_") + cls.name + " missing";
            continue;
        }
        text += "\n" + NameOf(info) + (Attributes(info).wTypeFlags & TYPEFLAG_FDUAL ? " dual " : " ") +
                Referred(info, static_cast<HREFTYPE>(-1), true, &face);
        info->Release();
        if (face == nullptr) {
            continue;
        }
        text += " on " + Referred(face, 0, true);
        std::map<std::size_t, std::string> slots;
        for (UINT i = 0; i < Attributes(face).cFuncs; ++i) {
            FUNCDESC* function = nullptr;
            if (SUCCEEDED(face->GetFuncDesc(i, &function))) {
                // After IUnknown's three slots and IDispatch's four. The loader gives
                // the offset in this process's pointers, whichever system the library is for.
                std::string& slot = slots[static_cast<std::size_t>(function->oVft) / sizeof(void*) - 6];
                slot += (slot.empty() ? "" : " AND ") + SlotText(face, *function);
                face->ReleaseFuncDesc(function);
            }
        }
        face->Release();
        for (const auto& [slot, member] : slots) {
            text += std::string("\n_") + cls.name + " " + std::to_string(slot) + ": " + member;
        }
    }
    std::vector<std::string> enumerations; // in any order
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        TYPEKIND kind{};
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_ENUM &&
            SUCCEEDED(library->GetTypeInfo(i, &info))) {
            std::string& line = enumerations.emplace_back("\n" + NameOf(info) + ":");
            VARDESC* member = nullptr;
            for (UINT m = 0; SUCCEEDED(info->GetVarDesc(m, &member)); ++m) {
                VARIANT value;
                VariantInit(&value);
                const bool number = member->varkind == VAR_CONST &&
                                    SUCCEEDED(VariantChangeType(&value, member->lpvarValue, 0, VT_I4));
                line += " " + NameOf(info, member->memid) + "=" + (number ? std::to_string(V_I4(&value)) : "?");
                info->ReleaseVarDesc(member);
            }
            info->Release();
        }
    }
    std::sort(enumerations.begin(), enumerations.end());
    for (const std::string& line : enumerations) {
        text += line;
    }
    ITypeInfo* logFileType = nullptr;
    library->GetTypeInfoOfGuid(published::Guid(published::kLogFileType), &logFileType);
    text += "\n" + Narrow(published::kLogFileType) + " names " + (logFileType != nullptr ? NameOf(logFileType) : "");
    if (logFileType != nullptr) {
        logFileType->Release();
    }
    library->Release();
    return text + "\n";
}

std::string Expected(SYSKIND system)
{
    std::string text = "library Brenlix " + Narrow(published::kLibrary) + " 9.0 " + SystemText(system);
    for (std::size_t c = 0; c < std::size(kSlots); ++c) {
        const std::string name = published::kClasses[c].name;
        text += "\nclass creatable " + name + " default _" + name + " " + Narrow(published::kClasses[c].iid) + "\n_" +
                name + " dual _" + name + " " + Narrow(published::kClasses[c].iid) + " on IDispatch " +
                GuidText(IID_IDispatch);
        std::size_t slot = 0;
        for (const std::string& member : kSlots[c]) {
            const std::size_t colon = member.find(':');
            const std::string property = member.substr(5, colon - 5);
            const bool both = member.rfind("prop ", 0) == 0;
            text += "\n_" + name + " " + std::to_string(++slot) + ": " +
                    (both ? "get " + property + "()" + member.substr(colon) : member);
            if (both) {
                text += "\n_" + name + " " + std::to_string(++slot) + ": put " + property + "(in" +
                        member.substr(colon + 1) + ")";
            }
        }
    }
    std::vector<std::string> enumerations(std::begin(kEnumerations), std::end(kEnumerations));
    std::sort(enumerations.begin(), enumerations.end());
    for (const std::string& line : enumerations) {
        text += "\n" + line;
    }
    return text + "\n" + Narrow(published::kLogFileType) + " names LogFileType\n";
}

constexpr bool k64 = sizeof(void*) == 8;

// Names compare without case, as clients bind them: Wine's reader gives a
// name back in the spelling of its first use anywhere in the library.
void ExpectThePublishedContract(const std::string& path, SYSKIND system)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    EXPECT_EQ(Lower(Described(path)), Lower(Expected(system))) << path;
    CoUninitialize();
}

TEST(TypeLibraryContract, MatchesThePublishedInterfaces)
{
    ExpectThePublishedContract(com_testing::LibraryPath(), k64 ? SYS_WIN64 : SYS_WIN32);
}

// The other bitness's build, read as a file: a 64-bit test checks the 32-bit
// library even where no 32-bit program can run.
TEST(TypeLibraryContract, TheOtherBitnessMatchesToo)
{
    std::string path = std::string("Z:") + BRENLIX_PEER_LIBRARY;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the other bitness is not built: no " << path;
    }
    ExpectThePublishedContract(path, k64 ? SYS_WIN32 : SYS_WIN64);
}

} // namespace
