#include "scan/publishers.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/text.h"
#include "support/archives_builder.h"
#include "support/enc_writer.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::ArchivesBuilder;

class PublishersTest : public tavo::test::LogFileTest {
protected:
    void TearDown() override {
        gf_clearPublisherData();
        LogFileTest::TearDown();
    }
    // Writes the file and reads it; the read's result.
    bool readBack(const ArchivesBuilder& b, bool msfs2020 = true) {
        b.writeToInput();
        return gf_readPublishers(msfs2020);
    }
    static ArchivesBuilder minimal() {
        ArchivesBuilder b;
        b.simaddons20 = {"EGLL"};
        b.simaddons24 = {"LFPG"};
        return b;
    }
};

TEST(SplitCommaList, KeepsEmptyPieces) {
    struct Case {
        const char* text;
        std::vector<std::string> pieces;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {" Acme Scenery , ACME", {"Acme Scenery", "ACME"}},
        {"a,", {"a", ""}},
        {",", {"", ""}},
        {"a,,b", {"a", "", "b"}},
    };
    for (const auto& c : cases) EXPECT_EQ(lf_splitCommaList(c.text), c.pieces) << c.text;
}

TEST(ContainsNoCase, ComparesAsciiLettersWithoutCase) {
    EXPECT_TRUE(gf_containsNoCase(std::string_view("C:/x/Asobo-Airport-egll"), "asobo-airport"));
    EXPECT_TRUE(gf_containsNoCase(std::string_view("abc"), ""));
    EXPECT_TRUE(gf_containsNoCase(std::string_view(""), ""));
    EXPECT_FALSE(gf_containsNoCase(std::string_view("ab"), "abc"));
    EXPECT_FALSE(gf_containsNoCase(std::string_view("a-b"), "a_b"));
    // Bytes outside ASCII are compared as they are.
    EXPECT_FALSE(gf_containsNoCase(std::string_view("\xC3\x89"), "\xC3\xA9"));
    EXPECT_TRUE(gf_containsNoCase(std::filesystem::path("/p/ACME-x"), "acme"));
}

TEST_F(PublishersTest, PublisherListsAreSortedDistinctAndMatchWithoutCase) {
    ArchivesBuilder b = minimal();
    b.publishers = {std::string("Zeta Works,ZW"), std::string("Acme Scenery, ACME"), std::string("Zeta Works,ZW"),
                    std::nullopt};
    ASSERT_TRUE(readBack(b));
    ASSERT_EQ(g_publisherNames.size(), 3u);
    EXPECT_TRUE(g_publisherNames[0].empty());  // the missing pn sorts first and names nobody
    EXPECT_EQ(g_publisherNames[1], (std::vector<std::string>{"Acme Scenery", "ACME"}));
    EXPECT_EQ(g_publisherNames[2], (std::vector<std::string>{"Zeta Works", "ZW"}));
    EXPECT_NE(logText().find("    3 publishers\n"), std::string::npos);

    PackageClass c = gf_classifyPackage(std::string_view("Community/acme-airport-kxyz"));
    EXPECT_EQ(c.kind, 0u);
    EXPECT_EQ(c.name, "Acme Scenery");
    EXPECT_EQ(gf_classifyPackage(std::string_view("Community/other-kxyz")).kind, 1u);
    EXPECT_EQ(gf_classifyPackage(std::string_view("")).kind, 2u);
}

TEST_F(PublishersTest, ATrailingCommaGivesAnEmptyNameEveryTextContains) {
    ArchivesBuilder b = minimal();
    b.publishers = {std::string("Acme Scenery,")};
    ASSERT_TRUE(readBack(b));
    ASSERT_EQ(g_publisherNames.size(), 1u);
    EXPECT_EQ(g_publisherNames[0], (std::vector<std::string>{"Acme Scenery", ""}));
    PackageClass c = gf_classifyPackage(std::string_view("anything"));
    EXPECT_EQ(c.kind, 0u);
    EXPECT_EQ(c.name, "Acme Scenery");
}

