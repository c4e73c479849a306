#include "platform/os/timer_period.h"

bool gf_osBeginTimerPeriod(unsigned /*milliseconds*/) { return true; }

void gf_osEndTimerPeriod(unsigned /*milliseconds*/) {}
