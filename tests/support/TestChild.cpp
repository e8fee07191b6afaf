// A small program that the tests start as a real process.
//   testchild exit N               ends with exit code N
//   testchild sleep MS [PIDFILE]   writes its process id to PIDFILE, then sleeps
//   testchild args FILE [ARG...]   writes each argument on a line of its own to FILE
//   testchild log FILE COUNT TAG   writes COUNT lines "TAG n" through FileLog
#include <brenlix/FileLog.h>
#include <platform/Win32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 100;
    }
    const std::string command = argv[1];
    if (command == "exit" && argc == 3) {
        return std::atoi(argv[2]);
    }
    if (command == "sleep" && argc >= 3) {
        if (argc >= 4) {
            std::ofstream(argv[3], std::ios::binary) << GetCurrentProcessId();
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
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            log.WriteToLog(std::string(argv[4]) + " " + std::to_string(i));
        }
        return 0;
    }
    return 101;
}
