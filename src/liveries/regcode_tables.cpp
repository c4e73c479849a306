// Registration-code tables: which registrations wear which livery, from the
// registrations of the scanned liveries, the AIG regcodes file and the user's
// own regcode files, with their three report files.

#include <algorithm>
#include <exception>
#include <filesystem>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/livery_tables.h"
#include "liveries/regcodes.h"
#include "liveries/scanned_liveries.h"

std::unordered_map<std::string, std::string_view, Fnv1aTextHash, std::equal_to<>> regcodeTitles;
std::unordered_map<std::string_view, std::string, Fnv1aTextHash, std::equal_to<>> titleRegcodes;
TitleViewSet specialTitles;
std::set<std::string, std::less<>> uniqueRegcodes;
std::vector<std::string> regcodeMessages;

namespace fs = std::filesystem;

namespace {

const char* lf_suffix(std::size_t count) { return count == 1 ? "" : "s"; }
const char* lf_pluralAboveOne(std::size_t count) { return count > 1 ? "s" : ""; }

// Writes the lines into the folder, making it (and its parents) first.
// Folder errors leave as filesystem_error with the operation's name.
bool lf_writeReport(const fs::path& folder, const char* name, const std::vector<std::string>& lines) {
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (ec) throw fs::filesystem_error("exists", folder, ec);
    if (!exists) {
        fs::create_directories(folder, ec);
        if (ec) throw fs::filesystem_error("create_directories", folder, ec);
    }
    return gf_writeLinesToFile(lines, folder / name);
}

void lf_removeIfExists(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
    if (ec) gf_logError(fmt::format("Could not remove '{}': {}", gf_pathToUtf8(path), ec.message()));
}

void lf_mergeRegcodes(const std::vector<RegcodeRecord>& records) {
    std::size_t added = 0, replaced = 0, special = 0;
    for (const RegcodeRecord& record : records) {
        const auto title = liveryTitles.find(record.title);
        if (title == liveryTitles.end()) continue;
        const std::string_view canonical = title->second;
        for (const std::string& regcode : record.regcodes) {
            const auto [entry, inserted] = regcodeTitles.try_emplace(regcode, canonical);
            if (inserted) {
                ++added;
            } else if (entry->second != canonical) {
                regcodeMessages.push_back(fmt::format("   regcode {} for '{}', instead of the same for '{}'", regcode,
                                                      canonical, entry->second));
                entry->second = canonical;
                ++replaced;
            }
        }
        if (record.special) {
            if (record.regcodes.size() == 1) uniqueRegcodes.insert(record.regcodes.front());
            specialTitles.insert(canonical);
            ++special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", added, lf_suffix(added));
    if (replaced > 0) line += fmt::format(", {} regcode{} replaced", replaced, lf_pluralAboveOne(replaced));
    if (special > 0) line += fmt::format(", {} regcode{} defined as special", special, lf_pluralAboveOne(special));
    regcodeMessages.push_back(std::move(line));
}

void lf_processAIGRegcodeFile(const fs::path& path) {
    const std::string line = fmt::format("Processing '{}'", gf_pathToUtf8(path));
    gf_log(line);
    regcodeMessages.push_back(line);
    const RegcodeParseResult result = gf_loadAIGRegcodes(path);
    for (const std::string& error : result.errors) gf_logError(error);
    if (!result.errors.empty()) {
        regcodeMessages.push_back(fmt::format(
            "There were errors processing the AIG-regcode file '{}', see Log.txt", gf_pathToUtf8(path)));
    }
    lf_mergeRegcodes(result.records);
}

void lf_processRegcodeFolder() {
    lf_removeIfExists(outputErrorsDir / "MissingCustomRepaints.txt");
    std::error_code ec;
    if (fs::status(myRegcodesPath, ec).type() == fs::file_type::not_found) return;
    if (!fs::is_directory(myRegcodesPath, ec)) {
        // A file under the folder's name (or a folder that cannot be looked
        // at) would leave the user's regcodes unread without a word: the
        // reader's refusal says why.
        for (const std::string& error : gf_readRegcodeFolder(myRegcodesPath).errors) gf_logError(error);
        return;
    }
    const std::string folder = gf_pathToUtf8(myRegcodesPath);
    regcodeMessages.push_back(fmt::format("Processing files in {}", folder));
    const RegcodeParseResult result = gf_readRegcodeFolder(myRegcodesPath);
    for (const std::string& error : result.errors) gf_logError(error);
    if (!result.errors.empty()) {
        gf_log(fmt::format("There were errors processing the regcode files in folder '{}', see Log.txt", folder));
    }
    std::vector<std::string_view> titles;
    titles.reserve(liveryTitles.size());
    for (const auto& [title, view] : liveryTitles) titles.push_back(view);
    std::sort(titles.begin(), titles.end());
    const std::vector<std::string> missing = gf_mergeRegcodesByTitle(result.records, titles);
    if (!missing.empty()) {
        const fs::path path = outputErrorsDir / "MissingCustomRepaints.txt";
        if (lf_writeReport(outputErrorsDir, "MissingCustomRepaints.txt", missing)) {
            gf_log(fmt::format("{:5} custom repaint title{} not found in scanned liveries, see '{}'", missing.size(),
                               lf_suffix(missing.size()), gf_pathToUtf8(path)));
        } else {
            gf_logError(fmt::format("Could not write '{}'", gf_pathToUtf8(path)));
        }
    }
    lf_mergeRegcodes(result.records);
}

}  // namespace

void lf_processInlineRegcodes() {
    std::vector<std::string> clashes;
    for (const ScannedLivery& livery : liveryTable) {
        if (livery.registration.empty()) continue;
        const auto title = liveryTitles.find(livery.title);
        if (title == liveryTitles.end()) {
            clashes.push_back(fmt::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                          livery.key, livery.registration, livery.title));
            continue;
        }
        const std::string_view canonical = title->second;
        const auto [byRegcode, regcodeNew] = regcodeTitles.try_emplace(livery.registration, canonical);
        if (!regcodeNew && byRegcode->second != canonical) {
            clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", livery.registration, canonical,
                                          byRegcode->second));
        }
        const auto [byTitle, titleNew] = titleRegcodes.try_emplace(canonical, livery.registration);
        if (!titleNew && byTitle->second != livery.registration) {
            clashes.push_back(fmt::format("{} '{}' => already in use by '{}'", canonical, livery.registration,
                                          byTitle->second));
        }
    }
    if (clashes.empty()) return;
    const fs::path path = outputErrorsDir / "InlineRegcodes.txt";
    if (!lf_writeReport(outputErrorsDir, "InlineRegcodes.txt", clashes)) {
        gf_logError(fmt::format("Could not write '{}'", gf_pathToUtf8(path)));
        return;
    }
    gf_log(fmt::format("{:5} in-line regcode clashes, see '{}'", clashes.size(), gf_pathToUtf8(path)));
}