TEST_F(PublishersTest, RejectedValues) {
    ArchivesBuilder b = minimal();
    b.leftOut = {"rejectedpublishers"};
    ASSERT_TRUE(readBack(b));
    ASSERT_EQ(g_rejectedPublishers.size(), 1u);
    EXPECT_EQ(g_rejectedPublishers.at("fsim"), "FSIM");
    EXPECT_TRUE(gf_isRejectedPublisher("  FSim \t"));
    EXPECT_FALSE(gf_isRejectedPublisher("fsimx"));
    EXPECT_FALSE(gf_isRejectedPublisher("   "));
    EXPECT_NE(logText().find("    1 rejected manifest publisher value\n"), std::string::npos);

    b.leftOut.clear();
    b.rejected = {" Foo , FOO,,bar", "foo"};
    ASSERT_TRUE(readBack(b));
    EXPECT_EQ(g_rejectedPublishers.size(), 2u);
    EXPECT_EQ(g_rejectedPublishers.at("foo"), "Foo");
    EXPECT_EQ(g_rejectedPublishers.at("bar"), "bar");
    EXPECT_FALSE(gf_isRejectedPublisher("fsim"));  // the default only without the section
    EXPECT_NE(logText().find("    2 rejected manifest publisher values\n"), std::string::npos);
}

TEST_F(PublishersTest, OnlyTheSelectedSimulatorsSectionsAreRead) {
    ArchivesBuilder b;
    b.simaddons20 = {"EGLL, KJFK", "EDDF"};
    b.simaddons24 = {"LFPG"};
    b.thirdparties20 = {{"Acme", "KXYZ101", {}}};
    b.thirdparties24 = {{"Zeta", "LFPG", {}}, {"Acme", "", {}}};
    ASSERT_TRUE(readBack(b, true));
    EXPECT_EQ(g_simaddonAirports, (std::set<std::string>{"EDDF", "EGLL", "KJFK"}));
    ASSERT_EQ(g_thirdpartyPublishers.size(), 1u);
    EXPECT_EQ(g_thirdpartyPublishers[0].name, "Acme");
    ASSERT_TRUE(readBack(b, false));
    EXPECT_EQ(g_simaddonAirports, (std::set<std::string>{"LFPG"}));
    ASSERT_EQ(g_thirdpartyPublishers.size(), 2u);
    EXPECT_EQ(g_thirdpartyPublishers[0].name, "Zeta");
    EXPECT_TRUE(g_thirdpartyPublishers[1].entries.empty());
}

TEST_F(PublishersTest, MissingSimaddonSectionThrows61) {
    ArchivesBuilder b = minimal();
    b.leftOut = {"simaddons24"};
    b.writeToInput();
    EXPECT_TRUE(gf_readPublishers(true));
    try {
        gf_readPublishers(false);
        FAIL() << "no exception";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 61);
        EXPECT_STREQ(e.what(), "61: Missing section: simaddons24");
    }
    // Missing thirdparty, publisher and rejected sections are accepted.
    b = minimal();
    b.leftOut = {"publishers", "thirdparties20", "thirdparties24"};
    EXPECT_TRUE(readBack(b));
    EXPECT_TRUE(g_thirdpartyPublishers.empty());
    EXPECT_TRUE(g_publisherNames.empty());
}

TEST_F(PublishersTest, BrokenFilesAndEveryReadStartsEmpty) {
    ArchivesBuilder good = minimal();
    good.publishers = {std::string("Acme")};
    good.thirdparties20 = {{"Acme", "KXYZ", {}}};
    ASSERT_TRUE(readBack(good));
    ASSERT_FALSE(g_publisherNames.empty());

    // Not XML: logged, false, tables empty.
    tavo::test::writeEncryptedFile(archivesEncFile, "<root><publishers>");
    newLogLines();
    EXPECT_FALSE(gf_readPublishers(true));
    EXPECT_NE(newLogLines().find("==> input/archives.enc not read because: "), std::string::npos);
    EXPECT_TRUE(g_publisherNames.empty());
    EXPECT_TRUE(g_simaddonAirports.empty());
    EXPECT_TRUE(g_thirdpartyPublishers.empty());
    EXPECT_TRUE(g_rejectedPublishers.empty());

    ArchivesBuilder noRoot = good;
    noRoot.rootName = "other";
    EXPECT_FALSE(readBack(noRoot));
    EXPECT_NE(newLogLines().find("==> 'input/archives.enc' has no root node\n"), std::string::npos);
    EXPECT_TRUE(g_publisherNames.empty());

    // Undecryptable: the reader's text is thrown.
    tavo::test::writeFile(archivesEncFile, "not encrypted at all, too short for a header");
    EXPECT_THROW(gf_readPublishers(true), std::runtime_error);
    EXPECT_TRUE(g_publisherNames.empty());

    std::filesystem::remove(archivesEncFile);
    try {
        gf_readPublishers(true);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "input/archives.enc not available");
    }
}

