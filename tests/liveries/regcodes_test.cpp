// Registration codes: the AIG regcodes file, the user's my_regcodes folder and
// its lines, and the merge of records by title.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/encrypted.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "liveries/regcodes.h"
#include "support/source_paths.h"
#include "support/regcodes_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using tavo::test::LineEnd;
using tavo::test::RegcodesBuilder;
using tavo::test::writeRegcodeFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

void PrintTo(const RegcodeRecord& r, std::ostream* os) {
    *os << "{'" << r.title << "', [" << fmt::format("{}", fmt::join(r.regcodes, ",")) << "], "
        << (r.special ? "special" : "plain") << "}";
}

namespace {

using Records = std::vector<RegcodeRecord>;
using Errors = std::vector<std::string>;

class Regcodes : public tavo::test::LogFileTest {
protected:
    // Writes the builder's file and reads it; the log lines it wrote go to `log`.
    RegcodeParseResult load(const RegcodesBuilder& builder) {
        builder.writeToInput();
        newLogLines();
        RegcodeParseResult result = gf_loadAIGRegcodes(regcodesEncFile);
        log = newLogLines();
        return result;
    }
    RegcodeParseResult loadText(std::string_view xml) {
        fs::create_directories(regcodesEncFile.parent_path());
        tavo::test::writeEncryptedFile(regcodesEncFile, xml);
        newLogLines();
        RegcodeParseResult result = gf_loadAIGRegcodes(regcodesEncFile);
        log = newLogLines();
        return result;
    }
    std::string log;
};

// One reader input and what it gives.
template <typename Input>
struct ReadCase {
    const char* name;
    Input input;
    Records records;
    Errors errors;
};
using AigCase = ReadCase<std::vector<RegcodesBuilder::Livery>>;
using LineCase = ReadCase<std::vector<std::string>>;

TEST_F(Regcodes, AigElementsGiveTheirRecordsAndErrorsInDocumentOrder) {
    const std::vector<AigCase> cases = {
        {"invalid and repeated regcodes are dropped, the record stays",
         {{"X", "D-ABCD,d-abce,D-ABCD", {}}},
         {{"X", {"D-ABCD"}, false}},
         {"invalid registration code 'd-abce' for AIG title 'X'"}},
        {"an empty or missing r is a record without regcodes",
         {{"Y", "", {}}, {"Y2", {}, {}}},
         {{"Y", {}, false}, {"Y2", {}, false}},
         {}},
        {"r of only invalid codes gives no record, and its title is taken even so",
         {{"Z", "ab", {}}, {"Z", "D-AAAA", {}}},
         {},
         {"invalid registration code 'ab' for AIG title 'Z'", "duplicate AIG title 'Z'"}},
        {"an empty item inside r is one error",
         {{"W", "D-ABCD,,D-ABCE", {}}},
         {{"W", {"D-ABCD", "D-ABCE"}, false}},
         {"invalid registration code '' for AIG title 'W'"}},
        {"lengths 3 to 12, points and plus signs",
         {{"L", "AB,ABCDEFGHIJKLM,ABCDEFGHIJKL,G-ABCD.,N123+4,D-A", {}}},
         {{"L", {"ABCDEFGHIJKL", "D-A", "G-ABCD.", "N123+4"}, false}},
         {"invalid registration code 'AB' for AIG title 'L'",
          "invalid registration code 'ABCDEFGHIJKLM' for AIG title 'L'"}},
        {"blanks, commas inside items and other characters",
         {{"B", " D-AAAA , D AAAA,D_AAAA,D-ÄAAA", {}}},
         {{"B", {"D-AAAA"}, false}},
         {"invalid registration code 'D AAAA' for AIG title 'B'",
          "invalid registration code 'D-ÄAAA' for AIG title 'B'",
          "invalid registration code 'D_AAAA' for AIG title 'B'"}},
        {"special only from the attribute, never from the count",
         {{"S1", "D-AAAA", {}},
          {"S2", "D-AAAB,D-AAAC", "true"},
          {"S3", "D-AAAD", "false"},
          {"S4", "", "yes"},
          {"S5", "D-AAAE", "1"},
          {"S6", "D-AAAF", "no"}},
         {{"S1", {"D-AAAA"}, false},
          {"S2", {"D-AAAB", "D-AAAC"}, true},
          {"S3", {"D-AAAD"}, false},
          {"S4", {}, true},
          {"S5", {"D-AAAE"}, true},
          {"S6", {"D-AAAF"}, false}},
         {}},
        {"elements without a title are numbered among all elements",
         {{{}, "D-AAAA", {}}, {"", "D-AAAB", {}}, {"T", "D-AAAC", {}}, {{}, {}, {}}},
         {{"T", {"D-AAAC"}, false}},
         {"AIG XML record 1 has no title", "AIG XML record 2 has no title", "AIG XML record 4 has no title"}},
        {"a duplicate is reported for every repetition",
         {{"D", "D-AAAA", {}}, {"D", "D-AAAB", {}}, {"D", "", {}}},
         {{"D", {"D-AAAA"}, false}},
         {"duplicate AIG title 'D'", "duplicate AIG title 'D'"}},
    };
    for (const AigCase& c : cases) {
        SCOPED_TRACE(c.name);
        RegcodesBuilder b;
        b.liveries = c.input;
        const RegcodeParseResult r = load(b);
        EXPECT_EQ(r.records, c.records);
        EXPECT_EQ(r.errors, c.errors);
    }
}

TEST_F(Regcodes, TheCountLineNamesTitlesRegcodesAndThePath) {
    struct Case {
        std::vector<RegcodesBuilder::Livery> liveries;
        const char* counts;
    };
    const std::vector<Case> cases = {
        {{{"A", "D-AAAA", {}}}, "    1 livery title with 1 regcode"},
        {{{"A", "D-AAAA,D-AAAB", {}}, {"B", "", {}}}, "    2 livery titles with 2 regcodes"},
        {{{"A", "", {}}}, "    1 livery title with 0 regcodes"},
        {{}, "    0 livery titles with 0 regcodes"},
    };
    for (const Case& c : cases) {
        RegcodesBuilder b;
        b.liveries = c.liveries;
        load(b);
        EXPECT_EQ(log, fmt::format("{}, read from {}\n", c.counts, gf_pathToUtf8(regcodesEncFile)));
    }
}

TEST_F(Regcodes, AFileThatCannotBeReadGivesNoRecordsAndOneError) {
    const std::string path = gf_pathToUtf8(regcodesEncFile);
    RegcodesBuilder good;
    good.livery("A", "D-AAAA");

    // A foreign key: the decryption reader's own text.
    tavo::test::EncWriterOptions foreign;
    foreign.key.assign(kEncKeyBytes, 0x5A);
    good.write(regcodesEncFile, foreign);
    const std::string decryptError = gf_readEncryptedFile(regcodesEncFile, kRegcodesEncLimit).error;
    ASSERT_FALSE(decryptError.empty());
    RegcodeParseResult r = gf_loadAIGRegcodes(regcodesEncFile);
    EXPECT_THAT(r.records, IsEmpty());
    EXPECT_THAT(r.errors, ElementsAre(decryptError));

    // No file at all.
    fs::remove(regcodesEncFile);
    r = gf_loadAIGRegcodes(regcodesEncFile);
    EXPECT_THAT(r.records, IsEmpty());
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], gf_readEncryptedFile(regcodesEncFile, kRegcodesEncLimit).error);

    // XML that does not parse: pugixml's description.
    const std::string broken = good.xml().substr(0, good.xml().size() - 4);
    pugi::xml_document doc;
    const std::string description = doc.load_string(broken.c_str()).description();
    r = loadText(broken);
    EXPECT_THAT(r.records, IsEmpty());
    EXPECT_THAT(r.errors, ElementsAre(fmt::format("'{}' not loaded: {}", path, description)));
    EXPECT_EQ(log, "") << "no count line";

    // Metadata: none, no copyright, no simulator, a simulator that does not exist.
    const std::vector<std::optional<std::vector<std::pair<std::string, std::string>>>> badMeta = {
        std::nullopt,
        std::vector<std::pair<std::string, std::string>>{{"author", "TAVO"}, {"sim", "1"}},
        std::vector<std::pair<std::string, std::string>>{{"copyright", "c"}},
        std::vector<std::pair<std::string, std::string>>{{"copyright", "c"}, {"sim", "7"}},
        std::vector<std::pair<std::string, std::string>>{{"copyright", "c"}, {"sim", "x"}},
    };
    for (const auto& meta : badMeta) {
        RegcodesBuilder b = good;
        b.meta = meta;
        r = load(b);
        EXPECT_THAT(r.records, IsEmpty());
        EXPECT_THAT(r.errors, ElementsAre(fmt::format("'{}' has invalid metadata", path)));
        EXPECT_THAT(log, Not(HasSubstr("livery title")));
    }
    // Either simulator is accepted whatever runs.
    for (const char* sim : {"1", "2", "3"}) {
        RegcodesBuilder b = good;
        b.meta = std::vector<std::pair<std::string, std::string>>{{"copyright", "c"}, {"sim", sim}};
        EXPECT_THAT(load(b).records, ElementsAre(RegcodeRecord{"A", {"D-AAAA"}, false})) << sim;
    }
}

