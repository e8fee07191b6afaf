// Dunmarrow: no window. Without arguments it runs the jobs of Dunmarrow.ini
// beside the program and logs to Dunmarrow.log beside it; --job-file and
// --log-file name other files. Exits 0 when every job got through, 1 when one
// did not, and 2 when the run ended early or the command line was refused.
#include "modMain.h"

#include <clocale>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Dates, times and numbers in the user's regional formats.
    std::setlocale(LC_ALL, "");
    return dunmarrow::Main(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
