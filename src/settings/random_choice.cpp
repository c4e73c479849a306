#include "settings/random_choice.h"

#include <utility>

#include "settings/snapshot.h"

bool gf_randomnessEnabled() {
    const SettingsSnapshotPtr settings = settingsSnapshot.load();
    return settings && settings->RANDOM != 0;
}

std::int64_t gf_randomIndex(std::uint64_t n) {
    if (n < 2 || !gf_randomnessEnabled()) {
        return 0;
    }
    return static_cast<std::int64_t>(threadRandomEngine().below(n));
}

void gf_shuffle(std::vector<std::uint16_t>& values) {
    if (values.size() < 2 || !gf_randomnessEnabled()) {
        return;
    }
    ThreadRandomEngine& random = threadRandomEngine();
    for (std::size_t i = 1; i < values.size(); ++i) {
        const auto j = static_cast<std::size_t>(random.upTo(i));
        if (j != i) {
            std::swap(values[i], values[j]);
        }
    }
}
