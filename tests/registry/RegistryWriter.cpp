// registry_writer KEY NAME: rewrites the text value NAME of
// HKEY_CURRENT_USER\KEY over and over, short and long by turns, until the
// value "Stop" appears in that key (or 30 s have passed).
#include <platform/Win32.h>

#include <chrono>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 100;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, argv[1], 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 101;
    }
    const std::string texts[2] = {"short", std::string(5000, 'L')};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (unsigned i = 0;; ++i) {
        const std::string& text = texts[i % 2];
        RegSetValueExA(key, argv[2], 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
        if (i % 32 == 0 && (RegQueryValueExA(key, "Stop", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ||
                            std::chrono::steady_clock::now() > end)) {
            break;
        }
    }
    RegCloseKey(key);
    return 0;
}
