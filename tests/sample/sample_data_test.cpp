// The sample world's data as the installation ships it, read with TAVO's own
// readers: the data files read without error lines and fit the sample
// traffic (its types, airlines and registrations in the aircraft database,
// its airports in the airports list, its airport among the weekly-traffic
// airports); the sample package tree's liveries cover every sample aircraft;
// the add-on airport's BGL file gives the scenario's stands, as the
// simulator's facility data does; each package's layout lists its files.

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/regcodes.h"
#include "liveries/scan_report.h"
#include "scan/bgl_reader.h"
#include "scan/manifests.h"
#include "scan/publishers.h"
#include "scan/scan_log.h"
#include "sample/sample_fixture.h"
#include "simlink/facility_fixture.h"
#include "support/scoped_temp_dir.h"

namespace tavo::test {

namespace {

namespace fs = std::filesystem;
using sample::FlightSpec;
using sample::gf_sampleFlightSpecs;
using sample::gf_sampleLongParked;

const fs::path kPackages = installDir() / "sample_packages";
const fs::path kAiPackage = kPackages / "Community" / "user-aitraffic-tavo-sample";
const fs::path kAirportPackage = kPackages / "Community" / "tavo-sample-airport-ksea";
const fs::path kBgl = kAirportPackage / "scenery" / "tavo" / "ksea-airport.bgl";

// Every aircraft the sample application reports: type, airline (private
// aircraft fly as PVT) and registration.
struct SampleAircraft {
    std::string type, airline, registration;
};
std::vector<SampleAircraft> lf_sampleAircraft() {
    std::vector<SampleAircraft> all;
    for (const FlightSpec& f : gf_sampleFlightSpecs())
        for (const sample::Airframe& a : f.airframes)
            all.push_back({f.type, f.airline.empty() ? "PVT" : f.airline, a.registration});
    for (const sample::LongParked& p : gf_sampleLongParked())
        all.push_back({p.type, p.airline.empty() ? "PVT" : p.airline, p.airframe.registration});
    return all;
}

std::string lf_withoutSuffix(const std::string& name) {
    // The BGL parking record has no suffix letter: "GATE 4A" is "GATE 4" there.
    return (!name.empty() && std::isalpha(static_cast<unsigned char>(name.back())) &&
            std::isdigit(static_cast<unsigned char>(name[name.size() - 2])))
               ? name.substr(0, name.size() - 1)
               : name;
}

std::vector<Airport> g_handed;
void lf_collect(Airport& airport, int) { g_handed.push_back(airport); }

class ShippedSampleWorld : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        gf_resetAircraftDatabaseForTest();
        for (const char* f : {"airports.enc", "wktraffic.enc", "dbase.enc", "archives.enc", "AIG-regcodes.enc"})
            copyShippedInput(f);
        newLogLines();
    }
    void TearDown() override {
        gf_setBglAirportHandover(nullptr);
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        gf_clearPublisherData();
        gf_resetAircraftDatabaseForTest();
        lf_clearScanMessages();
        g_airportScanLog.clear();
        LogFileTest::TearDown();
    }
};

void lf_expectNoErrorLines(const std::string& log) {
    // Error lines start with the log writer's mark; none of the readers may have written one.
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("==> ")));
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("kipped")));
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("not available")));
}

}  // namespace

TEST_F(ShippedSampleWorld, TheDataFilesReadWithoutErrorLinesAndHoldTheSampleAirport) {
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    ASSERT_TRUE(gf_readPublishers(true));
    ASSERT_TRUE(gf_readPublishers(false));
    ASSERT_TRUE(gf_readDbase(fs::path("input") / "dbase.enc"));
    const RegcodeParseResult regcodes = gf_loadAIGRegcodes(fs::path("input") / "AIG-regcodes.enc");
    EXPECT_THAT(regcodes.errors, ::testing::IsEmpty());
    lf_expectNoErrorLines(newLogLines());

    const sample::SampleWorld world = sample::gf_loadSampleWorld(sampleScenario());
    const IcaoCode sea(world.icao);
    EXPECT_TRUE(gf_hasWeeklyTraffic(sea));
    EXPECT_FALSE(gf_hasWeeklyTraffic(IcaoCode("KDEN"))) << "the list is no empty one that lets every airport pass";
    // Its neighbours: every airport of the list within 50 NM has weekly traffic too.
    const auto near = gf_airportsWithin(LaLo{world.reference.lat, world.reference.lon}, 50.0);
    EXPECT_GE(near.size(), 5u);
    for (const NearbyAirport& n : near) EXPECT_TRUE(gf_hasWeeklyTraffic(n.entry.icao)) << n.entry.icao.text();
    EXPECT_THAT(g_publisherNames, ::testing::Contains(::testing::Contains("TAVO Sample Scenery")));
}

