// Dunmarrow: no window, no arguments. Runs the jobs of Dunmarrow.ini beside
// the program and exits 0 when every job got through, 1 when one did not, and
// 2 when the run ended early.
#include "modMain.h"

#include <clocale>

int main()
{
    // Dates, times and numbers in the user's regional formats.
    std::setlocale(LC_ALL, "");
    return dunmarrow::Main();
}
