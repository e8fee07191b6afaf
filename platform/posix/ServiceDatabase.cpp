#include "ServiceDatabase.h"

#include <platform/Win32.h>

#include "MachineRoot.h"
#include "RegistryFiles.h"
#include "ThisMachine.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

const std::vector<std::string> kServicesPath = {"System", "CurrentControlSet", "Services"};

std::string Dword(std::uint32_t value)
{
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}

bool ReadDword(const RegistryKey& key, const char* name, std::uint32_t& value)
{
    const RegistryValue* found = key.Value(name);
    if (found == nullptr || found->data.size() != 4) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(found->data.data());
    value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return true;
}

// A string value without the NUL that ends it.
std::string ReadText(const RegistryKey& key, const char* name)
{
    const RegistryValue* found = key.Value(name);
    if (found == nullptr) {
        return {};
    }
    std::string text = found->data;
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

bool IsService(const RegistryKey& key)
{
    return key.Value("Type") != nullptr;
}

void SetText(RegistryKey& key, const char* name, std::uint32_t type, const std::string& text)
{
    key.SetValue(name, type, text + '\0');
}

bool SameName(const std::string& a, const std::string& b)
{
    return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::uint32_t EditServices(const std::function<std::uint32_t(RegistryKey& services, bool& changed)>& edit)
{
    return UpdateHive(Hive::LocalMachine, HiveFile(Hive::LocalMachine), [&](RegistryHive& hive, bool& changed) {
        bool created = false;
        RegistryKey* services = &hive.Root();
        for (const std::string& part : kServicesPath) {
            services = &services->MakeSubkey(part, created);
        }
        changed = created;
        return edit(*services, changed);
    });
}

// "user@domain" and "domain\user" split; a bare name has no domain.
void SplitAccount(const std::string& account, std::string& domain, std::string& user)
{
    const std::size_t backslash = account.find('\\');
    if (backslash != std::string::npos) {
        domain = account.substr(0, backslash);
        user = account.substr(backslash + 1);
        return;
    }
    const std::size_t at = account.find('@');
    if (at != std::string::npos) {
        user = account.substr(0, at);
        domain = account.substr(at + 1);
        return;
    }
    domain.clear();
    user = account;
}

bool IsLocalSystem(const std::string& domain, const std::string& user)
{
    return (domain.empty() || domain == "." || SameName(domain, "NT AUTHORITY")) &&
           (SameName(user, "LocalSystem") || (SameName(domain, "NT AUTHORITY") && SameName(user, "SYSTEM")));
}

bool IsBuiltInAccount(const std::string& domain, const std::string& user)
{
    return SameName(domain, "NT AUTHORITY") && (SameName(user, "LocalService") || SameName(user, "NetworkService"));
}

bool LinuxUserExists(const std::string& user)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    return !user.empty() && ::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
           found != nullptr;
}

} // namespace

std::uint32_t ReadServiceConfig(const std::string& name, ServiceConfig& config)
{
    std::vector<std::string> path = kServicesPath;
    path.push_back(name);
    return ReadHive(Hive::LocalMachine, HiveFile(Hive::LocalMachine),
                    [&](const RegistryHive& hive, const timespec&) -> std::uint32_t {
                        const RegistryKey* key = hive.Find(path);
                        if (key == nullptr || !IsService(*key)) {
                            return ERROR_SERVICE_DOES_NOT_EXIST;
                        }
                        config = ServiceConfig();
                        config.name = key->Name();
                        ReadDword(*key, "Type", config.type);
                        ReadDword(*key, "Start", config.start);
                        ReadDword(*key, "ErrorControl", config.errorControl);
                        config.imagePath = ReadText(*key, "ImagePath");
                        config.displayName = ReadText(*key, "DisplayName");
                        config.objectName = ReadText(*key, "ObjectName");
                        std::uint32_t flag = 0;
                        config.markedForDelete = ReadDword(*key, "DeleteFlag", flag) && flag != 0;
                        return ERROR_SUCCESS;
                    });
}

