#include "liveries/scanned_liveries.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <tuple>
#include <utility>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/version.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"
#include "platform/os/os.h"
#include "settings/snapshot.h"

namespace fs = std::filesystem;

std::vector<ScannedLivery> scannedLiveries;
TitleSet scanTitles(8);
TitleSet dontUseTitles;
std::vector<ScannedLivery> liveryTable;

namespace {

constexpr std::size_t kReservedScanRecords = 30000;

ScannedLiveriesSaver l_saver;

// Builds the whole document; false (logged) when any node or attribute
// could not be added.
bool lf_buildScannedLiveriesDocument(pugi::xml_document& document) {
    DataFileMeta meta;
    meta.version = g_programVersion.toString();
    meta.sim = startupChoice.load()->simulator;
    if (!gf_writeDataFileMeta(document, meta)) {
        gf_log("Cannot write liveries scanned: failed to add metadata");
        return false;
    }
    pugi::xml_node root = document.child("root");
    if (!root) {
        gf_log("Cannot write liveries scanned: XML root missing");
        return false;
    }
    pugi::xml_node liveries = root.append_child("liveries");
    if (!liveries) {
        gf_log("Cannot write liveries scanned: failed to add Liveries node");
        return false;
    }
    for (const ScannedLivery& livery : scannedLiveries) {
        pugi::xml_node l = liveries.append_child("l");
        if (!l) {
            gf_log("Cannot write liveries scanned: failed to add Livery node");
            return false;
        }
        const AcKey& key = livery.key;
        bool ok = gf_appendStringAttribute(l, "a", std::string(gf_airlineCodeAt(key.airline)));
        if (key.operatorIndex != 0) {
            ok = gf_appendStringAttribute(l, "o", std::string(gf_airlineCodeAt(key.operatorIndex))) && ok;
        }
        ok = gf_appendStringAttribute(l, "m", std::string(gf_modelCodeAt(key.model))) && ok;
        if (key.cargo != 0) {
            ok = gf_appendBoolAttribute(l, "c", true) && ok;
        }
        ok = gf_appendStringAttribute(l, "t", livery.title) && ok;
        if (!livery.registration.empty()) {
            ok = gf_appendStringAttribute(l, "r", livery.registration) && ok;
        }
        if (!ok) {
            gf_log("Cannot write liveries scanned: failed to add Livery attributes");
            return false;
        }
    }
    return true;
}

bool lf_saveScannedLiveriesDocument(pugi::xml_document& document, const fs::path& path) {
    return l_saver ? l_saver(document, path) : gf_saveXmlDocument(document, path);
}

// One record of the file; throws for a missing required attribute.
ScannedLivery lf_readScannedLivery(const pugi::xml_node& element) {
    for (const char* name : {"a", "m", "t"}) {
        if (!element.attribute(name)) {
            throw tavo::UserRelatedException(
                999, fmt::format("Missing required attribute '{}' in <{}>", name, element.name()));
        }
    }
    ScannedLivery livery;
    livery.title = element.attribute("t").value();
    livery.registration = element.attribute("r").value();
    livery.key.airline = gf_internAirlineCode(element.attribute("a").value());
    livery.key.operatorIndex = gf_internAirlineCode(element.attribute("o").value());
    livery.key.model = gf_internModelCode(element.attribute("m").value());
    livery.key.cargo = element.attribute("c").as_bool() ? 1 : 0;
    return livery;
}

// The records of the file, sorted; throws the reader's failures.
std::vector<ScannedLivery> lf_readScannedLiveriesFile(const fs::path& path) {
    const std::string pathText = gf_pathToUtf8(path);
    std::vector<ScannedLivery> records;
    records.reserve(kReservedScanRecords);
    std::optional<std::string> bytes = gf_readWholeFile(path);
    if (!bytes) {
        throw tavo::UserRelatedException(51, fmt::format("Could not open {}", pathText));
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(bytes->data(), bytes->size());
    if (!parsed) {
        throw tavo::UserRelatedException(51, fmt::format("Error reading {}: {}", pathText, parsed.description()));
    }
    gf_readDataFileMeta(document, false);
    const pugi::xml_node root = document.child("root");
    if (!root) {
        throw tavo::UserRelatedException(52, fmt::format("{} does not contain <{}>", pathText, "root"));
    }
    const pugi::xml_node liveries = root.child("liveries");
    if (!liveries) {
        throw tavo::UserRelatedException(52, fmt::format("{} does not contain a <{}> section", pathText, "liveries"));
    }
    for (const pugi::xml_node& element : liveries.children()) {
        if (element.type() == pugi::node_element) {
            records.push_back(lf_readScannedLivery(element));
        }
    }
    if (records.empty()) {
        throw tavo::UserRelatedException(533, pathText + " does not contain liveries");
    }
    std::sort(records.begin(), records.end(), [](const ScannedLivery& a, const ScannedLivery& b) {
        return lf_compareScannedLiveries(a, b) < 0;
    });
    return records;
}

}  // namespace

int lf_compareScannedLiveries(const ScannedLivery& left, const ScannedLivery& right) {
    const auto keyOf = [](const AcKey& k) { return std::tie(k.airline, k.operatorIndex, k.model, k.cargo); };
    if (keyOf(left.key) < keyOf(right.key)) return -1;
    if (keyOf(right.key) < keyOf(left.key)) return 1;
    if (const int c = left.title.compare(right.title); c != 0) return c < 0 ? -1 : 1;
    if (const int c = left.registration.compare(right.registration); c != 0) return c < 0 ? -1 : 1;
    return 0;
}

bool lf_isInvalidScannedLivery(const ScannedLivery& livery) {
    return livery.key.airline == 0 || livery.key.model == 0;
}

ScannedLivery lf_makeIVAOLivery(std::int16_t priority, const AcKey& key, std::string title,
                                std::string registration) {
    if (!scanTitles.insert(title).second) {
        return ScannedLivery{};
    }
    return ScannedLivery{std::move(title), std::move(registration), key, priority};
}

bool gf_writeScannedLiveries() {
    if (scannedLiveries.empty()) {
        return false;
    }
    pugi::xml_document document;
    if (!lf_buildScannedLiveriesDocument(document)) {
        return false;
    }
    const fs::path filePath = gf_liveriesScannedFilePath();
    fs::path tempPath = filePath;
    tempPath += ".scan_tmp";
    const std::string tempText = gf_pathToUtf8(tempPath);
    if (const OsResult ec = gf_osRemoveFile(tempPath); ec.failed()) {
        gf_logError(fmt::format("Cannot remove stale temporary livery scan file {}: {}", tempText, ec.message()));
        return false;
    }
    TempFileGuard guard(tempPath);
    if (!lf_saveScannedLiveriesDocument(document, tempPath)) {
        gf_logError(fmt::format("Cannot write temporary livery scan file {}", tempText));
        return false;
    }
    if (!lf_validateScannedLiveriesFile(tempPath, scannedLiveries.size())) {
        gf_logError(fmt::format("Temporary livery scan file {} failed validation", tempText));
        return false;
    }
    if (!lf_replaceScannedLiveriesFile(tempPath, filePath)) {
        return false;
    }
    guard.disarm();
    try {
        gf_log(fmt::format("{} liveries in {}", scannedLiveries.size(), gf_pathToUtf8(filePath)));
    } catch (...) {
        // The file is in place; a log line that cannot be written changes nothing.
    }
    return true;
}

bool lf_validateScannedLiveriesFile(const fs::path& path, std::size_t expectedCount) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    pugi::xml_document document;
    if (!document.load(in)) {
        return false;
    }
    const pugi::xml_node liveries = document.child("root").child("liveries");
    if (!liveries) {
        return false;
    }
    std::size_t count = 0;
    for (const pugi::xml_node& l : liveries.children("l")) {
        if (!l.attribute("a") || !l.attribute("m") || !l.attribute("t")) {
            return false;
        }
        ++count;
    }
    return count == expectedCount;
}

