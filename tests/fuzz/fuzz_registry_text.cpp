// Any text either loads as a hive or is refused; a hive that loads is written
// out, read back and must give the same keys and values, and the same text.
#include "FuzzCheck.h"
#include "RegistryTree.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace platform::posix;

static void RequireSameTree(const RegistryKey& a, const RegistryKey& b)
{
    std::vector<std::pair<const RegistryKey*, const RegistryKey*>> todo{{&a, &b}};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        Require(x->Name() == y->Name(), "a key name changed");
        Require(x->ValueCount() == y->ValueCount(), "the number of values changed");
        for (std::size_t i = 0; i < x->ValueCount(); ++i) {
            const RegistryValue& v = x->ValueAt(i);
            const RegistryValue& w = y->ValueAt(i);
            Require(v.name == w.name && v.type == w.type && v.data == w.data, "a value changed");
        }
        Require(x->SubkeyCount() == y->SubkeyCount(), "the number of subkeys changed");
        for (std::size_t i = 0; i < x->SubkeyCount(); ++i) {
            todo.emplace_back(&x->SubkeyAt(i), &y->SubkeyAt(i));
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const NameFolding folding = static_cast<NameFolding>(data[0] % 3);
    const std::size_t depth = 1 + (data[0] >> 2) % 16;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto hive = RegistryHive::FromText(text, "HKEY_LOCAL_MACHINE", folding, depth);
    if (!hive) {
        return 0;
    }
    std::string written;
    hive->WriteText(written);
    const auto again = RegistryHive::FromText(written, "HKEY_LOCAL_MACHINE", folding, depth);
    Require(again != nullptr, "the text written is refused");
    RequireSameTree(hive->Root(), again->Root());
    std::string rewritten;
    again->WriteText(rewritten);
    Require(rewritten == written, "the text written twice differs");
    return 0;
}
