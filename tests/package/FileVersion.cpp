// For tests/package/run: each named file's version resource as Windows reads it, "name|fixed version|FileVersion|
// ProductVersion|OriginalFilename" (first translation's texts); fails, saying why, for a file without one.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool Print(const char* file)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(file, &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    UINT length = 0, translationLength = 0;
    if (data.empty() || !GetFileVersionInfoA(file, 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed ||
        !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &translationLength) ||
        translationLength < 2 * sizeof(WORD)) {
        std::fprintf(stderr, "%s: no version resource with a fixed part and a translation (error %lu)\n", file,
                     GetLastError());
        return false;
    }
    std::printf("%s|%u.%u.%u.%u", file, unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)});
    for (const char* name : {"FileVersion", "ProductVersion", "OriginalFilename"}) {
        char query[64];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
        char* value = nullptr;
        const bool found = VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length) && value;
        std::printf("|%s",
                    found ? std::string(value, length > 0 && value[length - 1] == '\0' ? length - 1 : length).c_str()
                          : "(none)");
    }
    std::printf("\n");
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
