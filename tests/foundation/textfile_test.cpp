#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/gui/gui.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// UTF-16 bytes of an ASCII-or-BMP text, optionally with a mark.
std::string utf16(std::u16string_view text, bool bigEndian, bool mark) {
    std::string bytes;
    auto put = [&](char16_t unit) {
        const char hi = static_cast<char>(unit >> 8);
        const char lo = static_cast<char>(unit & 0xFF);
        bytes.push_back(bigEndian ? hi : lo);
        bytes.push_back(bigEndian ? lo : hi);
    };
    if (mark) put(0xFEFF);
    for (const char16_t unit : text) put(unit);
    return bytes;
}

class TextFileTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_gui().drain();  // forget status lines of earlier tests
    }

    Charset detect(std::string_view bytes) {
        writeBytes("f.txt", bytes);
        return gf_detectCharset("f.txt");
    }
    std::vector<std::string> readAs(Charset charset, std::string_view bytes) {
        writeBytes("f.txt", bytes);
        std::vector<std::string> lines{"stale"};
        EXPECT_TRUE(gf_readTextFileLines(charset, "f.txt", lines));
        return lines;
    }
    std::vector<std::string> readDetected(std::string_view bytes) { return readAs(detect(bytes), bytes); }
};

TEST(CharsetName, NamesAndUnknownValue) {
    EXPECT_EQ(gf_charsetName(Charset::ansi), "ANSI");
    EXPECT_EQ(gf_charsetName(Charset::unicode), "Unicode");
    EXPECT_EQ(gf_charsetName(Charset::unicodeBigEndian), "Unicode_big_endian");
    EXPECT_EQ(gf_charsetName(Charset::utf8WithBom), "UTF8_with_BOM");
    EXPECT_EQ(gf_charsetName(Charset::utf8WithoutBom), "UTF8_without_BOM");
    EXPECT_EQ(gf_charsetName(Charset::noneFound), "none_found");
    EXPECT_EQ(gf_charsetName(static_cast<Charset>(9)), "");
}

TEST_F(TextFileTest, DetectsMarksZeroBytesAndUtf8) {
    EXPECT_EQ(gf_detectCharset("missing.txt"), Charset::noneFound);
    EXPECT_EQ(detect(""), Charset::utf8WithoutBom);
    EXPECT_EQ(detect("plain ascii\n"), Charset::utf8WithoutBom);
    EXPECT_EQ(detect("\xEF\xBB\xBFx"), Charset::utf8WithBom);
    EXPECT_EQ(detect("Caf\xC3\xA9"), Charset::utf8WithoutBom);
    EXPECT_EQ(detect(utf16(u"ab", false, true)), Charset::unicode);
    EXPECT_EQ(detect(utf16(u"ab", true, true)), Charset::unicodeBigEndian);
    EXPECT_EQ(detect(utf16(u"ab", false, false)), Charset::unicode);
    EXPECT_EQ(detect(utf16(u"ab", true, false)), Charset::unicodeBigEndian);
    EXPECT_EQ(detect(std::string("a\0", 2)), Charset::unicode);  // shorter than 4 bytes
    EXPECT_EQ(detect("Caf\xE9"), Charset::ansi);
    EXPECT_EQ(detect("\x80"), Charset::ansi);
    EXPECT_EQ(detect("\xC0\xAF"), Charset::ansi);          // C0 is never a lead byte
    EXPECT_EQ(detect("\xE0\x9F\xBF"), Charset::ansi);      // overlong after E0
    EXPECT_EQ(detect("\xF4\x90\x80\x80"), Charset::ansi);  // above U+10FFFF
    EXPECT_EQ(detect("\xF5\x80\x80\x80"), Charset::ansi);
    EXPECT_EQ(detect("\xED\xA0\x80"), Charset::utf8WithoutBom);  // the check lets a surrogate pass
}

TEST_F(TextFileTest, CharacterCutBySampleLimitStaysUtf8) {
    // The euro sign's three bytes straddle byte 4096: the file is valid UTF-8
    // and must not be read as ANSI (which would double-encode it).
    std::string text(4095, 'a');
    text += "\xE2\x82\xAC\n";
    EXPECT_EQ(detect(text), Charset::utf8WithoutBom);
    const auto lines = readDetected(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(4095, 'a') + "\xE2\x82\xAC");
    // A file that really ends inside a character is not UTF-8.
    EXPECT_EQ(detect(std::string(100, 'a') + "\xE2\x82"), Charset::ansi);
    // Invalid bytes past the sample are not looked at.
    EXPECT_EQ(detect(std::string(4096, 'a') + "\xE9"), Charset::utf8WithoutBom);
}