bool lf_replaceScannedLiveriesFile(const fs::path& tempPath, const fs::path& filePath) {
    std::error_code ec;
    const fs::file_status status = fs::status(filePath, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        gf_logError(fmt::format("Cannot inspect {} before replacing it: {}", gf_pathToUtf8(filePath), ec.message()));
        return false;
    }
    // A first write and a later one are the same rename: it replaces an
    // existing file atomically, and write-through puts the data and the new
    // folder entry on disk before the call returns.
    if (const OsResult moved = gf_osMoveFile(tempPath, filePath, true); moved.failed()) {
        gf_logError(fmt::format("Cannot replace {} after the livery scan: {}", gf_pathToUtf8(filePath),
                                moved.message()));
        return false;
    }
    return true;
}

bool gf_readScannedLiveries() { return gf_readScannedLiveries(gf_liveriesScannedFilePath()); }

bool gf_readScannedLiveries(const fs::path& path) {
    try {
        std::vector<ScannedLivery> records = lf_readScannedLiveriesFile(path);
        gf_log(fmt::format("{:5} liveries read from {}", records.size(), gf_pathToUtf8(path)));
        liveryTable = std::move(records);
        return true;
    } catch (const tavo::UserRelatedException& e) {
        gf_logNoThrow(e.what());
    } catch (const std::exception& e) {
        gf_logNoThrow(fmt::format("Error reading {}: {}", gf_pathToUtf8(path), e.what()));
    } catch (...) {
        gf_logNoThrow(fmt::format("Error reading {}: Unknown exception", gf_pathToUtf8(path)));
    }
    return false;
}

void gf_setScannedLiveriesSaverForTest(ScannedLiveriesSaver saver) { l_saver = std::move(saver); }
