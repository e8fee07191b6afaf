// The Linux test daemon: what the service control substitutes start. It logs
// its start, waits for SIGTERM, waits for --hold's file, takes --stop-ms to stop and ends with 0.
#include "../ServiceOptions.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

void Log(const std::string& file, const std::string& line)
{
    if (!file.empty()) {
        std::ofstream(file, std::ios::app) << line << '\n';
    }
}

} // namespace

int main(int argc, char** argv)
{
    test_service::Options options;
    if (!test_service::Parse(argc, argv, options)) {
        return 2;
    }
    if (options.console) {
        std::puts("testservice: the test daemon; the service control starts it");
        return 0;
    }
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    Log(options.log, "start " + std::to_string(::getpid()));
    Log(options.log, "running");
    int signal = 0;
    while (sigwait(&term, &signal) != 0) {
    }
    Log(options.log, "stop");
    while (!options.hold.empty() && ::access(options.hold.c_str(), F_OK) != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(options.stopMs));
    Log(options.log, "stopped");
    return 0;
}
