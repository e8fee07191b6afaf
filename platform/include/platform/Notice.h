// Notices for a person: where nobody can answer a message box (a service, a
// scheduled run, Linux), the notice goes to the standard error stream and the
// debugger output instead, and the caller goes on as after a dismissed box.
#pragma once

#include <brenlix/Export.h>

#include <functional>
#include <string>

namespace platform {

using Notifier = std::function<void(const std::string& titleUtf8, const std::string& textUtf8)>;

// Shows an information notice with an OK button and returns when it is gone.
BRENLIX_API void ShowNotice(const std::string& titleUtf8, const std::string& textUtf8);

// Replaces the notices for as long as the object lives (tests only).
class BRENLIX_API ScopedNotifier {
public:
    explicit ScopedNotifier(Notifier notifier);
    ~ScopedNotifier();
    ScopedNotifier(const ScopedNotifier&) = delete;
    ScopedNotifier& operator=(const ScopedNotifier&) = delete;

private:
    Notifier previous_;
};

} // namespace platform
