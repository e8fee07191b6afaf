// The type library embedded in the built library against the published
// contract: identifiers and version, every class and its default interface,
// every interface's members in slot order with the full signature of each
// slot, and every enumeration. The table below is written from the published
// interface tables, never from the IDL, so it sees where the two part.
#include "PublishedInterfaces.h"

#include <platform/Files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One parameter: its name (nullptr where the contract names none), its type
// as rendered by TypeText, its flags ("in", "in out opt", ...) and its
// default value as "<VT>:<text>" (nullptr for none).
struct Param {
    const char* name;
    const char* type;
    const char* flags;
    const char* defaultValue = nullptr;
};

// One slot: name, kind ('M' method, 'G' property get, 'P' property put),
// the parameters before the result, and the [out, retval] result's type ("" for none).
struct Member {
    const char* name;
    char kind;
    std::vector<Param> params;
    const char* result;
};

struct InterfaceContract {
    const published::PublishedClass* cls;
    std::vector<Member> members;
};

const Param kText{nullptr, "BSTR", "in"};
const Param kBool{nullptr, "VARIANT_BOOL", "in"};

// The optional Booleans of the service operations.
Param ByRefBool(const char* name)
{
    return {name, "VARIANT_BOOL*", "in out opt", "BOOL:0"};
}

// Get and let of a plain property of the given type.
void Property(std::vector<Member>& members, const char* name, const char* type)
{
    members.push_back({name, 'G', {}, type});
    members.push_back({name, 'P', {{nullptr, type, "in"}}, ""});
}

