#include <gtest/gtest.h>

#include <limits>
#include <mutex>
#include <tuple>

#include "airports/stand_searches.h"
#include "engine/stands.h"
#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The replay ticks given to records with these times.
std::vector<std::int32_t> lf_ticks(std::initializer_list<double> times, std::int32_t base, std::uint32_t delay) {
    std::vector<TrafficRecord> batch;
    for (double t : times) batch.emplace_back().time = t;
    gf_setReplayDelays(batch, base, delay);
    std::vector<std::int32_t> ticks;
    for (const auto& r : batch) ticks.push_back(r.point.playTick);
    return ticks;
}

ParkedRecord lf_parked(std::string callsign, std::string stand, std::int32_t slot, std::uint32_t hexid = 0x100000,
                       std::string type = "B738") {
    ParkedRecord r;
    r.identity.callsign = std::move(callsign);
    r.identity.key.model = gf_internModelCode(type);
    r.standName = std::move(stand);
    r.slot = slot;
    r.hexid = hexid;
    r.position = LaLo{52.3, 4.76};
    return r;
}

std::vector<std::string> lf_callsigns(const std::vector<ParkedRecord>& list) {
    std::vector<std::string> out;
    for (const auto& r : list) out.push_back(r.identity.callsign);
    return out;
}

std::vector<std::int32_t> lf_ages(const std::vector<ParkedRecord>& list) {
    std::vector<std::int32_t> out;
    for (const auto& r : list) out.push_back(r.age);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Replay ticks

TEST(ReplayDelays, ALiveBatchSpreadsAroundItsMedianABufferedSegmentFromWhereItsSecondsBegin) {
    // Live: odd count, the middle time; even count, the mean of the middle two (100.3).
    EXPECT_EQ(lf_ticks({100.0, 100.5, 101.0}, 1000, 30), (std::vector<std::int32_t>{3950, 4000, 4050}));
    EXPECT_EQ(lf_ticks({101.0, 100.0, 100.2, 100.4}, 0, 30), (std::vector<std::int32_t>{3070, 2970, 2990, 3010}));
    // A buffered segment (delay 6 n) holds 6 s of reports: its earliest plays
    // at its delay, as a report of that time in the live traffic would
    // (the segment of reports every 0.5 s from 100 s to 105.5 s, or all at 100 s).
    EXPECT_EQ(lf_ticks({101.0, 100.0, 100.2, 100.4}, 0, 6), (std::vector<std::int32_t>{700, 600, 620, 640}));
    EXPECT_EQ(lf_ticks({100.0, 102.5, 105.5}, 0, 12), (std::vector<std::int32_t>{1200, 1450, 1750}));
    EXPECT_EQ(lf_ticks({100.0, 100.0}, 0, 18), (std::vector<std::int32_t>{1800, 1800}));
    // One report far older than the rest moves the segment no more than
    // half a segment before its median (102.75 s).
    EXPECT_EQ(lf_ticks({80.0, 102.0, 103.5, 105.0}, 0, 0), (std::vector<std::int32_t>{-1975, 225, 375, 525}));
    // Times that are not finite play at the base tick and do not shift the batch's time.
    EXPECT_EQ(lf_ticks({kNaN, kNaN}, 7, 12), (std::vector<std::int32_t>{1207, 1207}));
    EXPECT_EQ(lf_ticks({100.0, kNaN, 102.0, std::numeric_limits<double>::infinity()}, 0, 0),
              (std::vector<std::int32_t>{0, 0, 200, 0}));
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(lf_ticks({0.0, 1e12, 2e12}, kMax - 10, 30), (std::vector<std::int32_t>{kMin, kMax, kMax}));
}

// ---------------------------------------------------------------------------
// Preparation of the parked list

class ParkedPreparation : public RecordsWorld {
protected:
    SettingsSnapshot settings() const { return *settingsSnapshot.load(); }
};

TEST_F(ParkedPreparation, AgeWrapsRoundTheDayAndPreparingAgainGivesTheSameAges) {
    std::vector<ParkedRecord> list{lf_parked("AAA1", "S1", 47), lf_parked("AAA2", "S2", 0),
                                   lf_parked("AAA3", "S3", 1), lf_parked("AAA4", "S4", -1)};
    gf_prepareParkedList(list, 0, settings());
    EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"AAA2", "AAA1", "AAA3", "AAA4"}));
    EXPECT_EQ(lf_ages(list), (std::vector<std::int32_t>{0, 1, 47, 47})) << "slot 1 read in slot 0, and unknown";
    EXPECT_EQ(list[1].slot, 47) << "the slot itself is kept";

    // The same list handed over again, later, is aged from its own slots.
    gf_prepareParkedList(list, 0, settings());
    EXPECT_EQ(lf_ages(list), (std::vector<std::int32_t>{0, 1, 47, 47}));
    gf_prepareParkedList(list, 1, settings());
    EXPECT_EQ(lf_ages(list), (std::vector<std::int32_t>{0, 1, 2, 47}));
}

