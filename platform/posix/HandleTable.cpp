#include "HandleTable.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace platform::posix {

namespace {

struct Table {
    std::mutex lock;
    std::uintptr_t next = 0x100;
    std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
};

Table& TheTable()
{
    static Table table;
    return table;
}

} // namespace

HANDLE AddHandle(std::shared_ptr<HandleObject> object)
{
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    const std::uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> FindHandle(HANDLE handle)
{
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == table.objects.end() ? nullptr : found->second;
}

bool RemoveHandle(HANDLE handle)
{
    std::shared_ptr<HandleObject> released;
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    const auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == table.objects.end()) {
        return false;
    }
    released = std::move(found->second); // destroyed after the lock is let go
    table.objects.erase(found);
    return true;
}

} // namespace platform::posix