std::vector<InterfaceContract> Contracts()
{
    std::vector<InterfaceContract> contracts;

    std::vector<Member> fileLog;
    Property(fileLog, "LogFile", "BSTR");
    Property(fileLog, "LogLevel", "long");
    fileLog.push_back({"WriteToLog",
                       'M',
                       {{"strlogmessage", "BSTR*", "in out"},
                        {"lngLogLevel", "long*", "in out opt", "I4:0"},
                        {"LogType", "LogFileType*", "in out opt", "I4:0"}},
                       ""});
    for (const char* name : {"LogInfoFile", "LogErrorFile", "LogWarningFile"}) {
        fileLog.push_back(
            {name, 'M', {{"strlogmessage", "BSTR*", "in out"}, {"lngLogLevel", "long*", "in out opt", "I4:0"}}, ""});
    }
    contracts.push_back({&published::kFileLog, fileLog});

    std::vector<Member> eventLog;
    Property(eventLog, "LastEventErrNum", "long");
    Property(eventLog, "LastEventErrSource", "BSTR");
    Property(eventLog, "LastEventErrDescription", "BSTR");
    eventLog.push_back({"WriteEventLog",
                        'M',
                        {{"xlngEventType", "EventLogTypes*", "in out"},
                         {"strEventTekst", "BSTR*", "in out opt", "BSTR:"},
                         {"xlngIDEvent", "long*", "in out opt", "I4:1"}},
                        "long"});
    eventLog.push_back({"EventDataBuffer", 'G', {}, "BSTR"});
    eventLog.push_back({"EventDataBuffer", 'P', {{"xstrData", "BSTR*", "in out"}}, ""});
    eventLog.push_back({"EventCategory", 'G', {}, "long"});
    eventLog.push_back({"EventCategory", 'P', {{"xlngEventCategory", "long*", "in out"}}, ""});
    Property(eventLog, "EventTekst", "BSTR");
    Property(eventLog, "ServerName", "BSTR");
    Property(eventLog, "ApplicationName", "BSTR");
    contracts.push_back({&published::kEventLog, eventLog});

    std::vector<Member> services;
    Property(services, "MaxWaitForService", "long");
    for (const char* name : {"ServiceShortName", "ServiceLongName", "ServicePath", "ServiceDescription",
                             "ServiceUsername", "ServiceUserPassword", "ComputerName"}) {
        Property(services, name, "BSTR");
    }
    services.push_back({"ServiceLastError", 'G', {}, "BSTR"});
    services.push_back({"ServiceStatus", 'M', {}, "ServiceState"});
    services.push_back({"ServiceStart", 'M', {ByRefBool("WaitforStart")}, "VARIANT_BOOL"});
    services.push_back({"ServiceStop", 'M', {ByRefBool("WaitForStop")}, "VARIANT_BOOL"});
    services.push_back({"RestartService", 'M', {ByRefBool("WaitforStart")}, "VARIANT_BOOL"});
    services.push_back({"IsServiceInstalled", 'M', {}, "VARIANT_BOOL"});
    services.push_back({"InstallService", 'M', {ByRefBool("StartAfterInstall")}, "VARIANT_BOOL"});
    services.push_back({"RemoveService", 'M', {}, "VARIANT_BOOL"});
    contracts.push_back({&published::kServiceManager, services});

    contracts.push_back(
        {&published::kKvRegistry,
         {{"KeyExists", 'G', {}, "VARIANT_BOOL"},
          {"CreateKey", 'M', {}, "VARIANT_BOOL"},
          {"DeleteKey", 'M', {}, "VARIANT_BOOL"},
          {"DeleteValue", 'M', {}, "VARIANT_BOOL"},
          {"Value", 'G', {}, "VARIANT"},
          {"Value", 'P', {{"vValue", "VARIANT", "in"}}, ""},
          {"EnumerateValues",
           'M',
           {{"sKeyNames", "SAFEARRAY(BSTR)*", "in out"}, {"iKeyCount", "long*", "in out"}},
           "VARIANT_BOOL"},
          {"EnumerateSections",
           'M',
           {{"sSect", "SAFEARRAY(BSTR)*", "in out"}, {"iSectCount", "long*", "in out"}},
           "VARIANT_BOOL"},
          {"CreateEXEAssociation",
           'M',
           {{"sExePath", "BSTR", "in"},
            {"sClassName", "BSTR", "in"},
            {"sClassDescription", "BSTR", "in"},
            {"sAssociation", "BSTR", "in"},
            {"sOpenMenuText", "BSTR", "in opt", "BSTR:&Open"},
            {"bSupportPrint", "VARIANT_BOOL", "in opt", "BOOL:0"},
            {"sPrintMenuText", "BSTR", "in opt", "BSTR:&Print"},
            {"bSupportNew", "VARIANT_BOOL", "in opt", "BOOL:0"},
            {"sNewMenuText", "BSTR", "in opt", "BSTR:&New"},
            {"bSupportInstall", "VARIANT_BOOL", "in opt", "BOOL:0"},
            {"sInstallMenuText", "BSTR", "in opt", "BSTR:"},
            {"lDefaultIconIndex", "long", "in opt", "I4:-1"}},
           ""},
          {"CreateAdditionalEXEAssociations",
           'M',
           {{"sClassName", "BSTR", "in"}, {"vItems", "SAFEARRAY(VARIANT)*", "in out vararg"}},
           ""},
          {"ValueType", 'G', {}, "ERegistryValueTypes"},
          {"ValueType", 'P', {{"eValueType", "ERegistryValueTypes", "in"}}, ""},
          {"ClassKey", 'G', {}, "ERegistryClassConstants"},
          {"ClassKey", 'P', {{"eKey", "ERegistryClassConstants", "in"}}, ""},
          {"SectionKey", 'G', {}, "BSTR"},
          {"SectionKey", 'P', {{"sSectionKey", "BSTR", "in"}}, ""},
          {"ValueKey", 'G', {}, "BSTR"},
          {"ValueKey", 'P', {{"sValueKey", "BSTR", "in"}}, ""},
          {"Default", 'G', {}, "VARIANT"},
          {"Default", 'P', {{"vDefault", "VARIANT", "in"}}, ""}}});

    const auto text = [](const char* name) { return Param{name, "BSTR", "in"}; };
    const auto integer = [](const char* name) { return Param{name, "short", "in"}; };
    const Param entries{"DataArry", "SAFEARRAY(BSTR)*", "in out"};
    contracts.push_back(
        {&published::kIniFile,
         {{"PrivPath", 'G', {}, "BSTR"},
          {"UseWinINI", 'P', {kBool}, ""},
          {"UseWinINI", 'G', {}, "VARIANT_BOOL"},
          {"FullPath", 'P', {kText}, ""},
          {"FullPath", 'G', {}, "BSTR"},
          {"SectionName", 'P', {kText}, ""},
          {"SectionName", 'G', {}, "BSTR"},
          {"FilePath", 'G', {}, "BSTR"},
          {"FileExt", 'G', {}, "BSTR"},
          {"ExtractName", 'M', {text("PathIn"), {"RetChoice", "ExtractFileName_Constants", "in"}}, "BSTR"},
          {"ExtractPath", 'M', {text("PathIn")}, "BSTR"},
          {"DeleteStrEntry", 'M', {text("EntryName")}, ""},
          {"DeleteNumEntry", 'M', {text("EntryName")}, ""},
          {"DeleteSection", 'M', {}, ""},
          {"Exists", 'M', {text("filname")}, "short"},
          {"GetInt", 'M', {text("EntryName"), integer("DefaultInt")}, "short"},
          {"GetSectEntries", 'M', {}, "BSTR"},
          {"GetSectEntriesEx", 'M', {entries}, "short"},
          {"GetSections", 'M', {}, "BSTR"},
          {"GetSectionsEx", 'M', {entries}, "short"},
          {"GetString", 'M', {text("EntryName"), text("DefaultStr")}, "BSTR"},
          {"GetTF", 'M', {text("EntryName"), integer("DefaultInt")}, "VARIANT_BOOL"},
          {"FlushCache", 'M', {}, ""},
          {"IniRead",
           'M',
           {text("SectionName"), text("EntryName"), integer("DefaultInt"), text("DefaultStr"), text("ReturnStr"),
            {"ReadNumber", "VARIANT_BOOL", "in"}, text("FullPath")},
           ""},
          {"IniWrite", 'M', {text("SectionName"), text("EntryName"), text("NewVal"), text("FullPath")}, ""},
          {"PutInt", 'M', {text("EntryName"), integer("IntValue")}, "short"},
          {"PutString", 'M', {text("EntryName"), text("StrValue")}, "short"},
          {"PutTF", 'M', {text("EntryName"), integer("IntValue")}, "VARIANT_BOOL"},
          {"SectExist", 'M', {text("SectionName")}, "VARIANT_BOOL"},
          {"FileName", 'G', {}, "BSTR"},
          {"IniReadResult", 'G', {}, "BSTR"}}});
    return contracts;
}

