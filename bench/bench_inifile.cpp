// Reading a job file through IniFile: the cost per key read in a file of 1,000
// job sections against the cost in a file of 10, the way the program reads it
// (six keys per job). The profile functions keep the parsed file, so a read
// must not cost more because the file is larger.
#include <brenlix/IniFile.h>

#include "BenchSupport.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

void WriteJobFile(const std::string& path, int jobs)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[Backups]\r\n";
    for (int i = 0; i < jobs; ++i) {
        out << "Job" << i << "\r\n";
    }
    for (int i = 0; i < jobs; ++i) {
        out << "[Job" << i << "]\r\nServer=SQLPROD" << i % 7 << "\r\nDatabase=Db" << i
            << "\r\nBackupfile=D:\\SQLBackup\\Db" << i << ".bak\r\nMakeCopy2=\\\\filserver\\backup\\\r\n"
            << "RunShell=cmd /c echo " << i << "\r\nMaxWaitShell=" << 30 + i % 5 << "\r\n";
    }
}

// Seconds per key read when every job of the file is read, as the program does.
double SecondsPerRead(const std::string& path, int jobs, int passes)
{
    brenlix::IniFile ini;
    ini.FullPath(path);
    std::size_t seen = 0;
    const double start = bench::Seconds();
    for (int pass = 0; pass < passes; ++pass) {
        for (int i = 0; i < jobs; ++i) {
            ini.SectionName("Job" + std::to_string(i));
            for (const char* key : {"Server", "Database", "Backupfile", "MakeCopy2", "RunShell", "MaxWaitShell"}) {
                seen += ini.GetString(key, "").size();
            }
        }
    }
    const double elapsed = bench::Seconds() - start;
    if (seen == 0) {
        std::fprintf(stderr, "bench_inifile: nothing was read from %s\n", path.c_str());
        std::exit(1);
    }
    return elapsed / (static_cast<double>(jobs) * passes * 6);
}

} // namespace

int main()
{
    const bench::ScratchFolder folder("bench-inifile");
    const std::string small = folder.File("small.ini");
    const std::string large = folder.File("large.ini");
    WriteJobFile(small, 10);
    WriteJobFile(large, 1000);

    std::vector<double> ratios;
    for (int round = 0; round < 5; ++round) {
        const double perSmall = SecondsPerRead(small, 10, 100);
        const double perLarge = SecondsPerRead(large, 1000, 1);
        ratios.push_back(perLarge / perSmall);
        std::printf("round %d: %.2f us per read (10 jobs), %.2f us per read (1,000 jobs)\n", round + 1,
                    perSmall * 1e6, perLarge * 1e6);
    }
    bench::PrintResult("IniFile read per key, 1,000-job file / 10-job file", bench::Median(ratios), "<= 2.0");
    return 0;
}
