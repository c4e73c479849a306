// Livery matching: the steps from registration to last resort with their log
// line, counter and flags, the depth limits, the operator-aware tries, the
// title picks, refused titles, parked aircraft and the summary.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include <fmt/format.h>

#include "engine/reports.h"
#include "foundation/random.h"
#include "livery_matching_test_support.h"

using tavo::test::RegcodesBuilder;
using tavo::test::ScannedLiveriesBuilder;

namespace {

const std::string kIndent(16, ' ');

class LiveryMatching : public tavo::test::LiveryMatchingTest {
protected:
    // The tables of the step tests.
    void buildStepTables() {
        ScannedLiveriesBuilder b;
        b.livery("DLH", "A320", "Lufthansa A320");
        b.livery("DLH", "A320", "Lufthansa A320 Reg", "D-AIZA");
        b.livery("DLH", "A321", "Lufthansa A321 Retro");
        b.livery("BAW", "A319", "BA Retro A319");
        b.livery("BAW", "A319", "fsltl_BA A319");
        b.livery("ZZZ", "B738", "Generic B738");
        b.livery("AFR", "A388", "FSLTL_AFR_A388 Air France");
        b.livery("FDX", "B77W", "FedEx B77W pax");
        b.livery("FDX", "B77W", "FedEx B77W F", "", "", true);
        b.livery("UPS", "B744", "UPS B744F", "", "", true);
        b.livery("BEE", "DH8D", "Flybe DH8D");
        b.livery("HEL", "B06", "Heli B06");
        b.livery("NJE", "C56X", "NetJets C56X");
        b.livery("CES", "C208", "Cargo Caravan", "", "", true);
        RegcodesBuilder aig;
        aig.livery("Lufthansa A321 Retro", "D-AIRX", "true");  // special, its only registration
        aig.livery("BA Retro A319", "G-EUPA,G-EUPB", "true");  // special with two registrations
        build(b, aig);
    }