TEST_F(Regcodes, ADocumentWithoutRootOrListIsOneError) {
    // The meta block may stand alone as the document element; then there is no root.
    const RegcodeParseResult noRoot = loadText(
        "<meta><info name=\"copyright\" value=\"c\"/><info name=\"sim\" value=\"1\"/></meta>");
    EXPECT_THAT(noRoot.records, IsEmpty());
    EXPECT_THAT(noRoot.errors, ElementsAre("missing <root> element"));

    RegcodesBuilder b;
    b.withAig = false;
    const RegcodeParseResult noList = load(b);
    EXPECT_THAT(noList.records, IsEmpty());
    EXPECT_THAT(noList.errors, ElementsAre("missing <aig> element"));

    pugi::xml_document other;
    ASSERT_TRUE(other.load_string("<data><aig><l t=\"A\"/></aig></data>"));
    EXPECT_THAT(lf_parseAIGRegcodesXml(other).errors, ElementsAre("missing <root> element"));
}

TEST(RegcodeRule, LengthsAndCharacters) {
    struct Case {
        const char* regcode;
        bool valid;
    };
    const Case cases[] = {
        {"", false},         {"AB", false},          {"ABC", true},           {"ABCDEFGHIJKL", true},
        {"ABCDEFGHIJKLM", false}, {"G-ABCD.", true}, {"N123+4", true},        {"d-abcd", false},
        {"D-ABCd", false},   {"D ABC", false},       {"D,ABC", false},        {"D_ABC", false},
        {"D-ABC\r", false},  {"0123456789", true},   {"+-.", true},           {"D-\xC3\x84" "BC", false},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_isValidRegcode(c.regcode), c.valid) << '"' << c.regcode << '"';
}

