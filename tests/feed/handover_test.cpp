#include <gtest/gtest.h>

#include <limits>
#include <mutex>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<TrafficRecord> lf_batch(std::initializer_list<double> times) {
    std::vector<TrafficRecord> batch;
    for (double t : times) {
        TrafficRecord r;
        r.time = t;
        batch.push_back(r);
    }
    return batch;
}

ParkedRecord lf_parked(std::string callsign, std::string stand, std::int32_t slot, std::uint32_t hexid = 0x100000,
                       std::string type = "B738") {
    ParkedRecord r;
    r.identity.callsign = std::move(callsign);
    r.identity.key.type = gf_internModelCode(type);
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

}  // namespace

// ---------------------------------------------------------------------------
// Replay ticks

TEST(ReplayDelays, SpreadAroundTheMedian) {
    auto batch = lf_batch({100.0, 100.5, 101.0});
    gf_setReplayDelays(batch, 1000, 30);
    const std::int32_t base = 30 * 100 + 1000;
    EXPECT_EQ(batch[0].point.playTick, base - 50);
    EXPECT_EQ(batch[1].point.playTick, base);
    EXPECT_EQ(batch[2].point.playTick, base + 50);
}

TEST(ReplayDelays, EvenCountTakesTheMeanOfTheMiddleTwo) {
    auto batch = lf_batch({101.0, 100.0, 100.2, 100.4});  // median 100.3
    gf_setReplayDelays(batch, 0, 6);
    EXPECT_EQ(batch[0].point.playTick, 600 + 70);
    EXPECT_EQ(batch[1].point.playTick, 600 - 30);
    EXPECT_EQ(batch[2].point.playTick, 600 - 10);
    EXPECT_EQ(batch[3].point.playTick, 600 + 10);
}

TEST(ReplayDelays, TimesThatAreNotFinite) {
    auto batch = lf_batch({kNaN, kNaN});
    gf_setReplayDelays(batch, 7, 12);
    EXPECT_EQ(batch[0].point.playTick, 1207);
    EXPECT_EQ(batch[1].point.playTick, 1207);

    batch = lf_batch({100.0, kNaN, 102.0, std::numeric_limits<double>::infinity()});
    gf_setReplayDelays(batch, 0, 0);
    EXPECT_EQ(batch[0].point.playTick, -100);
    EXPECT_EQ(batch[1].point.playTick, 0);
    EXPECT_EQ(batch[2].point.playTick, 100);
    EXPECT_EQ(batch[3].point.playTick, 0);
}

TEST(ReplayDelays, SaturatesAtThe32BitLimits) {
    auto batch = lf_batch({0.0, 1e12, 2e12});
    gf_setReplayDelays(batch, std::numeric_limits<std::int32_t>::max() - 10, 30);
    EXPECT_EQ(batch[1].point.playTick, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(batch[0].point.playTick, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(batch[2].point.playTick, std::numeric_limits<std::int32_t>::max());

    std::vector<TrafficRecord> empty;
    gf_setReplayDelays(empty, 0, 30);
    EXPECT_TRUE(empty.empty());
}

// ---------------------------------------------------------------------------
// Preparation of the parked list

class ParkedPreparation : public RecordsWorld {
protected:
    SettingsSnapshot settings() const { return *settingsSnapshot.load(); }
};

TEST_F(ParkedPreparation, AgeWrapsRoundTheDay) {
    std::vector<ParkedRecord> list{lf_parked("AAA1", "S1", 47), lf_parked("AAA2", "S2", 0),
                                   lf_parked("AAA3", "S3", 1), lf_parked("AAA4", "S4", -1)};
    gf_prepareParkedList(list, 0, settings());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].identity.callsign, "AAA2");
    EXPECT_EQ(list[0].age, 0);
    EXPECT_EQ(list[1].identity.callsign, "AAA1");
    EXPECT_EQ(list[1].age, 1);
    EXPECT_EQ(list[2].age, 47);  // slot 1 read in slot 0
    EXPECT_EQ(list[3].age, 47);  // an unknown slot counts as the oldest
    EXPECT_EQ(list[1].slot, 47);  // the slot itself is kept
}

