#include "engine/engine_lists.h"

std::vector<LiveAc> g_liveAircraft;
std::vector<AcBase> g_staticAircraft;
std::deque<std::uint32_t> removeQueue;
std::deque<AiCreateRequest> liveCreateQueue;
std::deque<AiCreateRequest> staticCreateQueue;
std::vector<std::uint32_t> addingStack;
bool g_staticsChanged = false;
