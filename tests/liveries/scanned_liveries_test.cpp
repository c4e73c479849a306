// The scanned-liveries file: the record order, the writer with its safe
// replacement and every failure on the way, the validation, and the reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/files.h"
#include "foundation/time.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "liveries/scanned_liveries.h"
#include "platform/os/os.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/scanned_liveries_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using tavo::test::ScannedLiveriesBuilder;

namespace {

const fs::path kFile = liveriesScanned2024File;
const fs::path kTemp = fs::path(liveriesScanned2024File) += ".scan_tmp";

AcKey lf_key(std::string_view airline, std::string_view model, std::string_view op = {}, bool cargo = false) {
    AcKey key;
    key.airline = gf_internAirlineCode(airline);
    key.operatorIndex = op.empty() ? 0 : gf_internAirlineCode(op);
    key.model = gf_internModelCode(model);
    key.cargo = cargo ? 1 : 0;
    return key;
}

ScannedLivery lf_livery(std::string_view airline, std::string_view model, std::string title,
                        std::string registration = {}, std::string_view op = {}, bool cargo = false,
                        std::int16_t priority = 1) {
    return ScannedLivery{std::move(title), std::move(registration), lf_key(airline, model, op, cargo), priority};
}

class ScannedLiveriesFile : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        startupChoice.store(std::make_shared<const StartupChoice>());
        scannedLiveries.clear();
        scanTitles.clear();
        liveryTable.clear();
        fs::create_directories(outputDir);
        newLogLines();
    }
    void TearDown() override {
        gf_setScannedLiveriesSaverForTest({});
        gf_osSetFaultHook({});
        scannedLiveries.clear();
        scanTitles.clear();
        liveryTable.clear();
        startupChoice.store(std::make_shared<const StartupChoice>());
        LogFileTest::TearDown();
    }
    // The three records most writer tests use, in the scan's order.
    static std::vector<ScannedLivery> threeRecords() {
        return {lf_livery("DLH", "A320", "Lufthansa A320"),
                lf_livery("KLM", "E190", "KLM Cityhopper E190 & <cargo>", "PH-EXA", "KLC", true),
                lf_livery("BAW", "B77W", "British Airways \"777\"", "G-STBA")};
    }
    static bool tempLeft() {
        std::error_code ec;
        return fs::symlink_status(kTemp, ec).type() != fs::file_type::not_found;
    }
};

// --- order and records -------------------------------------------------------

TEST_F(ScannedLiveriesFile, CompareOrdersByKeyFieldsThenTitleThenRegistration) {
    // Indexes, not texts: DLH comes before BAW in the table (the small database
    // lists airlines sorted, so intern two new codes in reverse order).
    const std::uint16_t zzz = gf_internAirlineCode("ZZZ");
    const std::uint16_t aaa = gf_internAirlineCode("AAA");
    ASSERT_LT(zzz, aaa);
    const ScannedLivery base = lf_livery("DLH", "A320", "T", "R", "KLC", false, 1);
    const auto with = [&base](const std::function<void(ScannedLivery&)>& change) {
        ScannedLivery l = base;
        change(l);
        return l;
    };
    struct Case {
        const char* name;
        ScannedLivery right;
        int expected;  // compare(base, right)
    };
    const Case cases[] = {
        {"same", base, 0},
        {"priority ignored", with([](auto& l) { l.priority = 9; }), 0},
        {"flag ignored", with([](auto& l) { l.key.flag = 1; }), 0},
        {"airline index higher", with([&](auto& l) { l.key.airline = aaa; }), -1},
        {"airline beats title", with([&](auto& l) { l.key.airline = zzz, l.title = "A"; }), -1},
        {"operator lower", with([](auto& l) { l.key.operatorIndex = 0; }), 1},
        {"model higher", with([](auto& l) { l.key.model = static_cast<std::uint16_t>(l.key.model + 1); }), -1},
        {"cargo set", with([](auto& l) { l.key.cargo = 1; }), -1},
        {"cargo beats title", with([](auto& l) { l.key.cargo = 1, l.title = "A"; }), -1},
        {"title lower", with([](auto& l) { l.title = "S"; }), 1},
        {"title beats registration", with([](auto& l) { l.title = "U", l.registration = "A"; }), -1},
        {"registration higher", with([](auto& l) { l.registration = "RR"; }), -1},
        {"registration empty", with([](auto& l) { l.registration.clear(); }), 1},
        {"bytes, not letters", with([](auto& l) { l.title = "t"; }), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lf_compareScannedLiveries(base, c.right), c.expected) << c.name;
        EXPECT_EQ(lf_compareScannedLiveries(c.right, base), -c.expected) << c.name;
    }
}