TEST_F(ParkedPreparation, PreparingTwiceGivesTheSameAges) {
    std::vector<ParkedRecord> list{lf_parked("AAA1", "S1", 40), lf_parked("AAA2", "S2", 44)};
    gf_prepareParkedList(list, 46, settings());
    const auto first = list;
    gf_prepareParkedList(list, 46, settings());
    ASSERT_EQ(list.size(), first.size());
    for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].age, first[i].age);
    EXPECT_EQ(list[0].age, 2);
    EXPECT_EQ(list[1].age, 6);
    // A later hand-over ages the same reports from their own slots.
    gf_prepareParkedList(list, 47, settings());
    EXPECT_EQ(list[0].age, 3);
    EXPECT_EQ(list[1].age, 7);
}

TEST_F(ParkedPreparation, MaxFitZeroKeepsOnlyTheCurrentHalfHourUnlessASwitchIsSet) {
    const std::vector<ParkedRecord> received{lf_parked("AAA1", "S1", 10), lf_parked("AAA2", "S2", 9),
                                             lf_parked("AAA3", "S3", 10)};
    changeSettings([](SettingsSnapshot& s) {
        s.MAX_FIT = 0;
        s.AUTO_PARK = 0;
        s.RT_PARKTRAFFIC_ONLY = 0;
    });
    auto list = received;
    gf_prepareParkedList(list, 10, settings());
    EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"AAA1", "AAA3"}));

    changeSettings([](SettingsSnapshot& s) { s.AUTO_PARK = 1; });
    list = received;
    gf_prepareParkedList(list, 10, settings());
    EXPECT_EQ(list.size(), 3u);

    changeSettings([](SettingsSnapshot& s) {
        s.AUTO_PARK = 0;
        s.RT_PARKTRAFFIC_ONLY = 1;
    });
    list = received;
    gf_prepareParkedList(list, 10, settings());
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(ParkedPreparation, CallsignsAreCleanedAgainAndEmptyOnesRemoved) {
    std::vector<ParkedRecord> list{lf_parked(".AB", "S1", 5), lf_parked(".ABC", "S2", 5),
                                   lf_parked("null", "S3", 5), lf_parked("KLM1", "S4", 5)};
    gf_prepareParkedList(list, 5, settings());
    EXPECT_EQ(lf_callsigns(list), (std::vector<std::string>{"ABC", "KLM1"}));
}

TEST_F(ParkedPreparation, MergeKeepsTheYoungestPerStandAndPerCallsign) {
    std::vector<ParkedRecord> list{
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

TEST_F(ParkedHandOver, RtAppWithoutACompleteSetHandsNothingOver) {
    list = {lf_parked("KLM1", "S1", 0)};
    registerSource(false, false, true);
    gf_handOverParkedTraffic(5);
    EXPECT_EQ(fetches, 1);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());
    EXPECT_EQ(list[0].age, 0);  // not prepared
    EXPECT_EQ(list[0].slot, 0);
}

TEST_F(ParkedHandOver, PreparesAndPlacesUpToTheWantedCount) {
    list = {lf_parked("KLM1", "S1", 0, 0x100001), lf_parked("KLM2", "S2", 0, 0x100002),
            lf_parked("KLM3", "S3", 0, 0x100003)};
    registerSource(false, true, true);
    gf_handOverParkedTraffic(2);
    const auto placed = gf_takeRtParkPlacements();
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());  // taken once
}

TEST_F(ParkedHandOver, WithoutParkTrafficOnlyTheListIsPreparedButNotPlaced) {
    changeSettings([](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 0; });
    list = {lf_parked("KLM1", "S1", 3), lf_parked("KLM1", "S2", 3)};
    registerSource(false, true, true);
    gf_handOverParkedTraffic(5);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());
}

