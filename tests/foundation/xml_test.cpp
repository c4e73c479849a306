#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

pugi::xml_document parse(const std::string& text) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str())) << text;
    return doc;
}

class XmlLogTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
        gf_flushLog();
        start_ = readFile("Log.txt").size();
    }
    void TearDown() override {
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    std::string newLines() {
        gf_flushLog();
        const std::string all = readFile("Log.txt");
        const std::string added = all.substr(start_);
        start_ = all.size();
        return added;
    }
    std::size_t start_ = 0;
};

TEST(XmlAttributeTest, OptionalAndBoolAttributes) {
    const pugi::xml_document doc = parse(
        R"(<p a="" b="x" t1=" TRUE " t2="yes" t3="On" t4="1" f1="false" f2="NO" f3="off " f4=" 0" u="2" w="  " n="truely"/>)");
    const pugi::xml_node p = doc.child("p");
    EXPECT_EQ(gf_optionalAttribute(p, "a"), std::string());
    EXPECT_EQ(gf_optionalAttribute(p, "b"), std::string("x"));
    EXPECT_FALSE(gf_optionalAttribute(p, "missing").has_value());
    for (const char* name : {"t1", "t2", "t3", "t4"}) {
        EXPECT_EQ(gf_readBoolAttribute(p, name), true) << name;
    }
    for (const char* name : {"f1", "f2", "f3", "f4"}) {
        EXPECT_EQ(gf_readBoolAttribute(p, name), false) << name;
    }
    for (const char* name : {"u", "w", "n", "a", "missing"}) {
        EXPECT_FALSE(gf_readBoolAttribute(p, name).has_value()) << name;
    }
}

TEST(XmlAttributeTest, AppendingAttributes) {
    pugi::xml_document doc;
    pugi::xml_node e = doc.append_child("e");
    EXPECT_TRUE(gf_appendXmlAttribute(e, "a", "1 < 2"));
    EXPECT_TRUE(gf_appendStringAttribute(e, "s", std::string("text")));
    EXPECT_TRUE(gf_appendBoolAttribute(e, "t", true));
    EXPECT_TRUE(gf_appendBoolAttribute(e, "f", false));
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(out.str(), R"(<e a="1 &lt; 2" s="text" t="true" f="false"/>)");
    EXPECT_FALSE(gf_appendXmlAttribute(pugi::xml_node(), "a", "1"));
    EXPECT_FALSE(gf_appendBoolAttribute(pugi::xml_node(), "a", true));
}

TEST_F(XmlLogTest, SaveAddsTheDeclarationAndIndents) {
    pugi::xml_document doc;
    doc.append_child("root").append_child("child").append_attribute("v") = "\xC3\xA9";
    ASSERT_TRUE(gf_saveXmlDocument(doc, "out.xml"));
    EXPECT_EQ(readFile("out.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <child v=\"\xC3\xA9\" />\n</root>\n");
    // An existing declaration is completed, not doubled.
    pugi::xml_document other = parse("<?xml version=\"0.9\"?><a/>");
    ASSERT_TRUE(gf_saveXmlDocument(other, "other.xml"));
    EXPECT_EQ(readFile("other.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a />\n");
    EXPECT_FALSE(gf_saveXmlDocument(doc, "no/such/folder/out.xml"));
}

TEST_F(XmlLogTest, WriterOutputOfTheMetaBlock) {
    pugi::xml_document doc;
    DataFileMeta meta;
    meta.version = g_programVersion.toString();
    meta.sim = 2;
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));  // a second write replaces the block
    const pugi::xml_node root = doc.child("root");
    ASSERT_TRUE(root);
    ASSERT_TRUE(root.child("meta"));
    EXPECT_FALSE(root.child("meta").next_sibling("meta"));
    std::vector<std::pair<std::string, std::string>> entries;
    for (const pugi::xml_node info : root.child("meta").children("info")) {
        EXPECT_STREQ(info.first_attribute().name(), "name");
        EXPECT_STREQ(info.first_attribute().next_attribute().name(), "value");
        entries.emplace_back(info.attribute("name").value(), info.attribute("value").value());
    }
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"author", "TAVO"}));
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"version", "16.8.0"}));
    EXPECT_EQ(entries[2].first, "date");
    EXPECT_EQ(entries[2].second, gf_utcDateText());
    EXPECT_EQ(entries[3].first, "copyright");
    EXPECT_EQ(entries[3].second, std::string(kDataFileCopyright));
    EXPECT_EQ(entries[4], (std::pair<std::string, std::string>{"sim", "2"}));
    // What the writer wrote, the reader accepts.
    const auto read = gf_readDataFileMeta(doc, false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->author, "TAVO");
    EXPECT_EQ(read->version, "16.8.0");
    EXPECT_EQ(read->sim, 2u);
    // All bits set is written as the signed value.
    meta.sim = kNoSimValue;
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));
    EXPECT_STREQ(doc.child("root").child("meta").last_child().attribute("value").value(), "-1");
    EXPECT_EQ(newLines(), "");
}