TEST_F(ParkedPreparation, MaxFitZeroKeepsOnlyTheCurrentHalfHourUnlessASwitchIsSet) {
    const std::vector<ParkedRecord> received{lf_parked("AAA1", "S1", 10), lf_parked("AAA2", "S2", 9),
                                             lf_parked("AAA3", "S3", 10)};
    for (const auto& [autoPark, parkTrafficOnly, kept] : {std::tuple{0, 0, 2u}, {1, 0, 3u}, {0, 1, 3u}}) {
        changeSettings([autoPark = autoPark, parkTrafficOnly = parkTrafficOnly](SettingsSnapshot& s) {
            s.MAX_FIT = 0;
            s.AUTO_PARK = static_cast<std::uint8_t>(autoPark);
            s.RT_PARKTRAFFIC_ONLY = static_cast<std::uint8_t>(parkTrafficOnly);
        });
        auto list = received;
        gf_prepareParkedList(list, 10, settings());
        EXPECT_EQ(list.size(), kept) << autoPark << parkTrafficOnly;
        if (kept == 2u) {
            EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"AAA1", "AAA3"}));
        }
    }
}

TEST_F(ParkedPreparation, CallsignsAreCleanedAgainAndTheMergeKeepsTheYoungestPerStandAndCallsign) {
    std::vector<ParkedRecord> list{lf_parked(".AB", "S7", 5), lf_parked(".ABC", "S8", 5), lf_parked("null", "S9", 5)};
    gf_prepareParkedList(list, 5, settings());
    EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"ABC"}));

    list = {
        lf_parked("OLD1", "S1", 2),  // age 3
        lf_parked("NEW1", "S1", 4),  // age 1: wins S1
        lf_parked("DUP1", "S2", 3),  // age 2
        lf_parked("DUP1", "S3", 5),  // age 0: wins the callsign
        lf_parked("EMP1", "", 5),    // empty stand names count as one stand
        lf_parked("EMP2", "", 5),
    };
    gf_prepareParkedList(list, 5, settings());
    EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"DUP1", "EMP1", "NEW1"}));
    EXPECT_EQ(list[0].standName, "S3");
}

// ---------------------------------------------------------------------------
// The hand-over to the planner

class ParkedHandOver : public RecordsWorld {
protected:
    void SetUp() override {
        RecordsWorld::SetUp();
        changeSettings([](SettingsSnapshot& s) {
            s.RT_PARKTRAFFIC_ONLY = 1;
            s.MAX_FIT = 47;
        });
        fiveStands();
    }
    // Five stands S1..S5 0.018 NM apart, each named by the parked records'
    // "Gate S<n>".
    static void fiveStands() {
        std::vector<tavo::test::StandSpec> stands;
        for (int i = 1; i <= 5; ++i) stands.emplace_back("S" + std::to_string(i), LaLo{52.3 + i * 0.0003, 4.76});
        tavo::test::setStandTable(stands);
    }
    static void clearStandMarks() { gf_clearStandMarks(); }
    static std::vector<std::string> placedCallsigns() {
        std::vector<std::string> out;
        for (const StaticToPlace& item : staticsToPlace) out.push_back(item.callsign1);
        return out;
    }
    void registerSource(bool rtDirect, bool ready, bool skipEmpty) {
        ParkedTrafficSource source;
        source.fetch = [this, ready] {
            ++fetches;
            return ready;
        };
        source.parkedMutex = &mutex;
        source.parkedList = &list;
        source.skipEmptyList = skipEmpty;
        source.mapsMutex = &mutex;
        source.maps = &maps;
        gf_setParkedTrafficSource(rtDirect, std::move(source));
    }
    std::mutex mutex;
    std::vector<ParkedRecord> list;
    HandOverMaps maps;
    int fetches = 0;
};

TEST_F(ParkedHandOver, NothingIsHandedOverWithoutASourceOrACompleteSet) {
    gf_handOverParkedTraffic(3);
    EXPECT_TRUE(staticsToPlace.empty());
    list = {lf_parked("KLM1", "Gate S1", 0)};
    registerSource(false, false, true);
    gf_handOverParkedTraffic(5);
    EXPECT_EQ(fetches, 1);
    EXPECT_TRUE(staticsToPlace.empty());
    EXPECT_EQ(list[0].slot, 0) << "not prepared";
}

