// The hand matchers of aircraft.cfg lines against the expressions they stand
// for: std::regex (case-insensitive ECMAScript, whole text) is run here only,
// on generated short lines, as the reference.

#include <gtest/gtest.h>

#include <optional>
#include <random>
// g++ 12 warns inside its own <regex> (a known false alarm of std::function).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#include <string>
#include <vector>

#include "liveries/aircraft_cfg.h"
#include "liveries/cfg_match.h"

namespace {

std::optional<std::string> lf_reference(const std::regex& expression, const std::string& text, int group) {
    std::smatch match;
    if (!std::regex_match(text, match, expression)) return std::nullopt;
    return match[group].str();
}

std::optional<std::string> lf_copy(std::optional<std::string_view> view) {
    return view ? std::optional<std::string>(std::string(*view)) : std::nullopt;
}

std::regex lf_compile(const std::string& pattern) {
    return std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
}

// Random pieces that lines of aircraft.cfg files are made of, and the ways
// they go wrong.
class LineMaker {
public:
    explicit LineMaker(unsigned seed) : random_(seed) {}

    std::string pick(const std::vector<std::string>& choices) { return choices[below(choices.size())]; }
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    std::string mixedCase(std::string word) {
        for (char& c : word)
            if (below(2) == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        return word;
    }
    std::string blanks() {
        static const std::vector<std::string> pieces = {"", "", " ", "\t", "  ", " \t ", "\r", "\v", "\f", "\n"};
        return pick(pieces) + (below(4) == 0 ? pick(pieces) : "");
    }
    std::string value(std::size_t maxLength) {
        static const std::vector<std::string> pieces = {
            "a", "Z", "7", " ", "\t", "\"", "=", ";", "//", "\r", "\n", "\xC3\xA9", "\xC3\xBC", "\xE2\x80\x93",
            "-", "_", ",", "[", "]", ".", "*", "\xFF", "\x80", "DLH", "Boeing 737", "\v"};
        std::string out;
        const std::size_t length = below(maxLength + 1);
        while (out.size() < length) out += pick(pieces);
        return out;
    }
    std::string keyLine(const std::vector<std::string>& keys) {
        std::string key = mixedCase(pick(keys));
        if (below(10) == 0) key.erase(below(key.size()), 1);  // a near miss
        std::string line = blanks() + key + blanks() + (below(12) == 0 ? "" : "=") + blanks() + value(150) + blanks();
        if (below(10) == 0) line = ";" + line;
        return line.substr(0, 200);
    }
    std::string headerLine() {
        static const std::vector<std::string> numbers = {"0", "12", "10001", "-1", "-", "x", "1a", "", "007", " 3"};
        std::string line = blanks() + (below(8) == 0 ? "//" : "") + mixedCase("[fltsim.") + pick(numbers) +
                           (below(8) == 0 ? "" : "]") + blanks() + (below(6) == 0 ? value(20) : "");
        return line.substr(0, 200);
    }

private:
    std::mt19937 random_;
};

const std::vector<std::string> cfgKeys = {"title",          "texture",        "atc_id",
                                          "icao_airline",   "atc_parking_types", "icao_type_designator",
                                          "base_container"};

TEST(CfgMatch, KeyLinesAndHeadersAgreeWithTheExpressionsOnGeneratedLines) {
    std::vector<std::regex> keyExpressions;
    for (const auto& key : cfgKeys) keyExpressions.push_back(lf_compile(R"(\s*()" + key + R"()\s*=\s*(.*\S)\s*)"));
    const std::regex header = lf_compile(R"(\s*(\[fltsim\.)(\d+)\]\s*)");
    const std::regex negativeHeader = lf_compile(R"(\s*\[fltsim\.(-\d+)\]\s*)");

    LineMaker maker(20261207);
    int matchedKeys = 0, matchedHeaders = 0;
    for (int i = 0; i < 10000; ++i) {
        const std::string line = i % 5 == 4 ? maker.headerLine() : maker.keyLine(cfgKeys);
        ASSERT_LE(line.size(), 200u);
        for (std::size_t k = 0; k < cfgKeys.size(); ++k) {
            const auto expected = lf_reference(keyExpressions[k], line, 2);
            ASSERT_EQ(lf_copy(gf_matchCfgKeyLine(line, cfgKeys[k])), expected)
                << "key " << cfgKeys[k] << " line '" << line << "'";
            if (expected) ++matchedKeys;
        }
        const auto expectedHeader = lf_reference(header, line, 2);
        ASSERT_EQ(lf_copy(gf_matchFltSimHeader(line)), expectedHeader) << "line '" << line << "'";
        ASSERT_EQ(lf_copy(gf_matchNegativeFltSimHeader(line)), lf_reference(negativeHeader, line, 1))
            << "line '" << line << "'";
        if (expectedHeader) ++matchedHeaders;
    }
    // The generator must reach both sides of every decision.
    EXPECT_GT(matchedKeys, 800);
    EXPECT_GT(matchedHeaders, 200);
}

TEST(CfgMatch, IvaoPathsAgreeWithTheExpressions) {
    const std::vector<std::string> packages = {"IVAO_MTL", "ivao_x-csl"};
    LineMaker maker(4242);
    int matched = 0;
    for (const auto& package : packages) {
        const std::regex expression =
            lf_compile(".+/" + package + R"(/SimObjects/Airplanes/IVAO_(\w+)/aircraft\.cfg$)");
        for (int i = 0; i < 3000; ++i) {
            const std::vector<std::string> roots = {"", "/", "C:/Users/x/Community", "/a\rb", "/x\n", "é"};
            const std::vector<std::string> packageNames = {package, maker.mixedCase(package), "IVAO_MTLX", "IVAO_MT"};
            const std::vector<std::string> middles = {"/SimObjects/Airplanes/", "/simobjects/AIRPLANES/",
                                                      "/SimObjects/Airplane/", "/SimObjects//Airplanes/"};
            const std::vector<std::string> folders = {"IVAO_B738WL", "ivao_A320", "IVAO_", "IVAO_B7-38",
                                                      "IVAO_B738 WL", "XIVAO_B738", "IVAO_é", "IVAO_a_b_9"};
            const std::vector<std::string> files = {"/aircraft.cfg", "/AIRCRAFT.CFG", "/aircraftXcfg",
                                                    "/aircraft.cfg\n", "/aircraft.cfg.bak", "aircraft.cfg"};
            const std::string path = maker.pick(roots) + "/" + maker.pick(packageNames) + maker.pick(middles) +
                                     maker.pick(folders) + maker.pick(files);
            const auto expected = lf_reference(expression, path, 1);
            ASSERT_EQ(lf_copy(gf_matchIvaoCfgPath(path, package)), expected) << "path '" << path << "'";
            if (expected) ++matched;
        }
    }
    EXPECT_GT(matched, 50);
}

TEST(CfgMatch, IvaoTitlesAgreeWithTheExpressions) {
    LineMaker maker(77);
    int matched = 0;
    for (const std::string model : {"B738", "A320", "A5"}) {
        for (const bool withW : {false, true}) {
            const std::regex expression = lf_compile(model + (withW ? "W" : "") + R"(\s*(\w\w\w).*$)");
            for (int i = 0; i < 1500; ++i) {
                const std::vector<std::string> fronts = {model, maker.mixedCase(model) + "w", model + "W",
                                                         model.substr(1), "x" + model};
                const std::string title = maker.pick(fronts) + maker.blanks() + maker.value(12);
                const auto expected = lf_reference(expression, title, 1);
                ASSERT_EQ(lf_copy(gf_matchIvaoTitle(title, model, withW)), expected)
                    << "title '" << title << "' W " << withW;
                if (expected) ++matched;
            }
        }
    }
    EXPECT_GT(matched, 150);
}

// A title line of a megabyte (packages have shipped such lines) is read like
// any other; a recursive expression engine overflows its stack on it.
TEST(CfgMatch, AMegabyteTitleLineIsRead) {
    std::string name;
    while (name.size() < (1u << 20)) name += "Airbus A320 é ";
    const std::string line = "  Title = \"" + name + "\"  \r";
    std::string value;
    ASSERT_TRUE(lf_getCfgTitle(line, value));
    EXPECT_EQ(value, name);
    EXPECT_EQ(lf_copy(gf_matchIvaoTitle("A320 DLH" + name, "A320", false)), "DLH");
}

}  // namespace
