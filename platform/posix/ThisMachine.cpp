#include "ThisMachine.h"

#include <strings.h>
#include <unistd.h>

namespace platform::posix {

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "localhost";
    }
    return name;
}

bool IsThisMachine(const char* name)
{
    if (name == nullptr) {
        return true;
    }
    std::string given = name;
    if (given.rfind("\\\\", 0) == 0) {
        given.erase(0, 2);
    }
    const std::string host = HostName();
    const std::string shortHost = host.substr(0, host.find('.'));
    for (const std::string& local :
         {std::string(), std::string("."), std::string("localhost"), std::string("127.0.0.1"), host, shortHost}) {
        if (::strcasecmp(given.c_str(), local.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace platform::posix
