#pragma once
// Registration codes (regcodes) of liveries that depict one particular real
// aircraft: which livery titles belong to which registrations. Two offline
// sources give them, the AIG regcodes file shipped with the program
// (input/AIG-regcodes.enc, encrypted XML) and the user's own text files in
// input/my_regcodes. Both readers return the records they could read and one
// error text per problem; no content makes them throw or stop early.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// One livery title and the registrations of the aircraft that wear it.
struct RegcodeRecord {
    std::string title;                  // the livery title as the simulator knows it (UTF-8)
    std::vector<std::string> regcodes;  // ascending byte order, distinct, each valid by gf_isValidRegcode
    bool special = false;               // the livery is kept for its registrations only

    friend bool operator==(const RegcodeRecord&, const RegcodeRecord&) = default;
};

// What one reader call gives: the records in the order read, the errors in
// the order found.
struct RegcodeParseResult {
    std::vector<RegcodeRecord> records;
    std::vector<std::string> errors;
};

// A registration code is 3 to 12 characters, each an upper-case letter A-Z,
// a digit, '+', '-' or '.'.
bool gf_isValidRegcode(std::string_view regcode) noexcept;

// Reads the AIG regcodes file (at most 8 MiB of plaintext): decrypts it,
// parses it in place, checks its metadata (the simulator entry included) and
// reads its records; logs "{:5} livery title{} with {} regcode{}, read from
// {}". A file that cannot be decrypted, parsed or whose metadata is invalid
// gives no records and one error.
RegcodeParseResult gf_loadAIGRegcodes(const std::filesystem::path& path);

// The records of a parsed AIG document (root/aig/l with t, r and s).
RegcodeParseResult lf_parseAIGRegcodesXml(const pugi::xml_document& document);

// True when the regcode breaks the rule; then adds the error naming it and
// the AIG title.
bool lf_validateAIGRegcode(std::vector<std::string>& errors, std::string_view title, std::string_view regcode);

// Reads every regular file with the extension ".txt" (any case) directly in
// the folder, in path order; logs "Processing '{}'" for each.
RegcodeParseResult gf_readRegcodeFolder(const std::filesystem::path& folder);

// The records of one file's lines ("title[;regcode,regcode...[;#]]"); the
// file name (UTF-8) and the line number prefix every error.
RegcodeParseResult lf_parseRegcodeLines(std::span<const std::string> lines, std::string_view fileName);

// True when the regcode breaks the rule; then adds the error with the line's
// prefix, the regcode and the title.
bool lf_validateRegcode(std::vector<std::string>& errors, std::string_view title, std::string_view fileName,
                        std::size_t lineNumber, std::string_view regcode);

// "{} line {}: " with a file name and a line number, "{}: " with a name and
// line number 0, "line {}: " without a name, "" without both.
std::string lf_regcodeLinePrefix(std::string_view fileName, std::size_t lineNumber);

// One line "title; A, B" per title, in ascending title order, of the records
// that have regcodes and whose title is not left out; records of the same
// title are united (their regcodes ascending and distinct).
std::vector<std::string> gf_mergeRegcodesByTitle(std::span<const RegcodeRecord> records,
                                                 std::span<const std::string_view> titlesLeftOut);
