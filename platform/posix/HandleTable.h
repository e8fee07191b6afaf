// Kernel-object handles for the substitutes: a HANDLE is a small number that
// names an object in one process-wide table, as on Windows.
#pragma once

#include <platform/Win32.h>

#include <memory>

namespace platform::posix {

class HandleObject {
public:
    virtual ~HandleObject() = default;
    // False for objects with a closer of their own (find handles: FindClose).
    virtual bool ClosedByCloseHandle() const { return true; }
};

HANDLE AddHandle(std::shared_ptr<HandleObject> object);

// nullptr when the handle is not open.
std::shared_ptr<HandleObject> FindHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> FindHandleOf(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

// Returns false when the handle is not open.
bool RemoveHandle(HANDLE handle);

} // namespace platform::posix