TEST_F(TextFileTest, ReadsUtf8WithAndWithoutMark) {
    EXPECT_THAT(readDetected("\xEF\xBB\xBF" "eins\nzwei\n"), ElementsAre("eins", "zwei"));
    EXPECT_THAT(readDetected("Caf\xC3\xA9\r\nb"), ElementsAre("Caf\xC3\xA9", "b"));
    EXPECT_THAT(readDetected(""), IsEmpty());
    // A second mark behind the first goes too.
    EXPECT_THAT(readAs(Charset::utf8WithBom, "\xEF\xBB\xBF\xEF\xBB\xBFx"), ElementsAre("x"));
}

TEST_F(TextFileTest, ReadsUtf16InBothOrdersWithAndWithoutMark) {
    const std::u16string text = u"Caf\u00E9\r\n\u20AC 5\n";
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            EXPECT_THAT(readDetected(utf16(text, bigEndian, mark)), ElementsAre("Caf\xC3\xA9", "\xE2\x82\xAC 5"))
                << "big endian " << bigEndian << ", mark " << mark;
        }
    }
    // A mark decides over the charset the caller passes.
    EXPECT_THAT(readAs(Charset::unicode, utf16(u"xy", true, true)), ElementsAre("xy"));
    EXPECT_THAT(readAs(Charset::unicode, utf16(u"", false, true)), IsEmpty());
    EXPECT_THAT(readAs(Charset::unicode, ""), IsEmpty());
}

TEST_F(TextFileTest, ReadsWindows1252) {
    EXPECT_THAT(readDetected("Caf\xE9\n\x80 10\n"), ElementsAre("Caf\xC3\xA9", "\xE2\x82\xAC 10"));
    EXPECT_EQ(gf_ansiToUtf8(""), "");
    EXPECT_EQ(gf_ansiToUtf8("\x8A\x9F\xFF"), "\xC5\xA0\xC5\xB8\xC3\xBF");   // Š Ÿ ÿ
    EXPECT_EQ(gf_ansiToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(gf_ansiToUtf8("\x99\x85"), "\xE2\x84\xA2\xE2\x80\xA6");  // ™ …
}

TEST_F(TextFileTest, Windows1252MapsEveryByteToValidUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = gf_ansiToUtf8(all);
    // Valid UTF-8, one character per byte, printable bytes unchanged.
    const std::u16string wide = utf8_to_wide(utf8);
    ASSERT_EQ(wide.size(), all.size());
    for (int b = 1; b < 256; ++b) {
        if (b < 0x80 || b >= 0xA0) {
            EXPECT_EQ(wide[b - 1], static_cast<char16_t>(b)) << b;
        }
    }
}

TEST_F(TextFileTest, UnicodeErrorsFailWithAStatusLine) {
    writeBytes("odd.txt", utf16(u"ab", false, true) + "x");
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines(Charset::unicode, "odd.txt", lines));
    EXPECT_THAT(lines, IsEmpty());
    gf_gui().drain();
    EXPECT_EQ(gf_gui().statusLine, "Read failed for 'odd.txt': UTF-16 file of odd size");

    std::string lone = utf16(u"ab", false, true);
    lone += std::string("\x00\xD8", 2);  // a high surrogate and nothing after it
    writeBytes("lone.txt", lone);
    EXPECT_FALSE(gf_readTextFileLines(gf_detectCharset("lone.txt"), "lone.txt", lines));
    gf_gui().drain();
    EXPECT_EQ(gf_gui().statusLine, "Read failed for 'lone.txt': wide_to_utf8: invalid UTF-16");

    writeBytes("n.txt", "x");
    EXPECT_FALSE(gf_readTextFileLines(Charset::noneFound, "n.txt", lines));
    gf_gui().drain();
    EXPECT_EQ(gf_gui().statusLine, "Read failed for 'n.txt': file n.txt has unknown charset: none_found");
}

