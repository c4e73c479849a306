#include "airports/airport.h"

#include <algorithm>

#include <fmt/format.h>

namespace {

// The lookup by code indexes the table, so entry i must carry code i.
constexpr bool lf_tableInCodeOrder() {
    for (std::uint32_t i = 0; i < kParkingTypeNames.size(); ++i)
        if (static_cast<std::uint32_t>(kParkingTypeNames[i].code) != i) return false;
    return true;
}
static_assert(lf_tableInCodeOrder());

}  // namespace

std::optional<ParkingType> gf_parkingTypeFromName(std::string_view name) {
    for (const auto& entry : kParkingTypeNames)
        if (entry.name == name) return entry.code;
    return std::nullopt;
}

std::string_view gf_parkingTypeName(ParkingType type) {
    const auto code = static_cast<std::uint32_t>(type);
    if (code >= kParkingTypeNames.size()) return {};
    return kParkingTypeNames[code].name;
}

const IataCode& gf_noIataCode() {
    static const IataCode code{"XXX"};
    return code;
}

std::string gf_formatQualityFactors(std::int32_t qfReal, std::int32_t qfSoft) {
    if (qfReal >= 35) return fmt::format("{:2}", qfReal);
    if (qfReal <= 0 && qfSoft < 1) return "  ";
    return fmt::format("{:2}/{:2}", qfReal, qfSoft);
}

std::int64_t gf_countOccupiedStands(const std::vector<Stand>& stands) {
    return std::count_if(stands.begin(), stands.end(), [](const Stand& s) { return s.occupied; });
}