TEST_F(ShippedSampleWorld, TheSampleAircraftAreInTheDatabaseAndTheirAirportsInTheList) {
    ASSERT_TRUE(gf_readDbase(fs::path("input") / "dbase.enc"));
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    for (const SampleAircraft& a : lf_sampleAircraft()) {
        SCOPED_TRACE(a.registration);
        EXPECT_TRUE(gf_isKnownModelCode(a.type));
        EXPECT_TRUE(gf_isKnownAirlineCode(a.airline));
        const auto key = gf_findRegistration(a.registration);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->model, gf_internModelCode(a.type));
        EXPECT_EQ(key->airline, gf_internAirlineCode(a.airline));
    }
    // The IATA codes of the list, read through the list itself.
    std::set<std::string> iata;
    pugi::xml_document plain;
    ASSERT_TRUE(plain.load_file((sourceDir() / "data" / "plain" / "airports.xml").c_str()));
    for (const pugi::xml_node ap : plain.child("root").child("airports").children("ap"))
        if (const auto entry = gf_findAirport(IcaoCode(ap.attribute("c").value()))) iata.insert(entry->iata.text());
    for (const FlightSpec& f : gf_sampleFlightSpecs())
        for (const std::string& code : {f.origin, f.destination})
            if (!code.empty()) EXPECT_TRUE(iata.count(code)) << code;
}

TEST_F(ShippedSampleWorld, TheSampleLiveriesReadCleanlyAndCoverEveryAircraftAndRegistrationCode) {
    ASSERT_TRUE(gf_readDbase(fs::path("input") / "dbase.enc"));
    lf_clearScanMessages();
    std::vector<ScannedLivery> liveries;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kAiPackage)) {
        if (entry.path().filename() != "aircraft.cfg") continue;
        ++files;
        const auto found = lf_searchLiveriesinFile(1, entry.path());
        EXPECT_GE(found.size(), 1u) << entry.path();
        liveries.insert(liveries.end(), found.begin(), found.end());
    }
    EXPECT_GE(files, 15);
    EXPECT_THAT(scanIncompleteSections, ::testing::IsEmpty());
    EXPECT_THAT(scanInvalidAirlineCodes, ::testing::IsEmpty());
    EXPECT_THAT(scanInvalidModelCodes, ::testing::IsEmpty());
    EXPECT_THAT(scanInvalidCfgFiles, ::testing::IsEmpty());
    EXPECT_THAT(scanNoSectionFiles, ::testing::IsEmpty());
    for (const SampleAircraft& a : lf_sampleAircraft()) {
        bool fits = false;
        for (const ScannedLivery& l : liveries)
            fits = fits || (l.key.model == gf_internModelCode(a.type) && l.key.airline == gf_internAirlineCode(a.airline));
        EXPECT_TRUE(fits) << a.type << " " << a.airline;
    }
    // The sample's registration codes name installed liveries and sample aircraft.
    std::set<std::string> titles, registrations;
    for (const ScannedLivery& l : liveries) titles.insert(l.title);
    for (const SampleAircraft& a : lf_sampleAircraft()) registrations.insert(a.registration);
    int sampleCodes = 0;
    for (const RegcodeRecord& r : gf_loadAIGRegcodes(fs::path("input") / "AIG-regcodes.enc").records) {
        if (r.title.rfind("TAVO Sample ", 0) != 0) continue;
        ++sampleCodes;
        EXPECT_TRUE(titles.count(r.title)) << r.title;
        for (const std::string& code : r.regcodes) EXPECT_TRUE(registrations.count(code)) << code;
    }
    EXPECT_GE(sampleCodes, 10);
}

