// The Linux registry's cost per call in a hive of 10,000 values against the
// cost in an empty one (same run): RegSetValueExA of a REG_SZ, which locks,
// rewrites and flushes the whole hive file before it returns, and
// RegQueryValueExA, which must not parse an unchanged hive again.
#include <platform/Win32.h>

#include "BenchSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kValues = 10000;
constexpr char kKey[] = "Software\\Korvane\\Bench";

[[noreturn]] void Fail(const char* what, LSTATUS status)
{
    std::fprintf(stderr, "bench_registry: %s failed with %ld\n", what, static_cast<long>(status));
    std::exit(1);
}

// A machine root whose user hive holds the bench key with this many values,
// written as a REGEDIT4 file (filling it call by call would take a while).
void UseRoot(const std::string& root)
{
    setenv("BRENLIX_ROOT", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1); // the user hive: <root>/config/brenlix/HKCU.reg
}

void MakeRoot(const std::string& root, int values)
{
    HKEY key = nullptr;
    UseRoot(root);
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        Fail("RegCreateKeyExA", status);
    }
    RegCloseKey(key);
    for (const auto& entry : std::filesystem::directory_iterator(root + "/config/brenlix")) {
        std::ofstream out(entry.path(), std::ios::binary | std::ios::app);
        out << "[HKEY_CURRENT_USER\\" << kKey << "]\r\n";
        for (int i = 0; i < values; ++i) {
            out << "\"Setting" << i << "\"=\"C:\\\\Program Files\\\\Korvane\\\\value " << i << "\"\r\n";
        }
        out << "\r\n";
    }
}

std::uintmax_t HiveBytes(const std::string& root)
{
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(root + "/config/brenlix")) {
        bytes += entry.file_size();
    }
    return bytes;
}

HKEY OpenIn(const std::string& root)
{
    UseRoot(root);
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        Fail("RegOpenKeyExA", status);
    }
    return key;
}

double SecondsPerWrite(HKEY key, int writes, int round)
{
    const double start = bench::Seconds();
    for (int i = 0; i < writes; ++i) {
        const std::string name = "Written" + std::to_string(i % 10);
        const std::string data = "round " + std::to_string(round) + " write " + std::to_string(i);
        const LSTATUS status = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                              static_cast<DWORD>(data.size() + 1));
        if (status != ERROR_SUCCESS) {
            Fail("RegSetValueExA", status);
        }
    }
    return (bench::Seconds() - start) / writes;
}

double SecondsPerRead(HKEY key, int reads)
{
    char buffer[256];
    std::size_t seen = 0;
    const double start = bench::Seconds();
    for (int i = 0; i < reads; ++i) {
        DWORD size = sizeof buffer;
        const LSTATUS status =
            RegQueryValueExA(key, "Written3", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        if (status != ERROR_SUCCESS) {
            Fail("RegQueryValueExA", status);
        }
        seen += size;
    }
    const double elapsed = bench::Seconds() - start;
    if (seen == 0) {
        Fail("reading", 0);
    }
    return elapsed / reads;
}

} // namespace

int main()
{
    const bench::ScratchFolder folder("bench-registry");
    const std::string bigRoot = folder.File("big");
    const std::string emptyRoot = folder.File("empty");
    MakeRoot(bigRoot, kValues);
    MakeRoot(emptyRoot, 0);
    const HKEY big = OpenIn(bigRoot);
    const HKEY empty = OpenIn(emptyRoot);
    std::printf("hive files: %ju bytes (10,000 values), %ju bytes (empty)\n", HiveBytes(bigRoot), HiveBytes(emptyRoot));

    std::vector<double> writeRatios;
    std::vector<double> readRatios;
    for (int round = 0; round < 5; ++round) {
        const bool bigFirst = round % 2 == 0;
        const double first = SecondsPerWrite(bigFirst ? big : empty, 100, round);
        const double second = SecondsPerWrite(bigFirst ? empty : big, 100, round);
        const double perBig = bigFirst ? first : second;
        const double perEmpty = bigFirst ? second : first;
        writeRatios.push_back(perBig / perEmpty);

        const double readEmpty = SecondsPerRead(empty, 20000);
        const double readBig = SecondsPerRead(big, 20000);
        readRatios.push_back(readBig / readEmpty);
        std::printf("round %d: write %.1f us (10,000 values), %.1f us (empty); read %.2f us, %.2f us\n", round + 1,
                    perBig * 1e6, perEmpty * 1e6, readBig * 1e6, readEmpty * 1e6);
    }
    RegCloseKey(big);
    RegCloseKey(empty);
    bench::PrintResult("RegSetValueExA per write, 10,000-value hive / empty hive", bench::Median(writeRatios), "<= 10");
    bench::PrintResult("RegQueryValueExA per read, 10,000-value hive / empty hive", bench::Median(readRatios), "<= 2");
    return 0;
}
