#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/text.h"
#include "foundation/textfile.h"
#include "platform/os/os.h"
#include "services/gui.h"
#include "services/seams.h"
#include "support/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using tavo::test::readFile;
using tavo::test::writeFile;
namespace fs = std::filesystem;

// UTF-16 bytes of a BMP text, optionally with a mark.
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
        gf_setFoundationSeams();  // read failures reach the status line, as in the program
        gf_gui().drain();         // forget status lines of earlier tests
    }
    Charset detect(std::string_view bytes) {
        writeFile("f.txt", bytes);
        return gf_detectCharset("f.txt");
    }
    std::vector<std::string> readAs(Charset charset, std::string_view bytes) {
        writeFile("f.txt", bytes);
        std::vector<std::string> lines{"stale"};
        EXPECT_TRUE(gf_readTextFileLines(charset, "f.txt", lines));
        return lines;
    }
    std::vector<std::string> readDetected(std::string_view bytes) { return readAs(detect(bytes), bytes); }
    // Reading fails and the status line names the file and the cause.
    void expectReadFailure(Charset charset, std::string_view bytes, const std::string& cause) {
        writeFile("bad.txt", bytes);
        std::vector<std::string> lines{"stale"};
        EXPECT_FALSE(gf_readTextFileLines(charset, "bad.txt", lines));
        EXPECT_THAT(lines, IsEmpty());
        gf_gui().drain();
        EXPECT_EQ(gf_gui().statusLine, "Read failed for 'bad.txt': " + cause);
    }
};

TEST_F(TextFileTest, DetectsMarksZeroBytesAndUtf8) {
    EXPECT_EQ(gf_detectCharset("missing.txt"), Charset::noneFound);
    EXPECT_EQ(detect(""), Charset::utf8WithoutBom);
    EXPECT_EQ(detect("\xEF\xBB\xBFx"), Charset::utf8WithBom);
    EXPECT_EQ(detect("Caf\xC3\xA9"), Charset::utf8WithoutBom);
    EXPECT_EQ(detect(utf16(u"ab", false, true)), Charset::unicode);
    EXPECT_EQ(detect(utf16(u"ab", true, true)), Charset::unicodeBigEndian);
    EXPECT_EQ(detect(utf16(u"ab", false, false)), Charset::unicode);
    EXPECT_EQ(detect(utf16(u"ab", true, false)), Charset::unicodeBigEndian);
    EXPECT_EQ(detect(std::string("a\0", 2)), Charset::unicode);  // shorter than 4 bytes
    EXPECT_EQ(detect("Caf\xE9"), Charset::ansi);
    EXPECT_EQ(detect("\x80"), Charset::ansi);
    EXPECT_EQ(detect("\xE0\x9F\xBF"), Charset::ansi);      // overlong after E0
    EXPECT_EQ(detect("\xF4\x90\x80\x80"), Charset::ansi);  // above U+10FFFF
    EXPECT_EQ(gf_charsetName(Charset::unicodeBigEndian), "Unicode_big_endian");
}

TEST_F(TextFileTest, CharacterCutBySampleLimitStaysUtf8) {
    // The euro sign's three bytes straddle byte 4096: the file is valid UTF-8
    // and must not be read as ANSI (which would double-encode it).
    std::string text(4095, 'a');
    text += "\xE2\x82\xAC\n";
    EXPECT_EQ(detect(text), Charset::utf8WithoutBom);
    EXPECT_THAT(readDetected(text), ElementsAre(std::string(4095, 'a') + "\xE2\x82\xAC"));
    // A file that really ends inside a character is not UTF-8.
    EXPECT_EQ(detect(std::string(100, 'a') + "\xE2\x82"), Charset::ansi);
    // Invalid bytes past the sample are not looked at.
    EXPECT_EQ(detect(std::string(4096, 'a') + "\xE9"), Charset::utf8WithoutBom);
}