TEST_F(XmlLogTest, MetaBlockGoesAfterExistingContentOfRoot) {
    pugi::xml_document doc = parse("<root><meta/><data/><meta/></root>");
    DataFileMeta meta;
    meta.sim = 1;
    ASSERT_TRUE(gf_writeDataFileMeta(doc, meta));
    EXPECT_STREQ(doc.child("root").first_child().name(), "data");
    EXPECT_STREQ(doc.child("root").last_child().name(), "meta");
    EXPECT_EQ(std::distance(doc.child("root").children("meta").begin(), doc.child("root").children("meta").end()),
              1);
}

std::string metaDoc(const std::string& infos, bool withRoot = true) {
    const std::string block = "<meta>" + infos + "</meta>";
    return withRoot ? "<root>" + block + "<x/></root>" : block;
}
std::string info(const std::string& name, const std::string& value) {
    return "<info name=\"" + name + "\" value=\"" + value + "\"/>";
}
const std::string kCopy = info("copyright", "(c)");

TEST_F(XmlLogTest, ReaderRules) {
    {  // first occurrence wins; unknown and nameless entries are ignored
        const auto m = gf_readDataFileMeta(parse(metaDoc(info("author", "A") + info("author", "B") + kCopy +
                                                         info("", "x") + info("other", "y") + info("sim", "1") +
                                                         info("version", "1.2") + info("date", "d"))),
                                           false);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->author, "A");
        EXPECT_EQ(m->version, "1.2");
        EXPECT_EQ(m->date, "d");
        EXPECT_EQ(m->sim, 1u);
    }
    {  // a meta block directly under the document
        const auto m = gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "2"), false)), false);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sim, 2u);
    }
    // no meta, no copyright: refused silently
    EXPECT_FALSE(gf_readDataFileMeta(parse("<root><x/></root>"), true));
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(info("sim", "1"))), true));
    EXPECT_EQ(newLines(), "");
    // an empty copyright stops the walk even when valid entries follow
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(info("copyright", "") + kCopy + info("sim", "1"))), true));
    EXPECT_EQ(newLines(), "==> no copyright info in the file?\n");
    // ... but a later empty copyright does not undo an earlier one
    EXPECT_TRUE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("copyright", "") + info("sim", "1"))), false));
    EXPECT_EQ(newLines(), "");
    // a missing value attribute is an empty value
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc("<info name=\"copyright\"/>" + info("sim", "1"))), true));
    EXPECT_EQ(newLines(), "==> no copyright info in the file?\n");
}

