// A move-only owner of one handle, with the function that closes it fixed in
// the type: using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;
#pragma once

#include <platform/Win32.h>

#include <utility>

namespace platform {

template <typename Handle, auto Close, Handle Invalid = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Invalid)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset(std::exchange(other.handle_, Invalid));
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }
    Handle release() { return std::exchange(handle_, Invalid); }
    void reset(Handle handle = Invalid)
    {
        if (handle_ != Invalid) {
            Close(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = Invalid;
};

using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;

} // namespace platform
