// dunmarrow::CopyFile against cp followed by an fsync of the copy, on the same
// file system: CopyFile puts its copy on disk before it replaces the old one,
// so cp alone (shown beside) leaves out work the copy does. Each copies the
// same non-sparse source to a fresh destination; the page cache is left as it
// is, so each gets one warm-up copy first and the rounds alternate.
#include "BenchSupport.h"

#include <FileSystem.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRounds = 3;

std::uint64_t SizeInMiB()
{
    const char* text = std::getenv("BENCH_COPY_MIB");
    if (text == nullptr || *text == '\0') {
        return 1024;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end != '\0' || value == 0) {
        throw std::runtime_error(std::string("BENCH_COPY_MIB is not a positive number: ") + text);
    }
    return value;
}

// Pseudo-random bytes (xorshift), so that no file system can compress or
// leave holes in them.
void MakeSource(const std::string& path, std::uint64_t mib)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t i = 0; i < mib; ++i) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::size_t bytes = block.size() * sizeof(std::uint64_t);
        if (::write(fd, block.data(), bytes) != static_cast<ssize_t>(bytes)) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path + " (disk full?)");
        }
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Removes the destination and writes back what earlier copies left dirty, so
// one copy's writeback does not land in the next one's time.
void Settle(const std::string& folder, const std::string& destination)
{
    ::unlink(destination.c_str());
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

double TimeCopyFile(const std::string& source, const std::string& destination)
{
    const double start = bench::Seconds();
    dunmarrow::CopyFile(source, destination);
    return bench::Seconds() - start;
}

double TimeCp(const std::string& source, const std::string& destination)
{
    std::string program = "cp";
    std::string from = source;
    std::string to = destination;
    char* argv[] = {program.data(), from.data(), to.data(), nullptr};
    const double start = bench::Seconds();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0) {
        throw std::runtime_error("cannot start cp");
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("cannot wait for cp");
        }
    }
    const double elapsed = bench::Seconds() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("cp failed");
    }
    return elapsed;
}

// cp, then the copy flushed to disk as CopyFile flushes its own.
double TimeCpAndFsync(const std::string& source, const std::string& destination, double& cpAlone)
{
    const double start = bench::Seconds();
    cpAlone = TimeCp(source, destination);
    const int fd = ::open(destination.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        throw std::runtime_error("cannot flush " + destination);
    }
    ::close(fd);
    return bench::Seconds() - start;
}

void CheckSize(const std::string& path, std::uint64_t bytes)
{
    struct stat copied {};
    if (::stat(path.c_str(), &copied) != 0 || static_cast<std::uint64_t>(copied.st_size) != bytes) {
        throw std::runtime_error("the copy " + path + " does not have the source's size");
    }
}

} // namespace

int main()
{
    try {
        const std::uint64_t mib = SizeInMiB();
        const std::uint64_t bytes = mib << 20;
        const bench::ScratchFolder folder("bench_copy");
        struct statfs fs {};
        ::statfs(folder.Path().c_str(), &fs);
        std::printf("copying %llu MiB in %s (file system magic 0x%lx)\n", static_cast<unsigned long long>(mib),
                    folder.Path().c_str(), static_cast<unsigned long>(fs.f_type));
        std::fflush(stdout);

        const std::string source = folder.File("source.bin");
        const std::string destination = folder.File("copy.bin");
        MakeSource(source, mib);

        // Warm-up: one of each, not counted.
        Settle(folder.Path(), destination);
        TimeCopyFile(source, destination);
        CheckSize(destination, bytes);
        Settle(folder.Path(), destination);
        double cpAlone = 0;
        TimeCpAndFsync(source, destination, cpAlone);
        CheckSize(destination, bytes);

        std::vector<double> ratios;
        std::vector<double> cpAloneRatios;
        std::vector<double> copyFileRates;
        std::vector<double> cpFsyncRates;
        std::vector<double> cpRates;
        for (int round = 0; round < kRounds; ++round) {
            double copyFileTime = 0;
            double cpFsyncTime = 0;
            if (round % 2 == 0) {
                Settle(folder.Path(), destination);
                copyFileTime = TimeCopyFile(source, destination);
                Settle(folder.Path(), destination);
                cpFsyncTime = TimeCpAndFsync(source, destination, cpAlone);
            } else {
                Settle(folder.Path(), destination);
                cpFsyncTime = TimeCpAndFsync(source, destination, cpAlone);
                Settle(folder.Path(), destination);
                copyFileTime = TimeCopyFile(source, destination);
            }
            CheckSize(destination, bytes);
            std::printf("round %d: CopyFile %.3f s, cp + fsync %.3f s (cp alone %.3f s)\n", round + 1, copyFileTime,
                        cpFsyncTime, cpAlone);
            copyFileRates.push_back(static_cast<double>(mib) / copyFileTime);
            cpFsyncRates.push_back(static_cast<double>(mib) / cpFsyncTime);
            cpRates.push_back(static_cast<double>(mib) / cpAlone);
            ratios.push_back(cpFsyncTime / copyFileTime);
            cpAloneRatios.push_back(cpAlone / copyFileTime);
        }
        Settle(folder.Path(), destination);

        std::printf("%d rounds: CopyFile %.0f MiB/s, cp + fsync %.0f MiB/s, cp alone %.0f MiB/s (medians)\n", kRounds,
                    bench::Median(copyFileRates), bench::Median(cpFsyncRates), bench::Median(cpRates));
        std::printf("CopyFile throughput / cp alone throughput (no flush, shown only): %.2f\n",
                    bench::Median(cpAloneRatios));
        bench::PrintResult("CopyFile throughput / cp + fsync throughput", bench::Median(ratios), ">= 0.9");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_copy: %s\n", e.what());
        return 1;
    }
}
