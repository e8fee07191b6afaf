// One registry hive in memory, and its REGEDIT4 text.
//
// The text is "REGEDIT4", then every key as "[<root>\<path>]" followed by its
// values, one to a line, and a blank line; keys in the order Windows lists
// them, each before its subkeys. The file is in the ANSI code page, as names
// and data are. A value line is "name"= ("@=" for the unnamed value) and:
//   "text"           a REG_SZ whose only NUL ends it and that holds no line
//                    break; "\" and """ are escaped with "\"
//   dword:0000002a   a REG_DWORD of four bytes
//   hex:01,02        a REG_BINARY
//   hex(N):01,02     any other type N (hexadecimal), and a REG_SZ or REG_DWORD
//                    that the forms above would not give back byte for byte
// Long hex lists go on over lines that end in "\", as regedit writes them.
// Value names escape "\" and """, and a line break as \r or \n. Reading also
// takes "[-key]" and "name"=- (removals), comments (";") and LF line ends, and
// leaves out lines it cannot read.
//
// Names compare without case (see NameFolding). Subkeys are listed in the
// order Windows keeps them: by name, upper-cased. Values are listed in the
// order they were first set.
//
// No step walks the tree by recursion: a hive file may hold keys of any depth
// until it is read, and reading refuses one deeper than its limit.
#pragma once

#include "ProfileText.h" // NameFolding

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::posix {

struct RegistryValue {
    std::string name;
    std::uint32_t type = 0;
    std::string data;
    // The value's REGEDIT4 line(s), made when the hive is first written out
    // after the value changed; empty until then.
    mutable std::string line;
};

class RegistryKey {
public:
    RegistryKey(std::string name, NameFolding folding);
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey();

    const std::string& Name() const { return name_; }

    std::size_t SubkeyCount() const { return subkeys_.size(); }
    const RegistryKey& SubkeyAt(std::size_t index) const { return *subkeys_[index]; }
    RegistryKey* Subkey(std::string_view name);
    const RegistryKey* Subkey(std::string_view name) const;
    // The subkey, made when it is missing (created says so).
    RegistryKey& MakeSubkey(std::string_view name, bool& created);
    // Removes the subkey with all below it; false when there is none.
    bool RemoveSubkey(std::string_view name);

    std::size_t ValueCount() const { return values_.size(); }
    const RegistryValue& ValueAt(std::size_t index) const { return values_[index]; }
    const RegistryValue* Value(std::string_view name) const;
    // Replaces the value's type and data (keeping its place) or adds it at the
    // end; false when it already held exactly these.
    bool SetValue(std::string_view name, std::uint32_t type, std::string_view data);
    bool RemoveValue(std::string_view name);

private:
    friend class RegistryHive;
    std::vector<std::unique_ptr<RegistryKey>>::const_iterator FindSlot(const std::string& lookup) const;

    std::string name_;
    std::string lookup_; // the name as names are compared and ordered
    NameFolding folding_;
    std::vector<std::unique_ptr<RegistryKey>> subkeys_; // ordered by lookup_
    std::vector<RegistryValue> values_;
    std::unordered_map<std::string, std::size_t> valueAt_; // lookup name -> index in values_
};

class RegistryHive {
public:
    // rootName is the root as the file names it ("HKEY_LOCAL_MACHINE").
    RegistryHive(std::string rootName, NameFolding folding);

    // Reads REGEDIT4 text; sections of other roots are left out. Returns
    // nullptr when a section names a key more than maxDepth levels below the
    // root: such a file was not written by the registry.
    static std::unique_ptr<RegistryHive> FromText(std::string_view text, std::string rootName, NameFolding folding,
                                                  std::size_t maxDepth);
    // Appends the hive's REGEDIT4 text (CR LF line ends).
    void WriteText(std::string& out) const;

    const std::string& RootName() const { return rootName_; }
    NameFolding Folding() const { return root_.folding_; }
    RegistryKey& Root() { return root_; }

    // The key at the path (names of keys below the root), nullptr when missing.
    RegistryKey* Find(const std::vector<std::string>& path);
    const RegistryKey* Find(const std::vector<std::string>& path) const;

private:
    std::string rootName_;
    RegistryKey root_;
};

// The name as the registry compares and orders names.
std::string RegistryLookupName(std::string_view name, NameFolding folding);

// The value's REGEDIT4 line, with its CR LF.
std::string RegistryValueLine(const RegistryValue& value);

} // namespace platform::posix
