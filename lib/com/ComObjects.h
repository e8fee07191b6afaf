// The library's classes as component objects: one creation function per class.
#pragma once

#include "TypeLibrary.h"
#include "ComSupport.h"

namespace brenlix::com {

HRESULT CreateFileLog(REFIID iid, void** object);
HRESULT CreateEventLog(REFIID iid, void** object);
HRESULT CreateKvRegistry(REFIID iid, void** object);
HRESULT CreateIniFile(REFIID iid, void** object);
HRESULT CreateServiceManager(REFIID iid, void** object);

} // namespace brenlix::com
