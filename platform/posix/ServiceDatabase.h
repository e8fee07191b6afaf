// The service database of the substitutes: each service's configuration in
// the machine's registry under System\CurrentControlSet\Services\<name>
// (Type, Start, ErrorControl, ImagePath, DisplayName, ObjectName, and
// DeleteFlag once it is marked for deletion), exactly where Windows keeps it.
// A key there without a Type value (EventLog, say) is no service.
#pragma once

#include <cstdint>
#include <string>

namespace platform::posix {

struct ServiceConfig {
    std::string name; // as the key is named (names compare without case)
    std::uint32_t type = 0;
    std::uint32_t start = 0;
    std::uint32_t errorControl = 0;
    std::string imagePath;
    std::string displayName;
    std::string objectName;
    std::string group;
    std::string dependencies; // REG_MULTI_SZ bytes, each item with its NUL
    bool markedForDelete = false;
};

// The service's configuration; ERROR_SERVICE_DOES_NOT_EXIST when there is no
// such service, or the registry's failure.
std::uint32_t ReadServiceConfig(const std::string& name, ServiceConfig& config);

// Adds the service: ERROR_SERVICE_EXISTS when the name is taken,
// ERROR_SERVICE_MARKED_FOR_DELETE when it is taken by a service marked for
// deletion, ERROR_DUPLICATE_SERVICE_NAME when the display name is another
// service's name or display name; config.name becomes the key's name.
std::uint32_t AddServiceConfig(ServiceConfig& config);

// Sets DeleteFlag, or removes the service's key with all below it.
std::uint32_t MarkServiceForDelete(const std::string& name);
std::uint32_t RemoveServiceConfig(const std::string& name);

// The folder of the run states, <root>/services.
std::string ServicesFolder();

// 0 when the process may change the service database (the machine's hive and
// the services folder), else ERROR_ACCESS_DENIED.
std::uint32_t ServiceDatabaseWritable();

// Who a service runs as. account is what CreateServiceA was given (NULL:
// LocalSystem). LocalSystem and the NT AUTHORITY accounts run as the caller;
// any other account must name a user of this machine ("user", ".\user",
// "<host>\user"), or ERROR_INVALID_SERVICE_ACCOUNT. stored is the text kept in
// ObjectName; localSystem tells whether the account is LocalSystem.
std::uint32_t CheckServiceAccount(const char* account, std::string& stored, bool& localSystem);

// The user name of a Linux account that the service's ObjectName names, or ""
// when it runs as the caller.
std::string ServiceUserName(const std::string& objectName);

} // namespace platform::posix
