// Reading the aircraft database file: sections, log lines, failures, wing
// spans, fixes and registration records.

#include <gtest/gtest.h>

#include <random>

#include <fmt/format.h>

#include "foundation/encrypted.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "support/dbase_builder.h"
#include "support/enc_writer.h"
#include "support/temp_dir.h"

using tavo::test::DbaseBuilder;

namespace {

class DbaseFile : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_resetAircraftDatabaseForTest();
    }
    void TearDown() override {
        gf_resetAircraftDatabaseForTest();
        LogFileTest::TearDown();
    }
    bool read(const DbaseBuilder& builder) {
        builder.writeToInput();
        newLogLines();
        return gf_readDbase();
    }
    // The error text gf_readDbase throws for the current input file.
    std::string thrown() {
        try {
            gf_readDbase();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "nothing thrown";
    }
    static bool contains(const std::string& text, std::string_view piece) {
        return text.find(piece) != std::string::npos;
    }
};

// A builder with just enough for a readable file.
DbaseBuilder lf_minimal() {
    DbaseBuilder b;
    b.aircrafts = {"A320", "B738", "C172"};
    b.icaoAirlines = {"DLH"};
    return b;
}

TEST_F(DbaseFile, CountsAreLoggedAndCodesTakeSortedIndexes) {
    const DbaseBuilder b = DbaseBuilder::smallProfile();
    ASSERT_TRUE(read(b));
    const std::string log = newLogLines();
    const auto& sets = gf_aircraftCodeSets();
    EXPECT_TRUE(contains(log, fmt::format("\n{:5} ICAO model codes\n", sets.icaoModelCodes.size()))) << log;
    EXPECT_TRUE(contains(log, fmt::format("{:5} ICAO airline codes\n", b.icaoAirlines.size()))) << log;
    EXPECT_TRUE(contains(log, "    6 cargo operators\n")) << log;
    EXPECT_TRUE(contains(log, "    4 fixes\n")) << log;
    EXPECT_TRUE(contains(log, "    9 dbase records read\n\n")) << log;
    EXPECT_EQ(sets.icaoModelCodes.size(), b.aircrafts.size());

    // Models 1, 2, ... in ascending text order; airlines likewise, then the
    // cargo operator that is no ICAO airline code (ABW) appended.
    std::uint16_t expected = 1;
    for (const auto& code : sets.icaoModelCodes) EXPECT_EQ(gf_internModelCode(code), expected++) << code;
    expected = 1;
    for (const auto& code : sets.icaoAirlineCodes) EXPECT_EQ(gf_internAirlineCode(code), expected++) << code;
    EXPECT_EQ(gf_internAirlineCode("ABW"), expected);
    EXPECT_TRUE(sets.cargoOperatorAirlines.contains(gf_internAirlineCode("ABW")));
    EXPECT_EQ(gf_similarModelGroups(),
              (std::vector<std::vector<std::string>>{{"A319", "A320", "A321"}, {"B737", "B738", "B739"}}));
}

TEST_F(DbaseFile, OptionalSectionsMayBeMissing) {
    DbaseBuilder b = DbaseBuilder::smallProfile();
    b.leftOut = {"similar_types", "wingspans", "fixes", "dbase"};
    ASSERT_TRUE(read(b));
    const std::string log = newLogLines();
    EXPECT_TRUE(contains(log, "    0 dbase records read\n")) << log;
    EXPECT_FALSE(contains(log, "fixes")) << log;
    EXPECT_TRUE(gf_dbaseRecords().empty());
    EXPECT_TRUE(gf_similarModelGroups().empty());
    EXPECT_EQ(gf_maxWingRadius(), 0.0);
    EXPECT_TRUE(gf_isKnownModelCode("B738"));
}

TEST_F(DbaseFile, EveryRequiredSectionIsNamedWhenMissing) {
    for (const char* section : {"aircrafts", "cargo_types", "heavy", "large", "buzjet", "twoprops",
                                "high_performance", "rotorcraft", "ICAO_airlines", "cargo_operators"}) {
        SCOPED_TRACE(section);
        DbaseBuilder b = lf_minimal();
        b.leftOut = {section};
        b.writeToInput();
        try {
            gf_readDbase();
            ADD_FAILURE() << "no exception";
        } catch (const tavo::UserRelatedException& e) {
            EXPECT_EQ(e.code, 61);
            EXPECT_EQ(std::string(e.what()), std::string("61: Missing section: ") + section);
        }
    }
}

