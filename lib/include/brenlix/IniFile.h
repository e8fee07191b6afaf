// IniFile: keyed access to one INI file at a time (or to WIN.INI), through the
// system's profile functions. The object remembers the file and one current
// section; entry operations address that section of that file.
//
// Failures: entry operations used before a non-blank section is known show the
// notice "IniFile Logic Error" and return their empty result; the profile
// functions report nothing (missing reads as defaults, a failed write gives 0).
// GetInt throws Error 6 (overflow) for a number outside 16 bits; Exists and
// GetSections throw Error with the Win32 code when the file system refuses.
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#  pragma warning(push)
#  pragma warning(disable : 4251) // std::string members of an exported class
#endif

namespace brenlix {

enum ExtractFileName_Constants : std::int32_t {
    exnFullName = 1,
    exnOnlyExtn = 2,
};

// One entry of a section: the key (empty for a line without "=") and the value.
struct IniEntry {
    std::string Key;
    std::string Value;
    bool operator==(const IniEntry&) const = default;
};

class BRENLIX_API IniFile {
public:
    // The last path given to FullPath; kept while WIN.INI mode is on.
    const std::string& PrivPath() const { return privPath_; }
    // True: every operation addresses WIN.INI instead of the file in FullPath.
    void UseWinINI(bool value);
    bool UseWinINI() const { return useWinIni_; }
    // Setting it splits it into FilePath, FileName and FileExt and leaves WIN.INI mode.
    void FullPath(const std::string& value);
    const std::string& FullPath() const { return fullPath_; }
    // Used exactly as given; a blank name switches the entry operations off.
    void SectionName(const std::string& value);
    const std::string& SectionName() const { return sectionName_; }
    const std::string& FilePath() const { return filePath_; }
    const std::string& FileExt() const { return fileExt_; }

    // The name part of PathIn (FullPath when empty): without its extension
    // (exnFullName), only the extension (exnOnlyExtn), or whole.
    std::string ExtractName(const std::string& PathIn, std::int32_t RetChoice) const;
    // The folder part of PathIn (FullPath when empty), without a trailing separator.
    std::string ExtractPath(const std::string& PathIn) const;

    // Keeps the entry with an empty value.
    void DeleteStrEntry(const std::string& EntryName);
    // Removes the entry.
    void DeleteNumEntry(const std::string& EntryName);
    // Empties the current section and forgets its name.
    void DeleteSection();
    // -1 when an ordinary file matches the name (".*" added when it has no "."), else 0.
    std::int16_t Exists(const std::string& filname) const;
    std::int16_t GetInt(const std::string& EntryName, std::int16_t DefaultInt);
    // Every line of the section followed by a NUL, then one more NUL; a single
    // NUL for an empty or missing section. At most 4095 characters.
    std::string GetSectEntries();
    // The section's entries; returns their number and leaves DataArry alone when there are none.
    std::int16_t GetSectEntriesEx(std::vector<IniEntry>& DataArry);
    // Every section name followed by a NUL, then one more NUL ("[]" names none
    // and is left out); throws Error when the file cannot be read.
    std::string GetSections();
    std::int16_t GetSectionsEx(std::vector<std::string>& DataArry);
    // The value (at most 254 characters), or DefaultStr when the entry is missing.
    std::string GetString(const std::string& EntryName, const std::string& DefaultStr);
    bool GetTF(const std::string& EntryName, std::int16_t DefaultInt);
    void FlushCache();
    // Reads an entry of the named section and file (WIN.INI in WIN.INI mode),
    // as the decimal text of its number when ReadNumber is set.
    std::string IniRead(const std::string& SectionName, const std::string& EntryName, std::int16_t DefaultInt,
                        const std::string& DefaultStr, const std::string& ReturnStr, bool ReadNumber,
                        const std::string& FullPath) const;
    void IniWrite(const std::string& SectionName, const std::string& EntryName, const std::string& NewVal,
                  const std::string& FullPath) const;
    // 1 when written, 0 when not.
    std::int16_t PutInt(const std::string& EntryName, std::int16_t IntValue);
    std::int16_t PutString(const std::string& EntryName, const std::string& StrValue);
    bool PutTF(const std::string& EntryName, std::int16_t IntValue);
    // Whether GetSections lists the name, letters compared as the profile
    // functions compare them (ASCII and Latin-1 letters without case).
    bool SectExist(const std::string& SectionName);
    const std::string& FileName() const { return fileName_; }

private:
    bool Guard() const;
    void Derive();

    std::string sectionName_ = "General";
    std::string fileName_;
    std::string filePath_;
    std::string fullPath_;
    std::string privPath_;
    std::string fileExt_;
    bool registered_ = false;
    bool useWinIni_ = false;
};

} // namespace brenlix

#if defined(_MSC_VER)
#  pragma warning(pop)
#endif
