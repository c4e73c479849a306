// The livery tables: built once per start from the scanned-liveries file.

#include "liveries/livery_tables.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "liveries/scanned_liveries.h"
#include "platform/window/window.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"

IndexMap<ModelLiveryMap> liveryIndex;
TitleViewMap liveryTitles;
std::array<IndexMap<ModelTitleMap>, 2> airlineModelTitles;
std::array<ModelTitleMap, 2> modelTitles;
std::array<std::vector<std::uint16_t>, 7> categoryModels;

namespace {

// --- the title store ---------------------------------------------------------

struct TitleStore {
    std::mutex mutex;
    std::deque<std::string> texts;  // a deque never moves its elements
    std::unordered_set<std::string_view, Fnv1aTextHash, std::equal_to<>> views;
};

TitleStore& lf_titleStore() {
    // Never destroyed: views into it may be read until the very end.
    static TitleStore* store = new TitleStore;
    return *store;
}

constexpr float kMaxLoadFactor = 0.7f;

template <class Table>
void lf_resetTable(Table& table, std::size_t reserve, std::size_t buckets = 0) {
    table.clear();
    table.max_load_factor(kMaxLoadFactor);
    if (reserve != 0) table.reserve(reserve);
    if (buckets != 0) table.rehash(buckets);
}

// Adds the models' lists to the key's map; an existing model list gets the
// new entries at its end.
void lf_mergeIntoIndex(std::uint16_t key, ModelLiveryMap& models) {
    ModelLiveryMap& target = liveryIndex[key];
    for (auto& [model, entries] : models) {
        std::vector<LiveryTitleEntry>& list = target[model];
        list.insert(list.end(), entries.begin(), entries.end());
    }
}

// Runs of equal model, gathered into one map per key run.
struct RunCollector {
    std::vector<LiveryTitleEntry> entries;
    ModelLiveryMap models;
    std::uint16_t model = 0;

