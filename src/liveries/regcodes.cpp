#include "liveries/regcodes.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>

#include "foundation/encrypted.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "foundation/xml.h"

namespace {

using TitleViewSet = std::unordered_set<std::string_view, Fnv1aTextHash, std::equal_to<>>;

constexpr std::size_t kExpectedLinesPerFile = 1024;

// Removes the regcodes that break the rule; `invalid` reports each one (and
// adds its error).
template <typename Report>
void lf_keepValidRegcodes(std::vector<std::string>& regcodes, Report invalid) {
    std::erase_if(regcodes, [&](const std::string& regcode) { return invalid(regcode); });
}

bool lf_hasTxtExtension(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    return gf_toLowerAscii(extension) == ".txt";
}

}  // namespace

bool gf_isValidRegcode(std::string_view regcode) noexcept {
    if (regcode.size() < 3 || regcode.size() > 12) return false;
    return std::all_of(regcode.begin(), regcode.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

bool lf_validateAIGRegcode(std::vector<std::string>& errors, std::string_view title, std::string_view regcode) {
    if (gf_isValidRegcode(regcode)) return false;
    errors.push_back(fmt::format("invalid registration code '{}' for AIG title '{}'", regcode, title));
    return true;
}

RegcodeParseResult lf_parseAIGRegcodesXml(const pugi::xml_document& document) {
    RegcodeParseResult result;
    const pugi::xml_node root = document.child("root");
    if (!root) {
        result.errors.emplace_back("missing <root> element");
        return result;
    }
    const pugi::xml_node aig = root.child("aig");
    if (!aig) {
        result.errors.emplace_back("missing <aig> element");
        return result;
    }
    // The views point into the document, which outlives this call.
    TitleViewSet seen;
    std::size_t number = 0;
    for (const pugi::xml_node element : aig.children("l")) {
        ++number;
        const std::string_view title = element.attribute("t").value();
        if (title.empty()) {
            result.errors.push_back(fmt::format("AIG XML record {} has no title", number));
            continue;
        }
        if (!seen.insert(title).second) {
            result.errors.push_back(fmt::format("duplicate AIG title '{}'", title));
            continue;
        }
        std::vector<std::string> regcodes = gf_splitToSortedSet(element.attribute("r").value());
        const bool listed = !regcodes.empty();
        lf_keepValidRegcodes(regcodes, [&](const std::string& regcode) {
            return lf_validateAIGRegcode(result.errors, title, regcode);
        });
        // A title without any registration is a record of its own; one whose
        // registrations were all invalid is not.
        if (listed && regcodes.empty()) continue;
        result.records.push_back(
            RegcodeRecord{std::string(title), std::move(regcodes), element.attribute("s").as_bool(false)});
    }
    return result;
}

RegcodeParseResult gf_loadAIGRegcodes(const std::filesystem::path& path) {
    RegcodeParseResult result;
    const std::string pathText = gf_pathToUtf8(path);
    // The plaintext is parsed in place, so it is declared before the document
    // and outlives it; it is wiped when it goes.
    DecryptResult plain = gf_readEncryptedFile(path, kRegcodesEncLimit);
    if (!plain.ok) {
        result.errors.push_back(std::move(plain.error));
        return result;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(plain.buffer.data(), plain.buffer.size());
    if (!parsed) {
        result.errors.push_back(fmt::format("'{}' not loaded: {}", pathText, parsed.description()));
        return result;
    }
    if (!gf_readDataFileMeta(document, false)) {
        result.errors.push_back(fmt::format("'{}' has invalid metadata", pathText));
        return result;
    }
    result = lf_parseAIGRegcodesXml(document);
    std::size_t regcodeCount = 0;
    for (const auto& record : result.records) regcodeCount += record.regcodes.size();
    gf_log(fmt::format("{:5} livery title{} with {} regcode{}, read from {}", result.records.size(),
                       gf_pluralSuffix(result.records.size()), regcodeCount, gf_pluralSuffix(regcodeCount), pathText));
    return result;
}

std::string lf_regcodeLinePrefix(std::string_view fileName, std::size_t lineNumber) {
    if (!fileName.empty()) {
        if (lineNumber != 0) return fmt::format("{} line {}: ", fileName, lineNumber);
        return fmt::format("{}: ", fileName);
    }
    if (lineNumber != 0) return fmt::format("line {}: ", lineNumber);
    return {};
}

bool lf_validateRegcode(std::vector<std::string>& errors, std::string_view title, std::string_view fileName,
                        std::size_t lineNumber, std::string_view regcode) {
    if (gf_isValidRegcode(regcode)) return false;
    errors.push_back(fmt::format("{}invalid registration code '{}' for title '{}'",
                                 lf_regcodeLinePrefix(fileName, lineNumber), regcode, title));
    return true;
}

RegcodeParseResult lf_parseRegcodeLines(std::span<const std::string> lines, std::string_view fileName) {
    RegcodeParseResult result;
    std::size_t number = 0;
    for (const std::string& line : lines) {
        ++number;
        if (line.empty()) continue;
        std::vector<std::string> fields = gf_split(line, ';');
        if (fields.empty()) continue;
        if (fields.size() > 3) {
            result.errors.push_back(fmt::format("{}expected at most 3 semicolon-separated fields: '{}'",
                                                lf_regcodeLinePrefix(fileName, number), line));
            continue;
        }
        RegcodeRecord record{std::move(fields[0]), {}, false};
        if (fields.size() >= 2) {
            record.regcodes = gf_splitToSortedSet(fields[1]);
            lf_keepValidRegcodes(record.regcodes, [&](const std::string& regcode) {
                return lf_validateRegcode(result.errors, record.title, fileName, number, regcode);
            });
            // The field is never empty, so it gave items: none valid, no record.
            if (record.regcodes.empty()) continue;
            // One registration makes the livery that aircraft's own; several
            // only with the marker.
            record.special = record.regcodes.size() == 1;
            if (fields.size() == 3) {
                if (fields[2] == "#") {
                    record.special = true;
                } else {
                    result.errors.push_back(fmt::format("{}invalid special marker '{}' for title '{}'",
                                                        lf_regcodeLinePrefix(fileName, number), fields[2],
                                                        record.title));
                }
            }
        }
        result.records.push_back(std::move(record));
    }
    return result;
}

RegcodeParseResult gf_readRegcodeFolder(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    RegcodeParseResult result;
    const std::string folderText = gf_pathToUtf8(folder);
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::is_directory(status)) {
        if (ec) {
            result.errors.push_back(fmt::format("could not inspect '{}': {}", folderText, ec.message()));
        } else {
            result.errors.push_back(fmt::format("'{}' is not a directory", folderText));
        }
        return result;
    }

    std::vector<fs::path> files;
    fs::directory_iterator it(folder, ec);
    const fs::directory_iterator end;
    while (!ec && it != end) {
        fs::directory_entry entry = *it;
        std::error_code entryError;
        entry.refresh(entryError);
        const bool regular = !entryError && entry.is_regular_file(entryError);
        if (entryError) {
            result.errors.push_back(
                fmt::format("could not inspect '{}': {}", gf_pathToUtf8(entry.path()), entryError.message()));
        } else if (regular && lf_hasTxtExtension(entry.path())) {
            files.push_back(entry.path());
        }
        it.increment(ec);
    }
    // The files found before a failed enumeration are still read.
    if (ec) result.errors.push_back(fmt::format("could not enumerate '{}': {}", folderText, ec.message()));
    std::sort(files.begin(), files.end());

    for (const fs::path& file : files) {
        const std::string fileText = gf_pathToUtf8(file);
        gf_log(fmt::format("Processing '{}'", fileText));
        LineReader reader(file);
        const LineReadResult read = reader.readLines(kExpectedLinesPerFile);
        if (!read) {
            result.errors.push_back(fmt::format("could not read '{}': {}", fileText, read.error));
            continue;
        }
        RegcodeParseResult one = lf_parseRegcodeLines(*read.lines, fileText);
        std::move(one.records.begin(), one.records.end(), std::back_inserter(result.records));
        std::move(one.errors.begin(), one.errors.end(), std::back_inserter(result.errors));
    }
    return result;
}

std::vector<std::string> gf_mergeRegcodesByTitle(std::span<const RegcodeRecord> records,
                                                 std::span<const std::string_view> titlesLeftOut) {
    const TitleViewSet leftOut(titlesLeftOut.begin(), titlesLeftOut.end());
    std::map<std::string_view, std::set<std::string_view>> byTitle;
    for (const RegcodeRecord& record : records) {
        if (record.regcodes.empty() || leftOut.contains(record.title)) continue;
        auto& regcodes = byTitle[record.title];
        regcodes.insert(record.regcodes.begin(), record.regcodes.end());
    }
    std::vector<std::string> lines;
    lines.reserve(byTitle.size());
    for (const auto& [title, regcodes] : byTitle)
        lines.push_back(fmt::format("{}; {}", title, fmt::join(regcodes, ", ")));
    return lines;
}