TEST_F(XmlLogTest, SimValues) {
    {
        const auto m = gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", " +2&#9;"))), false);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sim, 2u);
    }
    EXPECT_EQ(newLines(), "");
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "abc"))), false));
    EXPECT_EQ(newLines(), "==> invalid sim info in the file\n");
    {  // an invalid entry does not block a later valid one
        const auto m =
            gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "2x") + info("sim", "3"))), false);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sim, 3u);
        EXPECT_EQ(newLines(), "==> invalid sim info in the file\n");
    }
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "4"))), false));
    EXPECT_EQ(newLines(), "==> unsupported sim info in the file\n");
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "0"))), false));
    EXPECT_EQ(newLines(), "==> unsupported sim info in the file\n");
    {  // the lenient form does not check the simulator
        const auto m = gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "4"))), true);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sim, 4u);
        const auto none = gf_readDataFileMeta(parse(metaDoc(kCopy)), true);
        ASSERT_TRUE(none);
        EXPECT_EQ(none->sim, kNoSimValue);
    }
    {  // legacy entries
        const auto m = gf_readDataFileMeta(parse(metaDoc(kCopy + info("MSFS", "2020"))), false);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sim, kNoSimValue);
        EXPECT_EQ(m->msfs, "2020");
        EXPECT_TRUE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("MSFS", "2024"))), false));
        EXPECT_TRUE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("P3D", "v5"))), false));
    }
    EXPECT_EQ(newLines(), "");
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("MSFS", "2022"))), false));
    EXPECT_EQ(newLines(), "==> unsupported sim info in the file\n");
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("P3D", ""))), false));
    EXPECT_EQ(newLines(), "==> unsupported sim info in the file\n");
    // no simulator named at all: refused silently in the strict form
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("author", "A"))), false));
    EXPECT_FALSE(gf_readDataFileMeta(parse(metaDoc(kCopy + info("sim", "abc"))), false));
    EXPECT_EQ(newLines(), "==> invalid sim info in the file\n");
}

class SafeSaveTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        gf_osSetFaultHook({});
        TempWorkDirTest::TearDown();
    }
    const fs::path target{"parameters.xml"};
    const fs::path tmp{"parameters.xml.tmp"};
    const fs::path bak{"parameters.xml.bak"};
};

TEST_F(SafeSaveTest, ReplacesAndKeepsTheVerifiedPrevious) {
    pugi::xml_document first = parse("<parameters><parameter name=\"A\" value=\"1\"/></parameters>");
    ASSERT_TRUE(gf_saveXmlDocumentSafely(first, target));
    EXPECT_NE(readFile(target).find("value=\"1\""), std::string::npos);
    EXPECT_FALSE(fs::exists(bak));  // nothing to keep yet
    EXPECT_FALSE(fs::exists(tmp));
    pugi::xml_document second = parse("<parameters><parameter name=\"A\" value=\"2\"/></parameters>");
    ASSERT_TRUE(gf_saveXmlDocumentSafely(second, target));
    EXPECT_NE(readFile(target).find("value=\"2\""), std::string::npos);
    EXPECT_NE(readFile(bak).find("value=\"1\""), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp));
    // A stale temporary file from an earlier crash does not disturb the save.
    writeFile(tmp, "garbage");
    pugi::xml_document third = parse("<parameters><parameter name=\"A\" value=\"3\"/></parameters>");
    ASSERT_TRUE(gf_saveXmlDocumentSafely(third, target));
    EXPECT_NE(readFile(target).find("value=\"3\""), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(SafeSaveTest, EveryFailedStepKeepsTheOldFiles) {
    writeFile(target, "<parameters old=\"1\"/>");
    writeFile(bak, "<parameters older=\"1\"/>");
    const auto unchanged = [&] {
        EXPECT_EQ(readFile(target), "<parameters old=\"1\"/>");
        EXPECT_EQ(readFile(bak), "<parameters older=\"1\"/>");
        EXPECT_FALSE(fs::exists(tmp));
    };
    // A document without an element does not read back as a document.
    pugi::xml_document empty;
    EXPECT_FALSE(gf_saveXmlDocumentSafely(empty, target));
    unchanged();
    // A document that cannot be written (its temporary file cannot be created).
    pugi::xml_document doc = parse("<parameters new=\"1\"/>");
    fs::create_directory(tmp);
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    fs::remove(tmp);
    unchanged();
    // The copy to .bak fails.
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::copy ? std::make_error_code(std::errc::io_error) : std::error_code();
    });
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    unchanged();
    // The final move fails: .bak already holds the old content, which is
    // verified and equal to the file that stays.
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::move ? std::make_error_code(std::errc::io_error) : std::error_code();
    });
    EXPECT_FALSE(gf_saveXmlDocumentSafely(doc, target));
    EXPECT_EQ(readFile(target), "<parameters old=\"1\"/>");
    EXPECT_EQ(readFile(bak), "<parameters old=\"1\"/>");
    EXPECT_FALSE(fs::exists(tmp));
    gf_osSetFaultHook({});
    EXPECT_TRUE(gf_saveXmlDocumentSafely(doc, target));
    EXPECT_NE(readFile(target).find("new=\"1\""), std::string::npos);
}

}  // namespace
