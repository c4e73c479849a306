// The parked-traffic planner at a large synthetic airport (1,000 stands, a
// fifth of them overlapping a neighbour, with the service's parked records,
// statics of the airport file and live aircraft): whatever a plan or an
// adjustment decides, no stand holds two aircraft, no two stands that
// exclude each other are both held, and no two aircraft's wings overlap.
// Held means planned, kept or still standing: the planned statics, the statics
// not on their way out and, in an adjustment, the live stayers.

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <fmt/format.h>

#include "engine/geometry.h"
#include "foundation/random.h"
#include "planner_fixture.h"

namespace tavo::test {
namespace {

struct Holder {
    std::int32_t standId;
    double wingNm;  // half the wing span
    std::string who;
};

double lf_wingOf(std::uint16_t model) {
    const double wing = gf_getWingspan(model);
    return wing > 0.0 ? wing : gf_maxWingRadius();
}

std::vector<Holder> lf_holders() {
    std::vector<Holder> holders;
    for (const StaticToPlace& item : staticsToPlace)
        holders.push_back({item.standId, lf_wingOf(item.key.model), "planned " + item.callsign1});
    for (const AcBase& s : g_staticAircraft)
        if (s.simState != AcSimState::removingfromsim)
            holders.push_back({s.standId, lf_wingOf(s.key.model), "static " + s.callsign});
    for (const StayerEntry& stayer : stayers)
        holders.push_back({stayer.standId, gf_maxWingRadius(), "live " + stayer.callsign});
    return holders;
}

// Every breach of the three rules, one line each.
std::vector<std::string> lf_breaches(const std::vector<Holder>& holders) {
    std::vector<std::string> breaches;
    std::map<std::int32_t, const Holder*> byStand;
    for (const Holder& h : holders) {
        const auto [at, added] = byStand.emplace(h.standId, &h);
        if (!added) breaches.push_back(fmt::format("stand {}: {} and {}", h.standId, at->second->who, h.who));
    }
    for (const Holder& h : holders) {
        const Stand* stand = gf_standById(h.standId);
        if (stand == nullptr) {
            breaches.push_back(fmt::format("{} at unknown stand {}", h.who, h.standId));
            continue;
        }
        for (const std::uint32_t excluded : stand->excludes) {
            const auto other = byStand.find(static_cast<std::int32_t>(excluded));
            if (other != byStand.end() && h.standId < other->first)
                breaches.push_back(fmt::format("stands {} and {} exclude each other: {} and {}", h.standId,
                                               other->first, h.who, other->second->who));
        }
    }
    // Pairs by latitude: no two aircraft further apart north to south than
    // the two largest wings can touch.
    std::vector<std::pair<const Holder*, const Stand*>> placed;
    for (const Holder& h : holders)
        if (const Stand* stand = gf_standById(h.standId)) placed.emplace_back(&h, stand);
    std::sort(placed.begin(), placed.end(),
              [](const auto& a, const auto& b) { return a.second->latitude < b.second->latitude; });
    const double reachNm = 2.0 * gf_maxWingRadius();
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const auto& [h, a] = placed[i];
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            const auto& [g, b] = placed[j];
            if ((b->latitude - a->latitude) * 60.0 > reachNm) break;
            if (a == b) continue;
            const double apart = std::sqrt(gf_flatDistanceSquaredNm(LaLo{a->latitude, a->longitude},
                                                                    LaLo{b->latitude, b->longitude}));
            if (apart < h->wingNm + g->wingNm)
                breaches.push_back(fmt::format("wings overlap: {} at {} and {} at {}, {:.1f} m apart", h->who, a->name,
                                               g->who, b->name, apart * 1852.0));
        }
    }
    return breaches;
}

class LargeAirportPlan : public PlannerTest {
protected:
    static const SyntheticAirport& airport() {
        static const SyntheticAirport made = [] {
            SyntheticAirportSpec spec;
            spec.stands = 1000;
            spec.optionsPerStand = 6;
            spec.parkedRecords = 2000;
            spec.statics = 400;
            spec.liveAircraft = 600;
            spec.nowSlot = 20;  // the fixture's clock: day 3, slot 20
            return makeSyntheticAirport(spec);
        }();
        return made;
    }
};

TEST_F(LargeAirportPlan, NoStandIsHeldTwiceNoTwoExcludingStandsAreBothHeldAndNoWingsOverlap) {
    struct Row {
        const char* what;
        bool adjust;
        bool rtOnly;
    };
    const Row rows[] = {{"plan", false, false},
                        {"plan, parked traffic only", false, true},
                        {"adjustment", true, false},
                        {"adjustment, parked traffic only", true, true}};
    LoadedAirport loaded = gf_loadedAirport();
    loaded.qfSoft = 40;  // the soft searches run as well
    gf_setLoadedAirport(loaded);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gf_updateSettings([&](SettingsSnapshot& s) {
            s.RT_PARKTRAFFIC_ONLY = row.rtOnly ? 1 : 0;
            s.AUTO_PARK = 1;  // every offset and every search
            s.RANDOM = 1;
            s.MAX_PARK_SEL = 1000;
            s.parking_percentage = 100;
        });
        threadRandomEngine().engine.seed(5);
        installSyntheticAirport(airport());
        gf_clearStaticsToPlace();
        staticRemovals.clear();
        stayers.clear();
        feed->setParked(airport().parked);
        if (row.adjust)
            lf_adjustParking(false);
        else
            lf_planParking();
        // Enough of both kinds planned for the rules to be put to the test.
        const auto fromService = std::count_if(staticsToPlace.begin(), staticsToPlace.end(),
                                               [](const StaticToPlace& item) { return item.source == 0; });
        EXPECT_GT(fromService, 40);
        if (!row.rtOnly) EXPECT_GT(std::ssize(staticsToPlace) - fromService, 40);
        const std::vector<Holder> holders = lf_holders();
        const std::vector<std::string> breaches = lf_breaches(holders);
        EXPECT_TRUE(breaches.empty()) << breaches.size() << " breaches, the first: " << (breaches.empty() ? "" : breaches.front());
        // Every claim was answered from the number of stands taken so far.
        EXPECT_EQ(gf_occupiedStandCount(), gf_countOccupiedStands(g_standTable));
    }
    gf_clearStaticsToPlace();
    stayers.clear();
    g_liveAircraft.clear();
    g_staticAircraft.clear();
}

}  // namespace
}  // namespace tavo::test
