// KvRegistry as a component object.
#include "ComObjects.h"

#include <brenlix/KvRegistry.h>

namespace brenlix::com {

namespace {

class KvRegistryObject final : public DispatchObject<_KvRegistry> {
public:
    KvRegistryObject() : DispatchObject(IID__KvRegistry) {}

    // CreateAdditionalEXEAssociations by name: the class name, then the items
    // gathered into the variable list here. (Wine's type information gathers
    // them into a list the member gets by an address that is gone by the time
    // it returns, and then, writing the [in, out] list back, tries to convert
    // the array into the first item's place and fails with a type mismatch
    // after the verbs were written.)
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override
    {
        if (id != kCreateAdditionalEXEAssociations || (flags & DISPATCH_METHOD) == 0 || params == nullptr ||
            params->cNamedArgs != 0 || !IsEqualIID(riid, IID_NULL)) {
            return DispatchObject::Invoke(id, riid, locale, flags, params, result, exception, argumentError);
        }
        if (params->cArgs == 0) {
            return DISP_E_BADPARAMCOUNT;
        }
        SetErrorInfo(0, nullptr);
        VARIANT name;
        VariantInit(&name);
        // The arguments stand in reverse order: the class name is the last.
        HRESULT hr = VariantChangeType(&name, &params->rgvarg[params->cArgs - 1], 0, VT_BSTR);
        if (FAILED(hr)) {
            if (argumentError != nullptr) {
                *argumentError = params->cArgs - 1;
            }
            return DISP_E_TYPEMISMATCH;
        }
        SAFEARRAY* items = SafeArrayCreateVector(VT_VARIANT, 0, params->cArgs - 1);
        if (items == nullptr) {
            VariantClear(&name);
            return E_OUTOFMEMORY;
        }
        for (UINT i = 1; i < params->cArgs && SUCCEEDED(hr); ++i) {
            LONG index = static_cast<LONG>(i - 1);
            VARIANT item;
            VariantInit(&item);
            hr = VariantCopyInd(&item, &params->rgvarg[params->cArgs - 1 - i]);
            if (SUCCEEDED(hr)) {
                hr = SafeArrayPutElement(items, &index, &item);
            }
            VariantClear(&item);
        }
        if (SUCCEEDED(hr)) {
            hr = CreateAdditionalEXEAssociations(V_BSTR(&name), &items);
        }
        SafeArrayDestroy(items);
        VariantClear(&name);
        if (result != nullptr) {
            VariantInit(result);
        }
        return CompleteInvoke(hr, exception);
    }

