// The test service's command line: --log FILE (appends "start <pid>",
// "running", "stop", "stopped") and --hold FILE (once asked to stop, stays
// stop-pending until FILE exists).
#pragma once

#include <string>

namespace test_service {

struct Options {
    std::string log;
    std::string hold;
};

inline bool Parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--log") {
            options.log = argv[i + 1];
        } else if (option == "--hold") {
            options.hold = argv[i + 1];
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

} // namespace test_service
