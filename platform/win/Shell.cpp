#include <platform/Shell.h>

#include <platform/Win32.h>

#include <shlobj.h>

namespace platform {

void NotifyAssociationsChanged()
{
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace platform
