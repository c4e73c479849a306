#include "foundation/textfile.h"

#include <array>
#include <atomic>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/os.h"

namespace {

constexpr std::size_t kSampleSize = 4096;

// Windows-1252 for the bytes 0x80..0x9F; every other byte is the code point
// of the same value. The five bytes 1252 leaves undefined (81, 8D, 8F, 90,
// 9D) keep their value as C1 controls, as the lenient system conversion does.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

// The detection check of a sample as UTF-8. It is deliberately looser than
// the strict converter (an encoded surrogate passes): it only has to tell
// UTF-8 from a single-byte code page. Characters that start within the first
// `sampleEnd` bytes are checked; `bytes` holds up to three bytes more, so
// that a character cut by the sample's end is checked whole. One that the
// file's end cuts is no UTF-8.
bool lf_sampleIsUtf8(std::string_view bytes, std::size_t sampleEnd) {
    std::size_t i = 0;
    while (i < sampleEnd) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead <= 0x7F) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        if ((lead & 0xE0) == 0xC0) {
            if (lead < 0xC2) {
                return false;
            }
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            if (lead > 0xF4) {
                return false;
            }
            extra = 3;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= bytes.size()) {
                return false;
            }
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            if (!gf_isUtf8Continuation(byte)) {
                return false;
            }
            if (k == 1 && ((lead == 0xE0 && byte < 0xA0) || (lead == 0xF0 && byte < 0x90) ||
                           (lead == 0xF4 && byte > 0x8F))) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

// A folder opens as a stream like a file, but reports no size or the largest
// offset and fails only when read. One byte is tried before the size is
// trusted, so that a folder is a read failure rather than an empty file or an
// allocation of that size.
void lf_requireReadable(std::istream& stream) {
    stream.peek();
    if (stream.bad()) {
        throw std::runtime_error("the file cannot be read");
    }
    stream.clear();  // the peek at an empty file set the end-of-file flag
}

// Reads a UTF-16 stream: the byte order of its mark when it has one (the mark
// is dropped), else the order the detection found from its zero bytes.
void lf_readUnicodeFileLines(std::istream& stream, std::vector<std::string>& lines, bool bigEndianWithoutMark) {
    if (!stream.good()) {
        return;
    }
    lf_requireReadable(stream);
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size <= 1) {
        stream.clear();
        stream.seekg(0, std::ios::beg);
        if (size == 1) {
            throw std::runtime_error("UTF-16 file of odd size");
        }
        return;
    }
    if (size % 2 != 0) {
        throw std::runtime_error("UTF-16 file of odd size");
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    stream.seekg(0, std::ios::beg);
    stream.read(bytes.data(), size);
    if (stream.gcount() != size) {
        throw std::runtime_error("UTF-16 file could not be read whole");
    }
    std::size_t start = 0;
    bool bigEndian = bigEndianWithoutMark;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFF && b1 == 0xFE) {
        bigEndian = false;
        start = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
        bigEndian = true;
        start = 2;
    }
    std::u16string units;
    units.reserve((bytes.size() - start) / 2);
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        units.push_back(static_cast<char16_t>((hi << 8) | lo));
    }
    gf_splitLines(wide_to_utf8(units), lines);
}

std::atomic<ReadFailureReporter> l_readFailureReporter{nullptr};

// A read failure is for the user to see in the window, not only in the log.
void lf_showReadFailure(const std::string& text) {
    if (const ReadFailureReporter report = l_readFailureReporter.load()) {
        report(text);
    } else {
        gf_logNoThrow(text);
    }
}

}  // namespace

void gf_setReadFailureReporter(ReadFailureReporter reporter) { l_readFailureReporter.store(reporter); }

std::string_view gf_charsetName(Charset charset) {
    switch (charset) {
        case Charset::ansi: return "ANSI";
        case Charset::unicode: return "Unicode";
        case Charset::unicodeBigEndian: return "Unicode_big_endian";
        case Charset::utf8WithBom: return "UTF8_with_BOM";
        case Charset::utf8WithoutBom: return "UTF8_without_BOM";
        case Charset::noneFound: return "none_found";
    }
    return {};
}

