#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/time.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::readFile;
using tavo::test::writeFile;

pugi::xml_document parse(const std::string& text) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str())) << text;
    return doc;
}

using XmlLogTest = tavo::test::LogFileTest;

TEST(XmlAttributeTest, OptionalBoolAndAppendedAttributes) {
    const pugi::xml_document doc =
        parse(R"(<p a="" t1=" TRUE " t2="yes" t3="On" t4="1" f1="false" f2="NO" f3="off " f4=" 0" u="2" n="truely"/>)");
    const pugi::xml_node p = doc.child("p");
    EXPECT_EQ(gf_optionalAttribute(p, "a"), std::string());
    EXPECT_FALSE(gf_optionalAttribute(p, "missing").has_value());
    for (const char* name : {"t1", "t2", "t3", "t4"}) EXPECT_EQ(gf_readBoolAttribute(p, name), true) << name;
    for (const char* name : {"f1", "f2", "f3", "f4"}) EXPECT_EQ(gf_readBoolAttribute(p, name), false) << name;
    for (const char* name : {"u", "n", "a", "missing"}) EXPECT_FALSE(gf_readBoolAttribute(p, name)) << name;

    pugi::xml_document out;
    pugi::xml_node e = out.append_child("e");
    EXPECT_TRUE(gf_appendXmlAttribute(e, "a", "1 < 2"));
    EXPECT_TRUE(gf_appendBoolAttribute(e, "f", false));
    EXPECT_FALSE(gf_appendXmlAttribute(pugi::xml_node(), "a", "1"));
    std::ostringstream text;
    out.save(text, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(text.str(), R"(<e a="1 &lt; 2" f="false"/>)");
}

TEST_F(XmlLogTest, SaveAddsTheDeclarationAndIndents) {
    pugi::xml_document doc;
    doc.append_child("root").append_child("child").append_attribute("v") = "\xC3\xA9";
    ASSERT_TRUE(gf_saveXmlDocument(doc, "out.xml"));
    EXPECT_EQ(readFile("out.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <child v=\"\xC3\xA9\" />\n</root>\n");
    pugi::xml_document other = parse("<?xml version=\"0.9\"?><a/>");  // completed, not doubled
    ASSERT_TRUE(gf_saveXmlDocument(other, "other.xml"));
    EXPECT_EQ(readFile("other.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a />\n");
    EXPECT_FALSE(gf_saveXmlDocument(doc, "no/such/folder/out.xml"));
}

TEST_F(XmlLogTest, WriterOutputOfTheMetaBlock) {
    pugi::xml_document doc = parse("<root><meta/><data/><meta/></root>");
    DataFileMeta meta;
    meta.version = g_programVersion.toString();
    meta.sim = 2;
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));
    // Old blocks go; the one new block follows the content of the root.
    const pugi::xml_node root = doc.child("root");
    EXPECT_STREQ(root.first_child().name(), "data");
    EXPECT_STREQ(root.last_child().name(), "meta");
    EXPECT_FALSE(root.child("meta").next_sibling("meta"));
    std::string entries;
    for (const pugi::xml_node info : root.child("meta").children("info")) {
        EXPECT_STREQ(info.first_attribute().name(), "name");
        EXPECT_STREQ(info.first_attribute().next_attribute().name(), "value");
        entries += std::string(info.attribute("name").value()) + "=" + info.attribute("value").value() + ";";
    }
    EXPECT_EQ(entries, "author=TAVO;version=16.8.0;date=" + gf_utcDateText() + ";copyright=" +
                           std::string(kDataFileCopyright) + ";sim=2;");
    // What the writer wrote, the reader accepts.
    const auto read = gf_readDataFileMeta(doc, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->version, "16.8.0");
    EXPECT_EQ(read->sim, 2u);
    // All bits set is written as the signed value.
    meta.sim = kNoSimValue;
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));
    EXPECT_STREQ(doc.child("root").child("meta").last_child().attribute("value").value(), "-1");
    EXPECT_EQ(newLogLines(), "");
}

std::string metaDoc(const std::string& infos) { return "<root><meta>" + infos + "</meta><x/></root>"; }
std::string info(const std::string& name, const std::string& value) {
    return "<info name=\"" + name + "\" value=\"" + value + "\"/>";
}
const std::string kCopy = info("copyright", "(c)");