TEST_F(DbaseFile, UnreadableDocumentsAreLoggedAndGiveFalse) {
    DbaseBuilder noRoot = lf_minimal();
    noRoot.rootName = "base";
    EXPECT_FALSE(read(noRoot));
    EXPECT_EQ(newLogLines(), "==> 'input/dbase.enc' has no root node\n");

    tavo::test::writeEncryptedFile(dbaseEncFile, "<root><aircrafts></root>");
    EXPECT_FALSE(gf_readDbase());
    const std::string log = newLogLines();
    EXPECT_TRUE(log.starts_with("==> input/dbase.enc not read because: ")) << log;
    EXPECT_GT(log.size(), std::string("==> input/dbase.enc not read because: \n").size());
    EXPECT_FALSE(gf_isKnownModelCode("A320"));
}

TEST_F(DbaseFile, FileFailuresThrowTheReadersText) {
    EXPECT_EQ(thrown(), "input/dbase.enc not available");
    std::filesystem::create_directories("input");

    const std::string plain = lf_minimal().xml();
    const auto expectReaderText = [&](const char* what) {
        SCOPED_TRACE(what);
        const DecryptResult direct = gf_readEncryptedFile(dbaseEncFile, kDbaseEncLimit);
        ASSERT_FALSE(direct.ok);
        EXPECT_EQ(thrown(), direct.error);
        EXPECT_FALSE(gf_isKnownModelCode("A320"));
    };
    tavo::test::EncWriterOptions foreign;
    foreign.key.assign(32, 7);
    tavo::test::writeEncryptedFile(dbaseEncFile, plain, foreign);
    expectReaderText("a foreign key");

    auto bytes = tavo::test::makeEncryptedBytes(plain);
    bytes[bytes.size() / 2] ^= 0x01;
    tavo::test::writeBytes(dbaseEncFile, bytes);
    expectReaderText("a flipped byte");

    tavo::test::writeEncryptedFile(dbaseEncFile, std::string(kDbaseEncLimit + 4096, ' '));
    expectReaderText("over 16 MiB");
    EXPECT_TRUE(contains(thrown(), "exceeds the plaintext size limit of 16777216 bytes"));
}

TEST_F(DbaseFile, WingSpansAreCheckedOneByOne) {
    DbaseBuilder b = lf_minimal();
    b.aircrafts.push_back("B744");
    b.wingspan("B738", "35.8").wingspan("B738", "40").wingspan("A320", " +34.1 ").wingspan("B744", "6.44e1");
    b.wingspan("QQQQ", "20").wingspan("", "20");
    for (const char* bad : {"-3", "abc", "1e999", "inf", "nan", "+", "  ", "0", "35.8m", "0x10"})
        b.wingspan("C172", bad);
    b.wingspans.push_back({std::string("C172"), std::nullopt});
    ASSERT_TRUE(read(b));
    std::string expected = "==> duplicate wingspan model B738, skipped\n"
                           "==> wingspan model QQQQ is not valid, skipped\n"
                           "==> wingspan model  is not valid, skipped\n";
    for (int i = 0; i < 11; ++i) expected += "==> wingspan for model C172 is not positive, skipped\n";
    const std::string log = newLogLines();
    EXPECT_TRUE(log.starts_with("\n")) << log;
    EXPECT_TRUE(contains(log, expected)) << log;

    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("B738")), 35.8 * 0.5 / 1852);
    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("A320")), 34.1 * 0.5 / 1852);
    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("B744")), 64.4 * 0.5 / 1852);
    EXPECT_EQ(gf_getWingspan(gf_internModelCode("C172")), 0.0);
    EXPECT_DOUBLE_EQ(gf_maxWingRadius(), 64.4 * 0.5 / 1852);
    EXPECT_EQ(gf_dbaseWingRadii().size(), 3u);
}