    STDMETHODIMP get_KeyExists(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(registry_.KeyExists()), result); });
    }
    STDMETHODIMP CreateKey(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(registry_.CreateKey()), result); });
    }
    STDMETHODIMP DeleteKey(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(registry_.DeleteKey()), result); });
    }
    STDMETHODIMP DeleteValue(VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(registry_.DeleteValue()), result); });
    }
    STDMETHODIMP get_Value(VARIANT* value) override
    {
        return Call([&] { return FromLibraryVariant(registry_.Value(), value); });
    }
    STDMETHODIMP put_Value(VARIANT vValue) override
    {
        return Call([&] {
            Variant value;
            const HRESULT hr = ToLibraryVariant(vValue, value);
            if (SUCCEEDED(hr)) {
                registry_.Value(value);
            }
            return hr;
        });
    }
    STDMETHODIMP EnumerateValues(SAFEARRAY** sKeyNames, LONG* iKeyCount, VARIANT_BOOL* result) override
    {
        return Call([&] {
            return List(sKeyNames, iKeyCount, result, [this](std::vector<std::string>& names, std::int32_t& count) {
                return registry_.EnumerateValues(names, count);
            });
        });
    }
    STDMETHODIMP EnumerateSections(SAFEARRAY** sSect, LONG* iSectCount, VARIANT_BOOL* result) override
    {
        return Call([&] {
            return List(sSect, iSectCount, result, [this](std::vector<std::string>& names, std::int32_t& count) {
                return registry_.EnumerateSections(names, count);
            });
        });
    }
    STDMETHODIMP CreateEXEAssociation(BSTR sExePath, BSTR sClassName, BSTR sClassDescription, BSTR sAssociation,
                                      BSTR sOpenMenuText, VARIANT_BOOL bSupportPrint, BSTR sPrintMenuText,
                                      VARIANT_BOOL bSupportNew, BSTR sNewMenuText, VARIANT_BOOL bSupportInstall,
                                      BSTR sInstallMenuText, LONG lDefaultIconIndex) override
    {
        return Call([&] {
            registry_.CreateEXEAssociation(FromBstr(sExePath), FromBstr(sClassName), FromBstr(sClassDescription),
                                           FromBstr(sAssociation), FromBstr(sOpenMenuText), bSupportPrint != 0,
                                           FromBstr(sPrintMenuText), bSupportNew != 0, FromBstr(sNewMenuText),
                                           bSupportInstall != 0, FromBstr(sInstallMenuText), lDefaultIconIndex);
        });
    }
    STDMETHODIMP CreateAdditionalEXEAssociations(BSTR sClassName, SAFEARRAY** vItems) override
    {
        return Call([&] {
            std::vector<Variant> items;
            const HRESULT hr = ItemsOf(vItems != nullptr ? *vItems : nullptr, items);
            if (SUCCEEDED(hr)) {
                registry_.CreateAdditionalEXEAssociations(FromBstr(sClassName), items);
            }
            return hr;
        });
    }
    STDMETHODIMP get_ValueType(::ERegistryValueTypes* value) override
    {
        return ReturnValue(registry_.ValueType(), value);
    }
    STDMETHODIMP put_ValueType(::ERegistryValueTypes eValueType) override
    {
        registry_.ValueType(static_cast<brenlix::ERegistryValueTypes>(eValueType));
        return S_OK;
    }
    STDMETHODIMP get_ClassKey(::ERegistryClassConstants* value) override
    {
        return ReturnValue(registry_.ClassKey(), value);
    }
    STDMETHODIMP put_ClassKey(::ERegistryClassConstants eKey) override
    {
        registry_.ClassKey(static_cast<brenlix::ERegistryClassConstants>(eKey));
        return S_OK;
    }
    STDMETHODIMP get_SectionKey(BSTR* value) override
    {
        return Call([&] { return ReturnText(registry_.SectionKey(), value); });
    }
    STDMETHODIMP put_SectionKey(BSTR sSectionKey) override
    {
        return Call([&] { registry_.SectionKey(FromBstr(sSectionKey)); });
    }
    STDMETHODIMP get_ValueKey(BSTR* value) override
    {
        return Call([&] { return ReturnText(registry_.ValueKey(), value); });
    }
    STDMETHODIMP put_ValueKey(BSTR sValueKey) override
    {
        return Call([&] { registry_.ValueKey(FromBstr(sValueKey)); });
    }
    STDMETHODIMP get_Default(VARIANT* value) override
    {
        return Call([&] { return FromLibraryVariant(registry_.Default(), value); });
    }
    STDMETHODIMP put_Default(VARIANT vDefault) override
    {
        return Call([&] {
            Variant value;
            const HRESULT hr = ToLibraryVariant(vDefault, value);
            if (SUCCEEDED(hr)) {
                registry_.Default(value);
            }
            return hr;
        });
    }

private:
    static constexpr DISPID kCreateAdditionalEXEAssociations = 9;

    // A listing into a 1-based array of names (none at all when empty) and its count.
    template <class Lister>
    static HRESULT List(SAFEARRAY** array, LONG* count, VARIANT_BOOL* result, Lister&& lister)
    {
        if (array == nullptr || count == nullptr || result == nullptr) {
            return E_POINTER;
        }
        std::vector<std::string> names;
        std::int32_t found = 0;
        const bool listed = lister(names, found);
        const HRESULT hr = ReplaceTextArray(array, names, 1, true);
        if (FAILED(hr)) {
            return hr;
        }
        *count = found;
        *result = ToVariantBool(listed);
        return S_OK;
    }

    // The elements of a variable argument list, in order.
    static HRESULT ItemsOf(SAFEARRAY* array, std::vector<Variant>& items)
    {
        if (array == nullptr) {
            return S_OK;
        }
        VARTYPE type = VT_EMPTY;
        if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &type)) || type != VT_VARIANT) {
            return DISP_E_TYPEMISMATCH;
        }
        LONG lower = 0;
        LONG upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        for (LONG index = lower; index <= upper; ++index) {
            VARIANT element;
            VariantInit(&element);
            HRESULT hr = SafeArrayGetElement(array, &index, &element);
            if (SUCCEEDED(hr)) {
                Variant item;
                hr = ToLibraryVariant(element, item);
                VariantClear(&element);
                if (SUCCEEDED(hr)) {
                    items.push_back(std::move(item));
                }
            }
            if (FAILED(hr)) {
                return hr;
            }
        }
        return S_OK;
    }

    brenlix::KvRegistry registry_;
};

} // namespace

HRESULT CreateKvRegistry(REFIID iid, void** object)
{
    return CreateObject<KvRegistryObject>(iid, object);
}

} // namespace brenlix::com