TEST_F(XmlLogTest, ReaderRules) {
    // First occurrence wins; unknown and nameless entries are ignored.
    const auto m = gf_readDataFileMeta(parse(metaDoc(info("author", "A") + info("author", "B") + kCopy + info("", "x") +
                                                     info("other", "y") + info("sim", "1") + info("version", "1.2"))),
                                       false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->author, "A");
    EXPECT_EQ(m->version, "1.2");
    EXPECT_EQ(m->sim, 1u);
    // A meta block directly under the document counts too.
    EXPECT_TRUE(gf_readDataFileMeta(parse("<meta>" + kCopy + info("sim", "2") + "</meta>"), false));
    // No meta, no copyright: refused silently.
    EXPECT_FALSE(gf_readDataFileMeta(parse("<root><x/></root>"), true));
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(info("sim", "1"))), true));
    EXPECT_EQ(newLogLines(), "");
    // An empty copyright stops the walk even when valid entries follow ...
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(info("copyright", "") + kCopy + info("sim", "1"))), true));
    EXPECT_EQ(newLogLines(), "==> no copyright info in the file?\n");
    // ... but a later empty copyright does not undo an earlier one.
    EXPECT_TRUE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("copyright", "") + info("sim", "1"))), false));
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(XmlLogTest, SimValuesInTheStrictAndLenientForms) {
    const auto sim = [](const std::string& infos, bool lenient) {
        const auto m = gf_readDataFileMeta(parse(metaDoc(kCopy + infos)), lenient);
        return m ? static_cast<std::int64_t>(m->sim) : std::int64_t{-2};
    };
    constexpr std::int64_t kRefused = -2;
    const std::string invalid = "==> invalid sim info in the file\n";
    const std::string unsupported = "==> unsupported sim info in the file\n";
    struct Case {
        std::string infos;
        bool lenient;
        std::int64_t sim;
        std::string logged;
    };
    const Case cases[] = {
        {info("sim", " +2&#9;"), false, 2, ""},
        {info("sim", "abc"), false, kRefused, invalid},
        {info("sim", "2x") + info("sim", "3"), false, 3, invalid},  // a later valid entry still counts
        {info("sim", "4"), false, kRefused, unsupported},
        {info("sim", "0"), false, kRefused, unsupported},
        {info("sim", "4"), true, 4, ""},  // the lenient form does not check the simulator
        {"", true, static_cast<std::int64_t>(kNoSimValue), ""},
        {info("MSFS", "2020"), false, static_cast<std::int64_t>(kNoSimValue), ""},  // legacy entries
        {info("P3D", "v5"), false, static_cast<std::int64_t>(kNoSimValue), ""},
        {info("MSFS", "2022"), false, kRefused, unsupported},
        {info("P3D", ""), false, kRefused, unsupported},
        {info("author", "A"), false, kRefused, ""},  // no simulator named at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sim(c.infos, c.lenient), c.sim) << c.infos;
        EXPECT_EQ(newLogLines(), c.logged) << c.infos;
    }
}

class SafeSaveTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        gf_osSetFaultHook({});
        TempWorkDirTest::TearDown();
    }
    static void failOn(OsOperation failing) {
        gf_osSetFaultHook([failing](OsOperation op, const fs::path&, const fs::path&) {
            return op == failing ? std::make_error_code(std::errc::io_error) : std::error_code();
        });
    }
    const fs::path target{"parameters.xml"};
    const fs::path tmp{"parameters.xml.tmp"};
    const fs::path bak{"parameters.xml.bak"};
};

TEST_F(SafeSaveTest, ReplacesAndKeepsTheVerifiedPrevious) {
    pugi::xml_document first = parse("<parameters v=\"1\"/>");
    pugi::xml_document second = parse("<parameters v=\"2\"/>");
    ASSERT_TRUE(gf_saveXmlDocumentSafely(first, target));
    EXPECT_FALSE(fs::exists(bak));  // nothing to keep yet
    writeFile(tmp, "garbage");      // a stale temporary file from an earlier crash
    ASSERT_TRUE(gf_saveXmlDocumentSafely(second, target));
    EXPECT_NE(readFile(target).find("v=\"2\""), std::string::npos);
    EXPECT_NE(readFile(bak).find("v=\"1\""), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(SafeSaveTest, EveryFailedStepKeepsTheOldFiles) {
    writeFile(target, "<parameters old=\"1\"/>");
    writeFile(bak, "<parameters older=\"1\"/>");
    const auto unchanged = [&](const char* step) {
        EXPECT_EQ(readFile(target), "<parameters old=\"1\"/>") << step;
        EXPECT_EQ(readFile(bak), "<parameters older=\"1\"/>") << step;
        EXPECT_FALSE(fs::exists(tmp)) << step;
    };
    pugi::xml_document empty;  // does not read back as a document
    EXPECT_FALSE(gf_saveXmlDocumentSafely(empty, target));
    unchanged("empty document");
    pugi::xml_document doc = parse("<parameters new=\"1\"/>");
    fs::create_directory(tmp);
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    fs::remove(tmp);
    unchanged("temporary file cannot be created");
    failOn(OsOperation::copy);
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    unchanged("copy to .bak");
    // The final move fails: .bak already holds the verified old content,
    // equal to the file that stays.
    failOn(OsOperation::move);
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    EXPECT_EQ(readFile(target), "<parameters old=\"1\"/>");
    EXPECT_EQ(readFile(bak), "<parameters old=\"1\"/>");
    EXPECT_FALSE(fs::exists(tmp));
    gf_osSetFaultHook({});
    EXPECT_TRUE(gf_saveXmlDocumentSafely(doc, target));
    EXPECT_NE(readFile(target).find("new=\"1\""), std::string::npos);
}

}  // namespace
