#include "engine/sim_commands.h"

#include <mutex>

namespace {

std::mutex l_resultMutex;
std::vector<SimCommand> l_results;

}  // namespace

void gf_queueSimCommand(const SimCommand& command) {
    std::lock_guard lock(l_resultMutex);
    l_results.push_back(command);
}

void gf_takeSimCommands(std::vector<SimCommand>& out) {
    if (out.empty()) {
        // The two lists trade places, so their storage is reused tick after
        // tick instead of allocated.
        std::lock_guard lock(l_resultMutex);
        out.swap(l_results);
        return;
    }
    std::vector<SimCommand> taken;
    {
        std::lock_guard lock(l_resultMutex);
        taken.swap(l_results);
    }
    out.insert(out.end(), taken.begin(), taken.end());
}

std::size_t gf_reserveSimCommands(std::size_t n) {
    std::lock_guard lock(l_resultMutex);
    l_results.reserve(n);
    return l_results.capacity();
}

void gf_clearSimCommands() {
    std::lock_guard lock(l_resultMutex);
    l_results.clear();
}
