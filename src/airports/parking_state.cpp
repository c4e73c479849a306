#include "airports/parking_state.h"

std::atomic<bool> g_parkingActive{false};
std::atomic<bool> g_generatingParking{false};
std::atomic<std::int32_t> g_airportDataWeek{0};
std::atomic<std::uint64_t> g_weekTime{1};  // Monday, slot 0
std::atomic<bool> g_parkingPlanRequested{false};
