// IniFile as a component object.
#include "ComObjects.h"

#include <brenlix/IniFile.h>

namespace brenlix::com {

namespace {

class IniFileObject final : public DispatchObject<_IniFile> {
public:
    IniFileObject() : DispatchObject(IID__IniFile) {}

    STDMETHODIMP get_PrivPath(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.PrivPath(), value); });
    }
    STDMETHODIMP put_UseWinINI(VARIANT_BOOL value) override
    {
        return Call([&] { ini_.UseWinINI(value != 0); });
    }
    STDMETHODIMP get_UseWinINI(VARIANT_BOOL* value) override
    {
        return ReturnValue(ToVariantBool(ini_.UseWinINI()), value);
    }
    STDMETHODIMP put_FullPath(BSTR value) override
    {
        return Call([&] { ini_.FullPath(FromBstr(value)); });
    }
    STDMETHODIMP get_FullPath(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.FullPath(), value); });
    }
    STDMETHODIMP put_SectionName(BSTR value) override
    {
        return Call([&] { ini_.SectionName(FromBstr(value)); });
    }
    STDMETHODIMP get_SectionName(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.SectionName(), value); });
    }
    STDMETHODIMP get_FilePath(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.FilePath(), value); });
    }
    STDMETHODIMP get_FileExt(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.FileExt(), value); });
    }
    STDMETHODIMP ExtractName(BSTR PathIn, ::ExtractFileName_Constants RetChoice, BSTR* result) override
    {
        return Call([&] { return ReturnText(ini_.ExtractName(FromBstr(PathIn), RetChoice), result); });
    }
    STDMETHODIMP ExtractPath(BSTR PathIn, BSTR* result) override
    {
        return Call([&] { return ReturnText(ini_.ExtractPath(FromBstr(PathIn)), result); });
    }
    STDMETHODIMP DeleteStrEntry(BSTR EntryName) override
    {
        return Call([&] { ini_.DeleteStrEntry(FromBstr(EntryName)); });
    }
    STDMETHODIMP DeleteNumEntry(BSTR EntryName) override
    {
        return Call([&] { ini_.DeleteNumEntry(FromBstr(EntryName)); });
    }
    STDMETHODIMP DeleteSection() override
    {
        return Call([&] { ini_.DeleteSection(); });
    }
    STDMETHODIMP Exists(BSTR filname, SHORT* result) override
    {
        return Call([&] { return ReturnValue(ini_.Exists(FromBstr(filname)), result); });
    }
    STDMETHODIMP GetInt(BSTR EntryName, SHORT DefaultInt, SHORT* result) override
    {
        return Call([&] { return ReturnValue(ini_.GetInt(FromBstr(EntryName), DefaultInt), result); });
    }
    STDMETHODIMP GetSectEntries(BSTR* result) override
    {
        return Call([&] { return ReturnText(ini_.GetSectEntries(), result); });
    }
    // Keys and values in a two-dimensional array (0 To 1, 0 To n - 1): element
    // (0, i) the i-th key, (1, i) its value. Left as passed when there are none.
    STDMETHODIMP GetSectEntriesEx(SAFEARRAY** DataArry, SHORT* result) override
    {
        if (DataArry == nullptr || result == nullptr) {
            return E_POINTER;
        }
        return Call([&] {
            std::vector<IniEntry> entries;
            const std::int16_t count = ini_.GetSectEntriesEx(entries);
            if (count > 0) {
                const HRESULT hr = ReplaceWithEntries(DataArry, entries);
                if (FAILED(hr)) {
                    return hr;
                }
            }
            *result = count;
            return S_OK;
        });
    }
    STDMETHODIMP GetSections(BSTR* result) override
    {
        return Call([&] { return ReturnText(ini_.GetSections(), result); });
    }
    // The names in a one-dimensional array (0 To n - 1); left as passed when there are none.
    STDMETHODIMP GetSectionsEx(SAFEARRAY** DataArry, SHORT* result) override
    {
        if (DataArry == nullptr || result == nullptr) {
            return E_POINTER;
        }
        return Call([&] {
            std::vector<std::string> names;
            const std::int16_t count = ini_.GetSectionsEx(names);
            if (count > 0) {
                const HRESULT hr = ReplaceTextArray(DataArry, names, 0, false);
                if (FAILED(hr)) {
                    return hr;
                }
            }
            *result = count;
            return S_OK;
        });
    }
    STDMETHODIMP GetString(BSTR EntryName, BSTR DefaultStr, BSTR* result) override
    {
        return Call([&] { return ReturnText(ini_.GetString(FromBstr(EntryName), FromBstr(DefaultStr)), result); });
    }
    STDMETHODIMP GetTF(BSTR EntryName, SHORT DefaultInt, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(ini_.GetTF(FromBstr(EntryName), DefaultInt)), result); });
    }
    STDMETHODIMP FlushCache() override
    {
        return Call([&] { ini_.FlushCache(); });
    }
    // The published slot takes seven values and gives nothing back; what it
    // read waits in IniReadResult.
    STDMETHODIMP IniRead(BSTR SectionName, BSTR EntryName, SHORT DefaultInt, BSTR DefaultStr, BSTR ReturnStr,
                         VARIANT_BOOL ReadNumber, BSTR FullPath) override
    {
        return Call([&] {
            lastRead_ = ini_.IniRead(FromBstr(SectionName), FromBstr(EntryName), DefaultInt, FromBstr(DefaultStr),
                                     FromBstr(ReturnStr), ReadNumber != 0, FromBstr(FullPath));
        });
    }
    STDMETHODIMP get_IniReadResult(BSTR* result) override
    {
        return Call([&] { return ReturnText(lastRead_, result); });
    }
    STDMETHODIMP IniWrite(BSTR SectionName, BSTR EntryName, BSTR NewVal, BSTR FullPath) override
    {
        return Call([&] {
            ini_.IniWrite(FromBstr(SectionName), FromBstr(EntryName), FromBstr(NewVal), FromBstr(FullPath));
        });
    }
    STDMETHODIMP PutInt(BSTR EntryName, SHORT IntValue, SHORT* result) override
    {
        return Call([&] { return ReturnValue(ini_.PutInt(FromBstr(EntryName), IntValue), result); });
    }
    STDMETHODIMP PutString(BSTR EntryName, BSTR StrValue, SHORT* result) override
    {
        return Call([&] { return ReturnValue(ini_.PutString(FromBstr(EntryName), FromBstr(StrValue)), result); });
    }
    STDMETHODIMP PutTF(BSTR EntryName, SHORT IntValue, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(ini_.PutTF(FromBstr(EntryName), IntValue)), result); });
    }
    STDMETHODIMP SectExist(BSTR SectionName, VARIANT_BOOL* result) override
    {
        return Call([&] { return ReturnValue(ToVariantBool(ini_.SectExist(FromBstr(SectionName))), result); });
    }
    STDMETHODIMP get_FileName(BSTR* value) override
    {
        return Call([&] { return ReturnText(ini_.FileName(), value); });
    }

