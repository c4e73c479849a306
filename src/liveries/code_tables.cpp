#include "liveries/code_tables.h"

#include <atomic>
#include <mutex>

#include "foundation/hash.h"
#include "foundation/kept_published.h"

namespace {

// One code table: the texts in chunks that never move, and an open-addressing
// hash index over them. Readers take no lock: a slot and the table size are
// published (release) only after the entry's text is complete. Appends are
// serialised by one mutex, and the look-up is repeated under it, so two
// threads that race to append the same code get the same index.
class CodeTable {
public:
    CodeTable() : slots_(std::make_unique<std::atomic<std::uint32_t>[]>(kSlots)) { appendLocked("", gf_fnv1a("")); }
    ~CodeTable() { freeChunks(); }
    CodeTable(const CodeTable&) = delete;
    CodeTable& operator=(const CodeTable&) = delete;

    std::optional<std::uint16_t> find(std::string_view text, std::uint64_t hash) const {
        const std::uint32_t tag = lf_tag(hash);
        for (std::size_t pos = hash & kSlotMask;; pos = (pos + 1) & kSlotMask) {
            const std::uint32_t slot = slots_[pos].load(std::memory_order_acquire);
            if (slot == 0) return std::nullopt;
            if ((slot >> kIndexBits) != tag) continue;
            const std::uint32_t index = (slot & kIndexMask) - 1;
            if (entry(index) == text) return static_cast<std::uint16_t>(index);
        }
    }

    // fix: returns the index a code not in the table stands for, if any.
    template <typename Fix>
    std::uint16_t intern(std::string_view text, Fix&& fix) {
        const std::uint64_t hash = gf_fnv1a(text);
        if (auto index = find(text, hash)) return *index;
        if (auto index = fix()) return *index;
        std::lock_guard lock(appendMutex_);
        if (auto index = find(text, hash)) return *index;
        if (auto index = fix()) return *index;
        return appendLocked(text, hash);
    }

    std::string_view at(std::uint16_t index) const {
        if (index >= size_.load(std::memory_order_acquire)) return {};
        return entry(index);
    }

    std::size_t size() const { return size_.load(std::memory_order_acquire); }

    void reset() {
        std::lock_guard lock(appendMutex_);
        for (const std::uint32_t pos : usedSlots_) slots_[pos].store(0, std::memory_order_relaxed);
        usedSlots_.clear();
        freeChunks();
        size_.store(0, std::memory_order_release);
        appendLocked("", gf_fnv1a(""));
    }

private:
    static constexpr std::size_t kChunkBits = 8;
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;
    static constexpr std::size_t kChunkCount = kMaxCodesPerTable / kChunkSize;
    // Twice the most codes, so a probe always meets an empty slot.
    static constexpr std::size_t kSlots = 2 * kMaxCodesPerTable;
    static constexpr std::size_t kSlotMask = kSlots - 1;
    // A slot holds index + 1 (17 bits, 0 = empty) and 15 bits of the hash.
    static constexpr unsigned kIndexBits = 17;
    static constexpr std::uint32_t kIndexMask = (std::uint32_t{1} << kIndexBits) - 1;

    static std::uint32_t lf_tag(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 49); }

    const std::string& entry(std::uint32_t index) const {
        return chunks_[index >> kChunkBits].load(std::memory_order_acquire)[index & (kChunkSize - 1)];
    }

    std::uint16_t appendLocked(std::string_view text, std::uint64_t hash) {
        const std::uint32_t index = size_.load(std::memory_order_relaxed);
        // A full table keeps its codes; a new code reads as none.
        if (index >= kMaxCodesPerTable) return 0;
        std::string* chunk = chunks_[index >> kChunkBits].load(std::memory_order_relaxed);
        if (chunk == nullptr) {
            chunk = new std::string[kChunkSize];
            chunks_[index >> kChunkBits].store(chunk, std::memory_order_release);
        }
        chunk[index & (kChunkSize - 1)].assign(text);
        std::size_t pos = hash & kSlotMask;
        while (slots_[pos].load(std::memory_order_relaxed) != 0) pos = (pos + 1) & kSlotMask;
        slots_[pos].store((lf_tag(hash) << kIndexBits) | (index + 1), std::memory_order_release);
        usedSlots_.push_back(static_cast<std::uint32_t>(pos));
        size_.store(index + 1, std::memory_order_release);
        return static_cast<std::uint16_t>(index);
    }

    void freeChunks() {
        for (auto& chunk : chunks_) delete[] chunk.exchange(nullptr);
    }

    std::mutex appendMutex_;
    std::atomic<std::uint32_t> size_{0};
    std::array<std::atomic<std::string*>, kChunkCount> chunks_{};
    std::unique_ptr<std::atomic<std::uint32_t>[]> slots_;
    std::vector<std::uint32_t> usedSlots_;  // so that a reset clears only these
};

