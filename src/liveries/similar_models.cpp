// Similar models: for a model an airline lacks, the similar models it has; for
// any model, the similar models that have liveries at all. A list shrinks to
// its one closest model where one can be named.

#include <algorithm>
#include <fmt/format.h>

#include "foundation/log.h"
#include "liveries/code_tables.h"
#include "liveries/dbase.h"
#include "liveries/livery_tables.h"

IndexMap<std::vector<std::uint16_t>> similarModelsWithLiveries;
IndexMap<IndexMap<std::vector<std::uint16_t>>> similarModelsByAirline;

namespace {

// Only ASCII letters and digits count; bytes of other scripts belong to
// neither part (the C classification functions must not see negative chars).
bool lf_isAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool lf_isAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

struct ModelDistance {
    unsigned letters = 0, whole = 0, digits = 0;
    std::uint32_t number = 0;
    std::string_view code;

    bool operator<(const ModelDistance& other) const {
        if (letters != other.letters) return letters < other.letters;
        if (whole != other.whole) return whole < other.whole;
        if (digits != other.digits) return digits < other.digits;
        if (number != other.number) return number < other.number;
        return code < other.code;
    }
};

std::uint32_t lf_decimalValue(std::string_view digits) {
    std::uint32_t value = 0;
    for (char c : digits) value = 10u * value + static_cast<std::uint32_t>(c - '0');
    return value;
}

bool lf_hasLiveries(std::uint16_t model) {
    return modelTitles[Pax].contains(model) || modelTitles[Cargo].contains(model);
}

}  // namespace

std::pair<std::string, std::string> lf_splitModelCode(std::string_view code) {
    std::pair<std::string, std::string> parts;
    for (char c : code) {
        const auto byte = static_cast<unsigned char>(c);
        if (lf_isAsciiLetter(byte)) parts.first.push_back(c);
        else if (lf_isAsciiDigit(byte)) parts.second.push_back(c);
    }
    return parts;
}

unsigned lf_editDistance(std::string_view left, std::string_view right) {
    std::vector<unsigned> row(right.size() + 1);
    for (std::size_t j = 0; j <= right.size(); ++j) row[j] = static_cast<unsigned>(j);
    for (std::size_t i = 1; i <= left.size(); ++i) {
        unsigned diagonal = row[0];
        row[0] = static_cast<unsigned>(i);
        for (std::size_t j = 1; j <= right.size(); ++j) {
            const unsigned above = row[j];
            const unsigned substitution = diagonal + (left[i - 1] == right[j - 1] ? 0u : 1u);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[right.size()];
}

std::optional<std::uint16_t> lf_findClosestModel(std::uint16_t model, const std::vector<std::uint16_t>& candidates) {
    if (candidates.empty()) return std::nullopt;
    if (candidates.size() == 1) return candidates.front();
    const std::string_view code = gf_modelCodeAt(model);
    const auto [letters, digits] = lf_splitModelCode(code);
    const std::uint32_t number = lf_decimalValue(digits);

    std::optional<std::uint16_t> best;
    ModelDistance bestDistance;
    for (std::uint16_t candidate : candidates) {
        ModelDistance d;
        d.code = gf_modelCodeAt(candidate);
        const auto [candidateLetters, candidateDigits] = lf_splitModelCode(d.code);
        d.letters = lf_editDistance(letters, candidateLetters);
        d.whole = lf_editDistance(code, d.code);
        d.digits = lf_editDistance(digits, candidateDigits);
        const std::uint32_t candidateNumber = lf_decimalValue(candidateDigits);
        d.number = number > candidateNumber ? number - candidateNumber : candidateNumber - number;
        const bool qualifies = (d.letters == 0 && d.digits <= 1) || d.whole <= 1;
        if (!qualifies) continue;
        if (!best || d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

void gf_findSimilarModelsWithLiveries() {
    similarModelsWithLiveries.clear();
    similarModelsByAirline.clear();
    similarModelsWithLiveries.max_load_factor(0.7f);
    similarModelsWithLiveries.reserve(1024);

    for (const std::vector<std::string>& group : gf_similarModelGroups()) {
        if (group.size() < 2) continue;
        for (const std::string& x : group) {
            const std::uint16_t xIndex = gf_internModelCode(x);
            for (const std::string& y : group) {
                if (y == x) continue;
                const std::uint16_t yIndex = gf_internModelCode(y);
                if (yIndex == xIndex || !lf_hasLiveries(yIndex)) continue;
                std::vector<std::uint16_t>& list = similarModelsWithLiveries[xIndex];
                if (std::find(list.begin(), list.end(), yIndex) == list.end()) list.push_back(yIndex);
            }
        }
    }
    if (similarModelsWithLiveries.empty()) {
        gf_log("No similar model definitions with installed liveries found");
        return;
    }

    std::vector<std::pair<std::uint16_t, std::uint16_t>> closest;
    for (const auto& [model, list] : similarModelsWithLiveries) {
        if (const auto c = lf_findClosestModel(model, list)) closest.emplace_back(model, *c);
    }

    for (std::uint16_t airline : lf_collectLiveryAirlines()) {
        IndexMap<std::vector<std::uint16_t>> models;
        models.max_load_factor(0.7f);
        models.reserve(similarModelsWithLiveries.size());
        for (const auto& [model, list] : similarModelsWithLiveries) {
            if (gf_hasAirlineModelLivery(AcKey{airline, 0, model, 0, 0})) continue;
            std::vector<std::uint16_t> has;
            for (std::uint16_t y : list) {
                if (gf_hasAirlineModelLivery(AcKey{airline, 0, y, 0, 0})) has.push_back(y);
            }
            if (has.empty()) continue;
            if (const auto c = lf_findClosestModel(model, has)) models.emplace(model, std::vector<std::uint16_t>{*c});
            else models.emplace(model, std::move(has));
        }
        if (!models.empty()) similarModelsByAirline.emplace(airline, std::move(models));
    }

    gf_log(fmt::format("{:5} similar model definitions", similarModelsWithLiveries.size()));
    for (const auto& [model, c] : closest) similarModelsWithLiveries[model] = {c};
}
