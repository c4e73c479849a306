#include "liveries/dbase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <unordered_set>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/encrypted.h"
#include "foundation/files.h"
#include "foundation/hash.h"
#include "foundation/kept_published.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/xml.h"
#include "liveries/code_tables.h"

namespace {

constexpr std::size_t kReservedRecords = 81920;

// Registrations are looked for in livery titles only when shorter than this.
constexpr std::size_t kTitleRegistrationLength = 6;

// What the database gives beside the code sets, published as a whole.
struct DbaseContent {
    std::vector<DbaseRecord> records;
    std::vector<std::vector<std::string>> similarModelGroups;
    std::map<std::string, double, std::less<>> wingRadii;
    // The registrations a livery title may hold, and a bit for each of their
    // lengths: a title is searched by its own pieces of those lengths instead
    // of by every record of the database.
    std::unordered_set<std::string, Fnv1aTextHash, std::equal_to<>> shortRegistrations;
    unsigned shortLengths = 0;
};

KeptPublished<DbaseContent>& lf_publishedContent() {
    static KeptPublished<DbaseContent> published;
    return published;
}

const DbaseContent& lf_content() { return lf_publishedContent().current(); }

void lf_readSectionList(const pugi::xml_document& doc, const char* section, CodeSet& set, const char* child,
                        const char* attribute) {
    const pugi::xml_node root = doc.child("root");
    if (!root) throw tavo::UserRelatedException(61, "XML root missing: root");
    const pugi::xml_node list = root.child(section);
    if (!list) throw tavo::UserRelatedException(61, std::string("Missing section: ") + section);
    for (const pugi::xml_node item : list.children(child))
        for (auto& code : gf_splitAtComma(item.attribute(attribute).value())) set.insert(std::move(code));
}

void lf_readTypesSection(const pugi::xml_document& doc, const char* section, CodeSet& set, const char* child) {
    set.clear();
    lf_readSectionList(doc, section, set, child, "types");
}

void lf_readCodesSection(const pugi::xml_document& doc, const char* section, CodeSet& set) {
    set.clear();
    lf_readSectionList(doc, section, set, "ICAO", "codes");
}

void lf_buildClassSet(const CodeSet& codes, IndexSet& indexes, const AircraftCodeSets& sets) {
    indexes.clear();
    for (const auto& code : codes) indexes.insert(gf_internModelCode(code, sets));
}

std::optional<double> lf_readNumberAttribute(const pugi::xml_node& node, const char* name) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return std::nullopt;
    std::string_view text = attribute.value();
    gf_trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double lf_readWingspanMeters(const pugi::xml_node& node, const char* name) {
    return lf_readNumberAttribute(node, name).value_or(0.0);
}

// The wing radius table is indexed with a bounds check.
void lf_storeWingRadius(AircraftCodeSets& sets, std::uint16_t model, double radius) {
    if (model >= sets.wingRadiusTable.size()) throw std::out_of_range("invalid array<T, N> subscript");
    sets.wingRadiusTable[model] = radius;
}

void lf_readWingspans(const pugi::xml_node& root, AircraftCodeSets& sets, DbaseContent& content) {
    content.wingRadii.clear();
    sets.maxWingRadius = 0.0;
    const pugi::xml_node section = root.child("wingspans");
    if (!section) return;
    for (const pugi::xml_node item : section.children("wingspan")) {
        const std::string model = item.attribute("type").value();
        if (model.empty() || !sets.icaoModelCodes.contains(model)) {
            gf_logError(fmt::format("wingspan model {} is not valid, skipped", model));
            continue;
        }
        const double span = lf_readWingspanMeters(item, "meters");
        if (!(span > 0.0)) {
            gf_logError(fmt::format("wingspan for model {} is not positive, skipped", model));
            continue;
        }
        const double radius = span * 0.5 / 1852.0;
        if (!content.wingRadii.emplace(model, radius).second) {
            gf_logError(fmt::format("duplicate wingspan model {}, skipped", model));
            continue;
        }
        sets.maxWingRadius = std::max(sets.maxWingRadius, radius);
    }
    for (const auto& [model, radius] : content.wingRadii) {
        try {
            lf_storeWingRadius(sets, gf_internModelCode(model, sets), radius);
        } catch (const std::exception& e) {
            gf_logError(fmt::format("cannot store wingspan for model {}: {}", model, e.what()));
        }
    }
}

void lf_readFixes(const pugi::xml_node& root, AircraftCodeSets& sets) {
    sets.modelFixes.clear();
    const pugi::xml_node section = root.child("fixes");
    if (!section) return;
    for (const pugi::xml_node item : section.children("fx")) {
        std::string wrong = item.attribute("wro").value();
        std::string correct = item.attribute("cor").value();
        if (correct.empty() || !sets.icaoModelCodes.contains(correct)) {
            gf_logError(fmt::format("invalid fix {} -> {}, target is not a valid ICAO model", wrong, correct));
        } else if (sets.modelFixes.contains(wrong)) {
            gf_logError(fmt::format("duplicate fix key '{}', skipped", wrong));
        } else {
            sets.modelFixes.emplace(std::move(wrong), std::move(correct));
        }
    }
    gf_log(fmt::format("{:5} fixes", sets.modelFixes.size()));
}

void lf_sortDbaseRecords(std::vector<DbaseRecord>& records) {
    std::sort(records.begin(), records.end(),
              [](const DbaseRecord& a, const DbaseRecord& b) { return a.registration < b.registration; });
    records.erase(std::unique(records.begin(), records.end(),
                              [](const DbaseRecord& a, const DbaseRecord& b) {
                                  return a.registration == b.registration;
                              }),
                  records.end());
}

void lf_readRecords(const pugi::xml_node& root, const AircraftCodeSets& sets, DbaseContent& content) {
    auto& records = content.records;
    records.clear();
    records.reserve(kReservedRecords);
    if (const pugi::xml_node section = root.child("dbase")) {
        std::size_t number = 0;
        for (const pugi::xml_node item : section.children("d")) {
            ++number;
            const char* registration = item.attribute("r").value();
            // A record without a registration would sort first and, being
            // shorter than 6 characters, be "found" in every livery title.
            if (*registration == '\0') {
                gf_logError(fmt::format("dbase record {} has no registration, skipped", number));
                continue;
            }
            DbaseRecord record;
            record.registration = registration;
            record.key.airline = gf_internAirlineCode(item.attribute("a").value());
            if (const pugi::xml_attribute op = item.attribute("o")) record.key.operatorIndex = gf_internAirlineCode(op.value());
            record.key.model = gf_internModelCode(item.attribute("m").value(), sets);
            record.key.cargo = gf_readBoolAttribute(item, "c").value_or(false) ? 1 : 0;
            record.key.flag = 1;
            records.push_back(std::move(record));
        }
    }
    lf_sortDbaseRecords(records);
    records.shrink_to_fit();
    for (const DbaseRecord& record : records) {
        if (record.registration.size() >= kTitleRegistrationLength) continue;
        content.shortRegistrations.insert(record.registration);
        content.shortLengths |= 1u << record.registration.size();
    }
    gf_log(fmt::format("{:5} dbase records read\n", records.size()));
}

std::optional<AcKey> lf_findDbaseRecord(const std::vector<DbaseRecord>& records, std::string_view registration) {
    const auto it = std::lower_bound(records.begin(), records.end(), registration,
                                     [](const DbaseRecord& r, std::string_view text) { return r.registration < text; });
    if (it == records.end() || it->registration != registration) return std::nullopt;
    return it->key;
}

std::string lf_withDashAfter(std::string_view registration, std::size_t at) {
    std::string dashed;
    dashed.reserve(registration.size() + 1);
    dashed.append(registration.substr(0, at));
    dashed.push_back('-');
    dashed.append(registration.substr(at));
    return dashed;
}

}  // namespace

