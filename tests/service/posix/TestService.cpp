// The Linux test daemon: "--log FILE" gets "start <pid>" and "running", then
// after SIGTERM and once "--hold FILE" exists, "stopped".
#include <csignal>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::string log, hold;
    for (int i = 1; i + 1 < argc; i += 2) {
        (std::string(argv[i]) == "--log" ? log : hold) = argv[i + 1];
    }
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);
    std::ofstream(log, std::ios::app) << "start " << ::getpid() << "\nrunning\n";
    for (int signal = 0; sigwait(&term, &signal) != 0;) {
    }
    while (!hold.empty() && ::access(hold.c_str(), F_OK) != 0) {
        ::usleep(10000);
    }
    std::ofstream(log, std::ios::app) << "stopped\n";
}
