#include "liveries/failed_liveries.h"

#include <functional>
#include <mutex>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "services/gui.h"
#include "services/stop.h"

namespace {

using TextSet = std::unordered_set<std::string, Fnv1aTextHash, std::equal_to<>>;

TextSet lf_makeTextSet() {
    TextSet set(8);
    set.max_load_factor(1.0f);
    return set;
}

struct FailedLiveryRegistry {
    std::mutex mutex;
    TextSet failedLiveryTitles = lf_makeTextSet();   // every run of this process
    TextSet failedModelAirlines = lf_makeTextSet();  // "model airline" of each failure
    TextSet failedThisRun = lf_makeTextSet();        // the titles counted toward error 81
};

struct NoMatchAircraft {
    std::mutex mutex;
    TextSet noMatchSet = lf_makeTextSet();
};

// Built on first use and never destroyed: the engine may still report a
// failure while the process exits.
FailedLiveryRegistry& lf_registry() {
    static auto* registry = new FailedLiveryRegistry;
    return *registry;
}

NoMatchAircraft& lf_noMatch() {
    static auto* noMatch = new NoMatchAircraft;
    return *noMatch;
}

constexpr std::string_view kTooManyFailedLiveries = "There are too many liveries that could not be created!";

}  // namespace

std::string lf_formatArrowLine(std::string_view format, std::string_view message) {
    return fmt::format(fmt::runtime(format), "===> ", message);
}

void gf_registerFailedLivery(std::string_view callsign, std::string_view liveryTitle, const AcKey& key) {
    if (keepRunning())
        Gui::addStatusLine(fmt::format("{} '{}' could not be created by your Sim!", callsign, liveryTitle), true);
    std::string modelAirline = fmt::format("{} {}", gf_modelCodeAt(key.model), gf_airlineCodeAt(key.airline));
    std::size_t failedThisRun = 0;
    {
        // The count is taken with the insertion, so that of several failures
        // at once exactly the one that reaches the limit (and every later one)
        // ends the run.
        FailedLiveryRegistry& registry = lf_registry();
        std::lock_guard lock(registry.mutex);
        registry.failedLiveryTitles.emplace(liveryTitle);
        registry.failedModelAirlines.insert(std::move(modelAirline));
        registry.failedThisRun.emplace(liveryTitle);
        failedThisRun = registry.failedThisRun.size();
    }
    if (failedThisRun >= kFailedLiveryLimit) {
        gf_log(lf_formatArrowLine("\n{}Error 81, {}\n", kTooManyFailedLiveries));
        throw tavo::UserRelatedException(81, fmt::format("{}, see Log.txt", kTooManyFailedLiveries));
    }
}

bool gf_isLiveryKnownToFail(std::string_view liveryTitle) {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    return registry.failedLiveryTitles.contains(liveryTitle);
}

std::vector<std::string> gf_listFailedLiveries() {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    std::vector<std::string> list;
    list.reserve(registry.failedModelAirlines.size());
    for (const std::string& pair : registry.failedModelAirlines) list.push_back("  " + pair);
    return list;
}

std::size_t gf_failedLiveryCount() {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    return registry.failedLiveryTitles.size();
}

std::size_t gf_failedLiveryCountThisRun() {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    return registry.failedThisRun.size();
}

void gf_startFailedLiveryRun() {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    registry.failedThisRun.clear();
}

void gf_forgetFailedLiveries() {
    FailedLiveryRegistry& registry = lf_registry();
    std::lock_guard lock(registry.mutex);
    registry.failedLiveryTitles.clear();
    registry.failedModelAirlines.clear();
    registry.failedThisRun.clear();
}

bool gf_addNoMatch(std::string_view text) {
    NoMatchAircraft& noMatch = lf_noMatch();
    std::lock_guard lock(noMatch.mutex);
    return noMatch.noMatchSet.emplace(text).second;
}

bool gf_isNoMatch(std::string_view text) {
    NoMatchAircraft& noMatch = lf_noMatch();
    std::lock_guard lock(noMatch.mutex);
    return noMatch.noMatchSet.contains(text);
}

std::size_t gf_noMatchCount() {
    NoMatchAircraft& noMatch = lf_noMatch();
    std::lock_guard lock(noMatch.mutex);
    return noMatch.noMatchSet.size();
}

void gf_clearNoMatchList() {
    NoMatchAircraft& noMatch = lf_noMatch();
    std::lock_guard lock(noMatch.mutex);
    noMatch.noMatchSet.clear();
}

void gf_logNoMatchList() {
    std::vector<std::string> entries;
    {
        NoMatchAircraft& noMatch = lf_noMatch();
        std::lock_guard lock(noMatch.mutex);
        entries.assign(noMatch.noMatchSet.begin(), noMatch.noMatchSet.end());
    }
    if (entries.empty()) return;
    // One write, so that no other thread's line lands inside the list.
    std::string text = "\nNo match found for:\n";
    for (const std::string& entry : entries) text.append(entry).push_back('\n');
    gf_log(text);
}
