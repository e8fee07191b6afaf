#include "ComSupport.h"

#include <platform/Text.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace brenlix::com {

std::atomic<long> g_liveObjects{0};
HMODULE g_module = nullptr;

namespace {

std::wstring Wide(const std::string& text)
{
    const std::u16string utf16 = platform::Utf8ToUtf16(text);
    return std::wstring(utf16.begin(), utf16.end());
}

// The type library embedded in this module, loaded on first use and kept
// until the module may unload.
std::mutex g_libraryLock;
ITypeLib* g_library = nullptr;

HRESULT LibraryTypeLib(ITypeLib** library)
{
    const std::lock_guard<std::mutex> guard(g_libraryLock);
    ITypeLib*& loaded = g_library;
    if (loaded == nullptr) {
        const std::wstring path = ModulePath();
        if (path.empty()) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded);
        if (FAILED(hr)) {
            loaded = nullptr;
            return hr;
        }
    }
    loaded->AddRef();
    *library = loaded;
    return S_OK;
}

} // namespace

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string FromBstr(BSTR text)
{
    if (text == nullptr) {
        return {};
    }
    return platform::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

BSTR ToBstr(const std::string& text)
{
    const std::u16string utf16 = platform::Utf8ToUtf16(text);
    BSTR result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(utf16.data()), static_cast<UINT>(utf16.size()));
    if (result == nullptr) {
        throw std::bad_alloc();
    }
    return result;
}

HRESULT ReturnText(const std::string& text, BSTR* result)
{
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = ToBstr(text);
    return S_OK;
}

HRESULT ToLibraryVariant(const VARIANT& value, Variant& result)
{
    VARIANT plain;
    VariantInit(&plain);
    HRESULT hr = VariantCopyInd(&plain, const_cast<VARIANT*>(&value));
    if (FAILED(hr)) {
        return hr;
    }
    switch (V_VT(&plain)) {
    case VT_EMPTY:
        result = Variant();
        break;
    case VT_I2:
        result = Variant(static_cast<std::int16_t>(V_I2(&plain)));
        break;
    case VT_I4:
        result = Variant(static_cast<std::int32_t>(V_I4(&plain)));
        break;
    case VT_R8:
        result = Variant(V_R8(&plain));
        break;
    case VT_BSTR:
        result = Variant(FromBstr(V_BSTR(&plain)));
        break;
    case VT_BOOL:
        result = Variant::FromBoolean(V_BOOL(&plain) != VARIANT_FALSE);
        break;
    case VT_UI1:
        result = Variant::FromByte(V_UI1(&plain));
        break;
    case VT_DATE:
        // Dates the library cannot show (before 1601) are refused as VB refuses
        // a date beyond its range.
        try {
            result = Variant::FromDate(V_DATE(&plain));
        } catch (const Error&) {
            hr = DISP_E_OVERFLOW;
        }
        break;
    case VT_CY:
        result = Variant::FromCurrency(V_CY(&plain).int64);
        break;
    case VT_I1:
        hr = VariantChangeType(&plain, &plain, 0, VT_I2);
        if (SUCCEEDED(hr)) {
            result = Variant(static_cast<std::int16_t>(V_I2(&plain)));
        }
        break;
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
        // Whole numbers: 32-bit when they fit, else as a double.
        if (SUCCEEDED(VariantChangeType(&plain, &plain, 0, VT_I4))) {
            result = Variant(static_cast<std::int32_t>(V_I4(&plain)));
            break;
        }
        [[fallthrough]];
    case VT_R4:
    case VT_DECIMAL:
        hr = VariantChangeType(&plain, &plain, 0, VT_R8);
        if (SUCCEEDED(hr)) {
            result = Variant(V_R8(&plain));
        }
        break;
    case VT_ARRAY | VT_UI1: {
        SAFEARRAY* array = V_ARRAY(&plain);
        Variant::ByteArray bytes;
        if (SafeArrayGetDim(array) != 1) {
            hr = DISP_E_TYPEMISMATCH;
            break;
        }
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        void* data = nullptr;
        hr = SafeArrayAccessData(array, &data);
        if (SUCCEEDED(hr)) {
            const auto* first = static_cast<const std::uint8_t*>(data);
            bytes.assign(first, first + (upper - lower + 1));
            SafeArrayUnaccessData(array);
            result = Variant(std::move(bytes));
        }
        break;
    }
    default:
        hr = DISP_E_TYPEMISMATCH;
    }
    VariantClear(&plain);
    return hr;
}