TEST_F(ParkedHandOver, RtDirectSourceIsUsedWhenSelected) {
    useRtDirect();
    list = {lf_parked("KLM1", "S1", 0)};
    registerSource(true, true, false);
    gf_handOverParkedTraffic(1);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(gf_takeRtParkPlacements().size(), 1u);

    registerSource(true, false, false);  // the service did not answer
    gf_handOverParkedTraffic(1);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());
}

TEST_F(ParkedHandOver, NoSourceRegisteredDoesNothing) {
    gf_handOverParkedTraffic(3);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());
}

TEST_F(ParkedHandOver, SearchStopsAtTheFirstRecordOlderThanMaxFit) {
    changeSettings([](SettingsSnapshot& s) { s.MAX_FIT = 4; });
    std::vector<ParkedRecord> prepared{lf_parked("A1", "S1", 0), lf_parked("A2", "S2", 0),
                                       lf_parked("A3", "S3", 0)};
    prepared[0].age = 2;
    prepared[1].age = 5;
    prepared[2].age = 3;  // behind the old one: never reached
    gf_searchRtParkPositions(prepared, 10);
    const auto placed = gf_takeRtParkPlacements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].standName, "S1");
    EXPECT_EQ(placed[0].age, 2);
}

TEST_F(ParkedHandOver, SearchSkipsExcludedCategoriesAndTheUsersStand) {
    changeSettings([](SettingsSnapshot& s) { s.HELICOPTERS = 0; });
    gf_makeCurrentParkAirport(IcaoCode("EHAM"), LaLo{52.3, 4.76});
    gf_setParkAirportUserStand(IcaoCode("EHAM"), "S2");
    std::vector<ParkedRecord> prepared{lf_parked("H1", "S1", 0, 0x100001, "EC35"), lf_parked("A2", "S2", 0),
                                       lf_parked("A3", "S3", 0)};
    gf_searchRtParkPositions(prepared, 0);
    EXPECT_TRUE(gf_takeRtParkPlacements().empty());  // wanted 0
    gf_searchRtParkPositions(prepared, 10);
    const auto placed = gf_takeRtParkPlacements();
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].identity.callsign, "A3");
}

// ---------------------------------------------------------------------------
// Hand-over maps

TEST(HandOverMapsTest, Fnv1aValues) {
    EXPECT_EQ(gf_fnv1a(std::string_view{}), 0xcbf29ce484222325ULL);
    EXPECT_EQ(gf_fnv1a(std::string_view{"a"}), 0xaf63dc4c8601ec8cULL);
    // The hexid hashes as its four bytes, lowest first.
    const char bytes[4] = {0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(gf_fnv1a(std::uint32_t{0x11223344}), gf_fnv1a(std::string_view(bytes, 4)));
}

TEST(HandOverMapsTest, InsertKeepsEmptyCallsignsOut) {
    HandOverMaps maps;
    maps.insert(HandOverEntry{"", 0x123456});
    maps.insert(HandOverEntry{"KLM1", 0x654321});
    EXPECT_EQ(maps.callsigns.size(), 1u);
    EXPECT_TRUE(maps.callsigns.contains(std::string_view{"KLM1"}));
    EXPECT_EQ(maps.hexids.size(), 2u);
}

TEST_F(ParkedHandOver, EngineTakesTheActiveSourcesMapsAndStopsThem) {
    registerSource(false, true, true);
    maps.active = true;
    maps.insert(HandOverEntry{"KLM1", 0x654321});
    g_engineHandOverMaps.insert(HandOverEntry{"OLD1", 1});
    gf_takeParkedHandOverMaps();
    EXPECT_FALSE(maps.active);
    EXPECT_TRUE(maps.callsigns.empty());
    EXPECT_TRUE(maps.hexids.empty());
    EXPECT_TRUE(g_engineHandOverMaps.callsigns.contains(std::string_view{"KLM1"}));
    EXPECT_FALSE(g_engineHandOverMaps.callsigns.contains(std::string_view{"OLD1"}));
    EXPECT_TRUE(g_engineHandOverMaps.hexids.contains(0x654321u));
    g_engineHandOverMaps.clear();
}