bool gf_readDbase() { return gf_readDbase(dbaseEncFile); }

bool gf_readDbase(const std::filesystem::path& file) {
    const std::string pathText = gf_pathToUtf8(file);
    if (!std::filesystem::exists(file)) throw std::runtime_error(fmt::format("{} not available", pathText));
    // The plaintext is parsed in place and outlives the document; it is wiped
    // when the result goes.
    DecryptResult plain = gf_readEncryptedFile(file, kDbaseEncLimit);
    if (!plain.ok) throw std::runtime_error(plain.error);

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(plain.buffer.data(), plain.buffer.size());
    if (!parsed) {
        gf_logError(fmt::format("{} not read because: {}", pathText, parsed.description()));
        return false;
    }
    const pugi::xml_node root = doc.child("root");
    if (!root) {
        gf_logError(fmt::format("'{}' has no root node", pathText));
        return false;
    }

    auto sets = std::make_unique<AircraftCodeSets>();
    auto content = std::make_unique<DbaseContent>();

    lf_readTypesSection(doc, "aircrafts", sets->icaoModelCodes, "aircraft");
    gf_log(fmt::format("\n{:5} ICAO model codes", sets->icaoModelCodes.size()));
    lf_readTypesSection(doc, "cargo_types", sets->cargoTypes, "cargo_type");

    gf_internModelCode("", *sets);
    for (const auto& code : sets->icaoModelCodes) gf_internModelCode(code, *sets);
    sets->fixesActive = true;
    for (const auto& code : sets->cargoTypes) sets->cargoTypeModels.insert(gf_internModelCode(code, *sets));

    lf_readTypesSection(doc, "heavy", sets->heavy, "hvy");
    lf_readTypesSection(doc, "large", sets->large, "lar");
    lf_readTypesSection(doc, "buzjet", sets->bizjet, "bzj");
    lf_readTypesSection(doc, "twoprops", sets->twoProps, "tpr");
    lf_readTypesSection(doc, "high_performance", sets->highPerf, "hpf");
    lf_readTypesSection(doc, "rotorcraft", sets->rotorcraft, "rot");
    lf_buildClassSet(sets->heavy, sets->heavyModels, *sets);
    lf_buildClassSet(sets->large, sets->largeModels, *sets);
    lf_buildClassSet(sets->bizjet, sets->bizjetModels, *sets);
    lf_buildClassSet(sets->twoProps, sets->twoPropsModels, *sets);
    lf_buildClassSet(sets->highPerf, sets->highPerfModels, *sets);
    lf_buildClassSet(sets->rotorcraft, sets->rotorcraftModels, *sets);

    content->similarModelGroups.reserve(128);
    if (const pugi::xml_node similar = root.child("similar_types")) {
        for (const pugi::xml_node item : similar.children("similar")) {
            auto group = gf_splitAtComma(item.attribute("types").value());
            std::sort(group.begin(), group.end());
            content->similarModelGroups.push_back(std::move(group));
        }
    }

    lf_readCodesSection(doc, "ICAO_airlines", sets->icaoAirlineCodes);
    gf_log(fmt::format("{:5} ICAO airline codes", sets->icaoAirlineCodes.size()));
    lf_readCodesSection(doc, "cargo_operators", sets->cargoOperators);
    gf_log(fmt::format("{:5} cargo operators", sets->cargoOperators.size()));

    gf_internAirlineCode("");
    for (const auto& code : sets->icaoAirlineCodes) gf_internAirlineCode(code);
    for (const auto& code : sets->cargoOperators) sets->cargoOperatorAirlines.insert(gf_internAirlineCode(code));

    lf_readWingspans(root, *sets, *content);
    lf_readFixes(root, *sets);
    lf_readRecords(root, *sets, *content);

    gf_publishAircraftCodeSets(std::move(sets));
    lf_publishedContent().publish(std::move(content));
    return true;
}