HRESULT FromLibraryVariant(const Variant& value, VARIANT* result)
{
    if (result == nullptr) {
        return E_POINTER;
    }
    VariantInit(result);
    switch (value.Kind()) {
    case VariantKind::Empty:
        break;
    case VariantKind::Integer:
        V_VT(result) = VT_I2;
        V_I2(result) = value.Integer();
        break;
    case VariantKind::Long:
        V_VT(result) = VT_I4;
        V_I4(result) = value.Long();
        break;
    case VariantKind::Double:
        V_VT(result) = VT_R8;
        V_R8(result) = value.Double();
        break;
    case VariantKind::Text:
        V_BSTR(result) = ToBstr(value.Text());
        V_VT(result) = VT_BSTR;
        break;
    case VariantKind::Bytes: {
        const Variant::ByteArray& bytes = value.Bytes();
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (array == nullptr) {
            return E_OUTOFMEMORY;
        }
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
            std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(data));
            SafeArrayUnaccessData(array);
        }
        V_VT(result) = VT_ARRAY | VT_UI1;
        V_ARRAY(result) = array;
        break;
    }
    case VariantKind::Boolean:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value.Boolean() ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VariantKind::Byte:
        V_VT(result) = VT_UI1;
        V_UI1(result) = value.Byte();
        break;
    case VariantKind::Date:
        V_VT(result) = VT_DATE;
        V_DATE(result) = value.Date();
        break;
    case VariantKind::Currency:
        V_VT(result) = VT_CY;
        V_CY(result).int64 = value.Currency();
        break;
    }
    return S_OK;
}

HRESULT ReplaceTextArray(SAFEARRAY** array, const std::vector<std::string>& items, LONG lowerBound,
                         bool noneWhenEmpty)
{
    if (array == nullptr) {
        return E_POINTER;
    }
    if (*array != nullptr && ((*array)->fFeatures & (FADF_FIXEDSIZE | FADF_STATIC | FADF_EMBEDDED)) != 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    SAFEARRAY* created = nullptr;
    if (!items.empty() || !noneWhenEmpty) {
        created = SafeArrayCreateVector(VT_BSTR, lowerBound, static_cast<ULONG>(items.size()));
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            LONG index = lowerBound + static_cast<LONG>(i);
            BSTR text = nullptr;
            HRESULT hr = E_OUTOFMEMORY;
            try {
                text = ToBstr(items[i]);
                hr = SafeArrayPutElement(created, &index, text); // copies the string
            } catch (const std::bad_alloc&) {
            }
            SysFreeString(text);
            if (FAILED(hr)) {
                SafeArrayDestroy(created);
                return hr;
            }
        }
    }
    if (*array != nullptr) {
        const HRESULT hr = SafeArrayDestroy(*array);
        if (FAILED(hr)) {
            if (created != nullptr) {
                SafeArrayDestroy(created);
            }
            return hr;
        }
    }
    *array = created;
    return S_OK;
}

HRESULT RaiseCurrentException(REFIID iid)
{
    HRESULT hr = E_UNEXPECTED;
    std::string source = "Brenlix";
    std::string description;
    try {
        throw;
    } catch (const Error& error) {
        const std::int32_t number = error.Number();
        if (number > 0 && number <= 0xFFFF) {
            hr = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
        } else if (number < 0) {
            hr = static_cast<HRESULT>(number);
        } else {
            hr = E_FAIL;
        }
        source = error.Source();
        description = error.Description();
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
        description = "Out of memory";
    } catch (const std::exception& error) {
        description = error.what();
    } catch (...) {
        description = "Unexpected failure";
    }

    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        std::wstring wideSource = Wide(source);
        std::wstring wideDescription = Wide(description);
        create->SetSource(wideSource.data());
        create->SetDescription(wideDescription.data());
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}