private:
    static HRESULT ReplaceWithEntries(SAFEARRAY** array, const std::vector<IniEntry>& entries)
    {
        if (*array != nullptr && ((*array)->fFeatures & (FADF_FIXEDSIZE | FADF_STATIC | FADF_EMBEDDED)) != 0) {
            return DISP_E_ARRAYISLOCKED;
        }
        // Bounds from the leftmost dimension on: (0 To 1, 0 To n - 1).
        SAFEARRAYBOUND bounds[2] = {{2, 0}, {static_cast<ULONG>(entries.size()), 0}};
        SAFEARRAY* created = SafeArrayCreate(VT_BSTR, 2, bounds);
        if (created == nullptr) {
            return E_OUTOFMEMORY;
        }
        // The elements lie in column-major order, the leftmost dimension
        // changing first: (0, 0), (1, 0), (0, 1), ... The array frees the
        // strings it is given.
        BSTR* elements = nullptr;
        HRESULT hr = SafeArrayAccessData(created, reinterpret_cast<void**>(&elements));
        if (FAILED(hr)) {
            SafeArrayDestroy(created);
            return hr;
        }
        try {
            for (std::size_t i = 0; i < entries.size(); ++i) {
                elements[2 * i] = ToBstr(entries[i].Key);
                elements[2 * i + 1] = ToBstr(entries[i].Value);
            }
        } catch (...) {
            SafeArrayUnaccessData(created);
            SafeArrayDestroy(created);
            throw;
        }
        SafeArrayUnaccessData(created);
        if (*array != nullptr) {
            hr = SafeArrayDestroy(*array);
            if (FAILED(hr)) { // the caller still holds it locked
                SafeArrayDestroy(created);
                return hr;
            }
        }
        *array = created;
        return S_OK;
    }

    brenlix::IniFile ini_;
    std::string lastRead_; // what the last IniRead read
};

} // namespace

HRESULT CreateIniFile(REFIID iid, void** object)
{
    return CreateObject<IniFileObject>(iid, object);
}

} // namespace brenlix::com
