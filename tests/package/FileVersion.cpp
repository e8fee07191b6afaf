// Prints the version resource of each file named, as Windows reads it, one
// line per file: "name|fixed version|FileVersion|ProductVersion|OriginalFilename"
// (the texts from the resource's first translation). Fails, saying why, for a
// file without one. Used by tests/package/run on the packaged programs.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Text(std::vector<char>& data, WORD language, WORD codePage, const char* name)
{
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, name);
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length) || value == nullptr) {
        return "(none)";
    }
    return std::string(value, length > 0 && value[length - 1] == '\0' ? length - 1 : length);
}

bool Print(const char* file)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) {
        std::fprintf(stderr, "%s: no version resource (error %lu)\n", file, GetLastError());
        return false;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data())) {
        std::fprintf(stderr, "%s: GetFileVersionInfoA failed (error %lu)\n", file, GetLastError());
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    WORD* translation = nullptr;
    UINT translationLength = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed ||
        !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &translationLength) ||
        translationLength < 2 * sizeof(WORD)) {
        std::fprintf(stderr, "%s: the version resource lacks its fixed part or its translation\n", file);
        return false;
    }
    std::printf("%s|%u.%u.%u.%u|%s|%s|%s\n", file, unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)},
                Text(data, translation[0], translation[1], "FileVersion").c_str(),
                Text(data, translation[0], translation[1], "ProductVersion").c_str(),
                Text(data, translation[0], translation[1], "OriginalFilename").c_str());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool good = argc > 1;
    for (int i = 1; i < argc; ++i) {
        good = Print(argv[i]) && good;
    }
    return good ? 0 : 1;
}
