#include <platform/Notice.h>

#include "SystemNotice.h"

#include <mutex>
#include <utility>

namespace platform {

namespace {

std::mutex lock;
Notifier& Installed()
{
    static Notifier notifier;
    return notifier;
}

} // namespace

void ShowNotice(const std::string& titleUtf8, const std::string& textUtf8)
{
    Notifier notifier;
    {
        std::lock_guard guard(lock);
        notifier = Installed();
    }
    if (notifier) {
        notifier(titleUtf8, textUtf8);
    } else {
        SystemNotice(titleUtf8, textUtf8);
    }
}

ScopedNotifier::ScopedNotifier(Notifier notifier)
{
    std::lock_guard guard(lock);
    previous_ = std::exchange(Installed(), std::move(notifier));
}

ScopedNotifier::~ScopedNotifier()
{
    std::lock_guard guard(lock);
    Installed() = std::move(previous_);
}

} // namespace platform