TEST_F(DbaseFile, AWingSpanPastTheTableIsSkippedAndOthersStay) {
    DbaseBuilder b = lf_minimal();
    b.aircrafts.clear();
    for (int i = 0; i < 2705; ++i) b.aircrafts.push_back(fmt::format("X{:04}", i));
    b.wingspan("X0001", "30").wingspan("X2704", "80").wingspan("X2698", "20");
    ASSERT_TRUE(read(b));
    EXPECT_EQ(gf_internModelCode("X2704"), 2705);
    EXPECT_TRUE(contains(newLogLines(),
                         "==> cannot store wingspan for model X2704: invalid array<T, N> subscript\n"));
    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("X0001")), 30 * 0.5 / 1852);
    EXPECT_DOUBLE_EQ(gf_getWingspan(2699), 20 * 0.5 / 1852);
    // The radius of the model that could not be stored still counts as the largest.
    EXPECT_DOUBLE_EQ(gf_maxWingRadius(), 80 * 0.5 / 1852);
    EXPECT_DOUBLE_EQ(gf_getWingspan(gf_internModelCode("X2704")), gf_maxWingRadius());
}

TEST_F(DbaseFile, FixesAreCheckedAndApplyOnlyToCodesNotYetInterned) {
    // Interned before the database is read: keeps its own index.
    const std::uint16_t early = gf_internModelCode("B7M8");
    DbaseBuilder b = lf_minimal();
    b.aircrafts.insert(b.aircrafts.end(), {"A20N", "B38M"});
    b.fix("A32N", "A20N").fix("A32N", "A320").fix("XX", "QQQQ").fix("YY", "").fix("B7M8", "B38M").fix("", "C172");
    b.fixes.push_back({std::nullopt, std::string("B738")});
    b.record("D-AAAA", "DLH", "A32N");
    ASSERT_TRUE(read(b));
    const std::string log = newLogLines();
    EXPECT_TRUE(contains(log, "==> duplicate fix key 'A32N', skipped\n"
                              "==> invalid fix XX -> QQQQ, target is not a valid ICAO model\n"
                              "==> invalid fix YY -> , target is not a valid ICAO model\n"
                              "==> duplicate fix key '', skipped\n"
                              "    3 fixes\n"))
        << log;
    const std::size_t before = gf_modelCodeCount();
    EXPECT_EQ(gf_internModelCode("A32N"), gf_internModelCode("A20N"));
    EXPECT_EQ(gf_modelCodeCount(), before) << "the wrong code is never entered";
    EXPECT_EQ(gf_findTypeFix("A32N"), std::optional<std::string_view>("A20N"));
    EXPECT_EQ(gf_internModelCode("B7M8"), early);
    EXPECT_NE(early, gf_internModelCode("B38M"));
    EXPECT_EQ(gf_findRegistration("D-AAAA")->model, gf_internModelCode("A20N")) << "records go through the fixes";
}