TEST_F(TextFileTest, CharacterCutBySampleLimitIsCheckedWithTheBytesThatFollow) {
    // A lead byte at offset 4095 (the sample's last) with what follows it in
    // the file. Windows-1252 text often has a byte of 0xC2 or more there
    // ("\xE9" is e-acute) followed by plain letters: that is no UTF-8.
    const struct {
        std::string_view tail;  // from offset 4095 on
        Charset expected;
    } cases[] = {
        {"\xE9t\xE9\n", Charset::ansi},            // Windows-1252 "ete"
        {"\xC2 abc", Charset::ansi},                 // two-byte lead, a blank after it
        {"\xF0\x9F\x98z", Charset::ansi},            // four-byte lead, third continuation missing
        {"\xE2\x82", Charset::ansi},                 // the file ends inside the character
        {"\xE9", Charset::ansi},                     // the file ends right after the lead
        {"\xC3\xA9t\xC3\xA9", Charset::utf8WithoutBom},  // UTF-8 "ete"
        {"\xF0\x9F\x98\x80!", Charset::utf8WithoutBom},  // a four-byte character, whole
        {"\xE0\x80\x80", Charset::ansi},             // overlong, seen only past the sample
    };
    for (const auto& c : cases) {
        const std::string text = std::string(4095, 'a') + std::string(c.tail);
        EXPECT_EQ(detect(text), c.expected) << testing::PrintToString(std::string(c.tail));
    }
    const std::string ansi = std::string(4095, 'a') + "\xE9t\xE9";
    EXPECT_THAT(readDetected(ansi), ElementsAre(std::string(4095, 'a') + "\xC3\xA9t\xC3\xA9"));
}

TEST_F(TextFileTest, ReadsUtf8AndUtf16WithAndWithoutMark) {
    EXPECT_THAT(readDetected("\xEF\xBB\xBF" "eins\nzwei\n"), ElementsAre("eins", "zwei"));
    EXPECT_THAT(readDetected("Caf\xC3\xA9\r\nb"), ElementsAre("Caf\xC3\xA9", "b"));
    const std::u16string text = u"Caf\u00E9\r\n\u20AC 5\n";
    for (const bool bigEndian : {false, true}) {
        for (const bool mark : {false, true}) {
            EXPECT_THAT(readDetected(utf16(text, bigEndian, mark)), ElementsAre("Caf\xC3\xA9", "\xE2\x82\xAC 5"))
                << "big endian " << bigEndian << ", mark " << mark;
        }
    }
    // A mark decides over the charset the caller passes.
    EXPECT_THAT(readAs(Charset::unicode, utf16(u"xy", true, true)), ElementsAre("xy"));
}

TEST_F(TextFileTest, ReadsWindows1252) {
    EXPECT_THAT(readDetected("Caf\xE9\n\x80 10\n"), ElementsAre("Caf\xC3\xA9", "\xE2\x82\xAC 10"));
    EXPECT_EQ(gf_ansiToUtf8("\x8A\x99\x81"), "\xC5\xA0\xE2\x84\xA2\xC2\x81");  // Š ™ and an unassigned byte
    // Every byte becomes one valid character; printable bytes keep their value.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string wide = utf8_to_wide(gf_ansiToUtf8(all));
    ASSERT_EQ(wide.size(), all.size());
    for (int b = 1; b < 256; ++b) {
        if (b < 0x80 || b >= 0xA0) {
            EXPECT_EQ(wide[b - 1], static_cast<char16_t>(b)) << b;
        }
    }
}

TEST_F(TextFileTest, BrokenFilesFailWithAStatusLine) {
    expectReadFailure(Charset::unicode, utf16(u"ab", false, true) + "x", "UTF-16 file of odd size");
    expectReadFailure(Charset::unicode, utf16(u"ab", false, true) + std::string("\x00\xD8", 2),
                      "wide_to_utf8: invalid UTF-16");
    expectReadFailure(Charset::noneFound, "x", "file bad.txt has unknown charset: none_found");
    // A missing file is just false, without a message.
    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(gf_readTextFileLines(Charset::unicode, "missing.txt", lines));
    EXPECT_THAT(lines, IsEmpty());
    EXPECT_EQ(gf_gui().queuedCount(), 0u);
}

