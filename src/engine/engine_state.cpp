#include "engine/engine_state.h"

std::atomic<std::uint32_t> g_qnh{1013};
std::atomic<std::int32_t> tickCount{0};

void gf_advanceTickCount() { tickCount.fetch_add(1, std::memory_order_relaxed); }
void gf_addTicks(std::int32_t ticks) { tickCount.fetch_add(ticks, std::memory_order_relaxed); }