Charset gf_detectCharset(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return Charset::noneFound;
    }
    // The sample and up to three bytes more: the rest of a character that the
    // sample's end cuts.
    constexpr std::size_t kReadSize = kSampleSize + 3;
    std::string bytes(kReadSize, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(kReadSize));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    const std::string_view sample = std::string_view(bytes).substr(0, kSampleSize);

    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sample[i]); };
    if (sample.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        return Charset::utf8WithBom;
    }
    if (sample.size() >= 2) {
        if (byte(0) == 0xFF && byte(1) == 0xFE) {
            return Charset::unicode;
        }
        if (byte(0) == 0xFE && byte(1) == 0xFF) {
            return Charset::unicodeBigEndian;
        }
        if (byte(1) == 0 && (sample.size() < 4 || byte(3) == 0)) {
            return Charset::unicode;
        }
        if (byte(0) == 0 && (sample.size() < 4 || byte(2) == 0)) {
            return Charset::unicodeBigEndian;
        }
    }
    if (sample.empty()) {
        return Charset::utf8WithoutBom;
    }
    return lf_sampleIsUtf8(bytes, sample.size()) ? Charset::utf8WithoutBom : Charset::ansi;
}

std::string gf_ansiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        gf_appendUtf8(out, (byte >= 0x80 && byte <= 0x9F) ? kCp1252High[byte - 0x80] : char32_t{byte});
    }
    return out;
}

void gf_splitLines(std::string_view bytes, std::vector<std::string>& lines) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    if (bytes.empty()) {
        return;
    }
    std::size_t pos = 0;
    for (;;) {
        const auto newline = bytes.find('\n', pos);
        std::string_view line = bytes.substr(pos, newline == std::string_view::npos ? bytes.size() - pos : newline - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        if (newline == std::string_view::npos || newline + 1 == bytes.size()) {
            return;
        }
        pos = newline + 1;
    }
}

void gf_readStreamLines(std::istream& stream, std::vector<std::string>& lines) {
    if (!stream.good()) {
        return;
    }
    lf_requireReadable(stream);
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size <= 0) {
        stream.clear();
        stream.seekg(0, std::ios::beg);
        return;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    stream.seekg(0, std::ios::beg);
    stream.read(bytes.data(), size);
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    gf_splitLines(bytes, lines);
}

bool gf_readTextFileLines(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines) {
    lines.clear();
    try {
        switch (charset) {
            case Charset::unicode:
            case Charset::unicodeBigEndian: {
                std::ifstream in(path, std::ios::binary);
                if (!in.is_open()) {
                    return false;
                }
                lf_readUnicodeFileLines(in, lines, charset == Charset::unicodeBigEndian);
                return true;
            }
            case Charset::utf8WithBom:
            case Charset::utf8WithoutBom: {
                std::ifstream in(path, std::ios::binary);
                if (!in.is_open()) {
                    return false;
                }
                gf_readStreamLines(in, lines);
                if (charset == Charset::utf8WithBom && !lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) {
                    lines.front().erase(0, 3);
                }
                return true;
            }
            case Charset::ansi: {
                std::ifstream in(path, std::ios::binary);
                if (!in.is_open()) {
                    return false;
                }
                std::vector<std::string> raw;
                raw.reserve(2048);
                gf_readStreamLines(in, raw);
                lines.reserve(raw.size());
                for (const auto& line : raw) {
                    lines.push_back(gf_ansiToUtf8(line));
                }
                return true;
            }
            default:
                throw std::runtime_error(
                    fmt::format("file {} has unknown charset: {}", gf_pathToUtf8(path), gf_charsetName(charset)));
        }
    } catch (const std::exception& e) {
        lines.clear();
        lf_showReadFailure(fmt::format("Read failed for '{}': {}", gf_pathToUtf8(path), e.what()));
        return false;
    }
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool appendNewline) {
    if (!appendNewline) {
        return gf_osReplaceFileContent(path, text).succeeded();
    }
    std::string content;
    content.reserve(text.size() + 1);
    content += text;
    content.push_back('\n');
    return gf_osReplaceFileContent(path, content).succeeded();
}

LineReadResult LineReader::readLines(std::size_t expectedLines) {
    lines.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return LineReadResult{nullptr, "open_failed"};
    }
    if (expectedLines > lines.capacity()) {
        lines.reserve(expectedLines);
    }
    try {
        gf_readStreamLines(in, lines);
    } catch (const std::exception&) {
        // A path that opens but cannot be read (a folder) fails as a file
        // that cannot be opened: the caller gets a result, not an exception.
        lines.clear();
        return LineReadResult{nullptr, "open_failed"};
    }
    return LineReadResult{&lines, {}};
}
