// The program's own cost per database of a Databases= job over 500 databases against the stand-in SQL Server,
// held against a Database= job of one database in the same run. Each job runs in a child process of its own; its
// CPU time (user + system) is the program's work, since the server works in another process and the fixed
// pauses, taken from a clock that does not sleep here, cost nothing. Needs the endpoint that bench/run starts
// (DUNMARROW_TDS_ENDPOINT, KRB5_CONFIG, KRB5CCNAME).
#include "BenchSupport.h"
#include "OrvBackUP.h"
#include "Program.h"

#include <platform/Clock.h>

#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kDatabases = 500;
constexpr int kRounds = 3;

// The time of day moves on with each pause instead of sleeping.
class NoPauseClock final : public platform::Clock {
public:
    platform::LocalDateTime Now() const override
    {
        platform::LocalDateTime now{2026, 12, 6, 22, 0, 0, 0};
        now.second = static_cast<int>(paused_ / 1000 % 60);
        now.minute = static_cast<int>(paused_ / 60000 % 60);
        return now;
    }
    std::uint64_t MonotonicMilliseconds() const override { return paused_; }
    void Pause(std::uint32_t milliseconds) const override { paused_ += milliseconds; }

private:
    mutable std::uint64_t paused_ = 0;
};

struct Cost {
    double cpuSeconds = 0;
    long peakKiB = 0;
};

// One job in a child process: its CPU time and peak resident size, or an exit when the job failed.
Cost RunJob(const std::string& server, const std::string& folder, const std::string& database,
            const std::string& databases)
{
    const pid_t child = fork();
    if (child == 0) {
        const NoPauseClock clock;
        const platform::ScopedClock scoped(clock);
        dunmarrow::ProgramLog().LogFile(folder + "/Dunmarrow.log");
        dunmarrow::OrvBackUP job;
        job.ServerName(server);
        job.DatabaseName(database);
        job.Databases(databases);
        job.Backupfile(folder + (databases.empty() ? "/one.bak" : "/{database}.bak"));
        _exit(job.StartBackUP() ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_databases: the job %s%s failed; see %s/Dunmarrow.log\n", database.c_str(),
                     databases.c_str(), folder.c_str());
        std::exit(1);
    }
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

} // namespace

int main()
{
    const char* endpoint = std::getenv("DUNMARROW_TDS_ENDPOINT");
    if (endpoint == nullptr || *endpoint == '\0') {
        std::fprintf(stderr, "bench_databases: DUNMARROW_TDS_ENDPOINT is not set; run it through bench/run\n");
        return 1;
    }
    std::string port;
    std::ifstream ini(std::string(endpoint) + "/endpoint.ini");
    for (std::string line; std::getline(ini, line);) {
        if (line.rfind("accept=", 0) == 0) {
            port = line.substr(7);
        }
    }
    if (port.empty()) {
        std::fprintf(stderr, "bench_databases: no endpoint is running in %s\n", endpoint);
        return 1;
    }
    std::ofstream catalogue(std::string(endpoint) + "/catalogue.txt");
    catalogue << "master\tSIMPLE\ntempdb\tSIMPLE\nmodel\nmsdb\tSIMPLE\n";
    for (int i = 1; i <= kDatabases; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "db%04d", i);
        catalogue << name << "\n";
    }
    catalogue.close();
    setenv("DUNMARROW_ODBC_DRIVER", "FreeTDS", 1);
    const std::string server = "127.0.0.1," + port;

    std::vector<double> ratios;
    Cost one, all;
    for (int round = 0; round < kRounds; ++round) {
        const bench::ScratchFolder oneFolder("bench-databases-one");
        const bench::ScratchFolder allFolder("bench-databases-all");
        // alternating order, so neither job always runs on a warmer machine
        if (round % 2 == 0) {
            one = RunJob(server, oneFolder.Path(), "db0001", "");
            all = RunJob(server, allFolder.Path(), "", "USER_DATABASES, -staging%");
        } else {
            all = RunJob(server, allFolder.Path(), "", "USER_DATABASES, -staging%");
            one = RunJob(server, oneFolder.Path(), "db0001", "");
        }
        ratios.push_back(all.cpuSeconds / kDatabases / one.cpuSeconds);
        std::printf("round %d: one database %.1f ms, %d databases %.1f ms (%.2f ms each); peak %ld KiB / %ld KiB\n",
                    round + 1, one.cpuSeconds * 1e3, kDatabases, all.cpuSeconds * 1e3,
                    all.cpuSeconds * 1e3 / kDatabases, one.peakKiB, all.peakKiB);
    }
    bench::PrintResult("own time per database, 500-database job / one-database job", bench::Median(ratios),
                       "<= 1.2");
    std::remove((std::string(endpoint) + "/catalogue.txt").c_str());
    return 0;
}