TEST_F(ScannedLiveriesFile, InvalidWhenAirlineOrModelIndexIsZero) {
    const struct {
        AcKey key;
        bool invalid;
    } cases[] = {
        {lf_key("DLH", "A320"), false},
        {lf_key("DLH", "A320", "KLC", true), false},
        {lf_key("", "A320"), true},
        {lf_key("DLH", ""), true},
        {AcKey{}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lf_isInvalidScannedLivery(ScannedLivery{"t", "", c.key, 1}), c.invalid) << gf_acKeyText(c.key);
    }
}

TEST_F(ScannedLiveriesFile, ATitleMakesOneRecordPerScan) {
    const AcKey key = lf_key("KLM", "B738");
    const ScannedLivery first = lf_makeIVAOLivery(3, key, "KLM 737", "PH-BXA");
    EXPECT_EQ(first, (ScannedLivery{"KLM 737", "PH-BXA", key, 3}));
    EXPECT_FALSE(lf_isInvalidScannedLivery(first));

    const ScannedLivery again = lf_makeIVAOLivery(1, lf_key("DLH", "A320"), "KLM 737", "D-AIBA");
    EXPECT_EQ(again, ScannedLivery{});
    EXPECT_TRUE(lf_isInvalidScannedLivery(again));

    EXPECT_FALSE(lf_isInvalidScannedLivery(lf_makeIVAOLivery(1, key, "KLM 737 (2)", "")));
    EXPECT_EQ(scanTitles, (TitleSet{"KLM 737", "KLM 737 (2)"}));
}

// --- writing -----------------------------------------------------------------

TEST_F(ScannedLiveriesFile, WritesEveryRecordAsTheFileLayoutSays) {
    for (const std::uint32_t sim : {1u, 2u}) {
        SCOPED_TRACE(sim);
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{sim, 0}));
        const fs::path file = sim == 1 ? liveriesScanned2020File : liveriesScanned2024File;
        scannedLiveries = threeRecords();
        ASSERT_TRUE(gf_writeScannedLiveries());
        EXPECT_EQ(newLogLines(), fmt::format("3 liveries in output/LiveriesScanned_MSFS20{}.xml\n", sim == 1 ? 20 : 24));

        // Byte for byte what the test builder makes of the same records.
        ScannedLiveriesBuilder expected;
        expected.sim = std::to_string(sim);
        expected.date = gf_utcDateText();
        expected.livery("DLH", "A320", "Lufthansa A320")
            .livery("KLM", "E190", "KLM Cityhopper E190 & <cargo>", "PH-EXA", "KLC", true)
            .livery("BAW", "B77W", "British Airways \"777\"", "G-STBA");
        EXPECT_EQ(tavo::test::readFile(file), expected.xml());

        // And as a document: meta first, then the `l` elements, attributes in order.
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file(file.c_str()));
        const pugi::xml_node root = doc.child("root");
        EXPECT_STREQ(root.first_child().name(), "meta");
        EXPECT_STREQ(root.first_child().next_sibling().name(), "liveries");
        const auto meta = gf_readDataFileMeta(doc, false);
        ASSERT_TRUE(meta.has_value());
        EXPECT_EQ(meta->version, "16.8.0");
        EXPECT_EQ(meta->sim, sim);
        std::vector<std::string> attributeLists;
        for (const pugi::xml_node& l : root.child("liveries").children()) {
            std::string names = l.name() + std::string(":");
            for (const pugi::xml_attribute& a : l.attributes()) names += a.name();
            attributeLists.push_back(names);
        }
        EXPECT_EQ(attributeLists, (std::vector<std::string>{"l:amt", "l:aomctr", "l:amtr"}));
        EXPECT_FALSE(fs::exists(fs::path(file) += ".scan_tmp"));
    }
}

