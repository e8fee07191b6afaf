// The command line of the test service (testservice / testservice.exe):
//   --log FILE       appends "start <pid>", "running", "stop" and "stopped" lines
//   --start-ms N     stays start-pending for N ms (Windows)
//   --start-hint N   the wait hint it gives while start-pending (Windows)
//   --stop-ms N      takes N ms to stop once asked
//   --stop-hint N    the wait hint it gives while stop-pending (Windows)
//   --hold FILE      once asked to stop, stays stop-pending until FILE exists,
//                    so a test sees the pending state for as long as it needs
//   --console        runs from a console: prints what it is and ends
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace test_service {

struct Options {
    std::string log;
    unsigned long startMs = 0;
    unsigned long startHint = 0;
    unsigned long stopMs = 0;
    unsigned long stopHint = 0;
    std::string hold;
    bool console = false;
};

inline bool Parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--console") {
            options.console = true;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (option == "--log") {
            options.log = value;
        } else if (option == "--start-ms") {
            options.startMs = std::strtoul(value, nullptr, 10);
        } else if (option == "--start-hint") {
            options.startHint = std::strtoul(value, nullptr, 10);
        } else if (option == "--stop-ms") {
            options.stopMs = std::strtoul(value, nullptr, 10);
        } else if (option == "--stop-hint") {
            options.stopHint = std::strtoul(value, nullptr, 10);
        } else if (option == "--hold") {
            options.hold = value;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace test_service