TEST_F(DbaseFile, RecordsTakeTheirKeysAndOneRecordPerRegistration) {
    DbaseBuilder b = lf_minimal();
    b.cargoOperators = {"BOX"};
    b.record("D-ACGO", "DLH", "B738", std::nullopt, "Yes ")
        .record("D-ATWO", "DLH", "B738", std::nullopt, "2")
        .record("D-AOFF", "DLH", "B738", std::nullopt, "OFF")
        .record("D-AONE", "DLH", "B738", std::nullopt, " 1\t")
        .record("D-AOPR", "DLH", "A320", std::string("BOX"))
        .record("D-ANEW", "QQQ", "ZZ99", std::string(""))
        .record("D-ASAM", "DLH", "A320")
        .record("D-ASAM", "DLH", "C172");
    b.records.push_back({std::string("D-AMIS"), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(read(b));
    const auto key = [](std::string_view r) { return gf_findRegistration(r).value_or(AcKey{9, 9, 9, 9, 9}); };
    EXPECT_EQ(key("D-ACGO").cargo, 1);
    EXPECT_EQ(key("D-ATWO").cargo, 0);
    EXPECT_EQ(key("D-AOFF").cargo, 0);
    EXPECT_EQ(key("D-AONE").cargo, 1);
    const AcKey operated = key("D-AOPR");
    EXPECT_EQ(gf_airlineCodeAt(operated.airline), "DLH");
    EXPECT_EQ(gf_airlineCodeAt(operated.operatorIndex), "BOX");
    EXPECT_EQ(gf_modelCodeAt(operated.model), "A320");
    EXPECT_EQ(operated.flag, 1);
    EXPECT_EQ(operated.cargo, 0) << "the cargo flag is the record's own";
    const AcKey fresh = key("D-ANEW");
    EXPECT_EQ(gf_airlineCodeAt(fresh.airline), "QQQ");
    EXPECT_EQ(gf_modelCodeAt(fresh.model), "ZZ99");
    EXPECT_EQ(fresh.operatorIndex, 0);
    EXPECT_EQ(key("D-AMIS"), (AcKey{0, 0, 0, 0, 1}));
    EXPECT_EQ(gf_dbaseRecords().size(), 8u);
    EXPECT_TRUE(std::is_sorted(gf_dbaseRecords().begin(), gf_dbaseRecords().end(),
                               [](const auto& x, const auto& y) { return x.registration < y.registration; }));
}

TEST_F(DbaseFile, RegistrationsAreFoundWithDashVariants) {
    DbaseBuilder b = lf_minimal();
    b.record("DA-BCD", "DLH", "A320")
        .record("D-ABCD", "DLH", "B738")
        .record("G-BCDE", "DLH", "C172")
        .record("N1-2345", "DLH", "A320")
        .record("N-12345", "DLH", "A320")
        .record("G-ABCD", "DLH", "A320")
        .record("A-BCD", "DLH", "A320")
        .record("WXYZ", "DLH", "B738");
    ASSERT_TRUE(read(b));
    const auto model = [](std::string_view r) -> std::string {
        auto key = gf_findRegistration(r);
        return key ? std::string(gf_modelCodeAt(key->model)) : "none";
    };
    EXPECT_EQ(model("DABCD"), "A320") << "a dash after the second character first";
    EXPECT_EQ(model("GBCDE"), "C172") << "then after the first";
    EXPECT_EQ(model("N12345"), "none") << "N registrations only as given";
    EXPECT_EQ(model("G-ABCD"), "A320");
    EXPECT_EQ(model("GABCD"), "A320");
    EXPECT_EQ(model("ABCD"), "none") << "shorter than 5: only as given";
    EXPECT_EQ(model("WXYZ"), "B738");
    EXPECT_EQ(model(""), "none");
    EXPECT_EQ(model("D-ABC"), "none");
    EXPECT_EQ(gf_findRegistration("DABCD")->flag, 1);
}

TEST_F(DbaseFile, RegistrationsInTitlesAreShortOnesOnly) {
    DbaseBuilder b = lf_minimal();
    b.record("N721A", "DLH", "A320").record("D-ABCD", "DLH", "A320").record("G-XY", "DLH", "A320");
    ASSERT_TRUE(read(b));
    EXPECT_EQ(gf_findRegistrationInText("Boeing 777 American N721A 2020"), std::optional<std::string>("N721A"));
    EXPECT_EQ(gf_findRegistrationInText("Airbus Lufthansa D-ABCD"), std::nullopt);
    EXPECT_EQ(gf_findRegistrationInText("G-XY and N721A"), std::optional<std::string>("G-XY"));
    EXPECT_EQ(gf_findRegistrationInText("n721a"), std::nullopt);
}

// The search by the title's own pieces finds what a walk of every record in
// registration order finds: generated registrations of 2 to 8 characters over
// a few letters (a two-byte one among them), and titles full of near misses.
TEST_F(DbaseFile, RegistrationInTextAgreesWithAWalkOfEveryRecord) {
    const std::vector<std::string> alphabet = {"A", "B", "N", "1", "-", "\xC3\xA9"};
    std::mt19937 rng(61);
    const auto textOf = [&](std::size_t pieces) {
        std::string text;
        for (std::size_t i = 0; i < pieces; ++i) text += alphabet[rng() % alphabet.size()];
        return text;
    };
    DbaseBuilder b = lf_minimal();
    for (int i = 0; i < 1500; ++i) b.record(textOf(2 + rng() % 7), "DLH", "A320");
    ASSERT_TRUE(read(b));
    const auto walk = [](std::string_view text) -> std::optional<std::string> {
        for (const DbaseRecord& record : gf_dbaseRecords())
            if (record.registration.size() < 6 && text.find(record.registration) != std::string_view::npos)
                return record.registration;
        return std::nullopt;
    };
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string text = i % 3 == 0 ? "Boeing " + textOf(rng() % 30) + " 2020" : textOf(rng() % 12);
        const std::optional<std::string> expected = walk(text);
        found += expected.has_value();
        ASSERT_EQ(gf_findRegistrationInText(text), expected) << text;
    }
    EXPECT_GT(found, 1000);
    EXPECT_LT(found, 3000);
}

TEST_F(DbaseFile, ARecordWithoutRegistrationIsSkipped) {
    DbaseBuilder b = lf_minimal();
    b.records.push_back({std::nullopt, std::string("DLH"), std::nullopt, std::string("A320"), std::nullopt});
    b.record("", "DLH", "A320").record("N721A", "DLH", "A320");
    ASSERT_TRUE(read(b));
    const std::string log = newLogLines();
    EXPECT_TRUE(contains(log, "==> dbase record 1 has no registration, skipped\n"
                              "==> dbase record 2 has no registration, skipped\n"))
        << log;
    EXPECT_EQ(gf_dbaseRecords().size(), 1u);
    EXPECT_EQ(gf_findRegistrationInText("any livery title"), std::nullopt);
    EXPECT_EQ(gf_findRegistrationInText("with N721A"), std::optional<std::string>("N721A"));
}

TEST_F(DbaseFile, ClassesCargoAndKnownCodes) {
    DbaseBuilder b = lf_minimal();
    b.aircrafts = {"A320", "B744", "B77F", "C172", "C56X", "DH8D", "EC35", "F16", "BOTH"};
    b.large = {"A320", "BOTH"};
    b.heavy = {"B744", "BOTH", "B77F"};
    b.bizjet = {"C56X"};
    b.twoProps = {"DH8D", "C56X"};
    b.highPerf = {"F16", "EC35"};
    b.rotorcraft = {"EC35"};
    b.cargoTypes = {"B77F", "AN12"};
    b.icaoAirlines = {"DLH", "FDX"};
    b.cargoOperators = {"FDX"};
    ASSERT_TRUE(read(b));
    const std::pair<const char*, ModelCategory> cases[] = {
        {"A320", Large}, {"BOTH", Large}, {"B744", Heavy},     {"C56X", Bizjet}, {"DH8D", TwoProps},
        {"EC35", Rotorcraft}, {"F16", HighPerf}, {"C172", Light}, {"ZZZZ", Light}, {"", Light}};
    for (const auto& [code, category] : cases) EXPECT_EQ(gf_getModelCodeCategory(code), category) << code;

    EXPECT_TRUE(gf_isKnownModelCode("A320"));
    EXPECT_FALSE(gf_isKnownModelCode("AN12")) << "a cargo type is not an ICAO model code by itself";
    EXPECT_FALSE(gf_isKnownModelCode("a320"));
    EXPECT_FALSE(gf_isKnownModelCode(""));
    EXPECT_TRUE(gf_isKnownAirlineCode("FDX"));
    EXPECT_FALSE(gf_isKnownAirlineCode(""));
    EXPECT_FALSE(gf_isKnownAirlineCode("DLH "));

    const std::uint16_t dlh = gf_internAirlineCode("DLH"), fdx = gf_internAirlineCode("FDX");
    EXPECT_TRUE(gf_isCargo(AcKey{fdx, 0, gf_internModelCode("A320"), 0, 0})) << "a cargo airline";
    EXPECT_FALSE(gf_isCargo(AcKey{dlh, fdx, gf_internModelCode("A320"), 0, 0})) << "not by its operator";
    EXPECT_TRUE(gf_isCargo(AcKey{dlh, 0, gf_internModelCode("AN12"), 0, 0})) << "a cargo type";
    EXPECT_FALSE(gf_isCargo(AcKey{}));
}

}  // namespace