TEST_F(ScannedLiveriesFile, AnEmptyResultWritesAndLogsNothing) {
    for (const bool fileBefore : {false, true}) {
        SCOPED_TRACE(fileBefore);
        if (fileBefore) ScannedLiveriesBuilder::generated(2).writeToOutput();
        const std::string before = tavo::test::readFile(kFile);
        scannedLiveries.clear();
        EXPECT_FALSE(gf_writeScannedLiveries());
        EXPECT_EQ(fs::exists(kFile), fileBefore);
        EXPECT_EQ(tavo::test::readFile(kFile), before);
        EXPECT_FALSE(tempLeft());
        EXPECT_EQ(newLogLines(), "");
    }
}

TEST_F(ScannedLiveriesFile, AFirstWriteAndALaterWriteBothPutTheFileInPlace) {
    ASSERT_FALSE(fs::exists(kFile));
    scannedLiveries = threeRecords();
    ASSERT_TRUE(gf_writeScannedLiveries());
    ASSERT_TRUE(gf_readScannedLiveries());
    EXPECT_EQ(liveryTable.size(), 3u);

    scannedLiveries = {lf_livery("EZY", "A20N", "easyJet neo")};
    ASSERT_TRUE(gf_writeScannedLiveries());
    EXPECT_FALSE(tempLeft());
    ASSERT_TRUE(gf_readScannedLiveries());
    ASSERT_EQ(liveryTable.size(), 1u);
    EXPECT_EQ(liveryTable[0].title, "easyJet neo");
    EXPECT_EQ(newLogLines(), "3 liveries in output/LiveriesScanned_MSFS2024.xml\n"
                             "    3 liveries read from output/LiveriesScanned_MSFS2024.xml\n"
                             "1 liveries in output/LiveriesScanned_MSFS2024.xml\n"
                             "    1 liveries read from output/LiveriesScanned_MSFS2024.xml\n");
}

TEST_F(ScannedLiveriesFile, AStaleTemporaryFileIsRemovedBeforeTheNewOneIsWritten) {
    // A stale temporary that is a link: writing through it would change the
    // file it points at.
    tavo::test::writeFile("victim.txt", "keep me");
    fs::create_symlink(fs::absolute("victim.txt"), kTemp);
    scannedLiveries = threeRecords();
    ASSERT_TRUE(gf_writeScannedLiveries());
    EXPECT_EQ(tavo::test::readFile("victim.txt"), "keep me");
    EXPECT_EQ(fs::symlink_status(kFile).type(), fs::file_type::regular);
    EXPECT_FALSE(tempLeft());
    EXPECT_TRUE(lf_validateScannedLiveriesFile(kFile, 3));
}