std::uint32_t AddServiceConfig(ServiceConfig& config)
{
    return EditServices([&](RegistryKey& services, bool& changed) -> std::uint32_t {
        if (const RegistryKey* existing = services.Subkey(config.name); existing != nullptr && IsService(*existing)) {
            std::uint32_t flag = 0;
            return ReadDword(*existing, "DeleteFlag", flag) && flag != 0 ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                                         : ERROR_SERVICE_EXISTS;
        }
        const std::string& shown = config.displayName.empty() ? config.name : config.displayName;
        for (std::size_t i = 0; i < services.SubkeyCount(); ++i) {
            const RegistryKey& other = services.SubkeyAt(i);
            if (IsService(other) && (SameName(other.Name(), shown) || SameName(ReadText(other, "DisplayName"), shown) ||
                                     SameName(ReadText(other, "DisplayName"), config.name))) {
                return ERROR_DUPLICATE_SERVICE_NAME;
            }
        }
        bool created = false;
        RegistryKey& key = services.MakeSubkey(config.name, created);
        config.name = key.Name();
        key.SetValue("Type", REG_DWORD, Dword(config.type));
        key.SetValue("Start", REG_DWORD, Dword(config.start));
        key.SetValue("ErrorControl", REG_DWORD, Dword(config.errorControl));
        SetText(key, "ImagePath", REG_EXPAND_SZ, config.imagePath);
        if (!config.displayName.empty()) {
            SetText(key, "DisplayName", REG_SZ, config.displayName);
        }
        SetText(key, "ObjectName", REG_SZ, config.objectName);
        if (!config.group.empty()) {
            SetText(key, "Group", REG_SZ, config.group);
        }
        if (!config.dependencies.empty()) {
            key.SetValue("DependOnService", REG_MULTI_SZ, config.dependencies + '\0');
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

std::uint32_t MarkServiceForDelete(const std::string& name)
{
    return EditServices([&](RegistryKey& services, bool& changed) -> std::uint32_t {
        RegistryKey* key = services.Subkey(name);
        if (key == nullptr || !IsService(*key)) {
            return ERROR_SERVICE_MARKED_FOR_DELETE;
        }
        changed = key->SetValue("DeleteFlag", REG_DWORD, Dword(1)) || changed;
        return ERROR_SUCCESS;
    });
}

std::uint32_t RemoveServiceConfig(const std::string& name)
{
    return EditServices([&](RegistryKey& services, bool& changed) -> std::uint32_t {
        changed = services.RemoveSubkey(name) || changed;
        return ERROR_SUCCESS;
    });
}

std::string ServicesFolder()
{
    const std::string root = MachineRoot();
    return (root == "/" ? std::string() : root) + "/services";
}

std::uint32_t ServiceDatabaseWritable()
{
    if (HiveWritable(HiveFile(Hive::LocalMachine)) != ERROR_SUCCESS ||
        HiveWritable(ServicesFolder() + "/state") != ERROR_SUCCESS) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

std::uint32_t CheckServiceAccount(const char* account, std::string& stored, bool& localSystem)
{
    if (account == nullptr) {
        stored = "LocalSystem";
        localSystem = true;
        return ERROR_SUCCESS;
    }
    stored = account;
    std::string domain;
    std::string user;
    SplitAccount(stored, domain, user);
    localSystem = IsLocalSystem(domain, user);
    if (localSystem || IsBuiltInAccount(domain, user)) {
        return ERROR_SUCCESS;
    }
    return IsThisMachine(domain.c_str()) && LinuxUserExists(user) ? ERROR_SUCCESS : ERROR_INVALID_SERVICE_ACCOUNT;
}

std::string ServiceUserName(const std::string& objectName)
{
    std::string domain;
    std::string user;
    SplitAccount(objectName, domain, user);
    if (objectName.empty() || IsLocalSystem(domain, user) || IsBuiltInAccount(domain, user)) {
        return {};
    }
    return user;
}

} // namespace platform::posix