void lf_processOfflineRegcodes() {
    try {
        regcodeMessages.clear();
        specialTitles.clear();
        uniqueRegcodes.clear();
        // The report of an earlier start goes in every case, so that none
        // stands beside a start that read no offline source.
        const fs::path path = outputInfoDir / "OfflineRegcodes.txt";
        lf_removeIfExists(path);
        std::error_code ec;
        if (!fs::exists(regcodesEncFile, ec)) {
            gf_logError(fmt::format("{} not available", gf_pathToUtf8(regcodesEncFile)));
            return;
        }
        gf_log("\n******* Offline regcodes ******");
        lf_processAIGRegcodeFile(regcodesEncFile);
        lf_processRegcodeFolder();

        if (regcodeMessages.empty()) return;
        if (!lf_writeReport(outputInfoDir, "OfflineRegcodes.txt", regcodeMessages)) {
            gf_logError(fmt::format("Could not write '{}'", gf_pathToUtf8(path)));
            return;
        }
        gf_log(fmt::format("****** Offline regcode files processed, results can be found in '{}' ******\n",
                           gf_pathToUtf8(path)));
        if (!specialTitles.empty()) gf_log(fmt::format("{:5} special liveries", specialTitles.size()));
        if (!uniqueRegcodes.empty()) gf_log(fmt::format("{:5} unique liveries", uniqueRegcodes.size()));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("exception in lf_processOfflineRegcodes: {}", e.what()));
    } catch (...) {
        gf_logError("unknown exception in lf_processOfflineRegcodes");
    }
}

namespace {

std::size_t lf_addDontUseTitles(const RegcodeParseResult& result) {
    std::size_t added = 0;
    for (const RegcodeRecord& record : result.records) {
        if (record.regcodes.empty() && dontUseTitles.insert(record.title).second) ++added;
    }
    return added;
}

}  // namespace

void gf_readDontUseTitlesFile(const fs::path& path) {
    const RegcodeParseResult result = gf_loadAIGRegcodes(path);
    for (const std::string& error : result.errors) gf_logError(error);
    if (!result.errors.empty()) {
        regcodeMessages.push_back(
            fmt::format("There were errors in processing the file '{}', see the Log.txt", gf_pathToUtf8(path)));
    }
    const std::size_t added = lf_addDontUseTitles(result);
    gf_log(fmt::format("{:5} don't use title{} read", added, lf_suffix(added)));
}

void gf_readDontUseTitlesFolder(const fs::path& folder) {
    const RegcodeParseResult result = gf_readRegcodeFolder(folder);
    for (const std::string& error : result.errors) gf_logError(error);
    if (!result.errors.empty()) {
        regcodeMessages.push_back(fmt::format(
            "There were errors in processing the regcode files in folder '{}', see the Log.txt", gf_pathToUtf8(folder)));
    }
    const std::size_t added = lf_addDontUseTitles(result);
    gf_log(fmt::format("{:5} don't use title{} read from files in {}", added, lf_suffix(added), gf_pathToUtf8(folder)));
}