TEST_F(ScannedLiveriesFile, AFailureAtEachStepKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string tempText = "output/LiveriesScanned_MSFS2024.xml.scan_tmp";
    const auto failOn = [](OsOperation op, const fs::path& path, std::errc error) {
        gf_osSetFaultHook([op, path, error](OsOperation o, const fs::path& from, const fs::path&) {
            return o == op && from == path ? std::make_error_code(error) : std::error_code{};
        });
    };
    const auto saveEdited = [](std::function<void(pugi::xml_document&)> edit) {
        gf_setScannedLiveriesSaverForTest([edit](pugi::xml_document& doc, const fs::path& path) {
            edit(doc);
            return gf_saveXmlDocument(doc, path);
        });
    };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string logged;
        bool oldFile = true;  // a readable old file is in place before the write
    };
    const std::vector<Case> cases = {
        {"stale temporary not removable",
         [&] { failOn(OsOperation::remove, kTemp, std::errc::permission_denied); },
         "==> Cannot remove stale temporary livery scan file " + tempText + ": Permission denied\n"},
        {"save fails half-way",
         [] {
             gf_setScannedLiveriesSaverForTest([](pugi::xml_document&, const fs::path& path) {
                 tavo::test::writeFile(path, "<?xml version=\"1.0\"?>\n<root>\n  <meta>");
                 return false;
             });
         },
         "==> Cannot write temporary livery scan file " + tempText + "\n"},
        {"fewer l elements",
         [&] {
             saveEdited([](pugi::xml_document& doc) {
                 pugi::xml_node liveries = doc.child("root").child("liveries");
                 liveries.remove_child(liveries.last_child());
             });
         },
         "==> Temporary livery scan file " + tempText + " failed validation\n"},
        {"an l without m",
         [&] {
             saveEdited([](pugi::xml_document& doc) {
                 doc.child("root").child("liveries").first_child().remove_attribute("m");
             });
         },
         "==> Temporary livery scan file " + tempText + " failed validation\n"},
        {"status of the file unknown",
         [] {
             fs::remove(kFile);
             fs::create_symlink(kFile.filename(), kFile);  // a link to itself
         },
         "==> Cannot inspect output/LiveriesScanned_MSFS2024.xml before replacing it: "
         "Too many levels of symbolic links\n",
         false},
        {"replace fails",
         [&] { failOn(OsOperation::move, kTemp, std::errc::io_error); },
         "==> Cannot replace output/LiveriesScanned_MSFS2024.xml after the livery scan: Input/output error\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(kFile);
        ScannedLiveriesBuilder::generated(5).writeToOutput();
        c.arrange();
        const std::string before = tavo::test::readFile(kFile);
        const auto typeBefore = fs::symlink_status(kFile).type();
        newLogLines();
        scannedLiveries = threeRecords();

        EXPECT_FALSE(gf_writeScannedLiveries());
        gf_setScannedLiveriesSaverForTest({});
        gf_osSetFaultHook({});

        EXPECT_EQ(newLogLines(), c.logged);
        EXPECT_FALSE(tempLeft());
        EXPECT_EQ(fs::symlink_status(kFile).type(), typeBefore);
        if (c.oldFile) {
            EXPECT_EQ(tavo::test::readFile(kFile), before);
            ASSERT_TRUE(gf_readScannedLiveries());
            EXPECT_EQ(liveryTable.size(), 5u);
        }
    }
}

TEST_F(ScannedLiveriesFile, AStaleTemporaryFolderStopsTheWrite) {
    ScannedLiveriesBuilder::generated(2).writeToOutput();
    const std::string before = tavo::test::readFile(kFile);
    fs::create_directories(kTemp / "inside");
    scannedLiveries = threeRecords();
    EXPECT_FALSE(gf_writeScannedLiveries());
    EXPECT_EQ(newLogLines(), "==> Cannot remove stale temporary livery scan file "
                             "output/LiveriesScanned_MSFS2024.xml.scan_tmp: Is a directory\n");
    EXPECT_EQ(tavo::test::readFile(kFile), before);
    EXPECT_TRUE(fs::is_directory(kTemp / "inside"));
}

// --- validation --------------------------------------------------------------

