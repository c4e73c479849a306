// The sample aircraft database the installation ships, encrypted at build
// time from data/plain/dbase.xml, and the encryptor that does it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/encrypted.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/scan_report.h"
#include "support/aircraft_cfg_builder.h"
#include "support/source_paths.h"
#include "support/enc_writer.h"
#include "support/temp_dir.h"
#include "tools/enc_writer.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPlainDbase = tavo::test::sourceDir() / "data" / "plain" / "dbase.xml";
const fs::path kShippedDbase = tavo::test::installDir() / "input" / "dbase.enc";

class ShippedDbase : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_resetAircraftDatabaseForTest();
    }
    void TearDown() override {
        gf_resetAircraftDatabaseForTest();
        TempWorkDirTest::TearDown();
    }
};

TEST_F(ShippedDbase, TheInstallationHoldsTheSampleEncrypted) {
    ASSERT_TRUE(fs::exists(kShippedDbase)) << "the build lays out the installation folder";
    const DecryptResult shipped = gf_readEncryptedFile(kShippedDbase, kDbaseEncLimit);
    ASSERT_TRUE(shipped.ok) << shipped.error;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(shipped.buffer.data()), shipped.buffer.size()),
              tavo::test::readFile(kPlainDbase));
    EXPECT_FALSE(fs::exists(tavo::test::installDir() / "plain")) << "readable data stays out of the installation";

    ASSERT_TRUE(gf_readDbase(kShippedDbase));
    // The codes the traffic feed and the simulator link meet most.
    for (const char* model : {"A320", "A20N", "B738", "B77W", "B77F", "E190", "DH8D", "C172", "EC35", "E55P"})
        EXPECT_TRUE(gf_isKnownModelCode(model)) << model;
    for (const char* airline : {"DLH", "KLM", "BAW", "UAL", "FDX", "UPS"})
        EXPECT_TRUE(gf_isKnownAirlineCode(airline)) << airline;
    EXPECT_EQ(gf_getModelCodeCategory("B738"), Large);
    EXPECT_EQ(gf_getModelCodeCategory("B77W"), Heavy);
    EXPECT_TRUE(gf_isCargo(AcKey{gf_internAirlineCode("FDX"), 0, gf_internModelCode("B738"), 0, 0}));
    EXPECT_EQ(gf_internModelCode("A32N"), gf_internModelCode("A20N"));
    EXPECT_DOUBLE_EQ(gf_maxWingRadius(), 79.75 * 0.5 / 1852);
    EXPECT_FALSE(gf_dbaseRecords().empty());
    EXPECT_TRUE(gf_findRegistration("DAIBA"));
}

// Real packages often leave icao_airline empty: with the generic airline
// "ZZZ" known such a livery is generic, not an invalid airline, even for a
// heavy model, which without an airline would be refused.
TEST_F(ShippedDbase, ALiveryWithoutAirlineIsGeneric) {
    ASSERT_TRUE(gf_readDbase(kShippedDbase));
    EXPECT_TRUE(gf_isKnownAirlineCode("ZZZ"));
    for (const char* model : {"A320", "B77W"}) {
        SCOPED_TRACE(model);
        lf_clearScanMessages();
        tavo::test::AircraftCfgBuilder cfg;
        cfg.version().general({{"icao_type_designator", model}});
        cfg.fltsim(0, {{"title", std::string("Generic ") + model}, {"icao_airline", "\"\""}, {"atc_id", "D-AXYZ"}});
        const fs::path file = fs::path("pkg") / model / "aircraft.cfg";
        cfg.write(file);
        const std::vector<ScannedLivery> liveries = lf_searchLiveriesinFile(3, file);
        ASSERT_EQ(liveries.size(), 1u);
        EXPECT_EQ(liveries[0].key.airline, gf_internAirlineCode("ZZZ"));
        EXPECT_EQ(liveries[0].key.model, gf_internModelCode(model));
        EXPECT_EQ(liveries[0].registration, "") << "a generic livery has no registration";
        EXPECT_TRUE(scanInvalidAirlineCodes.empty());
        EXPECT_TRUE(scanIncompleteSections.empty());
    }
    lf_clearScanMessages();
}

TEST_F(ShippedDbase, TheEncryptorWritesWhatTheReaderReads) {
    tavo::test::writeFile("plain.xml", "<root>a &amp; b</root>\n");
    tavo::tools::encryptDataFile("plain.xml", "out/input/x.enc");
    const DecryptResult back = gf_readEncryptedFile("out/input/x.enc", 1000);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.buffer.data()), back.buffer.size()),
              "<root>a &amp; b</root>\n");
    EXPECT_FALSE(fs::exists("out/input/x.enc.tmp"));

    EXPECT_THROW(tavo::tools::encryptDataFile("missing.xml", "out/y.enc"), std::runtime_error);
    EXPECT_FALSE(fs::exists("out/y.enc"));
    // A target that cannot be written leaves neither it nor its temporary file.
    fs::create_directories("out/dir.enc");
    tavo::test::writeFile("out/dir.enc/keep", "x");
    EXPECT_THROW(tavo::tools::encryptDataFile("plain.xml", "out/dir.enc"), std::exception);
    EXPECT_FALSE(fs::exists("out/dir.enc.tmp"));
}

}  // namespace