// Before the program's start hands over the status line, a read failure is
// still written down.
class ReadFailureWithoutWindowTest : public tavo::test::LogFileTest {
protected:
    void TearDown() override {
        gf_setFoundationSeams();
        LogFileTest::TearDown();
    }
};

TEST_F(ReadFailureWithoutWindowTest, GoesToTheLog) {
    gf_setReadFailureReporter(nullptr);
    gf_gui().drain();
    writeFile("bad.txt", "x");
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines(Charset::noneFound, "bad.txt", lines));
    EXPECT_EQ(newLogLines(), "Read failed for 'bad.txt': file bad.txt has unknown charset: none_found\n");
    EXPECT_EQ(gf_gui().queuedCount(), 0u);
}

TEST(SplitLines, LineEndsMarksAndAppending) {
    auto split = [](std::string_view bytes) {
        std::vector<std::string> lines{"first"};
        gf_splitLines(bytes, lines);
        return lines;
    };
    EXPECT_THAT(split("a\r\n\r\nb"), ElementsAre("first", "a", "", "b"));
    EXPECT_THAT(split("a\r\r\n"), ElementsAre("first", "a\r"));
    EXPECT_THAT(split("a\n\n"), ElementsAre("first", "a", ""));
    EXPECT_THAT(split("\xEF\xBB\xBF"), ElementsAre("first"));
    EXPECT_THAT(split("\xEF\xBB\xBFx\ry"), ElementsAre("first", "x\ry"));
}

TEST_F(TextFileTest, WriteTextFileReplacesTheWholeFile) {
    ASSERT_TRUE(gf_writeTextFile("", "nl.txt", true));
    EXPECT_EQ(readFile("nl.txt"), "\n");
    ASSERT_TRUE(gf_writeTextFile("x\r\ny", "nl.txt", true));
    EXPECT_EQ(readFile("nl.txt"), "x\r\ny\n");
    // Only the target is left: no temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(TextFileTest, WriteFailureIsReportedAndKeepsTheOldFile) {
    EXPECT_FALSE(gf_writeTextFile("x", "no/such/folder/f.txt", false));
    writeFile("keep.txt", "old");
    {
        ScopedOsFaultHook fault([](OsOperation op, const fs::path&, const fs::path&) {
            return op == OsOperation::replace ? std::make_error_code(std::errc::no_space_on_device)
                                              : std::error_code{};
        });
        EXPECT_FALSE(gf_writeTextFile("new", "keep.txt", true));
    }
    EXPECT_EQ(readFile("keep.txt"), "old");
    fs::create_directory("dir.txt");  // a folder cannot be replaced by a file
    EXPECT_FALSE(gf_writeTextFile("x", "dir.txt", false));
    EXPECT_TRUE(fs::is_directory("dir.txt"));
}

TEST_F(TextFileTest, LineReaderReadsBytesAsTheyStand) {
    writeFile("list.txt", "\xEF\xBB\xBF" "a\nCaf\xE9\n");
    LineReader reader("list.txt");
    const LineReadResult result = reader.readLines(1024);
    ASSERT_TRUE(result);
    EXPECT_THAT(*result.lines, ElementsAre("a", "Caf\xE9"));
    EXPECT_EQ(reader.readLines(0).lines->size(), 2u);  // reading again starts afresh

    LineReader missing("missing.txt");
    missing.lines = {"stale"};
    const LineReadResult failed = missing.readLines(10);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.error, "open_failed");
    EXPECT_THAT(missing.lines, IsEmpty());
}

// A folder opens as a stream but reports a bogus size (none, or the largest
// offset): it must fail to read, neither pass as an empty file nor escape as
// an exception from the allocation.
TEST_F(TextFileTest, FolderIsAReadFailureNotAnEmptyOrHugeFile) {
    fs::create_directory("folder.txt");
    LineReader reader("folder.txt");
    const LineReadResult result = reader.readLines(4);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error, "open_failed");

    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(gf_readTextFileLines(Charset::utf8WithoutBom, "folder.txt", lines));
    EXPECT_FALSE(gf_readTextFileLines(Charset::unicode, "folder.txt", lines));
    EXPECT_THAT(lines, IsEmpty());
}

}  // namespace