struct Enumeration {
    const char* name;
    std::vector<std::pair<const char*, long>> members;
};

const Enumeration kEnumerations[] = {
    {"LogFileType", {{"LogFileTypeInformation", 0}, {"LogFileTypeWarning", 1}, {"LogFileTypeError", 2}}},
    {"EventLogTypes",
     {{"EVENTLOG_ERROR_TYPE", 1},
      {"EVENTLOG_WARNING_TYPE", 2},
      {"EVENTLOG_INFORMATION_TYPE", 4},
      {"EVENTLOG_AUDIT_SUCCESS", 8},
      {"EVENTLOG_AUDIT_FAILURE", 16}}},
    {"ServiceState",
     {{"STATE_SERVICE_UNKNOWN", 0},
      {"STATE_SERVICE_STOPPED", 1},
      {"STATE_SERVICE_START_PENDING", 2},
      {"STATE_SERVICE_STOP_PENDING", 3},
      {"STATE_SERVICE_RUNNING", 4},
      {"STATE_SERVICE_CONTINUE_PENDING", 5},
      {"STATE_SERVICE_PAUSE_PENDING", 6},
      {"STATE_SERVICE_PAUSED", 7}}},
    {"ERegistryClassConstants",
     {{"HKEY_CLASSES_ROOT", -2147483647L - 1},
      {"HKEY_CURRENT_USER", -2147483647L},
      {"HKEY_LOCAL_MACHINE", -2147483646L},
      {"HKEY_USERS", -2147483645L}}},
    {"ERegistryValueTypes",
     {{"REG_NONE", 0},
      {"REG_SZ", 1},
      {"REG_EXPAND_SZ", 2},
      {"REG_BINARY", 3},
      {"REG_DWORD", 4},
      {"REG_DWORD_LITTLE_ENDIAN", 4},
      {"REG_DWORD_BIG_ENDIAN", 5},
      {"REG_LINK", 6},
      {"REG_MULTI_SZ", 7},
      {"REG_RESOURCE_LIST", 8},
      {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
      {"REG_RESOURCE_REQUIREMENTS_LIST", 10}}},
    {"ExtractFileName_Constants", {{"exnFullName", 1}, {"exnOnlyExtn", 2}}},
};

// ---- Reading the type library ----------------------------------------------

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using Com = std::unique_ptr<T, Releaser>;

std::string Narrow(BSTR text)
{
    std::string result;
    for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i) {
        result += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    return result;
}

std::string Narrow(const wchar_t* text)
{
    return std::string(text, text + wcslen(text));
}

// The names compare without case, as clients bind them: Wine's reader gives a
// name back in the spelling of its first use anywhere in the library.
bool SameName(const std::string& found, const char* expected)
{
    return _stricmp(found.c_str(), expected) == 0;
}

std::string TypeName(ITypeInfo* info, HREFTYPE reference)
{
    ITypeInfo* referred = nullptr;
    if (FAILED(info->GetRefTypeInfo(reference, &referred))) {
        return "(unresolved)";
    }
    BSTR name = nullptr;
    referred->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    const std::string result = Narrow(name);
    SysFreeString(name);
    referred->Release();
    return result;
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& type)
{
    switch (type.vt) {
    case VT_PTR:
        return TypeText(info, *type.lptdesc) + "*";
    case VT_SAFEARRAY:
        return "SAFEARRAY(" + TypeText(info, *type.lptdesc) + ")";
    case VT_USERDEFINED:
        return TypeName(info, type.hreftype);
    case VT_BSTR:
        return "BSTR";
    case VT_I2:
        return "short";
    case VT_I4:
        return "long";
    case VT_INT:
        return "int";
    case VT_BOOL:
        return "VARIANT_BOOL";
    case VT_VARIANT:
        return "VARIANT";
    case VT_HRESULT:
        return "HRESULT";
    case VT_VOID:
        return "void";
    default:
        return "VT" + std::to_string(type.vt);
    }
}

std::string FlagsText(USHORT flags, bool vararg)
{
    std::string text;
    const auto add = [&](const char* word) { text += (text.empty() ? "" : " ") + std::string(word); };
    if (flags & PARAMFLAG_FIN) {
        add("in");
    }
    if (flags & PARAMFLAG_FOUT) {
        add("out");
    }
    if (flags & PARAMFLAG_FOPT) {
        add("opt");
    }
    if (flags & PARAMFLAG_FRETVAL) {
        add("retval");
    }
    if (flags & PARAMFLAG_FLCID) {
        add("lcid");
    }
    if (vararg) {
        add("vararg");
    }
    return text;
}

std::string DefaultText(const ELEMDESC& element)
{
    if (!(element.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) || element.paramdesc.pparamdescex == nullptr) {
        return "(none)";
    }
    const VARIANT& value = element.paramdesc.pparamdescex->varDefaultValue;
    const std::map<VARTYPE, const char*> kinds{{VT_I2, "I2"}, {VT_I4, "I4"},     {VT_INT, "INT"},
                                               {VT_BOOL, "BOOL"}, {VT_BSTR, "BSTR"}, {VT_UI4, "UI4"}};
    const auto kind = kinds.find(V_VT(&value));
    VARIANT shown;
    VariantInit(&shown);
    std::string text = "?";
    if (SUCCEEDED(VariantChangeType(&shown, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
        text = Narrow(V_BSTR(&shown));
    }
    VariantClear(&shown);
    // A Boolean shows as its number, as the contract gives it.
    if (V_VT(&value) == VT_BOOL) {
        text = std::to_string(V_BOOL(&value));
    }
    return std::string(kind != kinds.end() ? kind->second : ("VT" + std::to_string(V_VT(&value))).c_str()) + ":" +
           text;
}

std::string KindText(INVOKEKIND kind)
{
    switch (kind) {
    case INVOKE_FUNC:
        return "method";
    case INVOKE_PROPERTYGET:
        return "propget";
    case INVOKE_PROPERTYPUT:
        return "propput";
    default:
        return "propputref";
    }
}

INVOKEKIND ExpectedKind(char kind)
{
    return kind == 'G' ? INVOKE_PROPERTYGET : kind == 'P' ? INVOKE_PROPERTYPUT : INVOKE_FUNC;
}

// The slot as the library describes it.
struct Slot {
    std::string name;
    INVOKEKIND kind = INVOKE_FUNC;
    std::string returns; // the function's own return type
    std::vector<std::string> names, types, flags, defaults;
};

void CompareMember(const std::string& where, const Member& expected, const Slot& found,
                   std::vector<std::string>& problems)
{
    const auto problem = [&](const std::string& what) { problems.push_back(where + " " + expected.name + ": " + what); };
    if (!SameName(found.name, expected.name) || found.kind != ExpectedKind(expected.kind)) {
        problem("slot holds " + found.name + " (" + KindText(found.kind) + "), expected " +
                KindText(ExpectedKind(expected.kind)));
        return; // the rest would only repeat it
    }
    if (found.returns != "HRESULT") {
        problem("returns " + found.returns + ", expected HRESULT");
    }
    std::size_t params = found.types.size();
    std::string result;
    if (params > 0 && found.flags.back() == "out retval") {
        --params;
        result = found.types.back();
        result = result.substr(0, result.size() - (result.empty() || result.back() != '*' ? 0 : 1));
    }
    if (result != expected.result) {
        problem("result is " + (result.empty() ? std::string("(none)") : result) + ", expected " +
                (*expected.result != '\0' ? expected.result : "(none)"));
    }
    if (params != expected.params.size()) {
        problem(std::to_string(params) + " parameters, expected " + std::to_string(expected.params.size()));
    }
    for (std::size_t i = 0; i < params && i < expected.params.size(); ++i) {
        const Param& want = expected.params[i];
        const std::string name = i < found.names.size() ? found.names[i] : "";
        const std::string label = "parameter " + std::to_string(i + 1) + " (" + name + ")";
        // GetNames finds a member by its dispatch identifier, which a property's
        // get and put share: it gives the get's names, so a put's go unchecked.
        if (want.name != nullptr && expected.kind != 'P' && !SameName(name, want.name)) {
            problem(label + " name, expected " + want.name);
        }
        if (found.types[i] != want.type) {
            problem(label + " type " + found.types[i] + ", expected " + want.type);
        }
        if (found.flags[i] != want.flags) {
            problem(label + " flags [" + found.flags[i] + "], expected [" + want.flags + "]");
        }
        const std::string defaultValue = want.defaultValue != nullptr ? want.defaultValue : "(none)";
        if (found.defaults[i] != defaultValue) {
            problem(label + " default " + found.defaults[i] + ", expected " + defaultValue);
        }
    }
}

std::map<std::size_t, Slot> ReadSlots(ITypeInfo* face, std::vector<std::string>& problems, const std::string& where)
{
    std::map<std::size_t, Slot> slots;
    TYPEATTR* attributes = nullptr;
    if (FAILED(face->GetTypeAttr(&attributes))) {
        problems.push_back(where + ": no type attributes");
        return slots;
    }
    const UINT count = attributes->cFuncs;
    face->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(face->GetFuncDesc(i, &function))) {
            continue;
        }
        // After IUnknown's three slots and IDispatch's four. The loader gives
        // the offset in this process's pointers, whichever system the library is for.
        const std::size_t slot = static_cast<std::size_t>(function->oVft) / sizeof(void*) - 7;
        if (slots.count(slot) != 0) {
            problems.push_back(where + ": two functions in slot " + std::to_string(slot + 1));
        }
        Slot& found = slots[slot];
        found.kind = function->invkind;
        found.returns = TypeText(face, function->elemdescFunc.tdesc);
        std::vector<BSTR> names(static_cast<std::size_t>(function->cParams) + 1, nullptr);
        UINT named = 0;
        face->GetNames(function->memid, names.data(), static_cast<UINT>(names.size()), &named);
        found.name = Narrow(names[0]);
        for (SHORT p = 0; p < function->cParams; ++p) {
            const ELEMDESC& element = function->lprgelemdescParam[p];
            const bool last = p + 1 == function->cParams ||
                              (p + 2 == function->cParams &&
                               (function->lprgelemdescParam[p + 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL));
            found.names.push_back(static_cast<UINT>(p) + 1 < named ? Narrow(names[p + 1]) : "");
            found.types.push_back(TypeText(face, element.tdesc));
            found.flags.push_back(FlagsText(element.paramdesc.wParamFlags, last && function->cParamsOpt == -1));
            found.defaults.push_back(DefaultText(element));
        }
        for (BSTR name : names) {
            SysFreeString(name);
        }
        face->ReleaseFuncDesc(function);
    }
    return slots;
}

std::string NameOf(ITypeInfo* info)
{
    BSTR name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    const std::string result = Narrow(name);
    SysFreeString(name);
    return result;
}

GUID GuidOf(ITypeInfo* info, TYPEKIND* kind = nullptr, WORD* flags = nullptr)
{
    TYPEATTR* attributes = nullptr;
    GUID guid{};
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
        guid = attributes->guid;
        if (kind != nullptr) {
            *kind = attributes->typekind;
        }
        if (flags != nullptr) {
            *flags = attributes->wTypeFlags;
        }
        info->ReleaseTypeAttr(attributes);
    }
    return guid;
}

std::string GuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

// The class and its default interface, then the interface's slots.
void CheckClass(ITypeLib* library, const InterfaceContract& contract, std::vector<std::string>& problems)
{
    const published::PublishedClass& cls = *contract.cls;
    const std::string where = cls.interfaceName;
    ITypeInfo* raw = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(published::Guid(cls.clsid), &raw))) {
        problems.push_back(std::string("class ") + cls.name + ": no type with its identifier " + Narrow(cls.clsid));
    } else {
        const Com<ITypeInfo> coclass(raw);
        TYPEKIND kind{};
        WORD flags = 0;
        GuidOf(coclass.get(), &kind, &flags);
        if (kind != TKIND_COCLASS || !(flags & TYPEFLAG_FCANCREATE) || NameOf(coclass.get()) != cls.name) {
            problems.push_back(std::string("class ") + cls.name + ": identifier names " + NameOf(coclass.get()) +
                               " (kind " + std::to_string(kind) + "), not a creatable class of that name");
        }
        HREFTYPE reference = 0;
        ITypeInfo* face = nullptr;
        int implFlags = 0;
        coclass->GetImplTypeFlags(0, &implFlags);
        if (FAILED(coclass->GetRefTypeOfImplType(0, &reference)) ||
            FAILED(coclass->GetRefTypeInfo(reference, &face))) {
            problems.push_back(std::string("class ") + cls.name + ": no interface");
        } else {
            if (!IsEqualGUID(GuidOf(face), published::Guid(cls.iid)) || !(implFlags & IMPLTYPEFLAG_FDEFAULT)) {
                problems.push_back(std::string("class ") + cls.name + ": default interface " + NameOf(face) + " " +
                                   GuidText(GuidOf(face)) + ", expected " + cls.interfaceName + " " +
                                   Narrow(cls.iid));
            }
            face->Release();
        }
    }

    if (FAILED(library->GetTypeInfoOfGuid(published::Guid(cls.iid), &raw))) {
        problems.push_back(where + ": no type with its identifier " + Narrow(cls.iid));
        return;
    }
    const Com<ITypeInfo> dispatch(raw);
    WORD flags = 0;
    GuidOf(dispatch.get(), nullptr, &flags);
    if (NameOf(dispatch.get()) != cls.interfaceName || !(flags & TYPEFLAG_FDUAL)) {
        problems.push_back(where + ": identifier names " + NameOf(dispatch.get()) + ", dual " +
                           std::to_string((flags & TYPEFLAG_FDUAL) != 0));
    }
    // The vtable face of the dual interface holds the slots.
    HREFTYPE vtableHalf = 0;
    if (FAILED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf)) ||
        FAILED(dispatch->GetRefTypeInfo(vtableHalf, &raw))) {
        problems.push_back(where + ": no vtable face");
        return;
    }
    const Com<ITypeInfo> face(raw);
    HREFTYPE base = 0;
    ITypeInfo* baseInfo = nullptr;
    if (FAILED(face->GetRefTypeOfImplType(0, &base)) || FAILED(face->GetRefTypeInfo(base, &baseInfo))) {
        problems.push_back(where + ": no base interface");
    } else {
        if (!IsEqualGUID(GuidOf(baseInfo), IID_IDispatch)) {
            problems.push_back(where + ": derives from " + NameOf(baseInfo) + ", expected IDispatch");
        }
        baseInfo->Release();
    }
    const std::map<std::size_t, Slot> slots = ReadSlots(face.get(), problems, where);
    for (std::size_t i = 0; i < contract.members.size(); ++i) {
        const std::string at = where + " slot " + std::to_string(i + 1);
        const auto found = slots.find(i);
        if (found == slots.end()) {
            problems.push_back(at + " " + contract.members[i].name + ": missing");
        } else {
            CompareMember(at, contract.members[i], found->second, problems);
        }
    }
    for (const auto& [slot, found] : slots) {
        if (slot >= contract.members.size()) {
            problems.push_back(where + " slot " + std::to_string(slot + 1) + ": unexpected member " + found.name);
        }
    }
}