TEST_F(ScannedLiveriesFile, ValidationWantsRootLiveriesAndEveryLWithAMAndT) {
    const auto three = [] { return ScannedLiveriesBuilder::generated(3); };
    const auto without = [&](const char* attribute) {
        ScannedLiveriesBuilder b = three();
        ScannedLiveriesBuilder::Record& r = b.records[1];
        (attribute[0] == 'a' ? r.a : attribute[0] == 'm' ? r.m : r.t).reset();
        return b;
    };
    struct Case {
        const char* name;
        std::string text;
        std::size_t expected;
        bool valid;
    };
    ScannedLiveriesBuilder otherElement = three();
    otherElement.add({{"DLH"}, {}, {}, {}, {}, {}, "x"});  // not an `l`: neither counted nor checked
    ScannedLiveriesBuilder noMeta = three();
    noMeta.withMeta = false;
    ScannedLiveriesBuilder noLiveries = three();
    noLiveries.liveriesName.reset();
    ScannedLiveriesBuilder otherRoot = three();
    otherRoot.rootName = "data";
    ScannedLiveriesBuilder optionalOnes;
    optionalOnes.add({{"DLH"}, {}, {"A320"}, {}, {"Bare"}, {}});
    const std::vector<Case> cases = {
        {"as written", three().xml(), 3, true},
        {"only a, m and t", optionalOnes.xml(), 1, true},
        {"no meta", noMeta.xml(), 3, true},
        {"other elements ignored", otherElement.xml(), 3, true},
        {"fewer than expected", three().xml(), 4, false},
        {"more than expected", three().xml(), 2, false},
        {"l without a", without("a").xml(), 3, false},
        {"l without m", without("m").xml(), 3, false},
        {"l without t", without("t").xml(), 3, false},
        {"no liveries", noLiveries.xml(), 0, false},
        {"no root", otherRoot.xml(), 3, false},
        {"cut short", three().xml().substr(0, 300), 3, false},
        {"empty", "", 0, false},
    };
    for (const Case& c : cases) {
        tavo::test::writeFile("check.xml", c.text);
        EXPECT_EQ(lf_validateScannedLiveriesFile("check.xml", c.expected), c.valid) << c.name;
    }
    EXPECT_FALSE(lf_validateScannedLiveriesFile("missing.xml", 0));
}

// --- reading -----------------------------------------------------------------

TEST_F(ScannedLiveriesFile, AFileThatCannotBeReadWholeLeavesTheTableAndLogsWhy) {
    const std::string path = "output/LiveriesScanned_MSFS2024.xml";
    const auto edited = [](std::function<void(ScannedLiveriesBuilder&)> edit) {
        ScannedLiveriesBuilder b = ScannedLiveriesBuilder::generated(3);
        edit(b);
        return b.xml();
    };
    const std::string broken = "<root><liveries><l a=\"DLH\" m=\"A320\" t=\"x\"></liveries></root>";
    pugi::xml_document probe;
    const std::string brokenWhy = probe.load_string(broken.c_str()).description();
    struct Case {
        const char* name;
        std::optional<std::string> text;  // none: no file
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"no file", std::nullopt, "51: Could not open " + path},
        {"not XML", broken, "51: Error reading " + path + ": " + brokenWhy},
        {"no root", edited([](auto& b) { b.rootName = "data"; }), "52: " + path + " does not contain <root>"},
        {"no liveries", edited([](auto& b) { b.liveriesName.reset(); }),
         "52: " + path + " does not contain a <liveries> section"},
        {"no a", edited([](auto& b) { b.records[2].a.reset(); }), "999: Missing required attribute 'a' in <l>"},
        {"no m", edited([](auto& b) { b.records[0].m.reset(); }), "999: Missing required attribute 'm' in <l>"},
        {"no t", edited([](auto& b) { b.records[1].t.reset(); }), "999: Missing required attribute 't' in <l>"},
        {"a before m", edited([](auto& b) { b.records[1].m.reset(), b.records[1].a.reset(); }),
         "999: Missing required attribute 'a' in <l>"},
        {"other element name", edited([](auto& b) { b.records[1].t.reset(), b.records[1].element = "x"; }),
         "999: Missing required attribute 't' in <x>"},
        {"no records", edited([](auto& b) { b.records.clear(); }), "533: " + path + " does not contain liveries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(kFile);
        if (c.text) tavo::test::writeFile(kFile, *c.text);
        liveryTable = {lf_livery("DLH", "A320", "earlier")};
        newLogLines();
        EXPECT_FALSE(gf_readScannedLiveries());
        EXPECT_EQ(newLogLines(), c.logged + "\n");
        ASSERT_EQ(liveryTable.size(), 1u);
        EXPECT_EQ(liveryTable[0].title, "earlier");
    }
}