class ArchiveMatchTest : public PublishersTest {
protected:
    void SetUp() override {
        PublishersTest::SetUp();
        ArchivesBuilder b = minimal();
        b.thirdparties20 = {
            {"Other", "KXYZ101", {{"KXYZ101", "1.0.1"}}},
            {"Acme", " KXYZ101 , KXYZ110,KXYZ, KXYZ110RC2, KXYZ110RC1, KABC200",
             {{"KXYZ101", "1.0.1"},
              {"KXYZ110", "1.1.0"},
              {"KXYZ110RC2", "1.1.0-RC2"},
              {"KXYZ110RC1", "1.1.0rc1"},
              {"KXYZ999", "9.9.9"},  // names no entry
              {"KABC200", std::nullopt},
              {std::nullopt, "2.0.0"}}},
            {"Acme", "KXYZ500", {{"KXYZ500", "5.0.0"}}},  // only the first Acme counts
            // Names that the version without its dots cannot tell apart, and
            // an unversioned entry named for 2.0 after one whose version is 2.0.
            {"Dots", "KQQQ110,KQQQ1010,KQQQ_2,KQQQ20",
             {{"KQQQ110", "1.1.0"}, {"KQQQ1010", "10.1.0"}, {"KQQQ_2", "2.0"}}},
        };
        ASSERT_TRUE(readBack(b));
    }
};

TEST_F(ArchiveMatchTest, StatusesByVersion) {
    const ThirdpartyPublisher& acme = g_thirdpartyPublishers[1];
    ASSERT_EQ(acme.entries.size(), 6u);
    EXPECT_EQ(acme.entries[0], (std::pair<std::string, std::string>{"KXYZ101", "1.0.1"}));
    EXPECT_EQ(acme.entries[2], (std::pair<std::string, std::string>{"KXYZ", ""}));
    EXPECT_EQ(acme.entries[5], (std::pair<std::string, std::string>{"KABC200", ""}));

    struct Case {
        const char* publisher;
        const char* code;
        const char* version;
        std::uint32_t status;
        const char* entry;
        const char* higher;
    } cases[] = {
        {"Acme", "KXYZ", "1.0.1", 2, "KXYZ101", "1.1.0"},
        {"Acme", "KXYZ", "1.0.5", 3, "", "1.1.0"},
        {"Acme", "KXYZ", "1.2", 0, "", ""},
        {"Acme", "KXYZ", "", 1, "KXYZ", ""},
        {"Acme", "KXYZ", "1.1.0", 1, "KXYZ110", ""},
        {"Acme", "KXYZ", "1.1.0-RC1", 2, "KXYZ110RC1", "1.1.0"},
        {"Acme", "KXYZ", "1.1.0-rc2", 2, "KXYZ110RC2", "1.1.0"},
        {"Acme", "KXYZ", "0.9", 3, "", "1.1.0"},
        {"Acme", "KABC", "2.0.0", 1, "KABC200", ""},  // by the exact key, no version needed
        {"Acme", "KABC", "1.0", 0, "", ""},
        {"acme", "KXYZ", "1.0.1", 0, "", ""},  // names compare exactly
        {"Nobody", "KXYZ", "1.0.1", 0, "", ""},
        {"Other", "KXYZ", "1.0.1", 1, "KXYZ101", ""},
        // An entry that states its version matches that version only.
        {"Dots", "KQQQ", "1.10", 3, "", "10.1.0"},
        {"Dots", "KQQQ", "11.0", 0, "", ""},
        {"Dots", "KQQQ", "1.0.10", 3, "", "10.1.0"},
        {"Dots", "KQQQ", "1.1.0", 2, "KQQQ110", "10.1.0"},
        {"Dots", "KQQQ", "10.1.0", 1, "KQQQ1010", ""},
        // The exact name wins over the version match found before it.
        {"Dots", "KQQQ", "2.0", 2, "KQQQ20", "10.1.0"},
        {"Dots", "KQQQ", "2.0.0", 2, "KQQQ_2", "10.1.0"},
    };
    for (const auto& c : cases) {
        ArchiveMatch m = gf_findPackagePublisher(c.publisher, IcaoCode(c.code), c.version);
        EXPECT_EQ(m.status, c.status) << c.publisher << " " << c.code << " " << c.version;
        EXPECT_EQ(m.entry, c.entry) << c.publisher << " " << c.code << " " << c.version;
        EXPECT_EQ(m.higherVersion, c.higher) << c.publisher << " " << c.code << " " << c.version;
    }
}

}  // namespace