void ReleaseTypeLibrary()
{
    const std::lock_guard<std::mutex> guard(g_libraryLock);
    if (g_library != nullptr) {
        g_library->Release();
        g_library = nullptr;
    }
}

HRESULT InterfaceTypeInfo(REFIID iid, ITypeInfo** info)
{
    ITypeLib* library = nullptr;
    HRESULT hr = LibraryTypeLib(&library);
    if (SUCCEEDED(hr)) {
        hr = library->GetTypeInfoOfGuid(iid, info);
        library->Release();
    }
    return hr;
}

namespace {

// What a parameter holds, as a VARIANT type: a reference's target, and an
// enumeration (or an alias of one) as a Long.
VARTYPE HeldType(ITypeInfo* info, const TYPEDESC& parameter)
{
    const TYPEDESC* type = parameter.vt == VT_PTR ? parameter.lptdesc : &parameter;
    if (type->vt == VT_SAFEARRAY) {
        const VARTYPE element = type->lptdesc->vt;
        return element == VT_USERDEFINED || element == VT_PTR ? static_cast<VARTYPE>(VT_EMPTY)
                                                              : static_cast<VARTYPE>(VT_ARRAY | element);
    }
    ITypeInfo* named = nullptr;
    for (int depth = 0; type->vt == VT_USERDEFINED && depth < 4; ++depth) {
        ITypeInfo* referred = nullptr;
        if (FAILED((named != nullptr ? named : info)->GetRefTypeInfo(type->hreftype, &referred))) {
            break;
        }
        if (named != nullptr) {
            named->Release();
        }
        named = referred;
        TYPEATTR* attributes = nullptr;
        if (FAILED(named->GetTypeAttr(&attributes))) {
            break;
        }
        const TYPEKIND kind = attributes->typekind;
        const TYPEDESC alias = attributes->tdescAlias;
        named->ReleaseTypeAttr(attributes);
        if (kind == TKIND_ENUM) {
            named->Release();
            return VT_I4;
        }
        if (kind != TKIND_ALIAS || alias.vt == VT_USERDEFINED || alias.vt == VT_PTR) {
            break; // an alias of an alias would need its own TYPEDESC kept; the library has none
        }
        named->Release();
        return alias.vt;
    }
    if (named != nullptr) {
        named->Release();
    }
    return type->vt == VT_USERDEFINED ? static_cast<VARTYPE>(VT_EMPTY) : type->vt;
}

// The method with this identifier, or nullptr; release it with ReleaseFuncDesc.
FUNCDESC* MethodOf(ITypeInfo* info, DISPID id)
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return nullptr;
    }
    const WORD count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT index = 0; index < count; ++index) {
        FUNCDESC* method = nullptr;
        if (FAILED(info->GetFuncDesc(index, &method))) {
            continue;
        }
        if (method->memid == id && method->invkind == INVOKE_FUNC) {
            return method;
        }
        info->ReleaseFuncDesc(method);
    }
    return nullptr;
}

// The arguments of one call as the member takes them, in storage of its own
// that lives until the call is over: the defaults of optional parameters
// left out, and a script's variable (a reference to a VARIANT) passed to a
// typed reference parameter as a reference of that type. Every other
// argument passed by value is copied, since the type information may write
// an [in, out] parameter back into the array it is given.
class CallArguments {
public:
    CallArguments() = default;
    CallArguments(const CallArguments&) = delete;
    CallArguments& operator=(const CallArguments&) = delete;
    ~CallArguments()
    {
        for (std::size_t i = 0; i < arguments_.size(); ++i) {
            if (ownsArgument_[i]) {
                VariantClear(&arguments_[i]);
            }
        }
        for (VARIANT& value : storage_) {
            VariantClear(&value);
        }
        for (Passed& passed : copyBack_) {
            VariantClear(&passed.before);
        }
    }