TEST_F(ScannedLiveriesFile, ReadsEveryElementSortedWithItsCodesAndFlags) {
    ScannedLiveriesBuilder b;
    b.add({{"KLM"}, {}, {"B738"}, {"false"}, {"KLM false"}, {}});
    b.add({{"KLM"}, {}, {"B738"}, {}, {"KLM absent"}, {"PH-BXA"}});
    b.add({{"KLM"}, {}, {"B738"}, {"true"}, {"KLM cargo"}, {}});
    b.add({{"QQQ"}, {}, {"B738"}, {}, {"new airline"}, {}, "x"});
    b.add({{"DLH"}, {"KLC"}, {"A320"}, {}, {"same"}, {"D-B"}});
    b.add({{"DLH"}, {"KLC"}, {"A320"}, {}, {"same"}, {"D-A"}});
    b.add({{"DLH"}, {}, {"A32N"}, {}, {"fixed model"}, {}});
    b.writeToOutput();
    const std::size_t airlinesBefore = gf_airlineCodeCount();
    ASSERT_TRUE(gf_readScannedLiveries());
    EXPECT_EQ(newLogLines(), "    7 liveries read from output/LiveriesScanned_MSFS2024.xml\n");
    // QQQ was not in the tables: it gets the next index and reads back as itself.
    EXPECT_EQ(gf_internAirlineCode("QQQ"), airlinesBefore);
    const AcKey dlhKlc = lf_key("DLH", "A320", "KLC");
    const std::vector<ScannedLivery> expected = {
        // DLH (index below KLM), operator none before KLC; A32N reads as A20N.
        ScannedLivery{"fixed model", "", lf_key("DLH", "A20N"), 0},
        ScannedLivery{"same", "D-A", dlhKlc, 0},
        ScannedLivery{"same", "D-B", dlhKlc, 0},
        ScannedLivery{"KLM absent", "PH-BXA", lf_key("KLM", "B738"), 0},
        ScannedLivery{"KLM false", "", lf_key("KLM", "B738"), 0},
        ScannedLivery{"KLM cargo", "", lf_key("KLM", "B738", {}, true), 0},
        ScannedLivery{"new airline", "", lf_key("QQQ", "B738"), 0},
    };
    EXPECT_EQ(liveryTable, expected);
    for (const ScannedLivery& l : liveryTable) EXPECT_EQ(l.key.flag, 0) << l.title;
}

TEST_F(ScannedLiveriesFile, WhatIsWrittenReadsBackAsTheSortedRecords) {
    const ScannedLiveriesBuilder generated = ScannedLiveriesBuilder::generated(200);
    for (const auto& r : generated.records)
        scannedLiveries.push_back(ScannedLivery{*r.t, r.r.value_or(""),
                                                lf_key(*r.a, *r.m, r.o.value_or(""), r.c.has_value()), 4});
    ASSERT_TRUE(gf_writeScannedLiveries());
    ASSERT_TRUE(gf_readScannedLiveries());
    std::vector<ScannedLivery> expected = scannedLiveries;
    for (auto& l : expected) l.priority = 0;
    std::sort(expected.begin(), expected.end(),
              [](const auto& a, const auto& b) { return lf_compareScannedLiveries(a, b) < 0; });
    EXPECT_EQ(liveryTable, expected);
}

}  // namespace
