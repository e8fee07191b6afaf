// What the benchmarks share: a monotonic stopwatch, medians, a scratch folder
// that removes itself, and the one line each ratio is reported on.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace bench {

inline double Seconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it when
// the object goes. Throws std::system_error when it cannot be made.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
        pattern += "/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        path_ = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// One line per result, with the target it is held against: "what: 1.12 (target <= 1.5)".
inline void PrintResult(const char* what, double ratio, const char* target)
{
    std::printf("%s: %.2f (target %s)\n", what, ratio, target);
    std::fflush(stdout);
}

} // namespace bench