    // False when the call can go on with what the caller passed: nothing was
    // left out or passed as a variable, or something cannot be had (the type
    // information then says what is wrong).
    bool Prepare(ITypeInfo* info, const FUNCDESC& method, const DISPPARAMS& given)
    {
        std::vector<const ELEMDESC*> parameters; // those a caller passes, in order
        for (SHORT index = 0; index < method.cParams; ++index) {
            const ELEMDESC& parameter = method.lprgelemdescParam[index];
            if ((parameter.paramdesc.wParamFlags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) == 0) {
                parameters.push_back(&parameter);
            }
        }
        const std::size_t count = parameters.size();
        if (given.cArgs > count) {
            return false;
        }
        arguments_.resize(count);
        ownsArgument_.assign(count, false);
        storage_.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            VariantInit(&arguments_[i]);
            VariantInit(&storage_[i]);
        }
        bool changed = false;
        for (std::size_t i = 0; i < count; ++i) {
            // The arguments stand in reverse order: the first is the last.
            const std::size_t slot = count - 1 - i;
            VARIANT& argument = arguments_[slot];
            VARIANT& value = storage_[i];
            const VARIANT* passed = i < given.cArgs ? &given.rgvarg[given.cArgs - 1 - i] : nullptr;
            const PARAMDESC& description = parameters[i]->paramdesc;
            const bool reference = parameters[i]->tdesc.vt == VT_PTR;
            const VARTYPE held = HeldType(info, parameters[i]->tdesc);
            const bool missing =
                passed == nullptr || (V_VT(passed) == VT_ERROR && V_ERROR(passed) == DISP_E_PARAMNOTFOUND);
            const USHORT defaulted = PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
            if (missing && (description.wParamFlags & defaulted) == defaulted && description.pparamdescex != nullptr &&
                held != VT_EMPTY) {
                VARIANT& fallback = description.pparamdescex->varDefaultValue;
                const HRESULT hr = held == VT_VARIANT ? VariantCopy(&value, &fallback)
                                                      : VariantChangeType(&value, &fallback, 0, held);
                if (FAILED(hr)) {
                    return false;
                }
                if (reference) {
                    Refer(argument, value, held);
                } else {
                    argument = value;
                    VariantInit(&value); // the argument holds it now
                    ownsArgument_[slot] = true;
                }
                changed = true;
                continue;
            }
            if (passed == nullptr) {
                return false; // a required argument left out: the type information says so
            }
            if (reference && held != VT_VARIANT && held != VT_EMPTY && V_VT(passed) == (VT_BYREF | VT_VARIANT) &&
                V_VARIANTREF(passed) != nullptr) {
                // A script's variable: its own value where it has the type,
                // else a converted copy (an empty one for an array), which
                // becomes the variable's value when the call succeeds.
                VARIANT* variable = V_VARIANTREF(passed);
                if (V_VT(variable) == held) {
                    Refer(argument, *variable, held);
                    changed = true;
                    continue;
                }
                const bool converted = (held & VT_ARRAY) != 0
                                           ? V_VT(variable) == VT_EMPTY && (V_VT(&value) = held, true)
                                           : SUCCEEDED(VariantChangeType(&value, variable, 0, held));
                if (converted) {
                    Refer(argument, value, held);
                    copyBack_.push_back(Passed{variable, i, {}});
                    VariantInit(&copyBack_.back().before);
                    VariantCopy(&copyBack_.back().before, &value);
                    changed = true;
                    continue;
                }
            }
            if ((V_VT(passed) & VT_BYREF) != 0) {
                argument = *passed; // a reference to the caller's own
            } else if (FAILED(VariantCopy(&argument, const_cast<VARIANT*>(passed)))) {
                return false;
            } else {
                ownsArgument_[slot] = true;
            }
        }
        return changed;
    }

    DISPPARAMS Parameters()
    {
        return DISPPARAMS{arguments_.data(), nullptr, static_cast<UINT>(arguments_.size()), 0};
    }

    // After a call that succeeded: the variables passed as converted copies
    // take what the member put there (a value it left as it was leaves the
    // variable as it was, type and all).
    void CopyBack()
    {
        for (Passed& passed : copyBack_) {
            VARIANT& value = storage_[passed.index];
            if ((V_VT(&value) & VT_ARRAY) == 0 && VarCmp(&value, &passed.before, 0, 0) == VARCMP_EQ) {
                continue;
            }
            VariantClear(passed.variable);
            *passed.variable = value;
            VariantInit(&value);
        }
    }

