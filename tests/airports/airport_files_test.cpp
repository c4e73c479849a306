// Where airport files live: names from codes, handmade and pointer files, the
// archive, archive paths taken apart and the learned file of a source file.

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "airports/airport_files.h"
#include "airports/airports_list.h"
#include "support/airports_data.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::writeFile;

class AirportFilesTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_unloadAirportsForTests();
        tavo::test::writeAirportsEnc(dir(), {tavo::test::airportEntry("EGLL", 51.4775, -0.461389, 83, "LHR")});
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        fs::create_directories(myThirdpartyDir);
        fs::create_directories(mySimaddonDir);
        newLogLines();
    }
    void TearDown() override {
        gf_unloadAirportsForTests();
        LogFileTest::TearDown();
    }
};

TEST(AirportFileNamesTest, CodeAndExtension) {
    EXPECT_EQ(gf_icaoXmlFileName(IcaoCode("egll")), "EGLL.xml");
    EXPECT_EQ(gf_icaoEncFileName(IcaoCode("EGLL")), "EGLL.enc");
    EXPECT_EQ(gf_icaoTxtFileName(IcaoCode("K1Z2")), "K1Z2.txt");
    EXPECT_EQ(gf_icaoXmlFileName(IcaoCode()), ".xml");
    EXPECT_EQ(gf_icaoTxtFileName(IcaoCode()), ".txt");
}

TEST_F(AirportFilesTest, AnAirportHasAFileWhenHandmadeOrKnown) {
    const IcaoCode unknown("ZZZZ");
    EXPECT_TRUE(gf_hasAirportFile(IcaoCode("EGLL"))) << "known to the list";
    EXPECT_FALSE(gf_hasAirportFile(unknown));
    for (const fs::path& file : {myThirdpartyDir / "ZZZZ.xml", myThirdpartyDir / "ZZZZ.txt",
                                 mySimaddonDir / "ZZZZ.xml", mySimaddonDir / "ZZZZ.txt"}) {
        SCOPED_TRACE(file.string());
        writeFile(file, "");  // an empty pointer file counts unread
        EXPECT_TRUE(gf_hasAirportFile(unknown));
        fs::remove(file);
        EXPECT_FALSE(gf_hasAirportFile(unknown));
    }
    writeFile(myThirdpartyDir / "ZZZZ.enc", "");
    writeFile(airportsDir / "ZZZZ.xml", "");
    EXPECT_FALSE(gf_hasAirportFile(unknown)) << "other names and folders do not count";
}

TEST_F(AirportFilesTest, TheSourcePathIsHandmadeFirstThenTheArchive) {
    const IcaoCode egll("EGLL");
    const IcaoCode unknown("ZZZZ");
    EXPECT_EQ(gf_findAirportSourcePath(egll), fs::path("archive/stock/EGLL.enc")) << "not tested for existence";
    EXPECT_EQ(gf_findAirportSourcePath(unknown), std::nullopt);

    writeFile(mySimaddonDir / "ZZZZ.xml", "<root/>");
    EXPECT_EQ(gf_findAirportSourcePath(unknown), mySimaddonDir / "ZZZZ.xml");
    writeFile(mySimaddonDir / "ZZZZ.txt", "/scenery/zzzz/apt.enc\n");
    EXPECT_EQ(gf_findAirportSourcePath(unknown), fs::path("/scenery/zzzz/apt.enc")) << "pointer before file";
    writeFile(myThirdpartyDir / "ZZZZ.xml", "<root/>");
    EXPECT_EQ(gf_findAirportSourcePath(unknown), myThirdpartyDir / "ZZZZ.xml") << "thirdparty before simaddon";
    writeFile(myThirdpartyDir / "ZZZZ.txt", "  \t/scenery/zzzz/Airport File.XML  \r\nsecond line\n");
    EXPECT_EQ(gf_findAirportSourcePath(unknown), fs::path("/scenery/zzzz/Airport File.XML"))
        << "first line, trimmed; a missing target still counts";
    writeFile(myThirdpartyDir / "ZZZZ.txt", "/scenery/zzzz/apt.bgl\n");
    EXPECT_EQ(gf_findAirportSourcePath(unknown), myThirdpartyDir / "ZZZZ.xml") << "a .bgl pointer is no pointer";
    writeFile(myThirdpartyDir / "EGLL.txt", "mine.enc");
    EXPECT_EQ(gf_findAirportSourcePath(egll), fs::path("mine.enc")) << "handmade before the archive";
}

