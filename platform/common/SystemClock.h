// The real clock of the machine; each platform folder implements it.
#pragma once

#include <platform/Clock.h>

namespace platform {
const Clock& SystemClock();
}
