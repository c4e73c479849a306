#include "scan/manifests.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "scan/publishers.h"
#include "scan/scan_log.h"
#include "support/airports_data.h"
#include "support/archives_builder.h"
#include "support/manifest_writer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::ManifestWriter;

class ManifestTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        g_airportScanLog.clear();
    }
    void TearDown() override {
        g_airportScanLog.clear();
        gf_clearPublisherData();
        TempWorkDirTest::TearDown();
    }
    // Reads an archives data file with these publishers and rejected values.
    void archives(std::vector<std::optional<std::string>> publishers, std::vector<std::string> rejected) {
        tavo::test::ArchivesBuilder b;
        b.simaddons20 = {"EGLL"};
        b.publishers = std::move(publishers);
        b.rejected = std::move(rejected);
        b.writeToInput();
        ASSERT_TRUE(gf_readPublishers(true));
    }
    static Airport airportAt(const fs::path& bgl) {
        Airport a;
        a.path = bgl;
        a.bglPath = bgl.string();
        return a;
    }
};

TEST_F(ManifestTest, FieldsByKey) {
    struct Case {
        ManifestWriter writer;
        std::optional<ManifestInfo> expected;
    };
    std::vector<Case> cases;
    cases.push_back({ManifestWriter{}
                         .string("title", "Acme KXYZ")
                         .string("package_version", "1.2.3")
                         .string("version", "1.0.0")
                         .string("manufacturer", "Acme")
                         .string("creator", "Bob"),
                     ManifestInfo{"Acme KXYZ", "1.2.3", "Acme", "Bob"}});
    cases.push_back({ManifestWriter{}.string("package_version", "").string("version", "1.0.0"),
                     ManifestInfo{"", "1.0.0", "", ""}});
    cases.push_back({ManifestWriter{}.raw("version", "12").raw("title", "null").raw("creator", "[\"x\"]"),
                     ManifestInfo{}});
    cases.push_back({ManifestWriter::rawFile("[{\"title\": \"x\"}]"), std::nullopt});
    cases.push_back({ManifestWriter::rawFile("{\"title\": \"x\""), std::nullopt});
    cases.push_back({ManifestWriter::rawFile(""), std::nullopt});
    // Lines are joined without separators, so a value broken over lines is joined.
    cases.push_back({ManifestWriter::rawFile("{\"title\":\n\"A\nB\"}\n"), ManifestInfo{"AB", "", "", ""}});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        fs::path path = cases[i].writer.writeInto(dir() / std::to_string(i));
        std::optional<ManifestInfo> got = lf_readManifest(path);
        ASSERT_EQ(got.has_value(), cases[i].expected.has_value()) << i;
        if (!got) continue;
        EXPECT_EQ(got->title, cases[i].expected->title) << i;
        EXPECT_EQ(got->version, cases[i].expected->version) << i;
        EXPECT_EQ(got->manufacturer, cases[i].expected->manufacturer) << i;
        EXPECT_EQ(got->creator, cases[i].expected->creator) << i;
    }
    EXPECT_FALSE(lf_readManifest(dir() / "missing.json"));
    EXPECT_TRUE(g_airportScanLog.empty());
}

TEST_F(ManifestTest, SizeLimit) {
    ManifestWriter w;
    w.string("title", "big");
    w.exactSize = manifestSizeLimit;
    fs::path atLimit = w.writeInto(dir() / "a");
    ASSERT_EQ(fs::file_size(atLimit), 4194304u);
    ASSERT_TRUE(lf_readManifest(atLimit));
    EXPECT_EQ(lf_readManifest(atLimit)->title, "big");
    EXPECT_TRUE(g_airportScanLog.empty());

    w.exactSize = manifestSizeLimit + 1;
    fs::path above = w.writeInto(dir() / "b");
    EXPECT_FALSE(lf_readManifest(above));
    ASSERT_EQ(g_airportScanLog.size(), 1u);
    EXPECT_EQ(g_airportScanLog[0], "Ignoring manifest larger than 4194304 bytes: '" + above.string() + "'");
}

