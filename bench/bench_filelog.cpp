// FileLog::WriteToLog against the least any appending logger must do per line:
// open for append, one write, close.
#include "BenchSupport.h"

#include <brenlix/FileLog.h>

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 5;
constexpr int kLinesPerRound = 20000;
const std::string kMessage = "Backup of database Sales to D:\\Backup\\Sales.bak finished";

double TimeFileLog(const std::string& path)
{
    brenlix::FileLog log;
    log.LogFile(path);
    const double start = bench::Seconds();
    for (int i = 0; i < kLinesPerRound; ++i) {
        log.WriteToLog(kMessage);
    }
    return bench::Seconds() - start;
}

// The same line text FileLog writes under the C locale, with a fixed stamp.
double TimePlainAppend(const std::string& path)
{
    const std::string line = "2024-05-17 02:30:00\t\tINFORMATION\t\t" + kMessage + "\r\n";
    const double start = bench::Seconds();
    for (int i = 0; i < kLinesPerRound; ++i) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::perror(path.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
    return bench::Seconds() - start;
}

} // namespace

int main()
{
    try {
        const bench::ScratchFolder folder("bench_filelog");
        const std::string logPath = folder.File("filelog.log");
        const std::string plainPath = folder.File("plain.log");

        std::vector<double> ratios;
        std::vector<double> logPerLine;
        std::vector<double> plainPerLine;
        for (int round = 0; round < kRounds; ++round) {
            // Each round starts from empty files, and the order alternates.
            ::unlink(logPath.c_str());
            ::unlink(plainPath.c_str());
            double logTime = 0;
            double plainTime = 0;
            if (round % 2 == 0) {
                logTime = TimeFileLog(logPath);
                plainTime = TimePlainAppend(plainPath);
            } else {
                plainTime = TimePlainAppend(plainPath);
                logTime = TimeFileLog(logPath);
            }
            // FileLog fails silently, so make sure it really wrote the lines.
            struct stat written {};
            if (::stat(logPath.c_str(), &written) != 0 ||
                written.st_size < static_cast<off_t>(kLinesPerRound * (kMessage.size() + 2))) {
                std::fprintf(stderr, "bench_filelog: FileLog did not write its lines to %s\n", logPath.c_str());
                return 1;
            }
            ratios.push_back(logTime / plainTime);
            logPerLine.push_back(logTime / kLinesPerRound * 1e6);
            plainPerLine.push_back(plainTime / kLinesPerRound * 1e6);
        }
        std::printf("%d rounds of %d lines: FileLog %.2f us/line, open-append-close %.2f us/line (medians)\n",
                    kRounds, kLinesPerRound, bench::Median(logPerLine), bench::Median(plainPerLine));
        bench::PrintResult("FileLog per line / plain open-append-close per line", bench::Median(ratios), "<= 1.5");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_filelog: %s\n", e.what());
        return 1;
    }
}