TEST_F(AirportFilesTest, PointerFilesNameXmlOrEncFiles) {
    const fs::path pointer = myThirdpartyDir / "ZZZZ.txt";
    struct Case {
        const char* what;
        std::string content;
        std::optional<fs::path> target;
    };
    const Case cases[] = {
        {"enc in any case", "C:/Scenery/ZZZZ.Enc\n", fs::path("C:/Scenery/ZZZZ.Enc")},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" "a/b.xml", fs::path("a/b.xml")},
        {"UTF-16 little endian", std::string("\xFF\xFE" "a\0/\0b\0.\0x\0m\0l\0", 16), fs::path("a/b.xml")},
        {"no line", "", std::nullopt},
        {"blank line", "   \n", std::nullopt},
        {"too short", "xml\n", std::nullopt},
        {"the extension alone is long enough", ".xml", fs::path(".xml")},
        {"other extension", "a/b.xmlx\n", std::nullopt},
        {"only the first line counts", "\nb.xml\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(pointer, c.content);
        EXPECT_EQ(lf_readAirportPointerFile(pointer), c.target);
    }
    EXPECT_EQ(lf_readAirportPointerFile(myThirdpartyDir / "NONE.txt"), std::nullopt);
    EXPECT_EQ(lf_readAirportPointerFile(myThirdpartyDir), std::nullopt) << "a folder";
}

TEST(ArchivePathTest, Parsing) {
    struct Case {
        const char* path;
        const char* icao;  // nullptr: nothing
        const char* publisher;
        const char* version;
    };
    const Case cases[] = {
        {"archive/stock/EGLL.enc", "EGLL", "stock", ""},
        {"archive/stock/EGLL3.xml", "EGLL", "stock", "3"},
        {"archive/simaddon/KJFK012.enc", "KJFK", "simaddon", "012"},
        {"archive/thirdparty/My%20Scenery/LOWI2.enc", "LOWI", "My Scenery", "2"},
        {"archive/thirdparty/A%2/LOWI.enc", "LOWI", "A%2", ""},
        {"archive/thirdparty/A%zz%4/LOWI.enc", "LOWI", "A%zz%4", ""},
        {"archive/thirdparty/%41%e9/LOWI.enc", "LOWI", "A\xE9", ""},
        {"Archive/STOCK/egll.ENC", "EGLL", "stock", ""},
        {"archive/stock/EGLLa.xml", nullptr, "", ""},
        {"archive/stock/EGL.xml", nullptr, "", ""},
        {"archive/stock/EG-L.xml", nullptr, "", ""},
        {"archive/stock/EGLL.txt", nullptr, "", ""},
        {"archive/stock/EGLL", nullptr, "", ""},
        {"archive/other/EGLL.xml", nullptr, "", ""},
        {"archive/stock/sub/EGLL.xml", nullptr, "", ""},
        {"archive/thirdparty/EGLL.xml", nullptr, "", ""},
        {"airports/stock/EGLL.xml", nullptr, "", ""},
        {"/archive/stock/EGLL.xml", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto info = lf_parseArchivePath(c.path);
        ASSERT_EQ(info.has_value(), c.icao != nullptr);
        if (!info) continue;
        EXPECT_EQ(info->icao, IcaoCode(c.icao));
        EXPECT_EQ(info->publisher, c.publisher);
        EXPECT_EQ(info->version, c.version);
    }
}

TEST_F(AirportFilesTest, TheLearnedFileOfASourceFile) {
    struct Case {
        const char* source;
        const char* publisher;
        const char* learned;  // nullptr: nothing
    };
    const Case cases[] = {
        {"archive/simaddon/KJFK.enc", "", "airports/learned/simaddon/KJFK.xml"},
        {"archive/stock/EGLL3.xml", "", "airports/learned/stock/EGLL3.xml"},
        {"archive/thirdparty/My%20Scenery/LOWI2.enc", "ignored", "airports/learned/thirdparty/My Scenery/LOWI2.xml"},
        {"archive/thirdparty/A%2FB%3A%20C%3F/LOWI.enc", "", "airports/learned/thirdparty/A B  C/LOWI.xml"},
        {"archive/thirdparty/%2E%2E/LOWI.enc", "", nullptr},
        {"airports/stock/EDDF.xml", "", "airports/learned/stock/EDDF.xml"},
        {"airports/my_simaddon/EDDF.xml", "", "airports/learned/my_simaddon/EDDF.xml"},
        {"airports/my_thirdparty/EDDF.xml", "A/B: C?", "airports/learned/thirdparty/A B  C/EDDF.xml"},
        {"airports/my_thirdparty2024/EDDF.enc", "Fly\tHigh ", "airports/learned/thirdparty/Fly High/EDDF.xml"},
        {"airports/my_thirdparty/EDDF.xml", "..", nullptr},
        {"airports/my_thirdparty/EDDF.xml", "", nullptr},
        {"Archive/STOCK/egll.ENC", "", nullptr},
        {"archive/stock/EGLL.bgl", "", nullptr},
        {"archive/stock/sub/EGLL.xml", "", nullptr},
        {"airports/learned/stock/EGLL.xml", "", nullptr},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const auto learned = lf_locateAirportFile(c.source, c.publisher);
        ASSERT_EQ(learned.has_value(), c.learned != nullptr) << learned.value_or("");
        if (learned) {
            EXPECT_EQ(*learned, fs::path(c.learned));
        }
    }
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(AirportFilesTest, AnInvalidUtf8PublisherIsLoggedAndGivesNothing) {
    EXPECT_EQ(lf_locateAirportFile("airports/my_thirdparty/EDDF.xml", "Bad\xC3("), std::nullopt);
    EXPECT_EQ(newLogLines(), "==> Invalid UTF-8 publisher 'Bad\xC3(': utf8_to_wide: invalid UTF-8\n");
    EXPECT_EQ(lf_locateAirportFile("archive/stock/EDDF.xml", "\xFF"), std::nullopt) << "checked for every source";
}

TEST(AirportFileTextTest, PercentDecodingFolderNamesAndExtensions) {
    const std::pair<const char*, const char*> decoded[] = {
        {"My%20Scenery", "My Scenery"}, {"%41%62%7e", "Ab~"}, {"100%", "100%"}, {"a%2", "a%2"},
        {"%G1x", "%G1x"},               {"%%41", "%A"},       {"", ""},         {"%2x%20", "%2x "},
    };
    for (const auto& [text, result] : decoded) EXPECT_EQ(lf_percentDecode(text), result) << text;

    const std::pair<const char*, const char*> folders[] = {
        {"A/B: C?", "A B  C"}, {"  Fly\x01High\t", "Fly High"}, {"<>:\"/\\|?*", ""}, {"..", ""},
        {".", ""},             {" .. ", ""},                      {"...", "..."},   {"a.b", "a.b"},
    };
    for (const auto& [name, folder] : folders) EXPECT_EQ(lf_publisherFolderName(name), folder) << name;

    EXPECT_TRUE(lf_hasExtension("a/EGLL.XmL", ".xml"));
    EXPECT_TRUE(lf_hasExtension("EGLL.enc", ".ENC"));
    EXPECT_FALSE(lf_hasExtension("EGLL.xml.bak", ".xml"));
    EXPECT_FALSE(lf_hasExtension("xml", ".xml"));
}

}  // namespace