TEST_F(ManifestTest, SearchGoesUpAtMostTwelveFolders) {
    for (int levels : {0, 1, 11, 12}) {
        fs::path top = dir() / ("t" + std::to_string(levels));
        fs::path folder = top;
        for (int i = 0; i < levels; ++i) folder /= "d" + std::to_string(i);
        fs::create_directories(folder);
        ManifestWriter{}.string("title", "found").writeInto(top);
        fs::path bgl = folder / "scenery.bgl";
        std::optional<ManifestInfo> got = gf_searchManifest(bgl);
        EXPECT_EQ(got.has_value(), levels <= 11) << levels;
        // A trailing separator on the way up changes nothing.
        EXPECT_EQ(gf_searchManifest(folder / "" / "x.bgl").has_value(), levels <= 11) << levels;
    }
    EXPECT_FALSE(gf_searchManifest("x.bgl"));
    EXPECT_FALSE(gf_searchManifest(""));
    // A folder named manifest.json is no manifest.
    fs::create_directories(dir() / "m" / "manifest.json");
    EXPECT_FALSE(gf_searchManifest(dir() / "m" / "x.bgl"));
}

TEST_F(ManifestTest, StreamedPackagesByName) {
    fs::path root = dir() / "root";
    fs::create_directories(root);
    fs::path package = dir() / "streamed" / "fs24-acme-kxyz";
    EXPECT_FALSE(lf_findStreamedManifest(package, root));
    EXPECT_FALSE(lf_findStreamedManifest(package, ""));
    EXPECT_FALSE(lf_findStreamedManifest("", root));
    // An empty root is no root, not the working folder.
    ManifestWriter{}.string("title", "in the working folder").writeInto("acme-kxyz");
    EXPECT_FALSE(lf_findStreamedManifest(package, ""));
    fs::remove_all("acme-kxyz");

    // One level deeper, the name itself.
    ManifestWriter{}.string("title", "deep full").writeInto(root / "sub" / "fs24-acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(package, root)->title, "deep full");
    // One level deeper, the name without the prefix wins over the name itself.
    ManifestWriter{}.string("title", "deep short").writeInto(root / "sub" / "acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(package, root)->title, "deep short");
    // Directly under the root before any deeper one.
    ManifestWriter{}.string("title", "top full").writeInto(root / "fs24-acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(package, root)->title, "top full");
    ManifestWriter{}.string("title", "top short").writeInto(root / "acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(package, root)->title, "top short");
    EXPECT_EQ(lf_findStreamedManifest(package / "", root)->title, "top short");
    // A broken manifest under the short name hides the full name at the top,
    // and the deeper folders are searched.
    ManifestWriter::rawFile("not json").writeInto(root / "acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(package, root)->title, "deep short");
    // "fs24-" alone is taken as it is: no empty name that would reach the
    // root's own manifest.
    ManifestWriter{}.string("title", "the root's own").writeInto(root);
    ManifestWriter{}.string("title", "bare").writeInto(root / "fs24-");
    EXPECT_EQ(lf_findStreamedManifest(dir() / "fs24-", root)->title, "bare");
}

// Of several folders under the root that hold the package, the first in the
// listing order gives the manifest, whatever order the disk keeps.
TEST_F(ManifestTest, StreamedPackageOneLevelDeeperComesFromTheFirstFolderListed) {
    const fs::path root = dir() / "root";
    for (const std::string name : {"Steam", "zz", "_under", "Mid", "OneStore", "Q", "Beta", "Alpha"})
        ManifestWriter{}.string("title", name).writeInto(root / name / "acme-kxyz");
    EXPECT_EQ(lf_findStreamedManifest(dir() / "fs24-acme-kxyz", root)->title, "Alpha");
    fs::remove_all(root / "Alpha");
    fs::remove_all(root / "Beta");
    EXPECT_EQ(lf_findStreamedManifest(dir() / "fs24-acme-kxyz", root)->title, "Mid");
}

TEST_F(ManifestTest, PublisherOfOfficialPathsAndListedPackages) {
    archives({std::string("Acme Scenery,ACME")}, {});
    fs::path official = dir() / "Community" / "ASOBO-Airport-egll" / "scenery" / "x.bgl";
    ManifestWriter{}.string("manufacturer", "Acme").writeInto(official.parent_path());
    Airport a = airportAt(official);
    lf_classifyPublisher(a);
    EXPECT_EQ(a.publisher, "simaddon");
    EXPECT_FALSE(a.manifest);  // no manifest looked at
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"publisher: simaddon"});

    g_airportScanLog.clear();
    Airport listed = airportAt(dir() / "Community" / "acme-kxyz" / "x.bgl");
    listed.publisher = "old";
    lf_classifyPublisher(listed);
    EXPECT_EQ(listed.publisher, "Acme Scenery");
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"publisher 'Acme Scenery'"});

    g_airportScanLog.clear();
    Airport none = airportAt(dir() / "Community" / "other-kxyz" / "x.bgl");
    none.publisher = "old";
    lf_classifyPublisher(none);
    EXPECT_EQ(none.publisher, "");
    EXPECT_FALSE(none.manifest);
    EXPECT_TRUE(g_airportScanLog.empty());
}

TEST_F(ManifestTest, PublisherFromManifestValues) {
    archives({std::string("Acme Scenery,ACME")}, {"Unknown Maker"});
    struct Case {
        const char* manufacturer;
        const char* creator;
        const char* publisher;
        const char* manufacturerAfter;
        const char* creatorAfter;
        std::vector<std::string> log;
    } cases[] = {
        {" Microsoft Studios ", "Acme", "simaddon", "Microsoft Studios", "Acme", {"publisher 'simaddon'"}},
        {"AB", "acme works", "Acme Scenery", "", "acme works", {"publisher 'Acme Scenery'"}},
        {" unknown maker", "Acme", "Acme Scenery", "", "Acme",
         {"manifest publisher value 'unknown maker' rejected by archives data", "publisher 'Acme Scenery'"}},
        {"Zed", " Nobody ", "", "Zed", "Nobody", {}},
        {"", "asobo", "simaddon", "", "asobo", {"publisher 'simaddon'"}},
    };
    for (const auto& c : cases) {
        g_airportScanLog.clear();
        fs::path folder = dir() / c.manufacturer / "pkg";
        ManifestWriter{}.string("manufacturer", c.manufacturer).string("creator", c.creator).writeInto(folder);
        Airport a = airportAt(folder / "scenery" / "x.bgl");
        lf_classifyPublisher(a);
        EXPECT_EQ(a.publisher, c.publisher) << c.manufacturer;
        ASSERT_TRUE(a.manifest);
        EXPECT_EQ(a.manifest->manufacturer, c.manufacturerAfter) << c.manufacturer;
        EXPECT_EQ(a.manifest->creator, c.creatorAfter) << c.manufacturer;
        EXPECT_EQ(g_airportScanLog, c.log) << c.manufacturer;
    }
}

TEST_F(ManifestTest, AcceptedManifestPublisherNeedsFourCharacters) {
    archives({}, {"Unknown Maker"});
    struct Case {
        const char* manufacturer;
        const char* creator;
        bool accepted;
    } cases[] = {
        {"Acme", "", true},      {" Abc ", "", false},          {"", "Bobs", true},
        {"", "Bob", false},      {"unknown maker", "", false},  {"unknown maker", "Zeta", true},
        {"fsim", "FSIM", false},
    };
    archives({}, {"Unknown Maker", "fsim"});
    for (const auto& c : cases) {
        EXPECT_EQ(lf_hasAcceptedManifestPublisher(ManifestInfo{"", "", c.manufacturer, c.creator}), c.accepted)
            << c.manufacturer << "/" << c.creator;
    }
    // lf_checkManifestPublisher keeps 3 characters, which are not accepted.
    Airport a;
    std::string creator = " Bob ";
    EXPECT_FALSE(lf_checkManifestPublisher(a, creator));
    EXPECT_EQ(creator, "Bob");
    std::string two = "Bo";
    EXPECT_FALSE(lf_checkManifestPublisher(a, two));
    EXPECT_EQ(two, "");
}

TEST_F(ManifestTest, CodeFromPathStemAndTitle) {
    auto known = [](const IcaoCode& c) { return c.text() != "ZZZZ"; };
    auto weekly = [](const IcaoCode& c) { return c.text() == "EGLL" || c.text() == "KXYZ"; };
    IcaoFilters filters{known, weekly};

    fs::path inPath = dir() / "pkg-kxyz" / "scenery" / "x.bgl";
    Airport a = airportAt(inPath);
    EXPECT_EQ(gf_icaoCodesForBgl(a, filters), IcaoCode("KXYZ"));
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"airport has code 'KXYZ' in BGL path"});

    g_airportScanLog.clear();
    Airport stem = airportAt(dir() / "package" / "scenery" / "egll.bgl");
    EXPECT_EQ(gf_icaoCodesForBgl(stem, filters), IcaoCode("EGLL"));
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"airport has code 'EGLL' in BGL path"});

    // The stem alone (the path text does not hold it as a group): a bglPath
    // without the file name.
    g_airportScanLog.clear();
    stem.bglPath = (dir() / "package" / "scenery").string();
    EXPECT_EQ(gf_icaoCodesForBgl(stem, filters), IcaoCode("EGLL"));
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"airport has code 'EGLL' in stem"});

    g_airportScanLog.clear();
    fs::path titled = dir() / "package2" / "scenery" / "airport.bgl";
    ManifestWriter{}.string("title", "Acme (KXYZ) v2").writeInto(dir() / "package2");
    Airport t = airportAt(titled);
    EXPECT_EQ(gf_icaoCodesForBgl(t, filters), IcaoCode("KXYZ"));
    EXPECT_EQ(g_airportScanLog, std::vector<std::string>{"airport has code 'KXYZ' in title of manifest"});
    ASSERT_TRUE(t.manifest);

    // Nothing anywhere; a stem that fails the second filter; no second filter.
    g_airportScanLog.clear();
    Airport nothing = airportAt(dir() / "package3" / "scenery" / "LFPG.bgl");
    nothing.bglPath = "package3";
    EXPECT_FALSE(gf_icaoCodesForBgl(nothing, filters));
    EXPECT_FALSE(gf_icaoCodesForBgl(nothing, IcaoFilters{known, {}}));
    EXPECT_TRUE(g_airportScanLog.empty());
}