TEST_F(ShippedSampleWorld, EachPackageLayoutListsItsFilesWithTheirSizes) {
    for (const fs::path& package : {kAiPackage, kAirportPackage}) {
        SCOPED_TRACE(package.string());
        const auto layout = nlohmann::json::parse(readFile(package / "layout.json"));
        std::set<std::string> listed, present;
        for (const auto& item : layout.at("content")) {
            const std::string path = item.at("path");
            listed.insert(path);
            EXPECT_EQ(fs::file_size(package / path), item.at("size").get<std::uintmax_t>()) << path;
        }
        for (const auto& entry : fs::recursive_directory_iterator(package)) {
            const std::string rel = fs::relative(entry.path(), package).generic_string();
            if (entry.is_regular_file() && rel != "layout.json" && rel != "manifest.json") present.insert(rel);
        }
        EXPECT_EQ(listed, present);
    }
}

// The scan finds the airport in the add-on package, and the BGL file gives
// the scenario's parkings (without their suffix letters, which the format has
// no room for) and helipad.
TEST_F(ShippedSampleWorld, TheAddOnAirportGivesTheScenarioStands) {
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    ASSERT_TRUE(gf_readPublishers(true));
    const sample::SampleWorld world = sample::gf_loadSampleWorld(sampleScenario());

    Airport located;
    located.path = kBgl;
    located.bglPath = kBgl.string();
    EXPECT_EQ(gf_icaoCodesForBgl(located, {gf_isKnownAirport, gf_hasWeeklyTraffic}), IcaoCode(world.icao));
    const auto manifest = gf_searchManifest(kBgl);
    ASSERT_TRUE(manifest);
    EXPECT_TRUE(lf_hasAcceptedManifestPublisher(*manifest));

    g_handed.clear();
    gf_setBglAirportHandover(&lf_collect);
    lf_processBGLfile(kBgl);
    lf_expectNoErrorLines(newLogLines());
    ASSERT_EQ(g_handed.size(), 1u);
    const Airport& bgl = g_handed[0];
    EXPECT_EQ(bgl.icao, IcaoCode(world.icao));
    EXPECT_EQ(bgl.altitude, static_cast<std::int32_t>(std::lround(world.elevationFt)));
    std::map<std::string, const Stand*> byName;
    int helipads = 0;
    for (const Stand& s : bgl.stands) {
        if (s.heli) ++helipads;
        else byName[s.name] = &s;
    }
    EXPECT_EQ(helipads, static_cast<int>(world.helipads.size()));
    ASSERT_EQ(byName.size(), world.stands.size());
    for (const sample::SampleStand& s : world.stands) {
        const auto found = byName.find(lf_withoutSuffix(s.name));
        ASSERT_NE(found, byName.end()) << s.name;
        const Stand& b = *found->second;
        EXPECT_NEAR(b.latitude, s.position.lat, 2e-6) << s.name;
        EXPECT_NEAR(b.longitude, s.position.lon, 3e-6) << s.name;
        EXPECT_NEAR(b.radius * 1852.0, s.radiusM, 0.01) << s.name;
        EXPECT_EQ(static_cast<int>(b.type), s.type) << s.name;
    }
}

class SampleScenarioFacilities : public FacilityTest {};

// The simulator model, loading the same scenario, gives the same stands
// through the facility data: the two sources of the airport scan agree.
TEST_F(SampleScenarioFacilities, TheSimulatorGivesTheStandsTheSampleTrafficUses) {
    gf_simModelLoadScenario(sampleScenario().string());
    const sample::SampleWorld world = sample::gf_loadSampleWorld(sampleScenario());
    Airport airport;
    std::uint32_t helipads = 0;
    ASSERT_TRUE(gf_readFacilityStands(world.icao, airport, helipads));
    EXPECT_EQ(helipads, world.helipads.size());
    std::map<std::string, const Stand*> byName;
    for (const Stand& s : airport.stands)
        if (!s.heli) byName[s.name] = &s;
    ASSERT_EQ(byName.size(), world.stands.size());
    for (const sample::SampleStand& s : world.stands) {
        const auto found = byName.find(s.name);
        ASSERT_NE(found, byName.end()) << s.name;
        EXPECT_NEAR(found->second->latitude, s.position.lat, 2e-6) << s.name;
        EXPECT_NEAR(found->second->longitude, s.position.lon, 3e-6) << s.name;
        EXPECT_NEAR(found->second->heading, sample::radians(s.headingDeg), 1e-6) << s.name;
    }
}

}  // namespace tavo::test