void CheckEnumeration(ITypeLib* library, const Enumeration& expected, std::vector<std::string>& problems)
{
    const std::string where = std::string("enumeration ") + expected.name;
    ITypeInfo* raw = nullptr;
    for (UINT i = 0; i < library->GetTypeInfoCount() && raw == nullptr; ++i) {
        BSTR name = nullptr;
        TYPEKIND kind{};
        library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
        library->GetTypeInfoType(i, &kind);
        if (kind == TKIND_ENUM && Narrow(name) == expected.name) {
            library->GetTypeInfo(i, &raw);
        }
        SysFreeString(name);
    }
    if (raw == nullptr) {
        problems.push_back(where + ": missing");
        return;
    }
    const Com<ITypeInfo> info(raw);
    std::vector<std::pair<std::string, long>> members;
    for (UINT i = 0;; ++i) {
        VARDESC* member = nullptr;
        if (FAILED(info->GetVarDesc(i, &member))) {
            break;
        }
        BSTR name = nullptr;
        info->GetDocumentation(member->memid, &name, nullptr, nullptr, nullptr);
        VARIANT value;
        VariantInit(&value);
        long number = 0x7fffffff;
        if (member->varkind == VAR_CONST &&
            SUCCEEDED(VariantChangeType(&value, member->lpvarValue, 0, VT_I4))) {
            number = V_I4(&value);
        }
        members.emplace_back(Narrow(name), number);
        SysFreeString(name);
        info->ReleaseVarDesc(member);
    }
    const auto show = [](const auto& list) {
        std::ostringstream text;
        for (const auto& [name, value] : list) {
            text << ' ' << name << '=' << value;
        }
        return text.str();
    };
    bool same = members.size() == expected.members.size();
    for (std::size_t i = 0; same && i < members.size(); ++i) {
        same = members[i].first == expected.members[i].first && members[i].second == expected.members[i].second;
    }
    if (!same) {
        problems.push_back(where + ": members" + show(members) + ", expected" + show(expected.members));
    }
}

