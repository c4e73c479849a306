// The weekly-traffic airports: reading input/wktraffic.enc, and every code
// counting as having weekly traffic while the set is empty.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/weekly_traffic.h"
#include "foundation/encrypted.h"
#include "support/airports_data.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::DataFileFault;
using Codes = std::vector<std::optional<std::string>>;

class WeeklyTrafficTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_clearWeeklyTrafficAirports();
    }
    void TearDown() override {
        gf_clearWeeklyTrafficAirports();
        LogFileTest::TearDown();
    }
    void write(const Codes& codes, DataFileFault fault = DataFileFault::none,
               const tavo::test::EncWriterOptions& options = {}) {
        tavo::test::writeWktrafficEnc(dir(), codes, fault, options);
    }
};

const std::string kPath = "input/wktraffic.enc";

TEST_F(WeeklyTrafficTest, CodesAreReadSortedAndOnce) {
    struct Case {
        const char* what;
        Codes codes;
        std::vector<const char*> held;
        std::size_t count;
    };
    const Case cases[] = {
        {"three in one element", {"LOWI,EGLL, KJFK "}, {"LOWI", "EGLL", "KJFK"}, 3},
        {"doubled and trailing commas", {"EGLL,,KJFK,", ", ,LOWI"}, {"LOWI", "EGLL", "KJFK"}, 3},
        {"lower case", {"egll"}, {"EGLL"}, 1},
        {"one code in two elements", {"EGLL", "KJFK,EGLL"}, {"EGLL", "KJFK"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        newLogLines();
        write(c.codes);
        EXPECT_TRUE(gf_loadWeeklyTrafficAirports());
        EXPECT_EQ(newLogLines(),
                  fmt::format("{} ICAO airports supported by RealTraffic read from '{}'\n", c.count, kPath));
        for (const char* code : c.held) EXPECT_TRUE(gf_hasWeeklyTraffic(IcaoCode(code))) << code;
        EXPECT_FALSE(gf_hasWeeklyTraffic(IcaoCode("ZZZZ")));
        EXPECT_FALSE(gf_hasWeeklyTraffic(IcaoCode("AAAA")));
    }
}

TEST_F(WeeklyTrafficTest, AFailedLoadEmptiesTheSetAndLogsOnce) {
    tavo::test::EncWriterOptions foreignKey;
    foreignKey.key.assign(32, 0x33);
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string error;  // empty: the reader's own text
    };
    const Case cases[] = {
        {"missing file", [] {}, "'" + kPath + "' not available"},
        {"a folder that cannot be inspected",
         [&] { std::filesystem::create_directory_symlink("input", dir() / "input"); },
         "Could not inspect '" + kPath + "': Too many levels of symbolic links"},
        {"wrong key", [&] { write({"EGLL"}, DataFileFault::none, foreignKey); }, ""},
        {"parse error", [&] { write({"EGLL"}, DataFileFault::malformed); },
         "weekly traffic XML parse error: Start-end tags mismatch"},
        {"no root", [&] { write({"EGLL"}, DataFileFault::noRoot); },
         "'" + kPath + "' has invalid weekly traffic XML: missing <root> root element"},
        {"no section", [&] { write({"EGLL"}, DataFileFault::noSection); },
         "'" + kPath + "' has invalid weekly traffic XML: missing <traffic_airports> section"},
        {"element without codes", [&] { write({"EGLL", std::nullopt}); },
         "'" + kPath + "' has invalid weekly traffic XML: <arp> element has no 'c' attribute"},
        {"five characters", [&] { write({"EGLL,KJFKX"}); },
         "'" + kPath + "' has invalid weekly traffic XML: invalid weekly traffic ICAO code 'KJFKX'"},
        {"a character that is no letter or digit", [&] { write({"EG-L"}); },
         "'" + kPath + "' has invalid weekly traffic XML: invalid weekly traffic ICAO code 'EG-L'"},
        {"no codes at all", [&] { write({",", " "}); },
         "'" + kPath + "' has invalid weekly traffic XML: <traffic_airports> contains no ICAO codes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir() / "input");
        write({"LOWI"});
        ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
        ASSERT_FALSE(gf_hasWeeklyTraffic(IcaoCode("EGLL")));
        std::filesystem::remove_all(dir() / "input");
        c.make();
        std::string error = c.error;
        if (error.empty()) error = gf_readEncryptedFile(kPath, kWktrafficEncLimit).error;
        newLogLines();
        EXPECT_FALSE(gf_loadWeeklyTrafficAirports());
        EXPECT_EQ(newLogLines(), "==> " + error + "\n");
        for (const char* code : {"EGLL", "KJFK", "LOWI", "0000"})
            EXPECT_TRUE(gf_hasWeeklyTraffic(IcaoCode(code))) << "every code, " << code;
    }
}

TEST_F(WeeklyTrafficTest, AnEmptySetHoldsEveryCode) {
    EXPECT_TRUE(gf_hasWeeklyTraffic(IcaoCode("EGLL")));
    write({"LOWI"});
    ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
    EXPECT_FALSE(gf_hasWeeklyTraffic(IcaoCode("EGLL")));
    gf_clearWeeklyTrafficAirports();
    EXPECT_TRUE(gf_hasWeeklyTraffic(IcaoCode("EGLL")));
}

}  // namespace
