#include <brenlix/Error.h>
#include <brenlix/KvRegistry.h>

#include "RegistryErrors.h"

#include <platform/Shell.h>

namespace brenlix {

namespace {

using registry::kSource;

const char* const kOpenTail = " \"%1\"";
const char* const kPrintTail = " /p \"%1\"";
const char* const kInstallTail = " /a \"%1\"";
const char* const kNewTail = " /n \"%1\"";

// The program path trimmed of spaces and in double quotes; a quote already
// there at either end is kept, so an empty path becomes a single quote.
std::string QuotedProgram(const std::string& path)
{
    const std::size_t first = path.find_first_not_of(' ');
    std::string quoted;
    if (first != std::string::npos) {
        quoted = path.substr(first, path.find_last_not_of(' ') - first + 1);
    }
    if (quoted.empty() || quoted.front() != '"') {
        quoted.insert(0, 1, '"');
    }
    if (quoted.back() != '"') {
        quoted.push_back('"');
    }
    return quoted;
}

// Tells the shell once the operation ends, also after a write failed part way.
struct AssociationsChangedNotice {
    AssociationsChangedNotice() = default;
    AssociationsChangedNotice(const AssociationsChangedNotice&) = delete;
    AssociationsChangedNotice& operator=(const AssociationsChangedNotice&) = delete;
    ~AssociationsChangedNotice() { platform::NotifyAssociationsChanged(); }
};

} // namespace

// Writes the text as the current value below HKEY_CLASSES_ROOT, then below
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes; ClassKey stays HKEY_LOCAL_MACHINE.
void KvRegistry::WriteClassesValue(const std::string& text)
{
    classKey_ = HKEY_CLASSES_ROOT;
    Value(Variant(text));
    const std::string section = sectionKey_;
    classKey_ = HKEY_LOCAL_MACHINE;
    sectionKey_ = "SOFTWARE\\Classes\\" + section;
    Value(Variant(text));
    sectionKey_ = section;
}

void KvRegistry::CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                                      const std::string& sClassDescription, const std::string& sAssociation,
                                      const std::string& sOpenMenuText, bool bSupportPrint,
                                      const std::string& sPrintMenuText, bool bSupportNew,
                                      const std::string& sNewMenuText, bool bSupportInstall,
                                      const std::string& sInstallMenuText, std::int32_t lDefaultIconIndex)
{
    const AssociationsChangedNotice notice;
    const std::string program = QuotedProgram(sExePath);

    sectionKey_ = "." + sAssociation;
    valueType_ = REG_SZ;
    valueKey_.clear();
    WriteClassesValue(sClassName);

    sectionKey_ = sClassName;
    WriteClassesValue(sClassDescription);

    const auto verb = [&](const char* name, const std::string& menuText, const char* tail) {
        sectionKey_ = sClassName + "\\shell\\" + name;
        valueKey_.clear();
        WriteClassesValue(menuText);
        sectionKey_ = sClassName + "\\shell\\" + name + "\\command";
        valueKey_.clear();
        WriteClassesValue(program + tail);
    };
    verb("open", sOpenMenuText.empty() ? "&Open" : sOpenMenuText, kOpenTail);
    if (bSupportPrint) {
        verb("print", sPrintMenuText.empty() ? "&Print" : sPrintMenuText, kPrintTail);
    }
    if (bSupportInstall) {
        verb("add", sInstallMenuText.empty() ? "&Install " + sAssociation : sInstallMenuText, kInstallTail);
    }
    if (bSupportNew) {
        verb("new", sNewMenuText.empty() ? "&New" : sNewMenuText, kNewTail);
    }
    if (lDefaultIconIndex > -1) {
        sectionKey_ = sClassName + "\\DefaultIcon";
        valueKey_.clear();
        WriteClassesValue(program + "," + std::to_string(lDefaultIconIndex));
    }
}

void KvRegistry::CreateAdditionalEXEAssociations(const std::string& sClassName, const std::vector<Variant>& vItems)
{
    if (vItems.size() % 3 != 0) {
        throw Error(registry::kErrorAssociationItems, kSource,
                    "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
    }
    sectionKey_ = sClassName;
    if (!KeyExists()) {
        throw Error(registry::kErrorClassMissing, kSource,
                    "Error - attempt to create additional associations before class defined.");
    }
    // Best effort: a write that fails is passed over and the next one runs.
    const auto write = [this](const std::string& text) {
        try {
            WriteClassesValue(text);
        } catch (const Error&) {
        }
    };
    for (std::size_t i = 0; i < vItems.size(); i += 3) {
        const std::string name = vItems[i].ToText();
        valueType_ = REG_SZ;
        sectionKey_ = sClassName + "\\shell\\" + name;
        valueKey_.clear();
        write(vItems[i + 1].ToText());
        sectionKey_ = sClassName + "\\shell\\" + name + "\\command";
        valueKey_.clear();
        write(vItems[i + 2].ToText());
    }
    if (!vItems.empty()) {
        platform::NotifyAssociationsChanged();
    }
}

} // namespace brenlix
