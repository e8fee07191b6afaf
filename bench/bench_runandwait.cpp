// What RunAndWait costs while it waits, and how soon it sees the end.
//
// "bench_runandwait child <ms> <file>" is the helper the latency part starts:
// it sleeps, then writes its CLOCK_MONOTONIC nanoseconds to the file as the
// last thing before it exits.
#include "BenchSupport.h"

#include <modShell.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kIdleSeconds = 3;
constexpr int kLatencyRuns = 20;

std::int64_t MonotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int Child(int argc, char** argv)
{
    if (argc != 4) {
        return 2;
    }
    const long ms = std::strtol(argv[2], nullptr, 10);
    const int fd = ::open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return 3;
    }
    timespec rest{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0) {
    }
    const std::string stamp = std::to_string(MonotonicNanoseconds());
    const bool written = ::write(fd, stamp.data(), stamp.size()) == static_cast<ssize_t>(stamp.size());
    _exit(written ? 0 : 4);
}

std::string SelfPath()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    return std::string(path, static_cast<std::size_t>(length));
}

// The command line is split by the Windows rules, so quotes keep a path with
// blanks in one piece.
std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

bool MeasureIdleCpu()
{
    const double cpuBefore = CpuSeconds();
    const double wallBefore = bench::Seconds();
    if (!dunmarrow::RunAndWait("/bin/sleep " + std::to_string(kIdleSeconds), 0)) {
        std::fprintf(stderr, "bench_runandwait: cannot start /bin/sleep\n");
        return false;
    }
    const double wall = bench::Seconds() - wallBefore;
    const double cpu = CpuSeconds() - cpuBefore;
    std::printf("waiting on /bin/sleep %d: %.3f s wall, %.4f s CPU\n", kIdleSeconds, wall, cpu);
    bench::PrintResult("RunAndWait CPU while waiting, % of one core", cpu / wall * 100.0, "<= 2");
    return true;
}

bool MeasureEndLatency()
{
    const std::string self = SelfPath();
    const bench::ScratchFolder folder("bench_runandwait");
    const std::string stampFile = folder.File("end.txt");
    std::vector<double> latencies;
    for (int run = 0; run < kLatencyRuns; ++run) {
        // Odd lengths, so the end falls at different points of the poll.
        const int ms = 100 + run * 7;
        ::unlink(stampFile.c_str());
        const std::string command = Quoted(self) + " child " + std::to_string(ms) + " " + Quoted(stampFile);
        if (!dunmarrow::RunAndWait(command, 0)) {
            std::fprintf(stderr, "bench_runandwait: cannot start %s\n", self.c_str());
            return false;
        }
        const std::int64_t returned = MonotonicNanoseconds();
        std::ifstream in(stampFile);
        std::int64_t ended = 0;
        if (!(in >> ended) || ended <= 0) {
            std::fprintf(stderr, "bench_runandwait: the child left no end time in %s\n", stampFile.c_str());
            return false;
        }
        latencies.push_back(static_cast<double>(returned - ended) / 1e6);
    }
    double worst = 0;
    for (const double latency : latencies) {
        worst = latency > worst ? latency : worst;
    }
    const double median = bench::Median(latencies);
    std::printf("%d runs; RunAndWait asks the process after each 20 ms pause\n", kLatencyRuns);
    bench::PrintResult("RunAndWait end latency, median ms", median, "<= 40");
    bench::PrintResult("RunAndWait end latency, max ms", worst, "<= 40");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "child") {
        return Child(argc, argv);
    }
    try {
        // The program log keeps its empty file name, so a failure to start is not written anywhere.
        const bool ran = MeasureIdleCpu() && MeasureEndLatency();
        return ran ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_runandwait: %s\n", e.what());
        return 1;
    }
}
