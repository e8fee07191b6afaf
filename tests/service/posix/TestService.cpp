// The Linux test daemon that the service substitutes start: logs its start,
// waits for SIGTERM, then for --hold's file, and ends with 0.
#include "../ServiceOptions.h"

#include <csignal>
#include <fstream>
#include <unistd.h>

int main(int argc, char** argv)
{
    test_service::Options options;
    if (!test_service::Parse(argc, argv, options)) {
        return 2;
    }
    const auto log = [&](const std::string& line) { std::ofstream(options.log, std::ios::app) << line << '\n'; };
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    log("start " + std::to_string(::getpid()));
    log("running");
    int signal = 0;
    while (sigwait(&term, &signal) != 0) {
    }
    log("stop");
    while (!options.hold.empty() && ::access(options.hold.c_str(), F_OK) != 0) {
        ::usleep(10000);
    }
    log("stopped");
    return 0;
}
