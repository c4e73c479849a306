// The sample airports list the installation ships, encrypted at build time
// from data/plain/airports.xml: it loads without a skipped entry and knows
// every airport of the sample scenario.

#include <filesystem>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/airports_list.h"
#include "foundation/encrypted.h"
#include "support/source_paths.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPlainAirports = tavo::test::sourceDir() / "data" / "plain" / "airports.xml";
const fs::path kShippedAirports = tavo::test::installDir() / "input" / "airports.enc";
const fs::path kSampleScenario = tavo::test::sourceDir() / "data" / "scenarios" / "sample.xml";

class ShippedAirportsTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_unloadAirportsForTests();
    }
    void TearDown() override {
        gf_unloadAirportsForTests();
        LogFileTest::TearDown();
    }
};

TEST_F(ShippedAirportsTest, TheSampleListCoversTheSampleScenario) {
    ASSERT_TRUE(fs::exists(kShippedAirports)) << "the build lays out the installation folder";
    const DecryptResult shipped = gf_readEncryptedFile(kShippedAirports, kAirportsEncLimit);
    ASSERT_TRUE(shipped.ok) << shipped.error;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(shipped.buffer.data()), shipped.buffer.size()),
              tavo::test::readFile(kPlainAirports));

    fs::create_directories("input");
    fs::copy_file(kShippedAirports, airportsEncFile);
    const AirportsLoadResult loaded = gf_loadAirports();
    ASSERT_TRUE(std::holds_alternative<std::size_t>(loaded)) << std::get<std::string>(loaded);
    EXPECT_GE(std::get<std::size_t>(loaded), 20u);
    EXPECT_EQ(newLogLines(), fmt::format("{:5} airports read\n", std::get<std::size_t>(loaded)))
        << "no entry skipped";

    pugi::xml_document scenario;
    ASSERT_TRUE(scenario.load_file(kSampleScenario.c_str()));
    const pugi::xml_node world = scenario.child("scenario");
    int airports = 0;
    for (const pugi::xml_node airport : world.children("airport")) {
        ++airports;
        const IcaoCode icao(airport.attribute("icao").value());
        const auto entry = gf_findAirport(icao);
        ASSERT_TRUE(entry) << icao.text();
        EXPECT_NEAR(entry->position.lat, airport.attribute("lat").as_double(), 0.01) << icao.text();
        EXPECT_NEAR(entry->position.lon, airport.attribute("lon").as_double(), 0.01) << icao.text();
        EXPECT_NEAR(entry->altitudeFt, airport.attribute("alt_m").as_double() / 0.3048, 1.0) << icao.text();
    }
    EXPECT_GT(airports, 0);
    // The user aircraft of the sample stands at an airport of the list.
    const pugi::xml_node user = world.child("user");
    const auto here = gf_findNearestAirport(LaLo{user.attribute("lat").as_double(), user.attribute("lon").as_double()});
    ASSERT_TRUE(here);
    EXPECT_EQ(here->icao, IcaoCode(world.child("airport").attribute("icao").value()));
}

}  // namespace
