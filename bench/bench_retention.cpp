// Retention of stamped backups over a folder of 10,000 files: the time of one
// pass of DeleteExpired (list the folder, pick the names of the job's pattern,
// judge their stamps) against a plain listing of the same folder through the
// same system calls (FindFirstFileA/FindNextFileA of "*", as "dir" lists it:
// names with attributes, sizes and times). A listing of the bare names with
// opendir/readdir is shown beside it; on Linux the difference is the stat of
// each entry that the Win32 listing needs. No file is old enough to go, so
// every pass does the same work; the deleting itself (one unlink a file) is
// not what is measured.
#include <Retention.h>

#include "BenchSupport.h"

#include <platform/Win32.h>

#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 10000;
constexpr int kPasses = 20;

// Half the files are the job's (one a day back from the run), the rest
// another job's and names without a stamp.
void MakeFiles(const bench::ScratchFolder& folder)
{
    for (int i = 0; i < kFiles; ++i) {
        const int day = 1 + i % 28;
        const int month = 1 + (i / 28) % 12;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2026%02d%02d-%02d%02d%02d", month, day, i % 24, i % 60, (i / 60) % 60);
        const std::string name = i % 2 == 0   ? "Salg_" + std::string(stamp) + ".bak"
                                 : i % 4 == 1 ? "Lager_" + std::string(stamp) + ".bak"
                                              : "notes-" + std::to_string(i) + ".txt";
        std::ofstream(folder.File(name)) << 'x';
    }
}

// Seconds per pass since start, after checking that the passes saw every file.
double PerPass(double start, std::size_t seen)
{
    const double elapsed = bench::Seconds() - start;
    if (seen < static_cast<std::size_t>(kFiles) * kPasses) {
        std::fprintf(stderr, "bench_retention: the listing missed files\n");
        std::exit(1);
    }
    return elapsed / kPasses;
}

double SecondsPerListing(const std::string& path)
{
    std::size_t seen = 0;
    const double start = bench::Seconds();
    for (int pass = 0; pass < kPasses; ++pass) {
        DIR* dir = opendir(path.c_str());
        if (dir == nullptr) {
            std::perror("opendir");
            std::exit(1);
        }
        std::vector<std::string> names;
        while (const dirent* entry = readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        closedir(dir);
        seen += names.size();
    }
    return PerPass(start, seen);
}

double SecondsPerFindListing(const std::string& path)
{
    std::size_t seen = 0;
    const double start = bench::Seconds();
    for (int pass = 0; pass < kPasses; ++pass) {
        WIN32_FIND_DATAA data{};
        const HANDLE search = FindFirstFileA((path + "/*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "bench_retention: FindFirstFileA failed (%u)\n", static_cast<unsigned>(GetLastError()));
            std::exit(1);
        }
        std::vector<std::string> names;
        do {
            names.emplace_back(data.cFileName);
        } while (FindNextFileA(search, &data));
        FindClose(search);
        seen += names.size();
    }
    return PerPass(start, seen);
}

double SecondsPerRetention(const std::string& path)
{
    platform::LocalDateTime now;
    now.year = 2026;
    now.month = 12;
    now.day = 31;
    std::size_t deleted = 0;
    const double start = bench::Seconds();
    for (int pass = 0; pass < kPasses; ++pass) {
        dunmarrow::DeleteExpired({path + "/", "Salg_{stamp}.bak"}, now, 36500,
                                 [&](const std::string&) { ++deleted; },
                                 [&](const std::string&, const brenlix::Error&) { ++deleted; });
    }
    const double elapsed = bench::Seconds() - start;
    if (deleted != 0) {
        std::fprintf(stderr, "bench_retention: a file was deleted\n");
        std::exit(1);
    }
    return elapsed / kPasses;
}

} // namespace

int main()
{
    const bench::ScratchFolder folder("bench-retention");
    MakeFiles(folder);
    std::vector<double> ratios;
    std::vector<double> bareRatios;
    for (int round = 0; round < 5; ++round) {
        // The order changes from round to round, so no one gets the warmest cache.
        double listing = 0;
        double bare = 0;
        double retention = 0;
        for (int step = 0; step < 3; ++step) {
            switch ((round + step) % 3) {
            case 0:
                listing = SecondsPerFindListing(folder.Path());
                break;
            case 1:
                bare = SecondsPerListing(folder.Path());
                break;
            default:
                retention = SecondsPerRetention(folder.Path());
                break;
            }
        }
        ratios.push_back(retention / listing);
        bareRatios.push_back(retention / bare);
        std::printf("round %d: %.2f ms per retention pass, %.2f ms per listing, %.2f ms per bare listing of %d files\n",
                    round + 1, retention * 1e3, listing * 1e3, bare * 1e3, kFiles);
    }
    bench::PrintResult("retention pass / plain listing (FindFirstFileA), 10,000 files", bench::Median(ratios),
                       "<= 2.0");
    bench::PrintResult("retention pass / bare listing (readdir, names only)", bench::Median(bareRatios),
                       "none; shown for the stat of each entry");
    return 0;
}