std::optional<AcKey> gf_findRegistration(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    const auto& records = lf_content().records;
    if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string_view::npos) {
        if (auto key = lf_findDbaseRecord(records, lf_withDashAfter(registration, 2))) return key;
        if (auto key = lf_findDbaseRecord(records, lf_withDashAfter(registration, 1))) return key;
    }
    return lf_findDbaseRecord(records, registration);
}

std::optional<std::string> gf_findRegistrationInText(std::string_view text) {
    // The first in registration order is the least of those the text holds.
    const DbaseContent& content = lf_content();
    std::optional<std::string_view> least;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::size_t longest = std::min(kTitleRegistrationLength - 1, text.size() - at);
        for (std::size_t length = 1; length <= longest; ++length) {
            if ((content.shortLengths & (1u << length)) == 0) continue;
            const std::string_view piece = text.substr(at, length);
            if ((!least || piece < *least) && content.shortRegistrations.contains(piece)) least = piece;
        }
    }
    if (!least) return std::nullopt;
    return std::string(*least);
}

const std::vector<DbaseRecord>& gf_dbaseRecords() { return lf_content().records; }
const std::vector<std::vector<std::string>>& gf_similarModelGroups() { return lf_content().similarModelGroups; }
const std::map<std::string, double, std::less<>>& gf_dbaseWingRadii() { return lf_content().wingRadii; }

void gf_resetAircraftDatabaseForTest() {
    gf_resetCodeTablesForTest();
    lf_publishedContent().resetUnshared();
}