    RunCollector() { entries.reserve(4048); }
    void flushModel() {
        if (entries.empty()) return;
        std::vector<LiveryTitleEntry>& list = models[model];
        list.insert(list.end(), entries.begin(), entries.end());
        entries.clear();
    }
};

// One pass over liveryTable: the records without operator (or with one), in
// runs of equal airline and operator and within them runs of equal model;
// each run's model map goes to flushGroup with the key of its first record.
template <class FlushGroup>
void lf_indexPass(bool withOperator, std::string_view invalidFormat, FlushGroup flushGroup) {
    RunCollector run;
    const ScannedLivery* group = nullptr;
    const auto flush = [&] {
        run.flushModel();
        flushGroup(group->key, run.models);
        run.models.clear();
    };
    for (const ScannedLivery& livery : liveryTable) {
        if ((livery.key.operatorIndex != 0) != withOperator) continue;
        if (lf_isInvalidScannedLivery(livery)) {
            gf_log(fmt::format(fmt::runtime(invalidFormat), livery.key.airline, livery.key.operatorIndex,
                               livery.key.model, livery.title));
            continue;
        }
        if (group == nullptr || livery.key.airline != group->key.airline ||
            livery.key.operatorIndex != group->key.operatorIndex) {
            if (group != nullptr) flush();
            group = &livery;
            run.model = livery.key.model;
        } else if (livery.key.model != run.model) {
            run.flushModel();
            run.model = livery.key.model;
        }
        run.entries.push_back({gf_internLiveryTitle(livery.title), livery.key.cargo});
    }
    if (group != nullptr) flush();
}

void lf_indexLiveries() {
    lf_indexPass(false, "Invalid livery index: airl={}, opr={}, model={}, title={}",
                 [](const AcKey& key, ModelLiveryMap& models) { lf_mergeIntoIndex(key.airline, models); });
    // Liveries with an operator go under the combined code and the operator.
    lf_indexPass(true, "Invalid operator livery index: airl={}, opr={}, model={}, title={}",
                 [](const AcKey& key, ModelLiveryMap& models) {
                     const std::uint16_t combined = gf_internAirlineCode(
                         fmt::format("{}{}", gf_airlineCodeAt(key.airline), gf_airlineCodeAt(key.operatorIndex)));
                     lf_mergeIntoIndex(combined, models);
                     lf_mergeIntoIndex(key.operatorIndex, models);
                 });
}

void lf_buildAirlineModelMaps() {
    for (const auto& [key, models] : liveryIndex) {
        std::array<ModelTitleMap, 2> maps;
        for (const auto& [model, entries] : models) {
            std::array<std::vector<std::string_view>, 2> lists;
            for (const LiveryTitleEntry& entry : entries) {
                if (!entry.title.empty()) lists[entry.cargo != 0 ? Cargo : Pax].push_back(entry.title);
            }
            for (int kind : {Pax, Cargo}) {
                if (!lists[kind].empty()) maps[kind].emplace(model, std::move(lists[kind]));
            }
        }
        for (int kind : {Pax, Cargo}) {
            if (!maps[kind].empty()) airlineModelTitles[kind].emplace(key, std::move(maps[kind]));
        }
    }
}

void lf_createModelSorted() {
    struct TitleRecord {
        std::string_view title;
        std::uint16_t model;
        std::uint8_t cargo;
    };
    std::vector<TitleRecord> records;
    records.reserve(30000);
    for (const auto& [key, models] : liveryIndex) {
        for (const auto& [model, entries] : models) {
            for (const LiveryTitleEntry& entry : entries) {
                if (!entry.title.empty()) records.push_back({entry.title, model, entry.cargo});
            }
        }
    }
    std::sort(records.begin(), records.end(),
              [](const TitleRecord& a, const TitleRecord& b) { return a.model < b.model; });
    for (std::size_t i = 0; i < records.size();) {
        const std::uint16_t model = records[i].model;
        std::array<std::vector<std::string_view>, 2> lists;
        for (; i < records.size() && records[i].model == model; ++i) {
            lists[records[i].cargo != 0 ? Cargo : Pax].push_back(records[i].title);
        }
        for (int kind : {Pax, Cargo}) {
            if (!lists[kind].empty()) modelTitles[kind].emplace(model, std::move(lists[kind]));
        }
    }
}

// Logs the model codes 20 to a line: "  A,B,...,T".
void lf_logModelCodes(const std::vector<std::uint16_t>& models) {
    std::string line = "  ";
    int onLine = 0;
    for (std::uint16_t model : models) {
        line += gf_modelCodeAt(model);
        line += ',';
        if (++onLine == 20) {
            line.pop_back();
            gf_log(line);
            line = "  ";
            onLine = 0;
        }
    }
    if (onLine != 0) {
        line.pop_back();
        gf_log(line);
    }
}

void lf_buildCategoryModelList(bool heavy, bool large, bool bizjet, bool twoProps, bool light, bool rotorcraft,
                               bool highPerf, const std::vector<std::uint16_t>& models) {
    const std::array<bool, 7> flags{heavy, large, bizjet, twoProps, light, rotorcraft, highPerf};
    const auto first = std::find(flags.begin(), flags.end(), true);
    if (first != flags.end()) {
        std::vector<std::uint16_t>& list = categoryModels[static_cast<std::size_t>(first - flags.begin())];
        list.insert(list.end(), models.begin(), models.end());
    }
    lf_logModelCodes(models);
}

struct CategorySwitch {
    GuiBoolParameter* parameter;
    const char* message;
};

std::optional<CategorySwitch> lf_categorySwitch(ModelCategory category) {
    switch (category) {
        case Light:
            return CategorySwitch{&LIGHT_AIRCRAFT,
                                  "{} temporarily switched off because you do not have light aircraft installed"};
        case TwoProps:
            return CategorySwitch{&TWO_PROPS,
                                  "{} temporarily switched off because you do not have two-prop aircraft installed"};
        case HighPerf:
            return CategorySwitch{&HIGH_PERF_AIRCRAFT,
                                  "{} temporarily switched off because you do not have High Perf aircraft installed"};
        case Rotorcraft:
            return CategorySwitch{&HELICOPTERS,
                                  "{} temporarily switched off because you do not have Helicopters installed"};
        default:
            return std::nullopt;
    }
}

void lf_summarizeCategory(ModelCategory category) {
    const std::string_view name = gf_modelCategoryName(category);
    std::array<std::vector<std::uint16_t>, 2> recordModels;  // one model per {title, model} record
    for (int kind : {Pax, Cargo}) {
        for (const auto& [model, titles] : modelTitles[kind]) {
            if (gf_getModelCategory(model) != category) continue;
            recordModels[kind].insert(recordModels[kind].end(), titles.size(), model);
        }
    }
    const std::optional<CategorySwitch> option = lf_categorySwitch(category);
    if (recordModels[Pax].empty() && recordModels[Cargo].empty()) {
        gf_log(fmt::format("Category {}: No livery found", name));
        if (option) {
            if (option->parameter->value()) {
                gf_setAndSaveBoolParameter(*option->parameter, false);
                gf_log(fmt::format(fmt::runtime(option->message), option->parameter->name));
            }
            gf_enableControl(option->parameter->controlId, false);
        }
    } else {
        const std::size_t pax = recordModels[Pax].size(), cargo = recordModels[Cargo].size();
        const std::string cargoText =
            cargo > 0 ? fmt::format(" and {} cargo liverie{}", cargo, cargo > 1 ? "s" : "") : std::string();
        gf_log(fmt::format("Category {}: {} pax liverie{}{}", name, pax, pax == 1 ? "" : "s", cargoText));
        std::vector<std::uint16_t> models = recordModels[Pax];
        models.insert(models.end(), recordModels[Cargo].begin(), recordModels[Cargo].end());
        std::sort(models.begin(), models.end());
        models.erase(std::unique(models.begin(), models.end()), models.end());
        lf_buildCategoryModelList(category == Heavy, category == Large, category == Bizjet, category == TwoProps,
                                  category == Light, category == Rotorcraft, category == HighPerf, models);
        if (option) gf_enableControl(option->parameter->controlId, true);
    }
    gf_updateSettings([](SettingsSnapshot& s) {
        s.TWO_PROPS = TWO_PROPS.value() ? 1 : 0;
        s.LIGHT_AIRCRAFT = LIGHT_AIRCRAFT.value() ? 1 : 0;
        s.HELICOPTERS = HELICOPTERS.value() ? 1 : 0;
        s.HIGH_PERF_AIRCRAFT = HIGH_PERF_AIRCRAFT.value() ? 1 : 0;
    });
}

void lf_findGenericLiveries() {
    const auto entry = liveryIndex.find(gf_internAirlineCode("ZZZ"));
    if (entry == liveryIndex.end()) {
        gf_log("No generic liveries");
        return;
    }
    std::vector<std::uint16_t> models;
    for (const auto& [model, titles] : entry->second) models.push_back(model);
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    gf_log(fmt::format("{} model{} have a generic livery", models.size(), models.size() == 1 ? "" : "s"));
    lf_logModelCodes(models);
}

// The reports of an earlier start that this build writes anew; the scan's
// fresh reports in the same folder stay.
void lf_removeStaleRegcodeReports() {
    for (const char* name : {"InlineRegcodes.txt", "MissingCustomRepaints.txt"}) {
        const std::filesystem::path path = outputErrorsDir / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec) && !std::filesystem::remove(path, ec) && ec) {
            gf_logNoThrow(fmt::format("Failed to remove {} ({})", gf_pathToUtf8(path), ec.message()));
        }
    }
}

}  // namespace