CodeTable& lf_airlineTable() {
    static CodeTable table;
    return table;
}

CodeTable& lf_modelTable() {
    static CodeTable table;
    return table;
}

KeptPublished<AircraftCodeSets>& lf_published() {
    static KeptPublished<AircraftCodeSets> published;
    return published;
}

const AircraftCodeSets& lf_sets() { return lf_published().current(); }

}  // namespace

std::string_view gf_modelCategoryName(int category) {
    static constexpr std::array<std::string_view, 7> names{"Light", "TwoProps", "Bizjet", "Large",
                                                           "Heavy", "HighPerf", "Rotorcraft"};
    if (category < 0 || category >= static_cast<int>(names.size())) return "?";
    return names[static_cast<std::size_t>(category)];
}

std::uint16_t gf_internAirlineCode(std::string_view code) {
    return lf_airlineTable().intern(code, [] { return std::optional<std::uint16_t>{}; });
}

std::uint16_t gf_internModelCode(std::string_view code, const AircraftCodeSets& sets) {
    CodeTable& table = lf_modelTable();
    return table.intern(code, [&]() -> std::optional<std::uint16_t> {
        if (!sets.fixesActive) return std::nullopt;
        auto fix = sets.modelFixes.find(code);
        if (fix == sets.modelFixes.end()) return std::nullopt;
        return table.find(fix->second, gf_fnv1a(fix->second));
    });
}

std::uint16_t gf_internModelCode(std::string_view code) { return gf_internModelCode(code, lf_sets()); }

std::uint16_t gf_getModelIndex(std::string_view code) { return gf_internModelCode(code); }

std::string_view gf_airlineCodeAt(std::uint16_t index) { return lf_airlineTable().at(index); }
std::string_view gf_modelCodeAt(std::uint16_t index) { return lf_modelTable().at(index); }
std::size_t gf_airlineCodeCount() { return lf_airlineTable().size(); }
std::size_t gf_modelCodeCount() { return lf_modelTable().size(); }

bool gf_isKnownModelCode(std::string_view code) {
    return !code.empty() && lf_sets().icaoModelCodes.contains(code);
}

bool gf_isKnownAirlineCode(std::string_view code) {
    return !code.empty() && lf_sets().icaoAirlineCodes.contains(code);
}

ModelCategory gf_getModelCategory(std::uint16_t model) {
    const AircraftCodeSets& s = lf_sets();
    if (s.largeModels.contains(model)) return Large;
    if (s.heavyModels.contains(model)) return Heavy;
    if (s.bizjetModels.contains(model)) return Bizjet;
    if (s.twoPropsModels.contains(model)) return TwoProps;
    if (s.rotorcraftModels.contains(model)) return Rotorcraft;
    if (s.highPerfModels.contains(model)) return HighPerf;
    return Light;
}

ModelCategory gf_getModelCodeCategory(std::string_view code) { return gf_getModelCategory(gf_internModelCode(code)); }

bool gf_isCargo(const AcKey& key) {
    const AircraftCodeSets& s = lf_sets();
    return s.cargoTypeModels.contains(key.model) || s.cargoOperatorAirlines.contains(key.airline);
}

double gf_getWingspan(std::uint16_t model) {
    const AircraftCodeSets& s = lf_sets();
    if (model >= kWingRadiusTableSize) return s.maxWingRadius;
    return s.wingRadiusTable[model];
}

double gf_maxWingRadius() { return lf_sets().maxWingRadius; }

std::optional<std::string_view> gf_findTypeFix(std::string_view code) {
    const auto& fixes = lf_sets().modelFixes;
    if (auto it = fixes.find(code); it != fixes.end()) return std::string_view(it->second);
    return std::nullopt;
}

void IndexSet::insert(std::uint16_t index) {
    if (bits_.test(index)) return;
    bits_.set(index);
    ++count_;
}

void IndexSet::clear() {
    bits_.reset();
    count_ = 0;
}

std::vector<std::uint16_t> IndexSet::values() const {
    std::vector<std::uint16_t> out;
    out.reserve(count_);
    for (std::size_t i = 0; i < kMaxCodesPerTable && out.size() < count_; ++i)
        if (bits_.test(i)) out.push_back(static_cast<std::uint16_t>(i));
    return out;
}

const AircraftCodeSets& gf_aircraftCodeSets() { return lf_sets(); }

void gf_publishAircraftCodeSets(std::unique_ptr<AircraftCodeSets> sets) { lf_published().publish(std::move(sets)); }

void gf_resetCodeTablesForTest() {
    lf_airlineTable().reset();
    lf_modelTable().reset();
    lf_published().resetUnshared();
}