TEST(RegcodeLines, FieldsRegcodesAndMarkers) {
    const std::vector<LineCase> cases = {
        {"more than three fields", {"A;B;C;D"}, {}, {"f.txt line 1: expected at most 3 semicolon-separated fields: 'A;B;C;D'"}},
        {"a title alone is no special", {"Only a title"}, {{"Only a title", {}, false}}, {}},
        {"one regcode makes a special; a wrong marker is reported and the record kept",
         {"Title;D-AIZZ;x"},
         {{"Title", {"D-AIZZ"}, true}},
         {"f.txt line 1: invalid special marker 'x' for title 'Title'"}},
        {"several regcodes without the marker", {"Title;D-AIZA,D-AIZB"}, {{"Title", {"D-AIZA", "D-AIZB"}, false}}, {}},
        {"several regcodes with the marker", {"Title;D-AIZB,D-AIZA;#"}, {{"Title", {"D-AIZA", "D-AIZB"}, true}}, {}},
        {"fields and items are trimmed, items sorted and distinct",
         {"  Title ; D-AIZB , D-AIZA ,D-AIZB ;  # "},
         {{"Title", {"D-AIZA", "D-AIZB"}, true}},
         {}},
        {"empty fields are dropped before counting", {"Title;;#"}, {}, {"f.txt line 1: invalid registration code '#' for title 'Title'"}},
        {"a marker with a wrong character", {"Title;D-AIZA,D-AIZB;##"}, {{"Title", {"D-AIZA", "D-AIZB"}, false}},
         {"f.txt line 1: invalid special marker '##' for title 'Title'"}},
        {"an empty item fails the rule, the others stay",
         {"Title;D-AIZA,,D-AIZB,"},
         {{"Title", {"D-AIZA", "D-AIZB"}, false}},
         {"f.txt line 1: invalid registration code '' for title 'Title'"}},
        {"only invalid regcodes: no record and no marker check",
         {"Title;d-aizz,AB;x"},
         {},
         {"f.txt line 1: invalid registration code 'AB' for title 'Title'",
          "f.txt line 1: invalid registration code 'd-aizz' for title 'Title'"}},
        {"one valid regcode left of several is a special",
         {"Title;D-AIZA,d-aizb"},
         {{"Title", {"D-AIZA"}, true}},
         {"f.txt line 1: invalid registration code 'd-aizb' for title 'Title'"}},
        {"empty lines and lines of separators are skipped but counted",
         {"", "   ", ";;", " ; ;\t", "A;B;C;D", "T;D-AAAA"},
         {{"T", {"D-AAAA"}, true}},
         {"f.txt line 5: expected at most 3 semicolon-separated fields: 'A;B;C;D'"}},
        {"a comment sign is no comment", {"# Title"}, {{"# Title", {}, false}}, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RegcodeParseResult r = lf_parseRegcodeLines(c.input, "f.txt");
        EXPECT_EQ(r.records, c.records);
        EXPECT_EQ(r.errors, c.errors);
    }
}

TEST(RegcodeLines, PrefixFormsAndTheErrorsThatCarryThem) {
    EXPECT_EQ(lf_regcodeLinePrefix("f.txt", 7), "f.txt line 7: ");
    EXPECT_EQ(lf_regcodeLinePrefix("f.txt", 0), "f.txt: ");
    EXPECT_EQ(lf_regcodeLinePrefix("", 7), "line 7: ");
    EXPECT_EQ(lf_regcodeLinePrefix("", 0), "");

    std::vector<std::string> errors;
    EXPECT_FALSE(lf_validateRegcode(errors, "T", "", 3, "D-AAAA"));
    EXPECT_TRUE(lf_validateRegcode(errors, "T", "", 3, "x"));
    EXPECT_TRUE(lf_validateRegcode(errors, "T", "", 0, "y"));
    EXPECT_FALSE(lf_validateAIGRegcode(errors, "T", "N123+4"));
    EXPECT_TRUE(lf_validateAIGRegcode(errors, "T", "z"));
    EXPECT_THAT(errors, ElementsAre("line 3: invalid registration code 'x' for title 'T'",
                                    "invalid registration code 'y' for title 'T'",
                                    "invalid registration code 'z' for AIG title 'T'"));
    const std::vector<std::string> lines = {"A;B;C;D"};
    EXPECT_THAT(lf_parseRegcodeLines(lines, "").errors,
                ElementsAre("line 1: expected at most 3 semicolon-separated fields: 'A;B;C;D'"));
}

class RegcodeFolder : public tavo::test::LogFileTest {};

TEST_F(RegcodeFolder, TxtFilesInPathOrderWithByteOrderMarksAndLineEnds) {
    const fs::path folder = myRegcodesPath;
    writeRegcodeFile(folder / "b.TXT", {"Title B;D-BBBB", "bad;d-b"}, true, LineEnd::crlf);
    writeRegcodeFile(folder / "a.txt", {"Title A;D-AAAA,D-AAAB;#", "", "Title A2"}, false, LineEnd::lf);
    writeRegcodeFile(folder / "c.xml", {"Title C;D-CCCC"}, false);
    writeRegcodeFile(folder / "d.txt.bak", {"Title D;D-DDDD"}, false);
    writeRegcodeFile(folder / "sub" / "e.txt", {"Title E;D-EEEE"}, false);
    fs::create_directories(folder / "f.txt");  // a folder named like a file: not read
    writeRegcodeFile(folder / "g.Txt", {"Title G;D-GGGG,D-GGGH"}, true, LineEnd::lf);
    newLogLines();

    const RegcodeParseResult r = gf_readRegcodeFolder(folder);
    const std::string a = gf_pathToUtf8(folder / "a.txt");
    const std::string b = gf_pathToUtf8(folder / "b.TXT");
    const std::string g = gf_pathToUtf8(folder / "g.Txt");
    EXPECT_EQ(r.records, (Records{{"Title A", {"D-AAAA", "D-AAAB"}, true},
                                  {"Title A2", {}, false},
                                  {"Title B", {"D-BBBB"}, true},
                                  {"Title G", {"D-GGGG", "D-GGGH"}, false}}));
    EXPECT_THAT(r.errors, ElementsAre(fmt::format("{} line 2: invalid registration code 'd-b' for title 'bad'", b)));
    EXPECT_EQ(newLogLines(), fmt::format("Processing '{}'\nProcessing '{}'\nProcessing '{}'\n", a, b, g));
}

TEST_F(RegcodeFolder, FolderProblemsAreErrorsNotExceptions) {
    writeRegcodeFile("plain.txt", {"Title;D-AAAA"}, false);
    RegcodeParseResult r = gf_readRegcodeFolder("plain.txt");
    EXPECT_THAT(r.records, IsEmpty());
    EXPECT_THAT(r.errors, ElementsAre("'plain.txt' is not a directory"));

    r = gf_readRegcodeFolder("missing");
    EXPECT_THAT(r.records, IsEmpty());
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_THAT(r.errors[0], StartsWith("could not inspect 'missing': "));

    // An entry whose status cannot be read is reported; the others are read.
    fs::create_directories("folder");
    fs::create_symlink("nowhere.txt", "folder/dangling.txt");
    writeRegcodeFile("folder/ok.txt", {"Title;D-AAAA"}, false);
    r = gf_readRegcodeFolder("folder");
    EXPECT_EQ(r.records, (Records{{"Title", {"D-AAAA"}, true}}));
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_THAT(r.errors[0], StartsWith("could not inspect 'folder/dangling.txt': "));

    // An empty folder: nothing, and no error.
    fs::create_directories("empty");
    r = gf_readRegcodeFolder("empty");
    EXPECT_THAT(r.records, IsEmpty());
    EXPECT_THAT(r.errors, IsEmpty());
}

TEST(RegcodeMerge, TitlesUnitedInTitleOrderLeftOutAndEmptySkipped) {
    const Records records = {
        {"Title B", {"D-BBBB"}, true},
        {"Title A", {"D-AAAB", "D-AAAC"}, false},
        {"Installed", {"D-IIII"}, true},
        {"No regcodes", {}, false},
        {"Title A", {"D-AAAA", "D-AAAB"}, true},
        {"Title C", {"D-CCCC"}, false},
    };
    const std::vector<std::string_view> leftOut = {"Installed", "Title C", "Not a record"};
    EXPECT_THAT(gf_mergeRegcodesByTitle(records, leftOut),
                ElementsAre("Title A; D-AAAA, D-AAAB, D-AAAC", "Title B; D-BBBB"));
    EXPECT_THAT(gf_mergeRegcodesByTitle(records, {}),
                ElementsAre("Installed; D-IIII", "Title A; D-AAAA, D-AAAB, D-AAAC", "Title B; D-BBBB",
                            "Title C; D-CCCC"));
    EXPECT_THAT(gf_mergeRegcodesByTitle({}, leftOut), IsEmpty());
}

TEST_F(Regcodes, BothSourcesReadTheSameTitlesTheSameWay) {
    // A title with non-ASCII characters and XML specials arrives unchanged from either source.
    const std::string title = "Airbus A320 \"Süd\" <Lufthansa> & Co";
    RegcodesBuilder b;
    b.livery(title, "D-AIZZ");
    EXPECT_THAT(load(b).records, ElementsAre(RegcodeRecord{title, {"D-AIZZ"}, false}));
    writeRegcodeFile(myRegcodesPath / "mine.txt", {title + ";D-AIZZ"}, true, LineEnd::crlf);
    EXPECT_THAT(gf_readRegcodeFolder(myRegcodesPath).records, ElementsAre(RegcodeRecord{title, {"D-AIZZ"}, true}));
}

TEST_F(Regcodes, TheShippedSampleIsReadWithoutErrors) {
    const fs::path shipped = tavo::test::installDir() / "input" / "AIG-regcodes.enc";
    ASSERT_TRUE(fs::exists(shipped)) << "the build lays out the installation folder";
    newLogLines();
    const RegcodeParseResult r = gf_loadAIGRegcodes(shipped);
    EXPECT_THAT(r.errors, IsEmpty());
    ASSERT_GE(r.records.size(), 10u);
    EXPECT_THAT(newLogLines(), HasSubstr(fmt::format(", read from {}\n", gf_pathToUtf8(shipped))));
    std::size_t special = 0, withoutRegcodes = 0;
    for (const RegcodeRecord& record : r.records) {
        special += record.special;
        withoutRegcodes += record.regcodes.empty();
    }
    EXPECT_GT(special, 0u);
    EXPECT_GT(withoutRegcodes, 0u);
}

}  // namespace