private:
    // The argument as a reference of type held to value's storage (every
    // member of its union starts at the same place).
    static void Refer(VARIANT& argument, VARIANT& value, VARTYPE held)
    {
        V_VT(&argument) = static_cast<VARTYPE>(VT_BYREF | held);
        V_BYREF(&argument) = static_cast<void*>(&V_I4(&value));
    }

    std::vector<VARIANT> arguments_;
    std::vector<bool> ownsArgument_;
    std::vector<VARIANT> storage_;
    struct Passed {
        VARIANT* variable; // the caller's
        std::size_t index; // of its converted copy in storage_
        VARIANT before;    // the copy as it went in
    };
    std::vector<Passed> copyBack_;
};

} // namespace

HRESULT InvokeWithDefaults(ITypeInfo* info, IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argumentError)
{
    // Only calls of methods by position; a property assignment names its argument.
    if (params == nullptr || params->cNamedArgs != 0 || (flags & DISPATCH_METHOD) == 0) {
        return info->Invoke(object, id, flags, params, result, exception, argumentError);
    }
    FUNCDESC* method = MethodOf(info, id);
    if (method == nullptr) {
        return info->Invoke(object, id, flags, params, result, exception, argumentError);
    }
    HRESULT hr = S_OK;
    try {
        CallArguments prepared;
        // A variable argument list is gathered by the type information itself.
        if (method->cParamsOpt >= 0 && prepared.Prepare(info, *method, *params)) {
            DISPPARAMS arguments = prepared.Parameters();
            hr = info->Invoke(object, id, flags, &arguments, result, exception, argumentError);
            if (SUCCEEDED(hr)) {
                prepared.CopyBack();
            }
            // The position of a refused argument counts from the end, as the caller's do.
            if (FAILED(hr) && argumentError != nullptr && *argumentError < arguments.cArgs) {
                const UINT added = arguments.cArgs - params->cArgs;
                *argumentError = *argumentError >= added ? *argumentError - added : 0;
            }
        } else {
            hr = info->Invoke(object, id, flags, params, result, exception, argumentError);
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    info->ReleaseFuncDesc(method);
    return hr;
}

HRESULT CompleteInvoke(HRESULT hr, EXCEPINFO* exception)
{
    // The dispatch layer's own failures (unknown member, wrong argument
    // count or type) stand as they are.
    if (SUCCEEDED(hr) || (HRESULT_FACILITY(hr) == FACILITY_DISPATCH && hr != DISP_E_EXCEPTION)) {
        return hr;
    }
    if (exception == nullptr) {
        return hr;
    }
    if (hr != DISP_E_EXCEPTION) {
        std::memset(exception, 0, sizeof *exception);
        exception->scode = hr;
    }
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        if (exception->bstrSource == nullptr) {
            info->GetSource(&exception->bstrSource);
        }
        if (exception->bstrDescription == nullptr) {
            info->GetDescription(&exception->bstrDescription);
        }
        info->Release();
    }
    return DISP_E_EXCEPTION;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::Release()
{
    const long left = --refs_;
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return create_(riid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        ++g_liveObjects;
    } else {
        --g_liveObjects;
    }
    return S_OK;
}

} // namespace brenlix::com