TEST_F(ManifestTest, AFileNameIsACodeOnlyWhenTheAirportsListKnowsIt) {
    tavo::test::writeAirportsEnc(dir(), {tavo::test::airportEntry("EGLL", 51.47, -0.46, 83)});
    gf_unloadAirportsForTests();
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    gf_clearWeeklyTrafficAirports();  // no weekly-traffic list: its test passes every code
    const IcaoFilters scan{gf_isKnownAirport, gf_hasWeeklyTraffic};
    const struct {
        const char* file;
        std::optional<IcaoCode> code;
    } cases[] = {
        {"OBJS.bgl", std::nullopt},
        {"KXYZ.bgl", std::nullopt},
        {"egll.bgl", IcaoCode("EGLL")},
    };
    for (const auto& c : cases) {
        Airport a = airportAt(dir() / "package" / "scenery" / c.file);
        a.bglPath = "package/scenery";  // the code can come from the file name only
        EXPECT_EQ(gf_icaoCodesForBgl(a, scan), c.code) << c.file;
    }
    Airport egll = airportAt(dir() / "package" / "scenery" / "EGLL.bgl");
    egll.bglPath = "package/scenery";
    EXPECT_FALSE(gf_icaoCodesForBgl(egll, IcaoFilters{{}, gf_hasWeeklyTraffic})) << "no airports test, no code";
    gf_unloadAirportsForTests();
}

}  // namespace
