// What the component-object face of the library shares: text and value
// conversions at the boundary, the dispatch half of every dual interface
// (served from the embedded type library), raising errors to clients, and the
// class factory. Windows only.
#pragma once

#include <brenlix/Error.h>
#include <brenlix/Variant.h>

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace brenlix::com {

// Objects and locks alive in this module; the library may unload at zero.
extern std::atomic<long> g_liveObjects;
extern HMODULE g_module;

// The full path of this module's file; empty when the system cannot give it
// (GetLastError says why).
std::wstring ModulePath();

// ---- Text and values across the boundary ----------------------------------

// A counted Unicode string as the library's text (NULL is the empty text).
std::string FromBstr(BSTR text);
// A new string the caller owns.
BSTR ToBstr(const std::string& text);
HRESULT ReturnText(const std::string& text, BSTR* result);
template <class Value, class Out>
HRESULT ReturnValue(Value value, Out* result)
{
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = static_cast<Out>(value);
    return S_OK;
}
inline VARIANT_BOOL ToVariantBool(bool value)
{
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// A VARIANT (by reference or not) as the library's Variant: empty, 16- and
// 32-bit integers, doubles, text, byte arrays, Booleans, bytes, dates and
// currency pass as their own kinds; other numbers become the nearest kind.
// Anything else (objects, other arrays) is refused with DISP_E_TYPEMISMATCH.
HRESULT ToLibraryVariant(const VARIANT& value, Variant& result);
HRESULT FromLibraryVariant(const Variant& value, VARIANT* result);

// SAFEARRAY(BSTR) out-parameters, replacing what the caller passed: a
// one-dimensional array with the given lower bound, or, for no names, none
// at all (an erased array).
HRESULT ReplaceTextArray(SAFEARRAY** array, const std::vector<std::string>& items, LONG lowerBound,
                         bool noneWhenEmpty);

// ---- Errors ----------------------------------------------------------------

// Reports the exception being handled to the client through IErrorInfo and
// gives the HRESULT to return. A library Error keeps its number (numbers
// from 1 to 65535 travel as 0x800A0000 + number, as script hosts expect),
// source and description.
HRESULT RaiseCurrentException(REFIID iid);

// ---- The dispatch half -----------------------------------------------------

// The type information of one interface of the library's type library.
HRESULT InterfaceTypeInfo(REFIID iid, ITypeInfo** info);
// Lets the type library go (when the module may unload).
void ReleaseTypeLibrary();

// Invokes a member through its type information. Optional parameters that a
// late-bound caller left out (trailing ones not passed, or ones passed as
// "missing", VT_ERROR with DISP_E_PARAMNOTFOUND) get the type library's
// defaults first, in storage this call owns; a reference parameter gets a
// reference to its default. A script's variable (a reference to a VARIANT)
// passed to a typed reference parameter is passed as a reference of that
// type. (Wine's type information hands a by-reference parameter the
// default's value where the member expects an address, and refuses a
// variable there as a type mismatch.)
HRESULT InvokeWithDefaults(ITypeInfo* info, IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argumentError);

// After the type information has invoked a member: a member that failed with
// an error of its own reaches the late-bound client as an exception with its
// number, source and description.
HRESULT CompleteInvoke(HRESULT hr, EXCEPINFO* exception);

// One object serving the dual interface Interface: reference counting,
// IDispatch through the type library, ISupportErrorInfo.
template <class Interface>
class DispatchObject : public Interface, public ISupportErrorInfo {
public:
    explicit DispatchObject(REFIID iid) : iid_(iid) { ++g_liveObjects; }
    virtual ~DispatchObject() { --g_liveObjects; }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
            *object = static_cast<Interface*>(this);
        } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const long left = --refs_;
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        return index != 0 ? DISP_E_BADINDEX : InterfaceTypeInfo(iid_, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = InterfaceTypeInfo(iid_, &info);
        if (SUCCEEDED(hr)) {
            hr = DispGetIDsOfNames(info, names, count, ids);
            info->Release();
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override
    {
        if (!IsEqualIID(riid, IID_NULL)) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = InterfaceTypeInfo(iid_, &info);
        if (FAILED(hr)) {
            return hr;
        }
        SetErrorInfo(0, nullptr);
        hr = InvokeWithDefaults(info, static_cast<Interface*>(this), id, flags, params, result, exception,
                                argumentError);
        info->Release();
        return CompleteInvoke(hr, exception);
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return IsEqualIID(riid, iid_) ? S_OK : S_FALSE;
    }

protected:
    // Runs a member's body; an exception becomes the client's error.
    // A body may give an HRESULT of its own.
    template <class Body>
    HRESULT Call(Body&& body)
    {
        try {
            if constexpr (std::is_same_v<decltype(body()), HRESULT>) {
                const HRESULT hr = body();
                if (FAILED(hr)) {
                    SetErrorInfo(0, nullptr); // no stale description for this failure
                }
                return hr;
            } else {
                body();
                return S_OK;
            }
        } catch (...) {
            return RaiseCurrentException(iid_);
        }
    }

private:
    std::atomic<long> refs_{1};
    const IID iid_;
};

// ---- Creation --------------------------------------------------------------

using CreateFunction = HRESULT (*)(REFIID iid, void** object);

// Creates an object of Object and hands out the asked interface.
template <class Object>
HRESULT CreateObject(REFIID iid, void** object)
{
    Object* created = nullptr;
    try {
        created = new Object();
    } catch (...) {
        return E_OUTOFMEMORY; // the only way a class's construction fails
    }
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) { ++g_liveObjects; }
    ~ClassFactory() { --g_liveObjects; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    std::atomic<long> refs_{1};
    CreateFunction create_;
};

} // namespace brenlix::com
