// The archive of airports the program cannot learn: what is copied into the
// tblo folder, the zip read back byte for byte, and the announcement of a
// zip that is ready (and of none that failed).

#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scan_world.h"

namespace fs = std::filesystem;
using namespace tavo::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class TbloArchive : public ScanWorldTest {
protected:
    void SetUp() override {
        ScanWorldTest::SetUp();
        ArchivesBuilder archives;
        archives.simaddons20 = {"EDDF"};
        loadWorld({airportEntry("EDDF", 50.03, 8.56, 364), airportEntry("LFPG", 49.0, 2.55, 392),
                   airportEntry("VHHX", 22.33, 114.19, 15), airportEntry("KJFK", 40.64, -73.78, 13),
                   airportEntry("LIRF", 41.8, 12.24, 13)},
                  "EDDF,LFPG,VHHX,KJFK", archives);
        fs::create_directories(mySimaddonDir);
        fs::create_directories(myThirdpartyDir);
        fs::create_directories(tbloDir);
    }
    void runAll() {
        lf_copySimaddonToTblo();
        lf_copyThirdpartyToTblo();
        lf_zipTblo();
    }
    static std::string bytes(std::size_t size, unsigned seed) {
        std::string out(size, '\0');
        for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) % 256);
        return out;
    }
};

TEST_F(TbloArchive, NothingGeneratedIsNothingToSend) {
    writeFile(mySimaddonDir / "EDDF.txt", "archive/simaddon/EDDF.enc\n");
    g_tbloPending.store(true);
    newLogLines();
    runAll();
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("0 simaddon files copied to tblo folder\n"));
    EXPECT_THAT(log, HasSubstr("All your simaddon and third party airports are recognised, no off line learning "
                               "needed.\n"));
    EXPECT_FALSE(g_tbloPending.load());
    EXPECT_TRUE(fs::is_empty(tbloDir));
}

TEST_F(TbloArchive, WhatCanBeLearnedIsCopiedZippedByteForByteAndAnnounced) {
    static const char kjfkBytes[] = "KJFK \xC3\xA9\r\n\0 end";
    const std::string lfpg = bytes(200000, 1), eddf = bytes(3000, 2), kjfk(kjfkBytes, sizeof kjfkBytes - 1);
    writeFile(mySimaddonDir / "LFPG.xml", lfpg);
    writeFile(mySimaddonDir / "VHHX.xml", "never sent");
    writeFile(mySimaddonDir / "EDDF.xml", eddf);  // generated, but also linked
    writeFile(mySimaddonDir / "EDDF.txt", "archive/simaddon/EDDF.enc\n");
    writeFile(myThirdpartyDir / "KJFK.xml", kjfk);
    writeFile(myThirdpartyDir / "LIRF.xml", "no weekly traffic");
    fs::create_directories(tbloDir / "older");
    writeFile(tbloDir / "older" / "EGLL.xml", "in a subfolder");
    gf_enableControl(TbloButton.controlId, false);
    newLogLines();
    runAll();

    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("2 simaddon files copied to tblo folder\n"));
    EXPECT_THAT(log, HasSubstr("[zip] Adding (data) "));
    EXPECT_THAT(log, HasSubstr("[zip] Added 3 files, close_result=0, ok_close=true, exists=true, size="));
    EXPECT_TRUE(scanLogHas("'LIRF' cannot be learned, no stock version with RT Traffic available"));
    EXPECT_EQ(zipContents(tbloDir / "tblo.zip"),
              (std::map<std::string, std::string>{{"EDDF.xml", eddf}, {"KJFK.xml", kjfk}, {"LFPG.xml", lfpg}}));
    EXPECT_FALSE(fs::exists(mySimaddonDir / "EDDF.xml")) << "the link is what the program reads";
    EXPECT_TRUE(fs::exists(mySimaddonDir / "EDDF.txt"));
    EXPECT_EQ(readFile(mySimaddonDir / "LFPG.xml"), lfpg);
    EXPECT_TRUE(fs::exists(myThirdpartyDir / "LIRF.xml"));

    EXPECT_FALSE(fs::exists(tbloDir / "LFPG.xml")) << "only the zip and the note stay";
    EXPECT_FALSE(fs::exists(tbloDir / "KJFK.xml"));
    EXPECT_EQ(readFile(tbloNoteFile), std::string(kTbloContactAddress) + "\n");
    EXPECT_TRUE(fs::exists(tbloDir / "older" / "EGLL.xml"));
    EXPECT_TRUE(g_tbloPending.load());
    EXPECT_TRUE(enabled(TbloButton.controlId));
    EXPECT_THAT(gf_gui().statusLine, HasSubstr("tblo.zip"));
}

// An airport generated both as an official and as a thirdparty airport is
// sent twice: the thirdparty file, which names its publisher inside, under a
// name no airport file has.
TEST_F(TbloArchive, AnAirportGeneratedIntoBothFoldersIsSentAsBothFiles) {
    writeFile(mySimaddonDir / "KJFK.xml", "official KJFK");
    writeFile(myThirdpartyDir / "KJFK.xml", "thirdparty KJFK");
    writeFile(myThirdpartyDir / "EDDF.xml", "thirdparty EDDF");
    newLogLines();
    runAll();
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("1 simaddon file copied to tblo folder\n"));
    EXPECT_THAT(log, HasSubstr("thirdparty KJFK copied to tblo folder as KJFK_thirdparty.xml, beside the simaddon "
                               "file\n"));
    EXPECT_EQ(zipContents(tbloDir / "tblo.zip"),
              (std::map<std::string, std::string>{{"EDDF.xml", "thirdparty EDDF"},
                                                  {"KJFK.xml", "official KJFK"},
                                                  {"KJFK_thirdparty.xml", "thirdparty KJFK"}}));
    EXPECT_FALSE(fs::exists(tbloDir / "KJFK_thirdparty.xml")) << "only the zip and the note stay";
}

// A zip that was not made must not be announced: no flag, no send button,
// no hint asking the user to send it.
TEST_F(TbloArchive, AZipThatFailedIsNotAnnounced) {
    writeFile(myThirdpartyDir / "KJFK.xml", "kjfk");
    gf_enableControl(TbloButton.controlId, true);
    gf_setZipWriteFaultHook([](ZipWriteStep step, const fs::path&) { return step == ZipWriteStep::close; });
    newLogLines();
    runAll();
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr("[zip] Added 1 files, close_result=-1, ok_close=false, exists=false, size=0 bytes\n"));
    EXPECT_THAT(log, HasSubstr("==> Zippen TBLO folder failed\n"));
    EXPECT_FALSE(g_tbloPending.load());
    EXPECT_FALSE(enabled(TbloButton.controlId));
    EXPECT_THAT(gf_gui().statusLine, Not(HasSubstr("tblo.zip")));
    EXPECT_FALSE(fs::exists(tbloDir / "tblo.zip"));

    // An archive that cannot even be opened: a folder stands in its place.
    gf_setZipWriteFaultHook({});
    fs::create_directories(tbloDir / "tblo.zip" / "inside");
    newLogLines();
    lf_zipTblo();
    EXPECT_THAT(newLogLines(), HasSubstr("[zip] Could not open archive for writing\n"));
    EXPECT_FALSE(g_tbloPending.load());
}

}  // namespace
