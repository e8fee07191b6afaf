// The platform's own way to show a notice; each platform folder implements it.
#pragma once

#include <string>

namespace platform {
void SystemNotice(const std::string& titleUtf8, const std::string& textUtf8);
}