std::wstring LibraryPath()
{
    const std::string path = platform::ProgramFolder() + "\\" + BRENLIX_DLL_NAME;
    return std::wstring(path.begin(), path.end());
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += "\n  " + line;
    }
    return text;
}

// Every difference between the library in the file at path and the published
// interfaces; it must be a library for the given system.
std::vector<std::string> Differences(const std::wstring& path, SYSKIND kind)
{
    std::vector<std::string> problems;
    ITypeLib* raw = nullptr;
    // From the file itself; nothing needs to be registered.
    const HRESULT loaded = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &raw);
    if (FAILED(loaded)) {
        problems.push_back("no type library in the file: " + std::to_string(loaded));
        return problems;
    }
    const Com<ITypeLib> library(raw);

    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        problems.push_back("library: no attributes");
        return problems;
    }
    if (!IsEqualGUID(attributes->guid, published::Guid(published::kLibrary)) ||
        attributes->wMajorVerNum != published::kLibraryMajor || attributes->wMinorVerNum != published::kLibraryMinor) {
        problems.push_back("library: " + GuidText(attributes->guid) + " version " +
                           std::to_string(attributes->wMajorVerNum) + "." + std::to_string(attributes->wMinorVerNum) +
                           ", expected " + Narrow(published::kLibrary) + " version 9.0");
    }
    if (attributes->syskind != kind) {
        problems.push_back("library: for system kind " + std::to_string(attributes->syskind) + ", expected " +
                           std::to_string(kind));
    }
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    if (Narrow(name) != "Brenlix") {
        problems.push_back("library: named " + Narrow(name) + ", expected Brenlix");
    }
    SysFreeString(name);

    for (const InterfaceContract& contract : Contracts()) {
        CheckClass(library.get(), contract, problems);
    }
    for (const Enumeration& enumeration : kEnumerations) {
        CheckEnumeration(library.get(), enumeration, problems);
    }
    ITypeInfo* logFileType = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(published::Guid(published::kLogFileType), &logFileType))) {
        problems.push_back(std::string("enumeration LogFileType: no type with its identifier ") +
                           Narrow(published::kLogFileType));
    } else {
        if (NameOf(logFileType) != "LogFileType") {
            problems.push_back("enumeration LogFileType: its identifier names " + NameOf(logFileType));
        }
        logFileType->Release();
    }
    return problems;
}

constexpr bool k64 = sizeof(void*) == 8;

TEST(TypeLibraryContract, MatchesThePublishedInterfaces)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::vector<std::string> problems = Differences(LibraryPath(), k64 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_TRUE(problems.empty()) << problems.size() << " differences from the published interfaces:"
                                  << Joined(problems);
    CoUninitialize();
}

// The build of the other bitness, where this checkout has one: its library is
// read as a file, so a 64-bit test checks the 32-bit library even where no
// 32-bit program can run.
TEST(TypeLibraryContract, TheOtherBitnessMatchesToo)
{
    std::string path = std::string("Z:") + BRENLIX_PEER_LIBRARY;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "the other bitness is not built: no " << path;
    }
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::vector<std::string> problems =
        Differences(std::wstring(path.begin(), path.end()), k64 ? SYS_WIN32 : SYS_WIN64);
    EXPECT_TRUE(problems.empty()) << problems.size() << " differences from the published interfaces in " << path
                                  << ":" << Joined(problems);
    CoUninitialize();
}

} // namespace