TEST_F(ParkedHandOver, PreparesAndPlacesUpToTheWantedCountOnlyWithParkTraffic) {
    list = {lf_parked("KLM1", "Gate S1", 0, 0x100001), lf_parked("KLM2", "Gate S2", 0, 0x100002),
            lf_parked("KLM3", "Gate S3", 0, 0x100003)};
    registerSource(false, true, true);
    gf_handOverParkedTraffic(2);
    EXPECT_EQ(placedCallsigns(), (std::vector<std::string>{"KLM1", "KLM2"})) << "the second claim reaches 2";

    gf_clearStaticsToPlace();
    changeSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 0; });
    list = {lf_parked("KLM1", "Gate S1", 3), lf_parked("KLM1", "Gate S2", 3)};
    gf_handOverParkedTraffic(5);
    EXPECT_EQ(list.size(), 1u) << "prepared and merged";
    EXPECT_TRUE(staticsToPlace.empty());
}

TEST_F(ParkedHandOver, RtDirectSourceIsUsedWhenSelected) {
    useRtDirect();
    list = {lf_parked("KLM1", "Gate S1", 0)};
    registerSource(true, true, false);
    gf_handOverParkedTraffic(1);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(placedCallsigns(), std::vector<std::string>{"KLM1"});
    gf_clearStaticsToPlace();
    clearStandMarks();
    registerSource(true, false, false);  // the service did not answer
    gf_handOverParkedTraffic(1);
    EXPECT_TRUE(staticsToPlace.empty());
}

TEST_F(ParkedHandOver, SearchStopsAtTheFirstTooOldRecordAndSkipsExcludedOnesAndBlockedStands) {
    changeSettings([](SettingsSnapshot& s) {
        s.MAX_FIT = 4;
        s.HELICOPTERS = 0;
    });
    g_standTable[1].blocked = true;  // the user's stand
    std::vector<ParkedRecord> prepared{lf_parked("H1", "Gate S1", 0, 0x100001, "EC35"),
                                       lf_parked("A2", "Gate S2", 0, 0x100002), lf_parked("A3", "Gate S3", 0, 0x100003),
                                       lf_parked("A4", "Gate S4", 0, 0x100004), lf_parked("A5", "Gate S5", 0, 0x100005)};
    for (auto [i, age] : {std::pair{0, 1}, {1, 1}, {2, 2}, {3, 5}, {4, 3}}) prepared[i].age = age;
    gf_searchRtParkPositions(prepared, 0);
    EXPECT_TRUE(staticsToPlace.empty()) << "none wanted";
    gf_searchRtParkPositions(prepared, 10);
    ASSERT_EQ(placedCallsigns(), std::vector<std::string>{"A3"}) << "A5 is behind the too old A4 and never reached";
    EXPECT_EQ(staticsToPlace[0].ageSlots, 2);
    EXPECT_EQ(staticsToPlace[0].standId, 3);
    EXPECT_EQ(staticsToPlace[0].hexid, 0x100003u);
}

// ---------------------------------------------------------------------------
// Hand-over maps

TEST(HandOverMapsTest, HexidHashesAsItsFourBytesLowestFirst) {
    const char bytes[4] = {0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(gf_fnv1a(std::uint32_t{0x11223344}), gf_fnv1a(std::string_view(bytes, 4)));
    EXPECT_EQ(gf_fnv1a(std::string_view{"a"}), 0xaf63dc4c8601ec8cULL);
}

TEST_F(ParkedHandOver, EngineTakesTheActiveSourcesMapsAndStopsThem) {
    registerSource(false, true, true);
    maps.active = true;
    maps.insert(HandOverEntry{"KLM1", 0x654321});
    maps.insert(HandOverEntry{"", 0x123456});  // an empty callsign goes into the hexids only
    g_engineHandOverMaps.insert(HandOverEntry{"OLD1", 1});
    gf_takeParkedHandOverMaps();
    EXPECT_FALSE(maps.active);
    EXPECT_TRUE(maps.callsigns.empty());
    EXPECT_TRUE(maps.hexids.empty());
    EXPECT_TRUE(g_engineHandOverMaps.callsigns.contains(std::string_view{"KLM1"}));
    EXPECT_FALSE(g_engineHandOverMaps.callsigns.contains(std::string_view{"OLD1"}));
    EXPECT_TRUE(g_engineHandOverMaps.hexids.contains(0x654321u));
    EXPECT_EQ(g_engineHandOverMaps.callsigns.size(), 1u);
    EXPECT_EQ(g_engineHandOverMaps.hexids.size(), 2u);
    g_engineHandOverMaps.clear();
}
