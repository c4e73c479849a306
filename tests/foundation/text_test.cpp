#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/text.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

template <typename F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

TEST(UserRelatedException, MessageIsCodeAndText) {
    const tavo::UserRelatedException e(-7, "Missing section");
    EXPECT_EQ(e.code, -7);
    const std::runtime_error& base = e;  // caught as a plain runtime error too
    EXPECT_STREQ(base.what(), "-7: Missing section");
}

TEST(Utf8ToWide, ConvertsEveryLengthOfSequence) {
    EXPECT_EQ(utf8_to_wide("Caf\xC3\xA9 \xE2\x82\xAC"), u"Caf\u00E9 \u20AC");
    EXPECT_EQ(utf8_to_wide("\xF0\x9F\x98\x80"), u"\U0001F600");  // a surrogate pair
    EXPECT_EQ(utf8_to_wide("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
    EXPECT_EQ(utf8_to_wide(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf8ToWide, RejectsEveryMalformedForm) {
    const char* const bad[] = {
        "\xC3\x28",          // continuation byte missing
        "\x80",              // stray continuation byte
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong, three bytes
        "\xF0\x80\x80\xAF",  // overlong, four bytes
        "\xED\xA0\x80",      // encoded high surrogate
        "\xED\xBF\xBF",      // encoded low surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // lead byte beyond the range
        "abc\xE2\x82",       // cut at the end
    };
    for (const char* text : bad) {
        EXPECT_EQ(errorOf([&] { utf8_to_wide(text); }), "utf8_to_wide: invalid UTF-8")
            << testing::PrintToString(std::string(text));
    }
}

TEST(WideToUtf8, RejectsLoneSurrogates) {
    const std::u16string bad[] = {
        std::u16string(1, char16_t(0xD800)),                 // lone high surrogate
        std::u16string(1, char16_t(0xDC00)),                 // lone low surrogate
        std::u16string{char16_t(0xDC00), char16_t(0xD800)},  // reversed pair
        std::u16string{u'a', char16_t(0xD83D), u'b'},        // high surrogate then a letter
    };
    for (const auto& text : bad) {
        EXPECT_EQ(errorOf([&] { wide_to_utf8(text); }), "wide_to_utf8: invalid UTF-16");
    }
}

TEST(WideToUtf8, RoundTripsEveryScalarValue) {
    std::u16string all;
    for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x3000 ? 1 : 97)) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x10000) {
            all.push_back(static_cast<char16_t>(cp));
        } else {
            all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    EXPECT_EQ(utf8_to_wide(wide_to_utf8(all)), all);
    EXPECT_EQ(wide_to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(TextHelpers, TrimSplitAndNormalize) {
    std::string_view view = " \t\r\nab c\n ";
    EXPECT_EQ(gf_trim(view), "ab c");
    EXPECT_EQ(view, "ab c");  // the caller's view is narrowed too
    EXPECT_THAT(gf_split(" a , , b ,", ','), ElementsAre("a", "b"));
    EXPECT_THAT(gf_split("", ','), IsEmpty());
    EXPECT_THAT(gf_splitToSortedSet("b, a,,a"), ElementsAre("", "a", "b"));
    std::string spaced = "a, ,b";
    gf_normalizeCommaList(spaced);
    EXPECT_EQ(spaced, "a,b");
    std::string untouched = "a,,b";  // no trim characters: left as it is
    gf_normalizeCommaList(untouched);
    EXPECT_EQ(untouched, "a,,b");
}

TEST(TextHelpers, TrimViewStripsOnlyTheGivenCharacters) {
    EXPECT_EQ(gf_trimView(" \t\r\nab c\n "), "ab c");
    EXPECT_EQ(gf_trimView("\f x \v"), "\f x \v");  // form feed and vertical tab are no trim characters
    EXPECT_EQ(gf_trimView("\f x \v", whiteSpaceCharacters), "x");
    EXPECT_EQ(gf_trimView(" \t1\r\n", " \t"), "1\r\n");
    EXPECT_EQ(gf_trimView(" \t \n"), "");
    EXPECT_EQ(gf_trimView(""), "");
}

TEST(TextHelpers, AsciiCaseLeavesOtherBytesAlone) {
    EXPECT_EQ(gf_toUpperAscii("az AZ 09 _@[`{"), "AZ AZ 09 _@[`{");
    EXPECT_EQ(gf_toLowerAscii("az AZ 09 _@[`{"), "az az 09 _@[`{");
    EXPECT_EQ(gf_toUpperAscii("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");  // UTF-8 bytes stay
    EXPECT_EQ(gf_toLowerAscii("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89");
}

TEST(TextHelpers, AppendUtf8WritesTheShortestForm) {
    const struct {
        char32_t codePoint;
        std::string_view bytes;
    } cases[] = {{U'A', "A"},
                 {0x7F, "\x7F"},
                 {0x80, "\xC2\x80"},
                 {0x7FF, "\xDF\xBF"},
                 {0x800, "\xE0\xA0\x80"},
                 {0x20AC, "\xE2\x82\xAC"},
                 {0xFFFF, "\xEF\xBF\xBF"},
                 {0x10000, "\xF0\x90\x80\x80"},
                 {0x10FFFF, "\xF4\x8F\xBF\xBF"}};
    for (const auto& c : cases) {
        std::string out = "x";
        gf_appendUtf8(out, c.codePoint);
        EXPECT_EQ(out.substr(1), c.bytes) << static_cast<std::uint32_t>(c.codePoint);
        for (std::size_t i = 2; i < out.size(); ++i) EXPECT_TRUE(gf_isUtf8Continuation(out[i]));
        EXPECT_FALSE(gf_isUtf8Continuation(out[1]));
    }
}

TEST(TextHelpers, UnquoteTakesTheFirstQuotedPiece) {
    EXPECT_EQ(gf_unquote("plain"), "plain");
    EXPECT_EQ(gf_unquote("\""), "");
    EXPECT_EQ(gf_unquote("\"open"), "");
    EXPECT_EQ(gf_unquote("x\"abc\"y"), "abc");
    EXPECT_EQ(gf_unquote("\"a\" \"b\""), "a");
}

TEST(TextHelpers, PluralAndOneDecimal) {
    EXPECT_EQ(gf_removeDots("a.b..c."), "abc");
    EXPECT_EQ(gf_pluralSuffix(0), "s");
    EXPECT_EQ(gf_pluralSuffix(1), "");
    EXPECT_EQ(gf_formatOneDecimal(3.0f), "3");
    EXPECT_EQ(gf_formatOneDecimal(1.26f), "1.3");
    EXPECT_EQ(gf_formatOneDecimal(-0.5f), "-0.5");
}

TEST(MakeBanner, StarsTitleAndNewlines) {
    EXPECT_EQ(gf_makeBanner(9, 0, false, false, ""), std::string(10, '*'));
    EXPECT_EQ(gf_makeBanner(9, 0, false, false, "ab"), "**** ab ****");
    EXPECT_EQ(gf_makeBanner(3, 0, false, false, "abc"), "abc");
    EXPECT_EQ(gf_makeBanner(4, 1, true, true, ""), "\n******\n");
    // Both lines of a 100-wide frame around a title are 100 long.
    EXPECT_EQ(gf_makeBanner(100 - 8, 0, false, false, "liveries").size(), 100u);
    EXPECT_EQ(gf_makeBanner(100 - 8, 8, false, false, "").size(), 100u);
    // A negative width is clamped to zero.
    EXPECT_EQ(gf_makeBanner(-5, 0, false, false, ""), "");
    EXPECT_EQ(gf_makeBanner(-1000000000000, -1, true, true, "t"), "\nt\n");
}

TEST(PathToUtf8, KeepsTheBytesOfTheName) {
    EXPECT_EQ(gf_pathToUtf8(std::filesystem::path("dir") / "Caf\xC3\xA9.xml"), "dir/Caf\xC3\xA9.xml");
}

}  // namespace
