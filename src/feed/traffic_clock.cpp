#include "feed/traffic_clock.h"

std::atomic<std::int64_t> g_rtAppLastRecordTime{0};
std::atomic<std::int64_t> g_rtDirectTrafficTime{0};
