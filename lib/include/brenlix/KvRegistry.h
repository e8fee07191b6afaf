// KvRegistry: a cursor on one place in the registry. Set ClassKey (the root),
// SectionKey (the key path below it), ValueKey (the value name, "" for the
// key's unnamed value) and, for writes, ValueType; then call an operation.
// Each operation opens the key, does its work and closes it again.
//
// Failures are raised as Error with the source "Brenlix.cRegistry":
//   26001        a key cannot be created, deleted or opened for deleting, a
//                value cannot be deleted, the key for a write cannot be created;
//                a REG_BINARY write of a value that is no byte array raises
//                26001 with neither source nor description;
//   -2147194455  a value cannot be written (also a ValueType that cannot be
//                written, and a DWORD write of a value that holds no integer);
//   -2147194454  listing subkeys fails unexpectedly (out of memory);
//   -2147194452  CreateAdditionalEXEAssociations gets items not in threes;
//   -2147194451  CreateAdditionalEXEAssociations finds no key of the class.
// KeyExists answers false, reading Value returns Default, and the two listings
// return true with what they found; none of them raises for a registry failure.
#pragma once

#include <brenlix/Export.h>
#include <brenlix/Variant.h>

#include <cstdint>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std::string members of an exported class
#endif

// The members keep the Win32 names, which <windows.h> defines as macros; the
// macros are set aside while the enumerations are declared.
#include <brenlix/detail/Win32NamesBegin.h>

namespace brenlix {

enum ERegistryClassConstants : std::int32_t {
    HKEY_CLASSES_ROOT = INT32_MIN, // 0x80000000
    HKEY_CURRENT_USER = -2147483647,
    HKEY_LOCAL_MACHINE = -2147483646,
    HKEY_USERS = -2147483645,
};

enum ERegistryValueTypes : std::int32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_LITTLE_ENDIAN = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
    REG_RESOURCE_LIST = 8,
    REG_FULL_RESOURCE_DESCRIPTOR = 9,
    REG_RESOURCE_REQUIREMENTS_LIST = 10,
};

} // namespace brenlix

#include <brenlix/detail/Win32NamesEnd.h>

namespace brenlix {

class BRENLIX_API KvRegistry {
public:
    // True when the key opens for reading.
    bool KeyExists() const;
    // Creates the key and any missing keys above it; true, or throws 26001.
    bool CreateKey();
    // Deletes the key alone (the system refuses one with subkeys); true, or throws 26001.
    bool DeleteKey();
    // True, or throws 26001 when the key cannot be opened or the value deleted.
    bool DeleteValue();

    // Reading gives Default when the value cannot be read; otherwise it sets
    // ValueType to the stored type and gives, by that type:
    //   REG_SZ, REG_MULTI_SZ  text without the last byte when that is a NUL
    //                         (a multi-string keeps one NUL after each item);
    //   REG_EXPAND_SZ         the same, with environment references expanded;
    //   REG_DWORD             a 32-bit integer (little-endian);
    //   REG_DWORD_BIG_ENDIAN  a 32-bit integer (big-endian);
    //   any other type        a byte array of the data plus one trailing 0.
    Variant Value();
    // Writes vValue by ValueType, creating the key first:
    //   REG_SZ, REG_EXPAND_SZ  the value as text; stored as REG_EXPAND_SZ when
    //                          it holds "%" and a further "%" at least two
    //                          characters on, else as REG_SZ;
    //   REG_BINARY             a byte array, all but its last element (arrays
    //                          come back from reads with one trailing element);
    //   REG_DWORD, REG_DWORD_BIG_ENDIAN
    //                          as a little-endian REG_DWORD: an integer, or a
    //                          double, currency amount or text that holds a
    //                          32-bit integer; anything else (Booleans, bytes
    //                          and dates too) throws -2147194455;
    //   other types            throw -2147194455.
    void Value(const Variant& vValue);

    // Fill the lists in the system's order; the counts give their sizes. True
    // in every case, with the names found before the first failing call.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) const;
    bool EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) const;

    // Registers sExePath as the handler of the extension sAssociation (no dot)
    // with the file class sClassName, below HKEY_CLASSES_ROOT and below
    // HKEY_LOCAL_MACHINE\SOFTWARE\Classes. Empty menu texts take their
    // defaults; a negative icon index writes no icon. The first failing write
    // throws and ends it. Leaves ClassKey HKEY_LOCAL_MACHINE, ValueType REG_SZ,
    // ValueKey "" and SectionKey the last key written below the classes root.
    void CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                              const std::string& sClassDescription, const std::string& sAssociation,
                              const std::string& sOpenMenuText = "&Open", bool bSupportPrint = false,
                              const std::string& sPrintMenuText = "&Print", bool bSupportNew = false,
                              const std::string& sNewMenuText = "&New", bool bSupportInstall = false,
                              const std::string& sInstallMenuText = "", std::int32_t lDefaultIconIndex = -1);
    // Adds verbs to a class whose key exists below the current ClassKey.
    // vItems holds groups of three: verb name, menu text, command line. Writes
    // that fail are passed over; throws -2147194452 when the items are not in
    // threes and -2147194451 when the class key is missing (nothing written).
    void CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems = {});

    ERegistryValueTypes ValueType() const { return valueType_; }
    void ValueType(ERegistryValueTypes eValueType) { valueType_ = eValueType; }
    ERegistryClassConstants ClassKey() const { return classKey_; }
    void ClassKey(ERegistryClassConstants eKey) { classKey_ = eKey; }
    const std::string& SectionKey() const { return sectionKey_; }
    void SectionKey(const std::string& sSectionKey) { sectionKey_ = sSectionKey; }
    const std::string& ValueKey() const { return valueKey_; }
    void ValueKey(const std::string& sValueKey) { valueKey_ = sValueKey; }
    Variant Default() const { return default_; }
    void Default(const Variant& vDefault) { default_ = vDefault; }

private:
    void WriteClassesValue(const std::string& text);

    ERegistryClassConstants classKey_ = ERegistryClassConstants{};
    std::string sectionKey_;
    std::string valueKey_;
    ERegistryValueTypes valueType_ = ERegistryValueTypes{};
    Variant default_;
};

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
