// A program the tests start as a real process: exit N; sleep MS [PIDFILE] (its id to PIDFILE first);
// args FILE [ARG...] (one a line); log FILE COUNT TAG (through FileLog); register PREFIX COUNT (event sources).
#include <brenlix/EventLog.h>
#include <brenlix/FileLog.h>
#include <platform/Win32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    const std::string command = argc >= 2 ? argv[1] : "";
    const int count = argc >= 4 ? std::atoi(argv[3]) : 0;
    if (command == "exit" && argc == 3) {
        return std::atoi(argv[2]);
    }
    if (command == "sleep" && argc >= 3) {
        if (argc >= 4) {
            std::ofstream(argv[3], std::ios::binary) << GetCurrentProcessId() << '\n'; // complete once the line ends
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
        return 0;
    }
    if (command == "args" && argc >= 3) {
        std::ofstream out(argv[2], std::ios::binary);
        for (int i = 3; i < argc; ++i) {
            out << argv[i] << '\n';
        }
        return 0;
    }
    if (command == "log" && argc == 5) {
        brenlix::FileLog log;
        log.LogFile(argv[2]);
        for (int i = 0; i < count; ++i) {
            log.WriteToLog(std::string(argv[4]) + " " + std::to_string(i));
        }
        return 0;
    }
    if (command == "register" && argc == 4) {
        for (int i = 0; i < count; ++i) {
            brenlix::EventLog().ApplicationName(std::string(argv[2]) + std::to_string(i));
        }
        return 0;
    }
    return 101;
}