    // The live match with its log line: the step of the accepted livery, or
    // -1 when the aircraft stays without (and nothing was logged or counted).
    int matchLive(AcInfo& ac, double altitudeFt = 0.0) {
        const auto before = counts();
        newLogLines();
        gf_matchLiveryLive(ac, altitudeFt);
        const std::string log = newLogLines();
        const auto after = counts();
        int step = -1;
        for (int i = 0; i < 9; ++i) {
            const int delta = after[static_cast<std::size_t>(i)] - before[static_cast<std::size_t>(i)];
            if (delta == 0) continue;
            EXPECT_EQ(delta, 1) << "step " << i;
            EXPECT_EQ(step, -1) << "two counters moved";
            step = i;
        }
        if (step < 0) {
            EXPECT_EQ(log, "");
            EXPECT_TRUE(ac.liveryTitle.empty()) << ac.liveryTitle;
        } else {
            EXPECT_EQ(log, fmt::format("{}{} ={}= {}\n", kIndent, gf_describeAc(ac), step, ac.liveryTitle));
        }
        return step;
    }
};

struct StepRow {
    const char* name;
    const char* airline;
    const char* model;
    const char* registration;
    bool cargo;
    int depth;
    double userFt, aircraftFt;
    int step;  // -1: no livery
    const char* title;
    bool fsltl, weak;
    int category = -1;  // the stored category when it differs from the model's
};

TEST_F(LiveryMatching, EachStepIsReachedWithinItsDepthWithLineCounterAndFlags) {
    buildStepTables();
    const StepRow rows[] = {
        {"special single registration", "DLH", "A321", "D-AIRX", false, 1, 0, 0, 0, "Lufthansa A321 Retro", false, false},
        {"shared registration", "DLH", "A320", "D-AIZA", false, 1, 0, 0, 1, "Lufthansa A320 Reg", false, false},
        {"special with two registrations", "BAW", "A319", "G-EUPB", false, 1, 0, 0, 1, "BA Retro A319", false, false},
        {"depth 1 stops after the regcode", "DLH", "A320", "", false, 1, 0, 0, -1, "", false, false},
        {"airline and model", "DLH", "A320", "", false, 2, 0, 0, 2, "Lufthansa A320", false, false},
        {"PVT takes the generic livery at depth 2", "PVT", "B738", "", false, 2, 0, 0, 4, "Generic B738", false, false},
        // Weak: a step only the depth forced above the TCAS level reaches.
        {"PVT at depth 1 only above TCAS_FL", "PVT", "B738", "", false, 1, 18001, 18001, 4, "Generic B738", false, true},
        {"Large beyond its depth above TCAS_FL", "SWR", "B737", "", false, 5, 18001, 18001, 6, "Generic B738", false,
         true},
        {"Light within its own reach above TCAS_FL", "SWR", "C172", "", false, 4, 18001, 18001, 7, "Cargo Caravan",
         false, false},
        {"depth 2 stops after step 2", "BAW", "A320", "", false, 2, 0, 0, -1, "", false, false},
        {"similar model of the airline", "BAW", "A320", "", false, 3, 0, 0, 3, "fsltl_BA A319", false, false},
        {"step 3 only in the stored category", "BAW", "A320", "", false, 3, 0, 0, -1, "", false, false, Heavy},
        {"depth 3 stops after step 3", "EZY", "B738", "", false, 3, 0, 0, -1, "", false, false},
        {"generic airline", "EZY", "B738", "", false, 4, 0, 0, 4, "Generic B738", false, false},
        {"cargo key falls back to pax", "DLH", "A320", "", true, 2, 0, 0, 2, "Lufthansa A320", false, false},
        {"pax key finds no cargo before step 7", "UPS", "B744", "", false, 6, 0, 0, -1, "", false, false},
        {"Heavy stops at depth 4", "UAL", "A388", "", false, 4, 0, 0, -1, "", false, false},
        {"Large stops at depth 4", "SWR", "B737", "", false, 4, 0, 0, -1, "", false, false},
        {"same model any airline", "UAL", "A388", "", false, 5, 0, 0, 5, "FSLTL_AFR_A388 Air France", true, false},
        {"depth 5 stops after step 5", "SWR", "B737", "", false, 5, 0, 0, -1, "", false, false},
        {"similar model any airline", "SWR", "B737", "", false, 6, 0, 0, 6, "Generic B738", false, false},
        {"both above TCAS_FL force depth 8", "UAL", "A388", "", false, 4, 18001, 18001, 5, "FSLTL_AFR_A388 Air France",
         true, true},
        {"user at the limit is not above", "UAL", "A388", "", false, 4, 18000, 18001, -1, "", false, false},
        {"aircraft at the limit is not above", "UAL", "A388", "", false, 4, 18001, 18000, -1, "", false, false},
        {"last resort at depth 8", "UAL", "F16", "", false, 4, 30000, 30000, 8, "Generic B738", false, true},
        {"no last resort at depth 7", "UAL", "F16", "", false, 7, 0, 0, -1, "", false, false},
        {"TwoProps at depth 4", "SWR", "DH8D", "", false, 4, 0, 0, 5, "Flybe DH8D", false, false},
        {"Rotorcraft at depth 4", "SWR", "EC35", "", false, 4, 0, 0, 6, "Heli B06", false, false},
        {"Bizjet at depth 4", "SWR", "GLF5", "", false, 4, 0, 0, 7, "NetJets C56X", false, false},
        {"Light at depth 4 takes a cargo livery", "SWR", "C172", "", false, 4, 0, 0, 7, "Cargo Caravan", false, false},
    };
    for (const StepRow& row : rows) {
        SCOPED_TRACE(row.name);
        setMatching(row.depth, false);
        g_userAltitudeFt.store(row.userFt);
        AcInfo ac = aircraft(row.airline, row.model, row.registration, {}, row.cargo);
        if (row.category >= 0) ac.category = static_cast<std::uint32_t>(row.category);
        EXPECT_EQ(matchLive(ac, row.aircraftFt), row.step);
        EXPECT_EQ(ac.liveryTitle, row.title);
        EXPECT_EQ(ac.isFsltlLivery, row.fsltl ? 1 : 0);
        EXPECT_EQ(ac.weakLiveryMatch, row.weak ? 1 : 0);
    }
}

// Types the database does not know count as Light, whatever they are: their
// liveries serve their own type but stand in for no other Light type.
TEST_F(LiveryMatching, ATypeTheDatabaseDoesNotKnowIsNoStandInOfItsCategory) {
    ScannedLiveriesBuilder b;
    b.livery("DHK", "C17", "DHL C-17 freighter", "", "", true);
    b.livery("BAW", "B462", "BA BAe 146");
    b.livery("NJE", "C56X", "NetJets C56X");
    build(b);
    ASSERT_FALSE(gf_isKnownModelCode("C17"));
    ASSERT_EQ(gf_getModelCategory(model("C17")), Light) << "the case this guards";
    const struct {
        const char *airlineCode, *modelCode;
        int step;
        const char* title;
    } rows[] = {
        {"PVT", "C172", -1, ""},                         // no stand-in of an unknown type
        {"UAL", "C17", 7, "DHL C-17 freighter"},         // its own type's livery of the other kind
        {"BAW", "B462", 2, "BA BAe 146"},                // its own airline and type
        {"SWR", "GLF5", 7, "NetJets C56X"},              // a known type still stands in
    };
    for (const bool random : {false, true}) {
        setMatching(4, random);
        threadRandomEngine().engine.seed(11);
        for (int draw = 0; draw < (random ? 20 : 1); ++draw) {
            for (const auto& row : rows) {
                SCOPED_TRACE(fmt::format("{} {} random {}", row.airlineCode, row.modelCode, random));
                AcInfo ac = aircraft(row.airlineCode, row.modelCode);
                EXPECT_EQ(matchLive(ac), row.step);
                EXPECT_EQ(ac.liveryTitle, row.title);
            }
        }
    }
}

// At depth 8 an aircraft nothing else fits is shown as a B738, else an A320.
TEST_F(LiveryMatching, TheLastResortIsTheB738ElseTheA320) {
    const struct {
        bool withB738;
        const char* title;
    } rows[] = {{true, "Ryanair B738"}, {false, "Lufthansa A320"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ScannedLiveriesBuilder b;
        b.livery("DLH", "A320", "Lufthansa A320");
        if (row.withB738) b.livery("RYR", "B738", "Ryanair B738");
        build(b);
        setMatching(4, false);
        g_userAltitudeFt.store(30000.0);
        AcInfo ac = aircraft("UAL", "F16");
        EXPECT_EQ(matchLive(ac, 30000.0), 8);
        EXPECT_EQ(ac.liveryTitle, row.title);
    }
}

TEST_F(LiveryMatching, AStaleTitleIsNeitherKeptNorCountedWhenNothingMatches) {
    buildStepTables();
    setMatching(4, false);
    AcInfo ac = aircraft("UAL", "B748");
    ac.liveryTitle = gf_internLiveryTitle("FedEx B77W pax");
    EXPECT_EQ(matchLive(ac), -1);
}

// Each of the five tries of an aircraft flown by an operator for an airline
// finds a title where no other try would find the same one.
TEST_F(LiveryMatching, OperatorAwareTriesInTheirOrder) {
    ScannedLiveriesBuilder b;
    b.livery("AALASH", "B738", "Shuttle B738");  // filed under the combined code only
    b.livery("ABC", "E190", "Regional E190", "", "CFE");
    b.livery("XYZ", "E190", "british airways cityflyer e190", "", "CFE");
    b.livery("UAL", "CRJ9", "United Express CRJ9");
    b.livery("UAL", "CRJ9", "United Express SKYWEST CRJ9");
    b.livery("EDV", "CRJ9", "Endeavor CRJ9");
    b.livery("DAL", "CRJ9", "Delta Connection CRJ9");
    b.livery("AAL", "CRJ9", "American Eagle CRJ9");
    // Found by a later try only.
    b.livery("ASH", "B738", "Mesa B738");
    b.livery("BAW", "E190", "BA CityFlyer E190");
    b.livery("SKW", "CRJ9", "SkyWest CRJ9");
    build(b);
    // A later try would have given another title.
    ASSERT_EQ(airlineModelTitles[Pax].at(airline("CFE")).at(model("E190")).front(), "Regional E190");
    ASSERT_EQ(airlineModelTitles[Pax].at(airline("UAL")).at(model("CRJ9")).front(), "United Express CRJ9");
    setMatching(2, false);

    const struct {
        const char *airlineCode, *operatorCode, *modelCode, *title;
    } rows[] = {
        {"AAL", "ASH", "B738", "Shuttle B738"},                    // 1 the combined code
        {"BAW", "CFE", "E190", "british airways cityflyer e190"},  // 2 the airline's name under the operator
        {"UAL", "SKW", "CRJ9", "United Express SKYWEST CRJ9"},     // 3 the operator's name under the airline
        {"DAL", "EDV", "CRJ9", "Endeavor CRJ9"},                   // 4 the operator
        {"AAL", "JIA", "CRJ9", "American Eagle CRJ9"},             // 5 the airline
        {"AAL", "", "CRJ9", "American Eagle CRJ9"},                // no operator
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(fmt::format("{}/{}", row.airlineCode, row.operatorCode));
        AcInfo ac = aircraft(row.airlineCode, row.modelCode, {}, row.operatorCode);
        EXPECT_EQ(matchLive(ac), 2);
        EXPECT_EQ(ac.liveryTitle, row.title);
    }
}

TEST_F(LiveryMatching, PicksSkipSpecialTitles) {
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A320", "B First");
    b.livery("DLH", "A320", "C Second");
    RegcodesBuilder aig;
    // Mostly special titles, so that five draws often miss the others.
    for (int i = 0; i < 8; ++i) {
        const std::string title = fmt::format("A Special {}", i);
        b.livery("DLH", "A321", title);
        aig.livery(title, fmt::format("D-AAA{}", i), "true");
    }
    b.livery("DLH", "A321", "B Normal");
    b.livery("DLH", "A321", "C Normal");
    b.livery("DLH", "A321", "D Special");
    b.livery("DLH", "B744", "Only Special");
    aig.livery("D Special", "D-AABA", "true");
    aig.livery("Only Special", "D-AABB", "true");
    build(b, aig);
    const Stand gate = stand("A1", false);

    setMatching(2, false);
    AcInfo first = aircraft("DLH", "A320");
    EXPECT_TRUE(gf_matchLiveryParked(first, gate));
    EXPECT_EQ(first.liveryTitle, "B First");
    AcInfo lastNormal = aircraft("DLH", "A321");
    EXPECT_TRUE(gf_matchLiveryParked(lastNormal, gate));
    EXPECT_EQ(lastNormal.liveryTitle, "C Normal");

    setMatching(2, true);
    threadRandomEngine().engine.seed(29);
    for (int i = 0; i < 20; ++i) {
        AcInfo onlySpecial = aircraft("DLH", "B744");
        EXPECT_FALSE(gf_matchLiveryParked(onlySpecial, gate));
        EXPECT_TRUE(onlySpecial.liveryTitle.empty());
    }
    std::map<std::string, int> picked;
    for (int i = 0; i < 10000; ++i) {
        AcInfo ac = aircraft("DLH", "A321");
        ASSERT_TRUE(gf_matchLiveryParked(ac, gate));
        ++picked[std::string(ac.liveryTitle)];
    }
    // Uniform among the two, also when the draws fell on special titles.
    EXPECT_EQ(picked.size(), 2u);
    EXPECT_GT(picked["B Normal"], 4500);
    EXPECT_GT(picked["C Normal"], 4500);
}

// Steps 3 and 6 shuffle the table's own lists: the title always comes from
// the model the stored list now starts with, and that model changes.
TEST_F(LiveryMatching, SimilarModelShufflesCarryOverToTheNextCall) {
    ScannedLiveriesBuilder b;
    b.livery("AFR", "B748", "AFR B748");
    b.livery("AFR", "B77W", "AFR B77W");
    build(b);
    threadRandomEngine().engine.seed(7);

    const struct {
        const char* name;
        const char* airlineCode;
        int depth, step;
        std::vector<std::uint16_t>* list;
    } rows[] = {
        {"step 3", "AFR", 3, 3, &similarModelsByAirline.at(airline("AFR")).at(model("A388"))},
        {"step 6", "UAL", 6, 6, &similarModelsWithLiveries.at(model("A388"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.list->size(), 2u);
        setMatching(row.depth, true);
        std::set<std::uint16_t> fronts;
        for (int i = 0; i < 40; ++i) {
            AcInfo ac = aircraft(row.airlineCode, "A388");
            ASSERT_EQ(matchLive(ac), row.step);
            EXPECT_EQ(ac.liveryTitle, fmt::format("AFR {}", gf_modelCodeAt(row.list->front())));
            fronts.insert(row.list->front());
        }
        EXPECT_EQ(fronts.size(), 2u);
    }
}

TEST_F(LiveryMatching, RefusedTitles) {
    ScannedLiveriesBuilder b;
    b.livery("DLH", "A320", "Lufthansa A320");
    b.livery("DLH", "A320", "Lufthansa A320 Reg", "D-AIZA");
    b.livery("BAW", "A319", "BA A319");
    b.livery("ZZZ", "A320", "Generic A320");
    b.livery("ZZZ", "PC12", "Generic PC12");
    b.livery("PVT", "PC12", "Private PC12");
    b.livery("AFR", "A388", "Air France A388");
    b.livery("FDX", "B77W", "FedEx B77W");
    build(b);
    const Stand gate = stand("A1", false);
    const auto refuse = [](const char* title) { gf_registerFailedLivery("FAIL1", title, AcKey{}); };

    setMatching(4, false);
    refuse("Lufthansa A320 Reg");  // at the regcode step
    AcInfo byRegistration = aircraft("DLH", "A320", "D-AIZA");
    EXPECT_EQ(matchLive(byRegistration), 2);
    EXPECT_EQ(byRegistration.liveryTitle, "Lufthansa A320");
    AcInfo parked = aircraft("DLH", "A320", "D-AIZA");
    EXPECT_TRUE(gf_matchLiveryParked(parked, gate));
    EXPECT_EQ(parked.liveryTitle, "Lufthansa A320");

    refuse("Lufthansa A320");  // at step 2
    AcInfo byAirline = aircraft("DLH", "A320");
    EXPECT_EQ(matchLive(byAirline), 4);
    EXPECT_EQ(byAirline.liveryTitle, "Generic A320");

    refuse("BA A319");  // at step 3
    AcInfo bySimilar = aircraft("BAW", "A320");
    EXPECT_EQ(matchLive(bySimilar), 4);
    EXPECT_EQ(bySimilar.liveryTitle, "Generic A320");

    refuse("Generic PC12");  // at the PVT try
    AcInfo privateAc = aircraft("PVT", "PC12");
    EXPECT_EQ(matchLive(privateAc), 2);
    EXPECT_EQ(privateAc.liveryTitle, "Private PC12");

    // Found by the fallback (step 5): no later step is tried, though step 6
    // has the B77W.
    setMatching(7, false);
    refuse("Air France A388");
    AcInfo deep = aircraft("UAL", "A388");
    EXPECT_EQ(matchLive(deep), -1);
    AcInfo deepParked = aircraft("UAL", "A388");
    EXPECT_FALSE(gf_matchLiveryParked(deepParked, gate));
    EXPECT_TRUE(deepParked.liveryTitle.empty());
}

TEST_F(LiveryMatching, ParkedAircraft) {
    buildStepTables();
    setMatching(4, false);

    // The stand's cargo flag decides the first kind, not the aircraft's.
    AcInfo paxAtCargoStand = aircraft("FDX", "B77W");
    EXPECT_TRUE(gf_matchLiveryParked(paxAtCargoStand, stand("C1", true)));
    EXPECT_EQ(paxAtCargoStand.liveryTitle, "FedEx B77W F");
    AcInfo cargoAtGate = aircraft("FDX", "B77W", {}, {}, true);
    EXPECT_TRUE(gf_matchLiveryParked(cargoAtGate, stand("A1", false)));
    EXPECT_EQ(cargoAtGate.liveryTitle, "FedEx B77W pax");

    // No counter, no flags, no line for a parked acceptance.
    const auto before = counts();
    newLogLines();
    AcInfo weak = aircraft("SWR", "GLF5");
    EXPECT_TRUE(gf_matchLiveryParked(weak, stand("A1", false)));
    EXPECT_EQ(weak.liveryTitle, "NetJets C56X");
    EXPECT_EQ(weak.weakLiveryMatch, 0);
    setMatching(5, false);
    AcInfo fsltl = aircraft("UAL", "A388");
    EXPECT_TRUE(gf_matchLiveryParked(fsltl, stand("A1", false)));
    EXPECT_EQ(fsltl.liveryTitle, "FSLTL_AFR_A388 Air France");
    EXPECT_EQ(fsltl.isFsltlLivery, 0);
    AcInfo byRegistration = aircraft("DLH", "A321", "D-AIRX");
    EXPECT_TRUE(gf_matchLiveryParked(byRegistration, stand("A1", false)));
    EXPECT_EQ(byRegistration.liveryTitle, "Lufthansa A321 Retro");
    EXPECT_EQ(counts(), before);
    EXPECT_EQ(newLogLines(), "");

    // Depth is never forced for a parked aircraft.
    setMatching(4, false);
    g_userAltitudeFt.store(40000.0);
    AcInfo highPerf = aircraft("UAL", "F16", "N12345");
    EXPECT_FALSE(gf_matchLiveryParked(highPerf, stand("B12", false)));
    EXPECT_EQ(newLogLines(),
              fmt::format("B12           : TST123   N12345 {} no livery match ...\n", highPerf.key));

    // An aircraft with a title keeps it, even one the simulator refused.
    AcInfo titled = aircraft("DLH", "A320");
    titled.liveryTitle = gf_internLiveryTitle("Lufthansa A320");
    gf_registerFailedLivery("FAIL1", "Lufthansa A320", AcKey{});
    newLogLines();
    EXPECT_TRUE(gf_matchLiveryParked(titled, stand("A1", false)));
    EXPECT_EQ(titled.liveryTitle, "Lufthansa A320");
    EXPECT_EQ(newLogLines(), fmt::format("{}{} =s= Lufthansa A320\n", kIndent, gf_describeAc(titled)));
}

TEST_F(LiveryMatching, SummaryAfterTheFirstLiveMatch) {
    buildStepTables();
    setMatching(4, false);
    gf_logLiveryMatchingSummary();
    AcInfo parked = aircraft("DLH", "A320");
    ASSERT_TRUE(gf_matchLiveryParked(parked, stand("A1", false)));
    gf_logLiveryMatchingSummary();
    EXPECT_EQ(newLogLines(), "");

    AcInfo live = aircraft("DLH", "A320");
    ASSERT_EQ(matchLive(live), 2);
    AcInfo generic = aircraft("EZY", "B738");
    ASSERT_EQ(matchLive(generic), 4);
    const std::string stars(31, '*');
    const std::string head = "\n" + stars + " live traffic livery matching summary " + stars + "\n" +
                             "Matches at step: \n  0: 0\n  1: 0\n  2: 1\n  3: 0\n  4: 1\n  5: 0\n  6: 0\n  7: 0\n  8: 0\n";
    const std::string tail = std::string(100, '*') + "\n\n";
    gf_logLiveryMatchingSummary();
    EXPECT_EQ(newLogLines(), head + tail);

    gf_registerFailedLivery("DAL1", "Delta B738", aircraft("DAL", "B738").key);
    newLogLines();
    gf_logLiveryMatchingSummary();
    EXPECT_EQ(newLogLines(), head + "\nCould not be created\n  B738 DAL\n" + tail);
}

}  // namespace
