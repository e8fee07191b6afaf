// The registry as the system's own calls see it, to check what the classes
// wrote. Roots are the class's numbers, texts ANSI bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace raw {

struct Stored {
    std::uint32_t type = 0;
    std::string bytes;
    bool operator==(const Stored&) const = default;
};

inline std::string Dword(std::uint32_t bits)
{
    return {char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
}

std::optional<Stored> Read(std::int32_t root, const std::string& key, const std::string& name);
// Creates the key when needed; the Win32 result.
long Write(std::int32_t root, const std::string& key, const std::string& name, const Stored& value);
void RemoveValue(std::int32_t root, const std::string& key, const std::string& name);
bool KeyExists(std::int32_t root, const std::string& key);
// The names in the order the system lists them.
std::vector<std::string> Subkeys(std::int32_t root, const std::string& key);
std::vector<std::string> ValueNames(std::int32_t root, const std::string& key);
// Removes the key with all below it, then the empty keys above it up to (not including) stopAt.
void RemoveTree(std::int32_t root, const std::string& key, const std::string& stopAt = "Software");

} // namespace raw