std::string_view gf_internLiveryTitle(std::string_view title) {
    TitleStore& store = lf_titleStore();
    std::lock_guard lock(store.mutex);
    if (const auto found = store.views.find(title); found != store.views.end()) return *found;
    const std::string& text = store.texts.emplace_back(title);
    store.views.insert(text);
    return text;
}

std::size_t gf_liveryTitleStoreSize() {
    TitleStore& store = lf_titleStore();
    std::lock_guard lock(store.mutex);
    return store.views.size();
}

bool gf_hasAirlineModelLivery(const AcKey& key) {
    const auto airline = liveryIndex.find(key.airline);
    return airline != liveryIndex.end() && airline->second.contains(key.model);
}

std::set<std::uint16_t> lf_collectLiveryAirlines() {
    std::set<std::uint16_t> airlines;
    for (const auto& [key, models] : liveryIndex) airlines.insert(key);
    return airlines;
}

void gf_processScannedLiveries() {
    gf_log("\n+++++ processing scanned liveries +++++");

    lf_resetTable(liveryIndex, 0);
    lf_resetTable(liveryTitles, 30000);
    lf_resetTable(airlineModelTitles[Pax], 0, 2048);
    lf_resetTable(airlineModelTitles[Cargo], 0, 256);
    lf_resetTable(modelTitles[Pax], 0, 324);
    lf_resetTable(modelTitles[Cargo], 0, 75);
    lf_resetTable(regcodeTitles, 36000);
    lf_resetTable(titleRegcodes, 36000);
    lf_resetTable(specialTitles, 4096);
    uniqueRegcodes.clear();
    constexpr std::array<std::size_t, 7> kCategoryReserve{128, 128, 128, 128, 64, 32, 32};
    for (std::size_t i = 0; i < categoryModels.size(); ++i) {
        categoryModels[i].clear();
        categoryModels[i].reserve(kCategoryReserve[i]);
    }
    lf_removeStaleRegcodeReports();

    if (!gf_readScannedLiveries()) {
        throw std::runtime_error(fmt::format("{} could not be read completely", gf_pathToUtf8(gf_liveriesScannedFilePath())));
    }
    Gui::enqueueUpdate(GuiUpdate::liveriesCount(liveryTable.size()));

    lf_indexLiveries();
    for (const auto& [key, models] : liveryIndex) {
        for (const auto& [model, entries] : models) {
            for (const LiveryTitleEntry& entry : entries) {
                if (!entry.title.empty()) liveryTitles.emplace(entry.title, entry.title);
            }
        }
    }
    gf_log(fmt::format("{:5} livery titles", liveryTitles.size()));

    lf_buildAirlineModelMaps();

    lf_processInlineRegcodes();
    lf_processOfflineRegcodes();
    gf_log(fmt::format("{:5} registration codes", regcodeTitles.size()));

    lf_createModelSorted();
    gf_log(fmt::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models", liveryIndex.size(),
                       modelTitles[Pax].size(), modelTitles[Cargo].size()));

    gf_findSimilarModelsWithLiveries();
    gf_log(" ");

    for (ModelCategory category : {Heavy, Large, Bizjet, TwoProps, Light, Rotorcraft, HighPerf}) {
        lf_summarizeCategory(category);
    }
    lf_findGenericLiveries();

    Gui::enqueueUpdate(GuiUpdate::repaint(1));

    liveryTable.clear();
    liveryTable.shrink_to_fit();
    gf_log("----- end of processing scanned liveries ------\n");
}
