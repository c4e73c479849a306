#include "engine/engine_lists.h"

std::vector<LiveAc> g_liveAircraft;
std::vector<AcBase> g_staticAircraft;
std::deque<std::uint32_t> removeQueue;
std::deque<AiCreateRequest> liveCreateQueue;
std::deque<AiCreateRequest> staticCreateQueue;
std::vector<std::uint32_t> addingStack;
bool g_staticsChanged = false;
std::vector<SimCommand> delayedSimCommands;
std::deque<std::uint32_t> newLiveCheckQueue;
std::vector<ParkedAcAction> parkedActionSchedule;
std::vector<std::string> removedGhosts;
std::unordered_map<std::uint32_t, std::string_view, Fnv1aHexidHash> liveryByHexid;
std::atomic<std::uint64_t> g_promotionsCount{0};
std::atomic<std::uint64_t> g_parkedStaticsCount{0};

std::size_t gf_liveIndexByHexid(std::uint32_t hexid) {
    for (std::size_t i = 0; i < g_liveAircraft.size(); ++i)
        if (g_liveAircraft[i].hexid == hexid) return i;
    return g_liveAircraft.size();
}

LiveAc* gf_findLiveByHexid(std::uint32_t hexid) {
    const std::size_t i = gf_liveIndexByHexid(hexid);
    return i < g_liveAircraft.size() ? &g_liveAircraft[i] : nullptr;
}