TEST_F(TextFileTest, MissingFileIsFalseWithoutMessage) {
    std::vector<std::string> lines{"stale"};
    for (const Charset c : {Charset::ansi, Charset::unicode, Charset::utf8WithoutBom}) {
        EXPECT_FALSE(gf_readTextFileLines(c, "missing.txt", lines));
        EXPECT_THAT(lines, IsEmpty());
    }
    EXPECT_EQ(gf_gui().queuedCount(), 0u);
}

TEST(SplitLines, LineEndsAndEmptyLines) {
    auto split = [](std::string_view bytes) {
        std::vector<std::string> lines;
        gf_splitLines(bytes, lines);
        return lines;
    };
    EXPECT_THAT(split("a\r\n\r\nb"), ElementsAre("a", "", "b"));
    EXPECT_THAT(split("a\r\r\n"), ElementsAre("a\r"));
    EXPECT_THAT(split("a\n"), ElementsAre("a"));
    EXPECT_THAT(split("a\n\n"), ElementsAre("a", ""));
    EXPECT_THAT(split("\n"), ElementsAre(""));
    EXPECT_THAT(split(""), IsEmpty());
    EXPECT_THAT(split("\xEF\xBB\xBF"), IsEmpty());
    EXPECT_THAT(split("\xEF\xBB\xBFx\ry"), ElementsAre("x\ry"));
    std::vector<std::string> appended{"first"};
    gf_splitLines("second", appended);
    EXPECT_THAT(appended, ElementsAre("first", "second"));
}

TEST(ReadStreamLines, WholeStreamEmptyAndFailedStreams) {
    std::istringstream text("one\ntwo");
    std::vector<std::string> lines;
    gf_readStreamLines(text, lines);
    EXPECT_THAT(lines, ElementsAre("one", "two"));
    std::istringstream empty("");
    gf_readStreamLines(empty, lines);
    EXPECT_TRUE(empty.good());
    EXPECT_EQ(lines.size(), 2u);
    std::istringstream failed("x");
    failed.setstate(std::ios::failbit);
    gf_readStreamLines(failed, lines);
    EXPECT_EQ(lines.size(), 2u);
}

TEST_F(TextFileTest, WriteTextFileReplacesTheWholeFile) {
    ASSERT_TRUE(gf_writeTextFile("", "nl.txt", true));
    EXPECT_EQ(readBytes("nl.txt"), "\n");
    ASSERT_TRUE(gf_writeTextFile("abc", "nl.txt", false));
    EXPECT_EQ(readBytes("nl.txt"), "abc");
    ASSERT_TRUE(gf_writeTextFile("x\r\ny", "nl.txt", true));
    EXPECT_EQ(readBytes("nl.txt"), "x\r\ny\n");
    // Only the target is left: no temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(TextFileTest, WriteFailureIsReportedAndKeepsTheOldFile) {
    EXPECT_FALSE(gf_writeTextFile("x", "no/such/folder/f.txt", false));
    writeBytes("keep.txt", "old");
    {
        ScopedOsFaultHook fault([](OsOperation op, const fs::path&, const fs::path&) {
            return op == OsOperation::replace ? std::make_error_code(std::errc::no_space_on_device)
                                              : std::error_code{};
        });
        EXPECT_FALSE(gf_writeTextFile("new", "keep.txt", true));
    }
    EXPECT_EQ(readBytes("keep.txt"), "old");
    // A folder in the target's place cannot be replaced by a file.
    fs::create_directory("dir.txt");
    EXPECT_FALSE(gf_writeTextFile("x", "dir.txt", false));
    EXPECT_TRUE(fs::is_directory("dir.txt"));
}

TEST_F(TextFileTest, LineReaderReadsBytesAsTheyStand) {
    writeBytes("list.txt", "\xEF\xBB\xBF" "a\nCaf\xE9\n");
    LineReader reader("list.txt");
    const LineReadResult result = reader.readLines(1024);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.lines, &reader.lines);
    EXPECT_THAT(*result.lines, ElementsAre("a", "Caf\xE9"));
    EXPECT_GE(reader.lines.capacity(), 1024u);
    // Reading again starts afresh.
    EXPECT_EQ(reader.readLines(0).lines->size(), 2u);

    LineReader missing("missing.txt");
    missing.lines = {"stale"};
    const LineReadResult failed = missing.readLines(10);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.error, "open_failed");
    EXPECT_THAT(missing.lines, IsEmpty());
}

}  // namespace
