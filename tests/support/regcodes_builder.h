#pragma once
// Registration-code sources for tests and benchmarks: the AIG regcodes file
// (XML with a meta block and `l` elements whose attributes may be missing or
// odd, encrypted with the program's key or another) and the user's
// my_regcodes text files (UTF-8 with or without a byte-order mark, LF or CRLF).

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/enc_writer.h"

namespace tavo::test {

struct RegcodesBuilder {
    // A missing optional means the attribute is not written at all.
    struct Livery {
        std::optional<std::string> t, r, s;
    };
    std::vector<Livery> liveries;

    // The meta block's entries, written in this order; nullopt writes no meta
    // block at all.
    std::optional<std::vector<std::pair<std::string, std::string>>> meta = defaultMeta();
    // The document element ("root" for a readable file) and whether the `aig`
    // list is written.
    std::string rootName = "root";
    bool withAig = true;

    RegcodesBuilder& livery(std::optional<std::string> t, std::optional<std::string> r,
                            std::optional<std::string> s = {});

    // author, version, copyright and sim (3: both simulators).
    static std::vector<std::pair<std::string, std::string>> defaultMeta();

    // The XML text.
    std::string xml() const;
    // Encrypts xml() into path (folders are created).
    void write(const std::filesystem::path& path, const EncWriterOptions& options = {}) const;
    // Into input/AIG-regcodes.enc under the working folder.
    void writeToInput() const;

    // 30,000 titles with 36,000 regcodes in all: most with one registration,
    // every fifth with two, a few specials.
    static RegcodesBuilder largeProfile();
};

enum class LineEnd { lf, crlf };

// Writes the lines as one my_regcodes text file (folders are created); every
// line, the last one too, ends with the line end.
void writeRegcodeFile(const std::filesystem::path& path, const std::vector<std::string>& lines, bool byteOrderMark,
                      LineEnd lineEnd = LineEnd::lf);

}  // namespace tavo::test
