#pragma once
// Text files written by other programs and by users, in whatever encoding
// they came: the encoding is recognised from the first 4096 bytes and the
// lines are delivered as UTF-8.

#include <cstddef>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

enum class Charset : int {
    ansi = 0,              // "ANSI": Windows-1252
    unicode = 1,           // "Unicode": UTF-16 little endian
    unicodeBigEndian = 2,  // "Unicode_big_endian"
    utf8WithBom = 3,       // "UTF8_with_BOM"
    utf8WithoutBom = 4,    // "UTF8_without_BOM" (also plain ASCII)
    noneFound = 5,         // "none_found": the file could not be opened
};

// The name of a charset as it appears in messages; empty for other values.
std::string_view gf_charsetName(Charset charset);

// Recognises the encoding of a file from its first 4096 bytes.
Charset gf_detectCharset(const std::filesystem::path& path);

// Clears `lines` and fills it with the file's lines in UTF-8, reading it in
// the given charset. False when the file could not be opened or read; a read
// error is also shown as a highlighted status line.
bool gf_readTextFileLines(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines);

// Where gf_readTextFileLines shows a read failure. The program's start points
// it at the main window's status line (gf_setFoundationSeams); while nothing
// is set (nullptr) the line goes to the log only.
using ReadFailureReporter = void (*)(const std::string& text) noexcept;
void gf_setReadFailureReporter(ReadFailureReporter reporter);

// Windows-1252 text to UTF-8. The five bytes 1252 leaves undefined map to the
// C1 controls of the same value, so no byte is ever lost.
std::string gf_ansiToUtf8(std::string_view text);

// Appends the lines of a buffer: a leading UTF-8 mark is dropped, lines end at
// "\n" with one "\r" before it removed, a final line end makes no empty line.
void gf_splitLines(std::string_view bytes, std::vector<std::string>& lines);
// Reads the whole stream and appends its lines with gf_splitLines. A stream
// that cannot be read (a folder opened as a file) throws std::runtime_error.
void gf_readStreamLines(std::istream& stream, std::vector<std::string>& lines);

// Writes the text (and "\n" when asked) as the file's whole content, through
// a temporary file that replaces the old one. False when anything fails,
// writing and closing included; the old file is then left as it was.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool appendNewline);

// The outcome of LineReader::readLines: the reader's lines, or an error text.
struct LineReadResult {
    const std::vector<std::string>* lines = nullptr;  // set on success
    std::string_view error;                            // "open_failed" on failure

    explicit operator bool() const { return lines != nullptr; }
};

// A simple reader for files known to be UTF-8 or ASCII: no charset detection.
struct LineReader {
    explicit LineReader(std::filesystem::path path_) : path(std::move(path_)) {}

    // Clears the lines and reads the file anew, reserving `expectedLines`.
    LineReadResult readLines(std::size_t expectedLines);

    std::filesystem::path path;
    std::vector<std::string> lines;
};
